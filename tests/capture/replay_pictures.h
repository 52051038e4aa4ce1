// Picture files for the replay source in the capture tests.
#ifndef VANTREL_TESTS_REPLAY_PICTURES_H
#define VANTREL_TESTS_REPLAY_PICTURES_H

#include <string>

#include "vantrel/dib.h"

namespace vantrel::test {

// A fresh folder under the temporary folder, removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Writes a 24-bit picture as a file of the kind its name ends in: .bmp
// (written here, bottom line first as most writers do), .png or .jpg (encoded
// by GStreamer). False when the file could not be made.
bool WritePicture(DibImage picture, const std::string& path);

}  // namespace vantrel::test

#endif

// The station window over the real capture pipeline fed by the replay source,
// for the window tests and the screenshot tool.
#ifndef VANTREL_TESTS_GUI_STATION_FIXTURE_H
#define VANTREL_TESTS_GUI_STATION_FIXTURE_H

#include <QImage>

#include <memory>
#include <string>
#include <vector>

#include "vantrel/dib.h"
#include "vantrel/img_acq_ctrl.h"
#include "vantrel/settings.h"
#include "vantrel/station_core.h"
#include "vantrel/vantrel_dlg.h"

namespace vantrel::test {

// The demo frames of the program (app/demo).
std::string DemoFrame(const std::string& name);  // e.g. "demo-1-jan13.png"

// A fresh folder under the temporary folder, removed with what it holds.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Answers the camera dialogs as a test says.
class AnsweringCaptureDialogs : public CaptureDialogs {
 public:
  bool ChooseFrameSize(const std::vector<FrameSize>& sizes, int32_t current, FrameSize* chosen) override;
  void ShowPictureControls(PictureControls*, const std::vector<PictureControl>&) override { ++qualityDialogs; }
  bool ok = true;
  FrameSize answer{320, 240};
  std::vector<FrameSize> offered;
  int32_t sizeDialogs = 0;
  int32_t qualityDialogs = 0;
};

// The libraries the window's decoders and drawing need, for one test program.
void StartStationLibraries();
void StopStationLibraries();

class StationUnderTest {
 public:
  StationUnderTest();
  ~StationUnderTest();

  // The pipeline on the replay source at width x height; 0 or BuildGraph's code.
  int32_t Build(const std::string& replayPath, int32_t width = 640, int32_t height = 480,
                double framesPerSecond = 30.0);
  // Makes and shows the window (after Build).
  CVantrelDlg& OpenWindow();

  // The preview as painted now, in the window's coordinates.
  QImage PaintPreview();
  // Puts a picture into the displayed slot (its size must be the ring's).
  void ShowPicture(DibImage picture);
  // Presses a button (or check box, radio) by its number.
  void Click(int32_t id);
  // The result box's text.
  std::string ResultText();
  // Processes events until the result box holds something (or the time ran out).
  bool WaitForResult(int timeoutMs = 20000);

  StationCore& core() { return *core_; }
  CVantrelDlg& window() { return *window_; }
  AnsweringCaptureDialogs dialogs;

 private:
  std::unique_ptr<StationCore> core_;
  std::unique_ptr<CVantrelDlg> window_;
};

}  // namespace vantrel::test

#endif

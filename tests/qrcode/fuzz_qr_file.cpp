// Any bytes as OvoQrc.ini, the QR library's parameter file, used as the library
// uses it: initialization reads the area, threshold, polarity and colour
// channel from the current folder, a decode runs with them as they stand (no
// setter called, as before the station's first decode; the file's values are
// not clamped), and termination writes them back.
//
// Whatever the file holds: no crash and no hang, and what termination writes
// reads back as the same values, so that a second round writes the same bytes.
// The file lives in a private folder on a memory file system when there is one;
// the current folder is that folder only while the library initializes.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "vantrel/OvoQrc.h"
#include "vantrel/dib.h"
#include "vantrel/profile_file.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

struct Folder {
  std::string path;
  int fd = -1;
  ~Folder() {
    if (fd >= 0) ::close(fd);
    std::error_code ec;
    if (!path.empty()) std::filesystem::remove_all(path, ec);
  }
};

const Folder& PrivateFolder() {
  static Folder folder = [] {
    Folder f;
    std::string base = "/dev/shm";
    if (::access(base.c_str(), W_OK) != 0) {
      std::error_code ec;
      base = std::filesystem::temp_directory_path(ec).string();
      if (ec) base = "/tmp";
    }
    std::string pattern = base + "/vantrel-qr-file-XXXXXX";
    Check(::mkdtemp(pattern.data()) != nullptr);
    f.path = pattern;
    f.fd = ::open(f.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    Check(f.fd >= 0);
    return f;
  }();
  return folder;
}

std::string ParameterFile() { return PrivateFolder().path + "/OvoQrc.ini"; }

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// OvoQrcInitialize with the private folder as the current folder.
void InitializeInFolder() {
  const int here = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  Check(here >= 0);
  Check(::fchdir(PrivateFolder().fd) == 0);
  const int32_t status = OvoQrcInitialize();
  Check(::fchdir(here) == 0);
  ::close(here);
  Check(status == 0);
}

// Dark squares on a light ground, colours differing by channel, so that the
// threshold, the polarity and the channel all change the binary picture.
DibImage Picture() {
  static DibImage picture = [] {
    DibImage p = DibCreate(72, 56, 3, 4);
    uint8_t* bits = DibGetBits(p);
    for (int32_t y = 0; y < 56; ++y)
      for (int32_t x = 0; x < 72; ++x) {
        uint8_t* px = bits + y * DibGetStride(p) + 3 * x;
        const bool dark = ((x / 7) + (y / 7)) % 3 == 0;
        px[0] = dark ? 20 : 230;
        px[1] = static_cast<uint8_t>(x * 3);
        px[2] = dark ? 200 : 60;
      }
    return p;
  }();
  return picture;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = ParameterFile();
  {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    Check(out.good());
  }

  InitializeInFolder();
  Check(OvoQrcSetImage(Picture()) == 0);
  int32_t count = -1;
  const int32_t status = OvoQrcDecode(&count);
  Check(status == 0 || status == -3 || status == -4);
  Check(status == 0 ? count >= 1 : count == 0);
  OvoQrcTerminate();

  const std::string written = ReadAll(file);
  for (const char* key : {"Area", "ThreshLevel", "Reverse", "RGBSelect"})
    Check(vantrel::ProfileLookup(written, "QR_CODE_PARAMETER", key).has_value());
  InitializeInFolder();
  OvoQrcTerminate();
  Check(ReadAll(file) == written);
  return 0;
}

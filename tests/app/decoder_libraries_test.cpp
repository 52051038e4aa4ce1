// The guard that brings the decoder libraries up and down: only what was asked
// for and is not already up, and everything it started gone when it goes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "vantrel/OvoDmx.h"
#include "vantrel/OvoQrc.h"
#include "vantrel/decoder_libraries.h"
#include "vantrel/overlay.h"

namespace vantrel {
namespace {

// The QR library answers -8 to every call while it is down.
bool QrUp() { return OvoQrcSetImage(nullptr) != -8; }
bool DmxUp() { return OvoDmxGetReader() != nullptr; }
// The overlay store takes lines only while the utility library is up.
bool UtilUp() {
  const bool up = OverlayAddLine(0, 0, 1, 1, 0) == 1;
  OverlayClear();
  return up;
}

TEST(DecoderLibraries, StartsWhatIsAskedAndStopsAllItStartedWhenItGoes) {
  {
    DecoderLibraries libraries(DecoderLibraries::QrParameterFile::kNone);
    EXPECT_EQ(libraries.Start(DecoderLibraries::kDataMatrix | DecoderLibraries::kUtil), 0);
    EXPECT_FALSE(libraries.qrReady());
    EXPECT_TRUE(libraries.dmxReady());
    EXPECT_TRUE(libraries.utilReady());
    EXPECT_FALSE(QrUp());
    EXPECT_TRUE(DmxUp());
    EXPECT_TRUE(UtilUp());

    // A second start adds what is missing and leaves the rest as it is.
    CDataMatCtrl* reader = OvoDmxGetReader();
    EXPECT_EQ(libraries.Start(), 0);
    EXPECT_TRUE(libraries.qrReady());
    EXPECT_TRUE(QrUp());
    EXPECT_EQ(OvoDmxGetReader(), reader);

    libraries.Stop();
    EXPECT_FALSE(libraries.qrReady() || libraries.dmxReady() || libraries.utilReady());
    EXPECT_FALSE(QrUp() || DmxUp() || UtilUp());
    EXPECT_EQ(libraries.Start(), 0);
  }
  // Gone with the guard.
  EXPECT_FALSE(QrUp() || DmxUp() || UtilUp());
}

// The QR library's parameter file is the station's alone: written into the
// current folder when the station's guard stops, never by the others'.
TEST(DecoderLibraries, OnlyTheStationLeavesTheQrParameterFile) {
  const std::filesystem::path previous = std::filesystem::current_path();
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("vantrel-libraries-" + std::to_string(::getpid()));
  std::filesystem::remove_all(folder);
  std::filesystem::create_directories(folder);
  std::filesystem::current_path(folder);
  {
    DecoderLibraries tool(DecoderLibraries::QrParameterFile::kNone);
    EXPECT_EQ(tool.Start(), 0);
  }
  EXPECT_TRUE(std::filesystem::is_empty(folder));
  {
    DecoderLibraries station;
    EXPECT_EQ(station.Start(), 0);
  }
  EXPECT_TRUE(std::filesystem::exists(folder / "OvoQrc.ini"));
  std::filesystem::current_path(previous);
  std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace vantrel

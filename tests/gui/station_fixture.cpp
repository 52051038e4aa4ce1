#include "gui/station_fixture.h"

#include <QAbstractButton>
#include <QDir>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <cstdlib>

#include "gui/qt_test_app.h"
#include "vantrel/OvoDmx.h"
#include "vantrel/OvoQrc.h"
#include "vantrel/control_ids.h"
#include "vantrel/guide_lines.h"
#include "vantrel/overlay.h"
#include "vantrel/ovoutil.h"
#include "vantrel/ui_kit.h"

namespace vantrel::test {

std::string DemoFrame(const std::string& name) { return std::string(VANTREL_SOURCE_DIR) + "/app/demo/" + name; }

ScratchFolder::ScratchFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/vantrel-gui-XXXXXX";
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  if (mkdtemp(buf.data()) != nullptr) path_ = buf.data();
}

ScratchFolder::~ScratchFolder() {
  if (!path_.empty()) QDir(QString::fromStdString(path_)).removeRecursively();
}

bool AnsweringCaptureDialogs::ChooseFrameSize(const std::vector<FrameSize>& sizes, int32_t, FrameSize* chosen) {
  ++sizeDialogs;
  offered = sizes;
  if (ok) *chosen = answer;
  return ok;
}

void StartStationLibraries() {
  OvoQrcInitialize();
  OvoQrcSetParameterFile(nullptr);
  OvoDmxInitialize();
  OvoUtilInitialize();
}

void StopStationLibraries() {
  OvoUtilTerminate();
  OvoDmxTerminate();
  OvoQrcTerminate();
}

StationUnderTest::StationUnderTest() : core_(std::make_unique<StationCore>()) {
  unsetenv("VANTREL_CAMERA_REPLAY");
  OverlayClear();
}

StationUnderTest::~StationUnderTest() {
  window_.reset();
  core_->Shutdown();
  core_.reset();
  SetCameraReplay("");
  OverlayClear();
}

int32_t StationUnderTest::Build(const std::string& replayPath, int32_t width, int32_t height,
                                double framesPerSecond) {
  SetCameraReplay(replayPath, framesPerSecond);
  CImgAcqCtrl& capture = core_->capture();
  capture.DeviceNo = 1;
  capture.Xsize = width;
  capture.Ysize = height;
  capture.EnumerateDevices();
  const int32_t status = capture.BuildGraph();
  if (status != 0) return status;
  core_->EditSettings([&](SettingsRecord& s) {
    s.Xsize = capture.Xsize;
    s.Ysize = capture.Ysize;
  });
  RebuildGuideLines(core_->Settings());
  return 0;
}

CVantrelDlg& StationUnderTest::OpenWindow() {
  window_ = std::make_unique<CVantrelDlg>(*core_);
  window_->SetCaptureDialogs(&dialogs);
  window_->show();
  QCoreApplication::processEvents();
  return *window_;
}

QImage StationUnderTest::PaintPreview() {
  QImage img(window_->size(), QImage::Format_RGB32);
  img.fill(Qt::magenta);
  QPainter painter(&img);
  window_->PaintPreview(painter);
  return img;
}

void StationUnderTest::ShowPicture(DibImage picture) {
  FrameRing::Lease lease = core_->capture().Ring().WriteDisplayed();
  if (!lease) return;
  DibImage slot = lease.image();
  const int32_t rows = std::min(DibGetHeight(slot), DibGetHeight(picture));
  const int32_t bytes = std::min(DibGetStride(slot), DibGetStride(picture));
  for (int32_t y = 0; y < rows; ++y)
    std::copy_n(DibGetBits(picture) + y * DibGetStride(picture), bytes, DibGetBits(slot) + y * DibGetStride(slot));
}

void StationUnderTest::Click(int32_t id) {
  if (auto* button = ui::FindControl<QAbstractButton>(window_.get(), id)) button->click();
}

std::string StationUnderTest::ResultText() {
  auto* box = ui::FindControl<QPlainTextEdit>(window_.get(), ids::kResultBox);
  return box ? box->toPlainText().toStdString() : std::string();
}

bool StationUnderTest::WaitForResult(int timeoutMs) {
  return ProcessEventsUntil([this] { return !ResultText().empty(); }, timeoutMs);
}

}  // namespace vantrel::test

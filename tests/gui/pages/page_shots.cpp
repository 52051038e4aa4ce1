// vantrel-page-shots: photographs the three settings pages after a trial read
// and the unsharp-mask tuning dialog, each on a real frame that came through
// the capture pipeline from the replay source.
//
//   vantrel-page-shots OUTDIR BARCODE_PICTURE QR_PICTURE DMX_PICTURE
//
// Writes barcode_page.png, qrcode_page.png, dmxcode_page.png, unsharp_dlg.png
// and unsharp_dlg_plain.png, and prints what each trial showed. Run it under a
// display (xvfb-run) or offscreen.
#include <QApplication>
#include <QImage>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "settings/ui/barcode_page.h"
#include "settings/ui/dmxcode_page.h"
#include "settings/ui/page_host.h"
#include "settings/ui/qrcode_page.h"
#include "vantrel/OvoDmx.h"
#include "vantrel/decode_calls.h"
#include "vantrel/img_acq_ctrl.h"
#include "vantrel/ovoutil.h"
#include "vantrel/ui_kit.h"
#include "vantrel/unsharp_dlg.h"

namespace {

using namespace vantrel;

// One frame of the picture, played by the replay source into a ring.
class ReplayedFrame {
 public:
  explicit ReplayedFrame(const std::string& path) {
    SetCameraReplay(path, 0);
    CycleCallbacks callbacks;
    callbacks.settings = [] {
      SettingsRecord s;
      s.BarCodeEnable = s.QRCodeEnable = s.DmxCodeEnable = 0;
      return s;
    };
    cycle_ = std::make_unique<ReadingCycle>(ctrl_.Ring(), callbacks);
    ctrl_.AttachSink(cycle_.get());
    ctrl_.Xsize = 640;
    ctrl_.Ysize = 480;
    ctrl_.DeviceNo = 1;
    if (ctrl_.EnumerateDevices() != 1 || ctrl_.BuildGraph() != 0) {
      std::fprintf(stderr, "no replay pipeline for %s\n", path.c_str());
      return;
    }
    cycle_->StartReading();
    for (int i = 0; i < 500 && cycle_->FramesHandled() < 3; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    cycle_->StopReading();
    ok_ = cycle_->FramesHandled() >= 1;
  }
  ~ReplayedFrame() {
    ctrl_.TeardownGraph();
    ctrl_.AttachSink(nullptr);
    SetCameraReplay("");
  }
  bool ok() const { return ok_; }
  FrameRing& ring() { return ctrl_.Ring(); }
  ReadingCycle& cycle() { return *cycle_; }

 private:
  CImgAcqCtrl ctrl_;
  std::unique_ptr<ReadingCycle> cycle_;
  bool ok_ = false;
};

void Report(const char* what, ui::ScopedMessageAnswers& answers) {
  for (const std::string& t : answers.texts()) std::printf("%s: message \"%s\"\n", what, t.c_str());
  answers.clear();
}

bool Save(QWidget* w, const std::string& path) {
  const bool ok = w->grab().save(QString::fromStdString(path));
  std::printf("%s %s\n", ok ? "wrote" : "could not write", path.c_str());
  return ok;
}

// The frame the page decoded, as a picture file beside the page's.
void SaveFrame(FrameRing& ring, const std::string& path) {
  FrameRing::Lease slot = ring.ReadDisplayed();
  if (!slot) return;
  DibImage p = slot.image();
  QImage image(DibGetBits(p), DibGetWidth(p), DibGetHeight(p), DibGetStride(p), QImage::Format_BGR888);
  image.save(QString::fromStdString(path));
}

template <typename T>
T* Control(QWidget* root, int32_t id) {
  for (QWidget* w : root->findChildren<QWidget*>()) {
    if (ui::ControlIdOf(w) == id) return qobject_cast<T*>(w);
  }
  return nullptr;
}

template <typename PageT>
bool Shoot(const std::string& picture, const std::string& out, const SettingsRecord& settings,
           const std::function<void(PageT&)>& before, const char* name,
           std::initializer_list<int32_t> shown) {
  ReplayedFrame frame(picture);
  if (!frame.ok()) return false;
  QWidget paneFrame;
  paneFrame.setWindowTitle(QString::fromLatin1(name));
  BasicPageHost host(frame.ring(), frame.cycle(), &paneFrame);
  host.SetSettings(settings);
  PageT page(host, &paneFrame);
  page.move(3, 31);
  paneFrame.resize(page.width() + 6, page.height() + 34);
  paneFrame.show();
  if (before) before(page);
  ui::ScopedMessageAnswers answers;
  Control<QPushButton>(&page, PageT::kIdTry)->click();
  QApplication::processEvents();
  Report(name, answers);
  for (int32_t id : shown) {
    if (auto* box = Control<QLineEdit>(&page, id)) {
      std::printf("%s: box %d \"%s\"\n", name, id, box->text().toStdString().c_str());
    }
  }
  SaveFrame(frame.ring(), out + "/" + name + "_frame.png");
  return Save(&page, out + "/" + name + ".png");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: %s OUTDIR BARCODE_PICTURE QR_PICTURE DMX_PICTURE\n", argv[0]);
    return 2;
  }
  QApplication app(argc, argv);
  OvoUtilInitialize();
  StartQrLibrary();
  StartDataMatrixReader();
  const std::string out = argv[1];
  bool ok = true;

  SettingsRecord s;  // the whole frame is the processing range
  s.Area[0] = s.Area[1] = 0;
  s.Area[2] = 639;
  s.Area[3] = 479;
  SettingsRecord b = s;
  if (const char* level = std::getenv("SHOT_SCAN_LEVEL")) b.ScanLevel = std::atoi(level);
  if (const char* bin = std::getenv("SHOT_AUTOBIN")) b.AutoBin = std::atoi(bin);
  ok &= Shoot<CBarCodePage>(argv[2], out, b, {}, "barcode_page",
                            {CBarCodePage::kIdData, CBarCodePage::kIdTypeName, CBarCodePage::kIdTime});
  ok &= Shoot<CQRCodePage>(argv[3], out, s, {}, "qrcode_page",
                           {CQRCodePage::kIdData, CQRCodePage::kIdVersion, CQRCodePage::kIdLevel,
                            CQRCodePage::kIdTime});
  SettingsRecord d = s;
  d.Rad = 3.0;
  d.Amount = 1.5;
  d.UnsharpMask = 1;
  ok &= Shoot<CDmxCodePage>(argv[4], out, d, {}, "dmxcode_page",
                            {CDmxCodePage::kIdData, CDmxCodePage::kIdTime});

  // The tuning dialog on the Data Matrix frame, scrolled a little, after a
  // page step of the radius and a trial decode.
  {
    ReplayedFrame frame(argv[4]);
    if (!frame.ok()) return 1;
    FrameRing::Lease slot = frame.ring().ReadDisplayed();
    OvoDmxSetRadius(3.0);
    OvoDmxSetAmount(1.5);
    CUnsharpDlg dlg;
    dlg.SetReader(OvoDmxGetReader());
    dlg.SetImage(slot.image());
    dlg.OnInitDialog();
    slot.Release();
    dlg.show();
    Control<QScrollBar>(&dlg, CUnsharpDlg::kIdHorizontalScroll)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    Control<QScrollBar>(&dlg, CUnsharpDlg::kIdVerticalScroll)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    Control<QSlider>(&dlg, CUnsharpDlg::kIdRadiusSlider)->triggerAction(QAbstractSlider::SliderPageStepAdd);
    ui::ScopedMessageAnswers answers;
    const auto start = std::chrono::steady_clock::now();
    Control<QPushButton>(&dlg, CUnsharpDlg::kIdTrialDecode)->click();
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    QApplication::processEvents();
    Report("unsharp_dlg", answers);
    std::printf("unsharp_dlg: radius %.1f, trial decode %.1f ms\n", dlg.radius(), ms);
    ok &= Save(&dlg, out + "/unsharp_dlg.png");
    Control<QCheckBox>(&dlg, CUnsharpDlg::kIdShowFiltered)->click();
    QApplication::processEvents();
    ok &= Save(&dlg, out + "/unsharp_dlg_plain.png");
    dlg.reject();
  }

  StopDataMatrixReader();
  StopQrLibrary();
  OvoUtilTerminate();
  return ok ? 0 : 1;
}

// The unsharp-mask tuning dialog: opening values, sliders, scrolling,
// painting, the trial decode, OK and Cancel, and its steps against a reader
// that another thread keeps setting, as the reading cycle does.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSlider>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>

#include "datamatrix/src/dmx_internal.h"
#include "page_fixture.h"
#include "vantrel/OvoDmx.h"
#include "vantrel/OvoDmxTune.h"
#include "vantrel/ui_kit.h"
#include "vantrel/unsharp_dlg.h"

namespace vantrel::test {
namespace {

using Dlg = CUnsharpDlg;

const char kDmxText[] = "VANTREL-DMX-0001";

// Slightly out of focus, so that sharpening shows.
DibPtr DmxFrame(int32_t width = 640, int32_t height = 480) {
  DibPtr p = SymbolFrame({"-b", "DATAMATRIX"}, kDmxText, 5.0, width, height);
  GaussianBlur(p.get(), 1.2);
  return p;
}

DmxTuneValues ReaderValues() {
  DmxTuneValues v;
  OvoDmxGetMaxTime(&v.maxTime);
  OvoDmxGetRadius(&v.radius);
  OvoDmxGetAmount(&v.amount);
  OvoDmxGetThreshold(&v.threshold);
  return v;
}

void SetReader(const DmxTuneValues& v) {
  OvoDmxSetMaxTime(v.maxTime);
  OvoDmxSetRadius(v.radius);
  OvoDmxSetAmount(v.amount);
  OvoDmxSetThreshold(v.threshold);
}

// The picture sharpened with these values, as the reader's own filter gives it.
DibPtr Sharpened(DibImage picture, const DmxTuneValues& v) {
  const DmxTuneValues before = ReaderValues();
  SetReader(v);
  const DibRect whole{0, 0, DibGetWidth(picture) - 1, DibGetHeight(picture) - 1};
  OvoDmxSetArea(&whole);
  DibPtr out(DibCreate(DibGetWidth(picture), DibGetHeight(picture), DibGetBitCount(picture) / 8, 4));
  EXPECT_EQ(OvoDmxUnsharp(OvoDmxGetReader(), picture, out.get()), 0);
  SetReader(before);
  return out;
}

DibRect ReaderArea() { return OvoDmxGetReader()->Area(); }

class UnsharpDlgTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OvoDmxTerminate();
    ASSERT_EQ(OvoDmxInitialize(), 0);
  }
  void TearDown() override { OvoDmxTerminate(); }

  // An open dialog on the picture, with the test's lock.
  std::unique_ptr<Dlg> Open(DibImage picture, std::function<void()> prepare = {}) {
    auto dlg = std::make_unique<Dlg>();
    dlg->SetReader(OvoDmxGetReader());
    dlg->SetImage(picture);
    dlg->SetReaderLock(&lock_);
    dlg->SetPrepareReader(std::move(prepare));
    dlg->SetReadBack(&readBack_);
    dlg->OnInitDialog();
    dlg->show();
    return dlg;
  }

  static QSlider* Slider(Dlg& d, int32_t id) { return ui::FindControl<QSlider>(&d, id); }
  static QString Text(Dlg& d, int32_t id) { return ui::FindControl<QLabel>(&d, id)->text(); }
  static QScrollBar* Bar(Dlg& d, int32_t id) { return ui::FindControl<QScrollBar>(&d, id); }
  static QLineEdit* TimeEdit(Dlg& d) { return ui::FindControl<QLineEdit>(&d, Dlg::kIdMaxTime); }

  // Drags a slider's thumb to a position and lets it go.
  static void Drag(QAbstractSlider* s, int32_t to, bool release = true) {
    s->setSliderDown(true);
    s->setSliderPosition(to);
    if (release) s->setSliderDown(false);
  }

  std::mutex lock_;
  DmxTuneValues readBack_{-5, -5.0, -5.0, -5};
  ui::ScopedMessageAnswers answers_;
};

TEST_F(UnsharpDlgTest, OpensWithTheReadersValuesAndFiltersOnce) {
  SetReader({1500, 3.5, 0.29, 12});
  DibPtr frame = DmxFrame();
  auto dlg = Open(frame.get());

  EXPECT_EQ(dlg->saved(), (DmxTuneValues{1500, 3.5, 0.29, 12}));
  EXPECT_EQ(dlg->previewRect(), QRect(13, 13, 410, 250));
  EXPECT_EQ(Slider(*dlg, Dlg::kIdRadiusSlider)->minimum(), 1);
  EXPECT_EQ(Slider(*dlg, Dlg::kIdRadiusSlider)->maximum(), 1200);
  EXPECT_EQ(Slider(*dlg, Dlg::kIdAmountSlider)->maximum(), 1000);
  EXPECT_EQ(Slider(*dlg, Dlg::kIdThresholdSlider)->maximum(), 255);
  EXPECT_EQ(Slider(*dlg, Dlg::kIdRadiusSlider)->value(), 35);
  EXPECT_EQ(Slider(*dlg, Dlg::kIdAmountSlider)->value(), 29);  // rounded, not 28
  EXPECT_EQ(Slider(*dlg, Dlg::kIdThresholdSlider)->value(), 12);
  EXPECT_EQ(Text(*dlg, Dlg::kIdRadiusText), "3.5");
  EXPECT_EQ(Text(*dlg, Dlg::kIdAmountText), "0.29");
  EXPECT_EQ(Text(*dlg, Dlg::kIdThresholdText), "12");
  EXPECT_EQ(TimeEdit(*dlg)->text(), "1500");
  EXPECT_TRUE(ui::FindControl<QCheckBox>(dlg.get(), Dlg::kIdShowFiltered)->isChecked());

  EXPECT_EQ(dlg->filterRuns(), 1);
  EXPECT_TRUE(SamePixels(dlg->displayCopy(), frame.get()));
  DibPtr expected = Sharpened(frame.get(), {1500, 3.5, 0.29, 12});
  EXPECT_TRUE(SamePixels(dlg->filteredPicture(), expected.get()));
  EXPECT_FALSE(SamePixels(dlg->filteredPicture(), frame.get()));
  EXPECT_TRUE(answers_.requests().empty());
}

TEST_F(UnsharpDlgTest, ScrollRangesFollowThePictureSize) {
  const struct {
    int32_t w, h, maxX, maxY;
  } cases[] = {{640, 480, 230, 230}, {320, 240, 0, 0}, {800, 200, 390, 0}, {410, 250, 0, 0}};
  for (const auto& c : cases) {
    DibPtr frame = SymbolFrame({}, "", 1, c.w, c.h);
    auto dlg = Open(frame.get());
    EXPECT_EQ(dlg->scrollMaxX(), c.maxX) << c.w;
    EXPECT_EQ(dlg->scrollMaxY(), c.maxY) << c.h;
    EXPECT_EQ(Bar(*dlg, Dlg::kIdHorizontalScroll)->maximum(), c.maxX);
    EXPECT_EQ(Bar(*dlg, Dlg::kIdVerticalScroll)->maximum(), c.maxY);
    EXPECT_EQ(dlg->scrollX(), 0);
    EXPECT_EQ(dlg->scrollY(), 0);
  }
}

TEST_F(UnsharpDlgTest, ScrollBarsStepByOneAndElevenAndStopAtTheEnds) {
  DibPtr frame = DmxFrame();
  auto dlg = Open(frame.get());
  QScrollBar* h = Bar(*dlg, Dlg::kIdHorizontalScroll);
  QScrollBar* v = Bar(*dlg, Dlg::kIdVerticalScroll);

  Drag(h, 225);
  EXPECT_EQ(dlg->scrollX(), 225);
  h->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(dlg->scrollX(), 230);
  EXPECT_EQ(h->value(), 230);
  h->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(dlg->scrollX(), 230);

  Drag(v, 5);
  v->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(dlg->scrollY(), 0);
  v->triggerAction(QAbstractSlider::SliderPageStepAdd);
  EXPECT_EQ(dlg->scrollY(), 11);
  v->triggerAction(QAbstractSlider::SliderSingleStepSub);
  EXPECT_EQ(dlg->scrollY(), 10);
  v->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(dlg->scrollY(), 230);
  v->triggerAction(QAbstractSlider::SliderToMinimum);
  EXPECT_EQ(dlg->scrollY(), 0);
  // Dragging follows the thumb at once.
  Drag(v, 100, false);
  EXPECT_EQ(dlg->scrollY(), 100);
  v->setSliderDown(false);
  EXPECT_EQ(dlg->scrollY(), 100);
  EXPECT_EQ(dlg->filterRuns(), 1);  // scrolling never filters
}

// The pixel the dialog painted at preview position (x, y), and the picture's.
QRgb Painted(const QImage& shot, int32_t x, int32_t y) { return shot.pixel(13 + x, 13 + y) & 0xFFFFFFu; }
QRgb PictureAt(DibImage p, int32_t x, int32_t y) {
  const uint8_t* px = DibGetBits(p) + static_cast<size_t>(y) * DibGetStride(p) + x * 3;
  return qRgb(px[2], px[1], px[0]) & 0xFFFFFFu;
}

TEST_F(UnsharpDlgTest, PaintsTheFilteredOrTheUnfilteredPictureAtTheScrollPosition) {
  DibPtr frame = DmxFrame();
  auto dlg = Open(frame.get());
  Drag(Bar(*dlg, Dlg::kIdHorizontalScroll), 120);
  Drag(Bar(*dlg, Dlg::kIdVerticalScroll), 40);

  const QImage filtered = dlg->grab().toImage();
  QTest::mouseClick(ui::FindControl<QCheckBox>(dlg.get(), Dlg::kIdShowFiltered), Qt::LeftButton);
  EXPECT_FALSE(dlg->showFiltered());
  const QImage plain = dlg->grab().toImage();

  int32_t differing = 0;
  for (int32_t y = 0; y < 250; y += 7) {
    for (int32_t x = 0; x < 410; x += 7) {
      ASSERT_EQ(Painted(filtered, x, y), PictureAt(dlg->filteredPicture(), 120 + x, 40 + y)) << x << "," << y;
      ASSERT_EQ(Painted(plain, x, y), PictureAt(frame.get(), 120 + x, 40 + y)) << x << "," << y;
      differing += Painted(filtered, x, y) != Painted(plain, x, y);
    }
  }
  EXPECT_GT(differing, 0);
  // Right of the preview and below it the dialog shows its own background.
  EXPECT_EQ(filtered.pixel(423, 100), filtered.pixel(5, 100));
  EXPECT_EQ(filtered.pixel(100, 263), filtered.pixel(100, 5));
}

TEST_F(UnsharpDlgTest, DraggingChangesTheTextOnlyUntilTheThumbIsLetGo) {
  DibPtr frame = DmxFrame();
  auto dlg = Open(frame.get());
  QSlider* radius = Slider(*dlg, Dlg::kIdRadiusSlider);

  Drag(radius, 250, false);
  EXPECT_EQ(Text(*dlg, Dlg::kIdRadiusText), "25.0");
  radius->setSliderPosition(180);
  EXPECT_EQ(Text(*dlg, Dlg::kIdRadiusText), "18.0");
  EXPECT_EQ(dlg->filterRuns(), 1);
  EXPECT_EQ(ReaderValues().radius, 7.0);

  radius->setSliderDown(false);
  EXPECT_EQ(dlg->filterRuns(), 2);
  EXPECT_EQ(dlg->radius(), 18.0);
  EXPECT_EQ(ReaderValues().radius, 18.0);
  DibPtr expected = Sharpened(frame.get(), {1000, 18.0, 2.0, 0});
  EXPECT_TRUE(SamePixels(dlg->filteredPicture(), expected.get()));
}

TEST_F(UnsharpDlgTest, PageStepsFilterLineStepsAndEndsChangeTheTextOnly) {
  DibPtr frame = DmxFrame();
  auto dlg = Open(frame.get());
  QSlider* amount = Slider(*dlg, Dlg::kIdAmountSlider);   // 200, page 200
  QSlider* threshold = Slider(*dlg, Dlg::kIdThresholdSlider);  // 0, page 51

  amount->setFocus();
  QTest::keyClick(amount, Qt::Key_Right);
  EXPECT_EQ(Text(*dlg, Dlg::kIdAmountText), "2.01");
  EXPECT_EQ(dlg->filterRuns(), 1);
  EXPECT_EQ(dlg->amount(), 2.0);

  QTest::keyClick(amount, Qt::Key_PageUp);
  EXPECT_EQ(amount->value(), 401);
  EXPECT_EQ(Text(*dlg, Dlg::kIdAmountText), "4.01");
  EXPECT_EQ(dlg->filterRuns(), 2);
  EXPECT_EQ(dlg->amount(), 4.01);
  EXPECT_EQ(ReaderValues().amount, 4.01);

  threshold->triggerAction(QAbstractSlider::SliderToMaximum);
  EXPECT_EQ(Text(*dlg, Dlg::kIdThresholdText), "255");
  EXPECT_EQ(dlg->filterRuns(), 2);
  EXPECT_EQ(ReaderValues().threshold, 0);
  threshold->triggerAction(QAbstractSlider::SliderPageStepSub);
  EXPECT_EQ(Text(*dlg, Dlg::kIdThresholdText), "204");
  EXPECT_EQ(dlg->filterRuns(), 3);
  EXPECT_EQ(ReaderValues().threshold, 204);
}

TEST_F(UnsharpDlgTest, OkAppliesWhatTheSlidersShowHoweverTheyGotThere) {
  DibPtr frame = DmxFrame();
  SetReader({800, 0.25, 0.29, 3});
  auto dlg = Open(frame.get());
  QSlider* radius = Slider(*dlg, Dlg::kIdRadiusSlider);
  radius->setFocus();
  QTest::keyClick(radius, Qt::Key_End);       // 1200: text only
  QTest::keyClick(radius, Qt::Key_Left);      // 1199: text only
  Slider(*dlg, Dlg::kIdThresholdSlider)->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  EXPECT_EQ(Text(*dlg, Dlg::kIdRadiusText), "119.9");
  EXPECT_EQ(dlg->filterRuns(), 1);
  TimeEdit(*dlg)->setText("2500");

  ui::FindControl<QPushButton>(dlg.get(), Dlg::kIdOk)->click();
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  // The amount slider was never touched: its exact value stays.
  const DmxTuneValues expected{2500, 119.9, 0.29, 4};
  EXPECT_EQ(ReaderValues(), expected);
  EXPECT_EQ(readBack_, expected);
}

TEST_F(UnsharpDlgTest, CancelPutsBackAllFourValuesFoundAtOpening) {
  DibPtr frame = DmxFrame();
  SetReader({1200, 5.0, 1.5, 20});
  auto dlg = Open(frame.get());
  Drag(Slider(*dlg, Dlg::kIdRadiusSlider), 300);
  Slider(*dlg, Dlg::kIdAmountSlider)->triggerAction(QAbstractSlider::SliderPageStepAdd);
  Drag(Slider(*dlg, Dlg::kIdThresholdSlider), 99);
  TimeEdit(*dlg)->setText("50");
  ui::FindControl<QPushButton>(dlg.get(), Dlg::kIdTrialDecode)->click();  // writes the time
  ASSERT_EQ(ReaderValues(), (DmxTuneValues{50, 30.0, 3.5, 99}));

  ui::FindControl<QPushButton>(dlg.get(), Dlg::kIdCancel)->click();
  EXPECT_EQ(dlg->result(), QDialog::Rejected);
  EXPECT_EQ(ReaderValues(), (DmxTuneValues{1200, 5.0, 1.5, 20}));
  EXPECT_EQ(readBack_.maxTime, -5);  // nothing read back
}

TEST_F(UnsharpDlgTest, TimeOutsideOneTo9999IsRefusedOnOkAndTrial) {
  DibPtr frame = DmxFrame();
  for (const char* text : {"0", "10000", "99999", "-1", "", "abc"}) {
    auto dlg = Open(frame.get());
    QLineEdit* edit = TimeEdit(*dlg);
    edit->setText(text);
    answers_.clear();
    ui::FindControl<QPushButton>(dlg.get(), Dlg::kIdOk)->click();
    ui::FindControl<QPushButton>(dlg.get(), Dlg::kIdTrialDecode)->click();
    ASSERT_EQ(answers_.texts(), (std::vector<std::string>(2, "1 から 9999 までの整数を入力してください。")))
        << text;
    EXPECT_EQ(answers_.requests()[0].icon, ui::MessageIcon::kWarning);
    EXPECT_TRUE(dlg->isVisible()) << text;
    EXPECT_EQ(dlg->focusWidget(), edit);
    EXPECT_EQ(ReaderValues().maxTime, 1000);
    EXPECT_TRUE(ui::FindControl<QLabel>(dlg.get(), Dlg::kIdDecodedText)->text().isEmpty());
  }
  auto dlg = Open(frame.get());
  TimeEdit(*dlg)->setText("9999");
  ui::FindControl<QPushButton>(dlg.get(), Dlg::kIdOk)->click();
  EXPECT_EQ(dlg->result(), QDialog::Accepted);
  EXPECT_EQ(ReaderValues().maxTime, 9999);
}

TEST_F(UnsharpDlgTest, TrialDecodeShowsTheTextOrTheError) {
  DibPtr frame = DmxFrame();
  SetReader({3000, 2.0, 1.0, 0});
  auto dlg = Open(frame.get());
  QPushButton* trial = ui::FindControl<QPushButton>(dlg.get(), Dlg::kIdTrialDecode);
  QLabel* text = ui::FindControl<QLabel>(dlg.get(), Dlg::kIdDecodedText);
  // Searched over the whole picture whatever rectangle the reader held.
  const DibRect small{10, 10, 50, 50};
  OvoDmxSetArea(&small);
  trial->click();
  EXPECT_EQ(text->text(), kDmxText);
  EXPECT_EQ(answers_.texts(), std::vector<std::string>{});
  EXPECT_EQ(ReaderArea().right, 50);  // and put back afterwards

  // The unfiltered copy of a blank picture: the reader's failure in a box.
  DibPtr paper = SymbolFrame({}, "", 1);
  SetReader({300, 2.0, 1.0, 0});
  auto blank = Open(paper.get());
  ui::FindControl<QCheckBox>(blank.get(), Dlg::kIdShowFiltered)->click();
  ui::ScopedMessageAnswers during;
  during.SetHandler([](const ui::MessageRequest&) {
    EXPECT_EQ(ui::WaitCursor::Depth(), 0);  // the busy cursor is gone while the box is up
    return ui::MessageResult::kOk;
  });
  ui::FindControl<QPushButton>(blank.get(), Dlg::kIdTrialDecode)->click();
  ASSERT_EQ(during.texts(), std::vector<std::string>{"Decode error.(-1)"});
  EXPECT_EQ(during.requests()[0].icon, ui::MessageIcon::kNone);
  EXPECT_TRUE(ui::FindControl<QLabel>(blank.get(), Dlg::kIdDecodedText)->text().isEmpty());
}

TEST_F(UnsharpDlgTest, WithoutACopyTheDialogSaysSoAndShowsNoPicture) {
  DibPtr frame = DmxFrame();
  auto dlg = std::make_unique<Dlg>();
  dlg->SetReader(OvoDmxGetReader());
  dlg->SetImage(frame.get());
  dlg->SetCopyForTests([](DibImage) -> DibImage { return nullptr; });
  dlg->OnInitDialog();
  EXPECT_EQ(answers_.texts(), std::vector<std::string>{"画像コピーできませんでした"});
  EXPECT_EQ(dlg->displayCopy(), nullptr);
  EXPECT_EQ(dlg->filteredPicture(), nullptr);
  EXPECT_EQ(dlg->filterRuns(), 0);
  dlg->show();
  dlg->grab();  // paints nothing, and does not fail
  Drag(Slider(*dlg, Dlg::kIdRadiusSlider), 40);
  answers_.clear();
  ui::FindControl<QPushButton>(dlg.get(), Dlg::kIdTrialDecode)->click();
  EXPECT_EQ(answers_.texts(), std::vector<std::string>{"Decode error.(-1)"});
}

// Stands for the reading cycle: before every frame it sets the reader from
// the settings, under the decoder lock.
class Meddler {
 public:
  explicit Meddler(std::mutex& lock) : thread_([this, &lock] {
    while (!stop_) {
      {
        std::lock_guard<std::mutex> hold(lock);
        SetReader({1, 0.1, 0.0, 200});
        const DibRect range{10, 10, 50, 50};
        OvoDmxSetArea(&range);
        ++rounds;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(50));
    }
  }) {}
  ~Meddler() {
    stop_ = true;
    thread_.join();
  }
  std::atomic<int32_t> rounds{0};

 private:
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

TEST_F(UnsharpDlgTest, EachStepSetsTheReaderItselfWhileAnotherThreadKeepsResettingIt) {
  DibPtr frame = DmxFrame();
  Meddler meddler(lock_);
  auto dlg = Open(frame.get(), [] { SetReader({700, 3.0, 1.5, 4}); });
  EXPECT_EQ(dlg->saved(), (DmxTuneValues{700, 3.0, 1.5, 4}));
  {
    std::lock_guard<std::mutex> hold(lock_);
    DibPtr opened = Sharpened(frame.get(), {700, 3.0, 1.5, 4});
    EXPECT_TRUE(SamePixels(dlg->filteredPicture(), opened.get()));
  }

  while (meddler.rounds < 3) std::this_thread::yield();
  Drag(Slider(*dlg, Dlg::kIdRadiusSlider), 45);
  {
    std::lock_guard<std::mutex> hold(lock_);
    DibPtr expected = Sharpened(frame.get(), {700, 4.5, 1.5, 4});
    EXPECT_TRUE(SamePixels(dlg->filteredPicture(), expected.get()));
  }

  // A time of 1 ms over a 41-pixel corner would find nothing; the trial sets
  // its own time and the whole picture.
  ui::FindControl<QPushButton>(dlg.get(), Dlg::kIdTrialDecode)->click();
  EXPECT_EQ(ui::FindControl<QLabel>(dlg.get(), Dlg::kIdDecodedText)->text(), kDmxText);
  EXPECT_TRUE(answers_.requests().empty());

  ui::FindControl<QPushButton>(dlg.get(), Dlg::kIdOk)->click();
  EXPECT_EQ(readBack_, (DmxTuneValues{700, 4.5, 1.5, 4}));
}

TEST_F(UnsharpDlgTest, TuneEntryReturnsHowTheDialogWasClosed) {
  EXPECT_EQ(OvoDmxTune(nullptr), -1);
  DibPtr frame = DmxFrame();
  for (const auto& [button, expected] : {std::pair{Dlg::kIdOk, 0}, {Dlg::kIdCancel, 1}}) {
    const int32_t id = button;
    QTimer::singleShot(0, [id] {
      QWidget* modal = QApplication::activeModalWidget();
      ASSERT_NE(modal, nullptr);
      EXPECT_EQ(modal->property("templateId").toInt(), Dlg::kTemplateId);
      ui::FindControl<QPushButton>(modal, id)->click();
    });
    EXPECT_EQ(OvoDmxTune(frame.get()), expected);
  }
}

}  // namespace
}  // namespace vantrel::test

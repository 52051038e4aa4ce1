// The QR code settings page with a stand-in host.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "page_fixture.h"
#include "settings/ui/qrcode_page.h"

namespace vantrel::test {
namespace {

using Page = CQRCodePage;

const char kText[] = "VANTREL QR PAGE 3Q";

class QRCodePageTest : public PageTest<Page> {
 protected:
  void SetUp() override {
    // Version 3, level Q (zint's --secure counts L, M, Q, H from 1).
    qr_ = SymbolFrame({"-b", "QRCODE", "--vers=3", "--secure=3"}, kText, 4.0);
    MakeBench(qr_.get());
  }

  DibPtr qr_;
};

TEST_F(QRCodePageTest, ShowsAndAppliesThresholdDarkSymbolAndColour) {
  SettingsRecord s;
  s.QrThreshold = 100;
  s.QRBlack = 0;
  s.TargetColor = 2;
  Make(s);
  EXPECT_EQ(page_->property("templateId").toInt(), 1001);
  EXPECT_EQ(Edit(Page::kIdThreshold)->text(), "100");
  EXPECT_FALSE(Control<QCheckBox>(page_.get(), Page::kIdDark)->isChecked());
  EXPECT_TRUE(Control<QRadioButton>(page_.get(), Page::kIdBlue)->isChecked());

  Edit(Page::kIdThreshold)->setText("255");
  Control<QCheckBox>(page_.get(), Page::kIdDark)->click();
  Control<QRadioButton>(page_.get(), Page::kIdGreen)->click();
  EXPECT_EQ(Settings(), s);  // nothing acts before apply
  Click(Page::kIdApply);
  EXPECT_TRUE(answers_.requests().empty());
  EXPECT_EQ(Settings().QrThreshold, 255);
  EXPECT_EQ(Settings().QRBlack, 1);
  EXPECT_EQ(Settings().TargetColor, 1);
}

TEST_F(QRCodePageTest, ThresholdOutside0To255StopsApplyAndTry) {
  for (const char* text : {"256", "-1", "", "12x"}) {
    Make();
    Edit(Page::kIdThreshold)->setText(text);
    answers_.clear();
    Click(Page::kIdApply);
    Click(Page::kIdTry);
    ASSERT_EQ(answers_.texts(), std::vector<std::string>(2, "0 から 255 までの整数を入力してください。"))
        << text;
    EXPECT_EQ(page_->window()->focusWidget(), Edit(Page::kIdThreshold));
    EXPECT_EQ(Settings(), SettingsRecord{});
    EXPECT_TRUE(Edit(Page::kIdTime)->text().isEmpty());
  }
}

TEST_F(QRCodePageTest, TryShowsDataVersionAndLevel) {
  Make();
  Click(Page::kIdTry);
  EXPECT_TRUE(answers_.requests().empty());
  EXPECT_EQ(Edit(Page::kIdData)->text(), kText);
  EXPECT_EQ(Edit(Page::kIdVersion)->text(), "3");
  EXPECT_EQ(Edit(Page::kIdLevel)->text(), QString::fromUtf8("Q(25％)"));
  EXPECT_FALSE(Edit(Page::kIdTime)->text().isEmpty());
  EXPECT_EQ(bench_->host->plainRepaints, 1);
}

TEST_F(QRCodePageTest, FailuresShowTheLibrarysStatus) {
  const struct {
    bool symbol;
    int32_t area[4];
    const char* message;
  } cases[] = {
      {false, {79, 59, 559, 419}, "DECODE ERROR = -4"},  // no symbol
      {true, {300, 59, 329, 419}, "DECODE ERROR = -3"},  // 30 pixels wide
  };
  DibPtr paper = SymbolFrame({}, "", 1);
  for (const auto& c : cases) {
    bench_->Show(c.symbol ? qr_.get() : paper.get());
    SettingsRecord s;
    std::copy(std::begin(c.area), std::end(c.area), s.Area);
    Make(s);
    Click(Page::kIdTry);
    Click(Page::kIdTry);  // the fields emptied by the first stay empty
    answers_.clear();
    Click(Page::kIdTry);
    ASSERT_EQ(answers_.texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(answers_.requests()[0].icon, ui::MessageIcon::kNone);
    EXPECT_TRUE(Edit(Page::kIdData)->text().isEmpty());
    EXPECT_TRUE(Edit(Page::kIdVersion)->text().isEmpty());
    EXPECT_TRUE(Edit(Page::kIdLevel)->text().isEmpty());
    EXPECT_FALSE(Edit(Page::kIdTime)->text().isEmpty());
  }
  // 31 pixels are enough to be tried.
  bench_->Show(qr_.get());
  SettingsRecord s;
  s.Area[0] = 300;
  s.Area[2] = 330;
  Make(s);
  answers_.clear();
  Click(Page::kIdTry);
  ASSERT_EQ(answers_.texts().size(), 1u);
  EXPECT_NE(answers_.texts()[0], "DECODE ERROR = -3");
}

TEST_F(QRCodePageTest, RobustReadingIsShownAppliedAndTried) {
  // The processing range ends at the symbol's last module column (the
  // symbol spans x 262 to 377): its quiet zone on the right is cut, which
  // only the robust reading takes.
  SettingsRecord s;
  s.Area[2] = 377;
  s.QrRobust = 0;
  Make(s);
  QCheckBox* robust = Control<QCheckBox>(page_.get(), Page::kIdRobust);
  ASSERT_NE(robust, nullptr);
  EXPECT_EQ(robust->text(), QString::fromUtf8("強化読取"));
  EXPECT_FALSE(robust->isChecked());
  Click(Page::kIdTry);
  EXPECT_EQ(answers_.texts(), std::vector<std::string>{"DECODE ERROR = -4"});

  robust->click();
  EXPECT_EQ(Settings().QrRobust, 0);  // nothing acts before apply or try
  answers_.clear();
  Click(Page::kIdTry);
  EXPECT_TRUE(answers_.requests().empty());
  EXPECT_EQ(Edit(Page::kIdData)->text(), kText);
  EXPECT_EQ(Settings().QrRobust, 1);

  robust->click();
  Click(Page::kIdApply);
  EXPECT_EQ(Settings().QrRobust, 0);

  // The station's default is on; any value but 0 from a settings file is on.
  Make();
  EXPECT_TRUE(Control<QCheckBox>(page_.get(), Page::kIdRobust)->isChecked());
  s.QrRobust = 7;
  Make(s);
  EXPECT_TRUE(Control<QCheckBox>(page_.get(), Page::kIdRobust)->isChecked());
  Click(Page::kIdApply);
  EXPECT_EQ(Settings().QrRobust, 1);
}

TEST_F(QRCodePageTest, TrialReadsItsOwnPictureWhileFramesAreDecoded) {
  // The capture thread's frames hold another symbol and go through the same
  // library under the decoder lock.
  DibPtr other = SymbolFrame({"-b", "QRCODE", "--vers=2"}, "FRAME ON THE CAPTURE THREAD", 4.0);
  std::atomic<bool> stop{false};
  std::atomic<int32_t> frames{0};
  std::thread capture([&] {
    SettingsRecord s;
    char version[50], level[50], data[kDecodeDataBytes];
    int32_t position[8], length;
    while (!stop) {
      std::lock_guard<std::mutex> hold(bench_->host->DecoderLock());
      DecodeQrCode(other.get(), s, {}, 100, version, level, position, data, &length);
      ++frames;
    }
  });
  Make();
  while (frames < 2) std::this_thread::yield();
  for (int32_t i = 0; i < 3; ++i) {
    Click(Page::kIdTry);
    EXPECT_EQ(Edit(Page::kIdData)->text(), kText);
    EXPECT_EQ(Edit(Page::kIdVersion)->text(), "3");
  }
  stop = true;
  capture.join();
  EXPECT_TRUE(answers_.requests().empty());
}

}  // namespace
}  // namespace vantrel::test

// The camera dialogs on Qt (offscreen): the size list and the live controls.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QTimer>

#include <map>
#include <memory>
#include <vector>

#include "vantrel/capture_dialogs_qt.h"

namespace vantrel {
namespace {

class QtApp : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "capture_dialogs_tests";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] const auto* const kApp = ::testing::AddGlobalTestEnvironment(new QtApp);

class RecordingControls : public PictureControls {
 public:
  std::vector<PictureControl> List() override { return {}; }
  bool Set(uint32_t id, int32_t value) override {
    sets.emplace_back(id, value);
    values[id] = value;
    return true;
  }
  bool Get(uint32_t id, int32_t* value) override {
    *value = values[id];
    return true;
  }
  std::vector<std::pair<uint32_t, int32_t>> sets;
  std::map<uint32_t, int32_t> values;
};

// Presses a button of the dialog that is about to run modally.
void PressInNextModal(const char* button, int row = -1) {
  QTimer::singleShot(0, [button, row] {
    QWidget* modal = QApplication::activeModalWidget();
    ASSERT_NE(modal, nullptr);
    if (row >= 0) modal->findChild<QListWidget*>("sizeList")->setCurrentRow(row);
    modal->findChild<QPushButton*>(button)->click();
  });
}

const std::vector<FrameSize> kSizes = {{320, 240}, {640, 480}, {1280, 720}};

TEST(FrameSizeDialog, ListsTheOfferedSizesWithTheCurrentOneSelected) {
  FrameSizeDialog dialog(kSizes, 1);
  auto* list = dialog.findChild<QListWidget*>("sizeList");
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count(), 3);
  EXPECT_EQ(list->item(0)->text(), QString::fromUtf8("320 × 240"));
  EXPECT_EQ(list->item(2)->text(), QString::fromUtf8("1280 × 720"));
  EXPECT_EQ(list->currentRow(), 1);
  EXPECT_EQ(dialog.Chosen(), (FrameSize{640, 480}));
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("取込サイズ変更"));
  list->setCurrentRow(2);
  EXPECT_EQ(dialog.Chosen(), (FrameSize{1280, 720}));

  // A current size the device does not offer: nothing selected, OK waits for a choice.
  FrameSizeDialog none(kSizes, -1);
  EXPECT_EQ(none.Chosen(), (FrameSize{0, 0}));
  EXPECT_FALSE(none.findChild<QPushButton*>("ok")->isEnabled());
  none.findChild<QListWidget*>("sizeList")->setCurrentRow(0);
  EXPECT_TRUE(none.findChild<QPushButton*>("ok")->isEnabled());
}

TEST(FrameSizeDialog, OkGivesTheChosenSizeAndCancelNone) {
  QtCaptureDialogs dialogs(nullptr);
  FrameSize chosen{7, 7};
  PressInNextModal("ok", 0);
  ASSERT_TRUE(dialogs.ChooseFrameSize(kSizes, 1, &chosen));
  EXPECT_EQ(chosen, (FrameSize{320, 240}));
  chosen = {7, 7};
  PressInNextModal("cancel", 2);
  EXPECT_FALSE(dialogs.ChooseFrameSize(kSizes, 1, &chosen));
  EXPECT_EQ(chosen, (FrameSize{7, 7}));
}

TEST(PictureControlsDialog, EveryChangeGoesToTheDeviceAtOnce) {
  PictureControl brightness;
  brightness.id = 1;
  brightness.name = "Brightness";
  brightness.minimum = -64;
  brightness.maximum = 64;
  brightness.defaultValue = 0;
  brightness.value = 10;
  PictureControl exposure = brightness;
  exposure.id = 2;
  exposure.name = "Exposure";
  exposure.minimum = 1;
  exposure.maximum = 5000;
  exposure.step = 3;
  exposure.defaultValue = 157;
  exposure.value = 157;
  PictureControl autoGain;
  autoGain.id = 3;
  autoGain.name = "Gain, Automatic";
  autoGain.type = PictureControl::kBoolean;
  autoGain.maximum = 1;
  autoGain.defaultValue = 1;
  autoGain.value = 0;
  PictureControl powerLine;
  powerLine.id = 4;
  powerLine.name = "Power Line Frequency";
  powerLine.type = PictureControl::kMenu;
  powerLine.maximum = 2;
  powerLine.defaultValue = 1;
  powerLine.value = 2;
  powerLine.menu = {{0, "Disabled"}, {1, "50 Hz"}, {2, "60 Hz"}};

  RecordingControls device;
  PictureControlsDialog dialog(&device, {brightness, exposure, autoGain, powerLine});
  EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("画質調整"));
  auto* b = dialog.findChild<QSlider*>("control_1");
  auto* e = dialog.findChild<QSlider*>("control_2");
  auto* g = dialog.findChild<QCheckBox*>("control_3");
  auto* p = dialog.findChild<QComboBox*>("control_4");
  ASSERT_TRUE(b && e && g && p);
  EXPECT_EQ(b->minimum(), -64);
  EXPECT_EQ(b->maximum(), 64);
  EXPECT_EQ(b->value(), 10);
  EXPECT_FALSE(g->isChecked());
  EXPECT_EQ(p->currentText(), "60 Hz");
  EXPECT_TRUE(device.sets.empty()) << "showing the dialog changes nothing";

  b->setValue(-20);
  e->setValue(302);  // between steps: moved to 301
  g->setChecked(true);
  p->setCurrentIndex(0);
  EXPECT_EQ(device.sets, (std::vector<std::pair<uint32_t, int32_t>>{{1, -20}, {2, 301}, {3, 1}, {4, 0}}));

  device.sets.clear();
  dialog.findChild<QPushButton*>("defaults")->click();
  EXPECT_EQ(device.values[1], 0);
  EXPECT_EQ(device.values[2], 157);
  EXPECT_EQ(device.values[3], 1);
  EXPECT_EQ(device.values[4], 1);
}

}  // namespace
}  // namespace vantrel

// The device choice at start-up and the about box.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include "about_dlg.h"
#include "device_select_dlg.h"
#include "gui/qt_test_app.h"
#include "vantrel/control_ids.h"
#include "vantrel/ui_kit.h"

namespace vantrel::test {
namespace {

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

TEST(DeviceSelect, OpensOnTheDeviceOfDeviceNoAndOkGivesTheChosenDevicesNumber) {
  const std::vector<DeviceChoice> two = {{0, "Camera A"}, {1, "Camera B"}};
  // The second device has no name and is not listed: items stand for the
  // devices they name.
  const std::vector<DeviceChoice> gap = {{0, "Camera A"}, {2, "Camera C"}};
  struct Case {
    const std::vector<DeviceChoice>* devices;
    int32_t deviceNo;
    int32_t selectedAtOpen;
    int32_t choose;  // item chosen before OK, -1: as opened
    int32_t result;
  };
  const Case cases[] = {
      {&two, 2, 1, -1, 2}, {&two, 1, 0, 1, 2}, {&two, 5, -1, 0, 1}, {&two, 0, -1, 1, 2},
      {&gap, 3, 1, -1, 3}, {&gap, 2, -1, 1, 3}, {&gap, 1, 0, -1, 1},
  };
  for (const Case& c : cases) {
    CDeviceSelectDlg dialog(*c.devices, c.deviceNo);
    EXPECT_EQ(dialog.windowTitle(), QString::fromUtf8("デバイス選択"));
    auto* list = ui::FindControl<QComboBox>(&dialog, ids::kDeviceList);
    auto* ok = ui::FindControl<QPushButton>(&dialog, ids::kOk);
    ASSERT_NE(list, nullptr);
    ASSERT_NE(ok, nullptr);
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->itemText(1).toStdString(), (*c.devices)[1].name);
    EXPECT_EQ(dialog.selectedIndex(), c.selectedAtOpen) << "DeviceNo " << c.deviceNo;
    EXPECT_EQ(ok->isEnabled(), c.selectedAtOpen >= 0);
    if (c.choose >= 0) list->setCurrentIndex(c.choose);
    EXPECT_TRUE(ok->isEnabled());
    dialog.show();
    ok->click();
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.DeviceNo(), c.result) << "DeviceNo " << c.deviceNo << " choice " << c.choose;
  }
}

TEST(DeviceSelect, WithoutAChoiceOkDoesNothingAndCancelKeepsDeviceNo) {
  const std::vector<DeviceChoice> two = {{0, "Camera A"}, {1, "Camera B"}};
  CDeviceSelectDlg dialog(two, 5);
  dialog.show();
  dialog.accept();  // as Enter would
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(dialog.DeviceNo(), 5);
  auto* cancel = ui::FindControl<QPushButton>(&dialog, ids::kCancel);
  ASSERT_NE(cancel, nullptr);
  EXPECT_EQ(cancel->text(), QString::fromUtf8("キャンセル"));
  cancel->click();
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(dialog.DeviceNo(), 5);
}

TEST(About, ShowsTheIconNameVersionAndNoticeAndOkCloses) {
  CAboutDlg about;
  EXPECT_EQ(about.windowTitle(), QString::fromUtf8("バージョン情報"));
  EXPECT_EQ(ui::ControlIdOf(&about), ids::kAboutDialog);
  auto* icon = ui::FindControl<QLabel>(&about, ids::kAboutIcon);
  ASSERT_NE(icon, nullptr);
  EXPECT_FALSE(icon->pixmap().isNull());
  EXPECT_EQ(ui::FindControl<QLabel>(&about, ids::kAboutVersion)->text(), QStringLiteral("Vantrel, Version 1.0"));
  EXPECT_FALSE(ui::FindControl<QLabel>(&about, ids::kAboutNotice)->text().isEmpty());
  about.show();
  ui::FindControl<QPushButton>(&about, ids::kOk)->click();
  EXPECT_EQ(about.result(), QDialog::Accepted);
  EXPECT_FALSE(about.isVisible());
}

}  // namespace
}  // namespace vantrel::test

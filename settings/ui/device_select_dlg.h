// "デバイス選択": the camera chosen at start-up when there are two or more.
#ifndef VANTREL_DEVICE_SELECT_DLG_H
#define VANTREL_DEVICE_SELECT_DLG_H

#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

class QComboBox;
class QPushButton;

namespace vantrel {

// One camera as the list shows it: its position among all devices (0-based,
// DeviceEntry.index) and its name.
struct DeviceChoice {
  int32_t index = 0;
  std::string name;
};

class CDeviceSelectDlg : public QDialog {
  Q_OBJECT

 public:
  // Lists the devices in order and selects the one DeviceNo names (the item
  // whose index is deviceNo - 1); none when no item has that index. OK stays
  // disabled while nothing is selected.
  CDeviceSelectDlg(const std::vector<DeviceChoice>& devices, int32_t deviceNo,
                   QWidget* parent = nullptr);

  // The selected list position, -1 when none.
  int32_t selectedIndex() const;
  // After OK: the chosen device's index + 1. Before, or after Cancel: the
  // DeviceNo the dialog was opened with.
  int32_t DeviceNo() const { return deviceNo_; }

  QComboBox* list() const { return list_; }
  QPushButton* okButton() const { return ok_; }

 public slots:
  void accept() override;

 private:
  void UpdateOk();
  std::vector<DeviceChoice> devices_;
  int32_t deviceNo_;
  QComboBox* list_ = nullptr;
  QPushButton* ok_ = nullptr;
};

}  // namespace vantrel

#endif

#include "device_select_dlg.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "vantrel/control_ids.h"
#include "vantrel/ui_kit.h"

namespace vantrel {

CDeviceSelectDlg::CDeviceSelectDlg(const std::vector<DeviceChoice>& devices, int32_t deviceNo,
                                   QWidget* parent)
    : QDialog(parent), devices_(devices), deviceNo_(deviceNo) {
  ui::SetTemplateId(this, ids::kDeviceSelectDialog);
  setWindowTitle(QString::fromUtf8("デバイス選択"));

  list_ = new QComboBox(this);
  ui::SetControlId(list_, ids::kDeviceList);
  list_->setMinimumWidth(260);
  int32_t selected = -1;
  for (size_t i = 0; i < devices_.size(); ++i) {
    list_->addItem(ui::Q(devices_[i].name), QVariant(static_cast<int>(devices_[i].index)));
    if (int64_t{devices_[i].index} + 1 == deviceNo) selected = static_cast<int32_t>(i);
  }
  list_->setCurrentIndex(selected);

  ok_ = new QPushButton(QStringLiteral("OK"), this);
  ui::SetControlId(ok_, ids::kOk);
  auto* cancel = new QPushButton(QString::fromUtf8("キャンセル"), this);
  ui::SetControlId(cancel, ids::kCancel);
  ok_->setDefault(true);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(list_);
  layout->addLayout(buttons);

  connect(ok_, &QPushButton::clicked, this, &CDeviceSelectDlg::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(list_, &QComboBox::currentIndexChanged, this, [this] { UpdateOk(); });
  UpdateOk();
}

int32_t CDeviceSelectDlg::selectedIndex() const { return list_->currentIndex(); }

void CDeviceSelectDlg::UpdateOk() { ok_->setEnabled(list_->currentIndex() >= 0); }

void CDeviceSelectDlg::accept() {
  // Without a choice OK would name no device at all; it is disabled then, and
  // Enter must not get round that.
  const int32_t i = list_->currentIndex();
  if (i < 0 || i >= static_cast<int32_t>(devices_.size())) return;
  deviceNo_ = devices_[static_cast<size_t>(i)].index + 1;
  QDialog::accept();
}

}  // namespace vantrel

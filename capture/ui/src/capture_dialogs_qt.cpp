#include "vantrel/capture_dialogs_qt.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace vantrel {

namespace {

QString SizeText(const FrameSize& s) { return QString("%1 × %2").arg(s.width).arg(s.height); }

}  // namespace

FrameSizeDialog::FrameSizeDialog(const std::vector<FrameSize>& sizes, int32_t current, QWidget* parent)
    : QDialog(parent), sizes_(sizes) {
  setWindowTitle(QString::fromUtf8("取込サイズ変更"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(QString::fromUtf8("取込サイズ："), this));
  list_ = new QListWidget(this);
  list_->setObjectName("sizeList");
  for (const FrameSize& s : sizes_) list_->addItem(SizeText(s));
  if (current >= 0 && current < list_->count()) list_->setCurrentRow(current);
  layout->addWidget(list_);
  auto* buttons = new QDialogButtonBox(this);
  QPushButton* ok = buttons->addButton(QString::fromUtf8("OK"), QDialogButtonBox::AcceptRole);
  ok->setObjectName("ok");
  QPushButton* cancel = buttons->addButton(QString::fromUtf8("キャンセル"), QDialogButtonBox::RejectRole);
  cancel->setObjectName("cancel");
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(list_, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
  auto updateOk = [this, ok] { ok->setEnabled(list_->currentRow() >= 0); };
  connect(list_, &QListWidget::currentRowChanged, this, updateOk);
  updateOk();
}

FrameSize FrameSizeDialog::Chosen() const {
  const int row = list_->currentRow();
  if (row < 0 || row >= static_cast<int>(sizes_.size())) return FrameSize{};
  return sizes_[static_cast<size_t>(row)];
}

PictureControlsDialog::PictureControlsDialog(PictureControls* controls, const std::vector<PictureControl>& list,
                                             QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("画質調整"));
  auto* outer = new QVBoxLayout(this);
  auto* area = new QScrollArea(this);
  area->setWidgetResizable(true);
  auto* page = new QWidget(area);
  auto* form = new QFormLayout(page);
  std::vector<std::function<void()>> resets;

  for (const PictureControl& c : list) {
    const QString name = QString::fromStdString(c.name);
    const QString objectName = QString("control_%1").arg(c.id);
    const uint32_t id = c.id;
    if (c.type == PictureControl::kBoolean) {
      auto* box = new QCheckBox(page);
      box->setObjectName(objectName);
      box->setChecked(c.value != 0);
      connect(box, &QCheckBox::toggled, this, [controls, id](bool on) { controls->Set(id, on ? 1 : 0); });
      resets.push_back([box, d = c.defaultValue] { box->setChecked(d != 0); });
      form->addRow(name, box);
    } else if (c.type == PictureControl::kMenu && !c.menu.empty()) {
      auto* combo = new QComboBox(page);
      combo->setObjectName(objectName);
      for (const auto& [value, item] : c.menu) combo->addItem(QString::fromStdString(item), value);
      combo->setCurrentIndex(std::max(0, combo->findData(c.value)));
      connect(combo, &QComboBox::currentIndexChanged, this,
              [controls, id, combo](int index) { controls->Set(id, combo->itemData(index).toInt()); });
      resets.push_back([combo, d = c.defaultValue] { combo->setCurrentIndex(std::max(0, combo->findData(d))); });
      form->addRow(name, combo);
    } else {
      auto* row = new QWidget(page);
      auto* h = new QHBoxLayout(row);
      h->setContentsMargins(0, 0, 0, 0);
      auto* slider = new QSlider(Qt::Horizontal, row);
      slider->setObjectName(objectName);
      slider->setRange(c.minimum, c.maximum);
      slider->setSingleStep(c.step);
      slider->setPageStep(std::max(c.step, (c.maximum - c.minimum) / 10));
      slider->setValue(c.value);
      auto* value = new QLabel(QString::number(c.value), row);
      value->setMinimumWidth(48);
      h->addWidget(slider, 1);
      h->addWidget(value);
      // Live: every position the slider passes is set on the device.
      connect(slider, &QSlider::valueChanged, this, [controls, id, value, step = c.step, lo = c.minimum,
                                                     slider](int v) {
        if (step > 1 && (v - lo) % step != 0) {
          slider->setValue(lo + (v - lo + step / 2) / step * step);
          return;
        }
        value->setText(QString::number(v));
        controls->Set(id, v);
      });
      resets.push_back([slider, d = c.defaultValue] { slider->setValue(d); });
      form->addRow(name, row);
    }
  }
  area->setWidget(page);
  outer->addWidget(area);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* defaults = buttons->addButton(QString::fromUtf8("標準に戻す"), QDialogButtonBox::ResetRole);
  defaults->setObjectName("defaults");
  QPushButton* close = buttons->addButton(QString::fromUtf8("閉じる"), QDialogButtonBox::AcceptRole);
  close->setObjectName("close");
  outer->addWidget(buttons);
  connect(defaults, &QPushButton::clicked, this, [resets] {
    for (const auto& reset : resets) reset();
  });
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  resize(420, std::min(560, 120 + 36 * static_cast<int>(list.size())));
}

bool QtCaptureDialogs::ChooseFrameSize(const std::vector<FrameSize>& sizes, int32_t current, FrameSize* chosen) {
  FrameSizeDialog dialog(sizes, current, owner_);
  if (dialog.exec() != QDialog::Accepted) return false;
  const FrameSize size = dialog.Chosen();
  if (size.width <= 0) return false;
  *chosen = size;
  return true;
}

void QtCaptureDialogs::ShowPictureControls(PictureControls* controls, const std::vector<PictureControl>& list) {
  PictureControlsDialog dialog(controls, list, owner_);
  dialog.exec();
}

}  // namespace vantrel

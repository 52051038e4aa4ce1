#include "about_dlg.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "vantrel/app_icon.h"
#include "vantrel/control_ids.h"
#include "vantrel/ui_kit.h"

namespace vantrel {

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
  ui::SetTemplateId(this, ids::kAboutDialog);
  setWindowTitle(QString::fromUtf8("バージョン情報"));

  auto* icon = new QLabel(this);
  ui::SetControlId(icon, ids::kAboutIcon);
  icon->setPixmap(ui::ApplicationPixmap(48));
  icon->setFixedSize(48, 48);

  auto* version = new QLabel(QString::fromUtf8(kAboutVersionText), this);
  ui::SetControlId(version, ids::kAboutVersion);
  auto* notice = new QLabel(QString::fromUtf8(kAboutNoticeText), this);
  ui::SetControlId(notice, ids::kAboutNotice);

  auto* ok = new QPushButton(QStringLiteral("OK"), this);
  ui::SetControlId(ok, ids::kOk);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->addWidget(version);
  texts->addWidget(notice);
  auto* top = new QHBoxLayout;
  top->addWidget(icon, 0, Qt::AlignTop);
  top->addSpacing(12);
  top->addLayout(texts, 1);
  top->addSpacing(12);
  top->addWidget(ok, 0, Qt::AlignTop);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  setFixedSize(sizeHint());
}

}  // namespace vantrel

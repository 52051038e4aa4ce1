// "バージョン情報": the program's icon, name and version, and its notice.
#ifndef VANTREL_ABOUT_DLG_H
#define VANTREL_ABOUT_DLG_H

#include <QDialog>

namespace vantrel {

// The texts of the dialog.
inline constexpr const char* kAboutVersionText = "Vantrel, Version 1.0";
inline constexpr const char* kAboutNoticeText = "Copyright (C) The Vantrel developers";

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);
};

}  // namespace vantrel

#endif

// CQRCodePage: the QRCODE settings, with a trial read on the displayed
// picture. Nothing acts before "適用" or "実行".
#ifndef VANTREL_SETTINGS_UI_QRCODE_PAGE_H
#define VANTREL_SETTINGS_UI_QRCODE_PAGE_H

#include <cstdint>

#include "settings_page.h"

class QCheckBox;
class QLineEdit;
class QRadioButton;

namespace vantrel {

class CQRCodePage : public SettingsPage {
  Q_OBJECT

 public:
  static constexpr int32_t kTemplateId = 1001;
  enum ControlId : int32_t {
    kIdData = 1001,       // "データ："
    kIdVersion = 1003,    // "バージョン："
    kIdLevel = 1004,      // "レベル："
    kIdTry = 1011,        // "実行"
    kIdRed = 1019,        // "R"
    kIdGreen = 1020,      // "G"
    kIdBlue = 1021,       // "B"
    kIdDark = 1023,       // "QRコードが黒で印字"
    kIdApply = 1029,      // "適用"
    kIdThreshold = 1044,  // "しきい値："
    kIdTime = 1050,       // "処理時間："
    kIdRobust = pages::kIdRobust,  // "強化読取"
  };
  CQRCodePage(PageHost& host, QWidget* parent);

 private:
  struct Members {
    int32_t threshold = 0;
    int32_t dark = 0;
    int32_t colour = 0;
    int32_t robust = 0;
  };

  void BuildControls();
  void OnInitDialog();
  void CopyMembersToSettings() override;
  // The trial always reads, whatever kind the main window has chosen.
  CodeKinds TrialKinds(const SettingsRecord&) const override { return kReadQrCode; }
  void ShowReading(const Reading& reading) override;

  Members m_;

  QLineEdit* threshold_ = nullptr;
  QCheckBox* dark_ = nullptr;
  QRadioButton* colours_[3] = {nullptr, nullptr, nullptr};
  QCheckBox* robust_ = nullptr;
  QLineEdit* data_ = nullptr;
  QLineEdit* version_ = nullptr;
  QLineEdit* level_ = nullptr;
};

}  // namespace vantrel

#endif

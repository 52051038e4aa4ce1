// CDmxCodePage: the DMXCODE settings, with a trial read on the displayed
// picture. The unsharp mask's radius, amount and threshold are tuned in the
// reader's own dialog ("設定"), which shows their effect on that picture.
#ifndef VANTREL_SETTINGS_UI_DMXCODE_PAGE_H
#define VANTREL_SETTINGS_UI_DMXCODE_PAGE_H

#include <cstdint>

#include "settings_page.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace vantrel {

class CDmxCodePage : public SettingsPage {
  Q_OBJECT

 public:
  static constexpr int32_t kTemplateId = 1002;
  enum ControlId : int32_t {
    kIdData = 1001,       // "データ："
    kIdTry = 1011,        // "実行"
    kIdTune = 1021,       // "設定"
    kIdRadius = 1022,     // "半径："
    kIdUnsharp = 1023,    // "有効"
    kIdApply = 1029,      // "適用"
    kIdThreshold = 1044,  // "しきい値："
    kIdAmount = 1046,     // "量："
    kIdTime = 1050,       // "処理時間："
    kIdMaxTime = 1051,    // "最大処理時間："
  };

  CDmxCodePage(PageHost& host, QWidget* parent);

  void OnTune();

 private:
  struct Members {
    int32_t maxTime = 0;
    double radius = 0.0;
    double amount = 0.0;
    int32_t threshold = 0;
    int32_t unsharp = 0;
  };

  void BuildControls();
  void OnInitDialog();
  void CopyMembersToSettings() override;
  CodeKinds TrialKinds(const SettingsRecord&) const override { return kReadDataMatrix; }
  void ShowReading(const Reading& reading) override;
  void OnUnsharpSwitch();

  Members m_;

  QLineEdit* maxTime_ = nullptr;
  QLineEdit* radius_ = nullptr;
  QLineEdit* amount_ = nullptr;
  QLineEdit* threshold_ = nullptr;
  QCheckBox* unsharp_ = nullptr;
  QPushButton* tune_ = nullptr;
  QLineEdit* data_ = nullptr;
};

}  // namespace vantrel

#endif

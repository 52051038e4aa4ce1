// CBarCodePage: the BARCODE settings, with a trial read on the displayed
// picture. The scan level, the scan angle and the guide switch act on the
// preview at once; everything else takes effect with "適用" or "実行".
#ifndef VANTREL_SETTINGS_UI_BARCODE_PAGE_H
#define VANTREL_SETTINGS_UI_BARCODE_PAGE_H

#include <cstdint>

#include "settings_page.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace vantrel {

class CBarCodePage : public SettingsPage {
  Q_OBJECT

 public:
  static constexpr int32_t kTemplateId = 1000;
  enum ControlId : int32_t {
    kIdData = 1001,        // "データ："
    kIdTypeName = 1002,    // "種類："
    kIdJan8 = 1005,
    kIdJan13 = 1006,
    kIdItf = 1007,
    kIdCode39 = 1008,
    kIdCode128 = 1009,
    kIdNw7 = 1010,
    kIdTry = 1011,         // "実行"
    kIdBinarize = 1014,    // "2値化"
    kIdItfMin = 1015,
    kIdGuide = 1016,       // "ガイド表示"
    kIdItfMax = 1017,
    kIdCode39Min = 1018,
    kIdCode39Max = 1019,
    kIdCode128Min = 1022,
    kIdCode128Max = 1023,
    kIdNw7Min = 1024,
    kIdNw7Max = 1025,
    kIdScanDegree = 1027,  // "スキャン角度："
    kIdApply = 1029,       // "適用"
    kIdScanLevel = 1040,   // "スキャンレベル："
    kIdTime = 1050,        // "処理時間："
    kIdRobust = pages::kIdRobust,  // "強化読取"
  };

  CBarCodePage(PageHost& host, QWidget* parent);

 private:
  struct Members {
    int32_t jan8 = 0, jan13 = 0;
    int32_t itf = 0, itfMin = 0, itfMax = 0;
    int32_t code39 = 0, code39Min = 0, code39Max = 0;
    int32_t code128 = 0, code128Min = 0, code128Max = 0;
    int32_t nw7 = 0, nw7Min = 0, nw7Max = 0;
    int32_t scanLevelIndex = 0;
    double scanDegree = 0.0;
    int32_t autoBin = 0;
    int32_t guide = 0;
    int32_t robust = 0;
  };

  void BuildControls();
  void OnInitDialog();
  void CopyMembersToSettings() override;
  // With none of the six symbologies ticked nothing is read.
  CodeKinds TrialKinds(const SettingsRecord& settings) const override;
  void ShowReading(const Reading& reading) override;
  void OnScanChange();
  void OnGuideChange();

  Members m_;
  // True while the page fills its controls: their change signals are not the
  // operator's.
  bool filling_ = false;

  QCheckBox* jan8_ = nullptr;
  QCheckBox* jan13_ = nullptr;
  QCheckBox* itf_ = nullptr;
  QCheckBox* code39_ = nullptr;
  QCheckBox* code128_ = nullptr;
  QCheckBox* nw7_ = nullptr;
  QLineEdit* itfMin_ = nullptr;
  QLineEdit* itfMax_ = nullptr;
  QLineEdit* code39Min_ = nullptr;
  QLineEdit* code39Max_ = nullptr;
  QLineEdit* code128Min_ = nullptr;
  QLineEdit* code128Max_ = nullptr;
  QLineEdit* nw7Min_ = nullptr;
  QLineEdit* nw7Max_ = nullptr;
  QComboBox* scanLevel_ = nullptr;
  QLineEdit* scanDegree_ = nullptr;
  QCheckBox* binarize_ = nullptr;
  QCheckBox* guide_ = nullptr;
  QCheckBox* robust_ = nullptr;
  QLineEdit* data_ = nullptr;
  QLineEdit* typeName_ = nullptr;
};

}  // namespace vantrel

#endif

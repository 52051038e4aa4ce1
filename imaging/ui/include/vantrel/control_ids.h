// The numbers of the station's dialogs and controls. They are the widgets'
// names (see ui::SetControlId), so tests and tools find every control by them.
// The settings pages keep their own control numbers beside their classes.
#ifndef VANTREL_CONTROL_IDS_H
#define VANTREL_CONTROL_IDS_H

#include <cstdint>

namespace vantrel::ids {

// Dialog templates.
constexpr int32_t kAboutDialog = 100;
constexpr int32_t kMainDialog = 102;
constexpr int32_t kDeviceSelectDialog = 130;
constexpr int32_t kBarCodePage = 1000;
constexpr int32_t kQRCodePage = 1001;
constexpr int32_t kDmxCodePage = 1002;

// Resources.
constexpr int32_t kApplicationIcon = 128;
constexpr int32_t kCornerPicture = 134;
constexpr int32_t kAboutMenuText = 101;  // "バージョン情報(&A)..."
constexpr int32_t kAboutCommand = 0x0010;

// Buttons every dialog has.
constexpr int32_t kOk = 1;
constexpr int32_t kCancel = 2;

// Main window (template 102).
constexpr int32_t kExit = 2;                // "終了"
constexpr int32_t kSettingsToggle = 1004;   // "設定"
constexpr int32_t kPreviewFrame = 1006;     // black frame of the preview
constexpr int32_t kOpen = 1007;             // "開く"
constexpr int32_t kSave = 1008;             // "保存"
constexpr int32_t kCaptureSize = 1009;      // "取込サイズ変更"
constexpr int32_t kRangeStartX = 1010;
constexpr int32_t kImageQuality = 1011;     // "画質調整"
constexpr int32_t kRangeStartY = 1012;
constexpr int32_t kRangeEndX = 1013;
constexpr int32_t kRangeEndY = 1014;
constexpr int32_t kShowRange = 1015;        // hidden "処理範囲を表示する"
constexpr int32_t kSpinStartX = 1016;
constexpr int32_t kSpinStartY = 1017;
constexpr int32_t kSpinEndX = 1018;
constexpr int32_t kSpinEndY = 1019;
constexpr int32_t kReadStart = 1025;        // "読取開始" / "停止"
constexpr int32_t kResultCommand = 1028;    // hidden "INVALID_DATA"
constexpr int32_t kResultBox = 1030;
// Labels and group boxes of the result pane.
constexpr int32_t kCodeKindGroup = 1031;    // "対象コード"
constexpr int32_t kRangeGroup = 1032;       // "処理範囲"
constexpr int32_t kResultGroup = 1033;      // "結果"
constexpr int32_t kStartLabel = 1034;       // "開始[X-Y]："
constexpr int32_t kEndLabel = 1035;         // "終了[X-Y]："
constexpr int32_t kPageChoice = 1036;       // combo of the settings pane
constexpr int32_t kStopAfterRead = 1037;    // "読取後に停止する"
constexpr int32_t kKindBarcode = 1039;      // "バーコード"
constexpr int32_t kKindQRCode = 1040;       // "ＱＲコード"
constexpr int32_t kKindDataMatrix = 1041;   // "データマトリックス"
constexpr int32_t kPageFrame = 5009;

// Device selection (template 130).
constexpr int32_t kDeviceList = 1007;

// About (template 100).
constexpr int32_t kAboutIcon = 1101;
constexpr int32_t kAboutVersion = 1102;
constexpr int32_t kAboutNotice = 1103;

}  // namespace vantrel::ids

#endif

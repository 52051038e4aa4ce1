// The history window ("履歴"): a table of what the station read, newest first,
// with "コピー" (the selected rows, or all, as tab-separated text on the
// clipboard), "CSV保存" and "クリア". Non-modal; the main window owns the
// history and opens this window over it. Everything runs on the window thread.
#ifndef VANTREL_HISTORY_DLG_H
#define VANTREL_HISTORY_DLG_H

#include <QAbstractTableModel>
#include <QDialog>

#include <cstdint>
#include <string>
#include <vector>

#include "vantrel/reading_history.h"

class QLabel;
class QPushButton;
class QTableView;

namespace vantrel {

namespace ids {
// The history window and its controls, and the main window's controls for it.
constexpr int32_t kHistoryDialog = 140;
constexpr int32_t kHistoryTable = 1201;
constexpr int32_t kHistoryCopy = 1202;   // "コピー"
constexpr int32_t kHistoryCsv = 1203;    // "CSV保存"
constexpr int32_t kHistoryClear = 1204;  // "クリア"
constexpr int32_t kHistoryCount = 1205;  // "n 件"
constexpr int32_t kHistoryButton = 1042;  // main window: "履歴"
constexpr int32_t kBeep = 1043;           // main window: "読取音"
constexpr int32_t kReadingFigures = 1044;  // main window: the status line under the preview
}  // namespace ids

// The history as a table model: row 0 is the newest entry. Cells show one
// line, long texts and byte lists cut short; the tool tip holds more.
class HistoryModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit HistoryModel(size_t capacity = ReadingHistory::kDefaultCapacity, QObject* parent = nullptr);

  // Adds the newest entry at the top; a full history drops its oldest row first.
  void Append(HistoryEntry entry);
  void Clear();
  const ReadingHistory& history() const { return history_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

 signals:
  void countChanged(int count);

 private:
  ReadingHistory history_;
};

class CHistoryDlg : public QDialog {
  Q_OBJECT

 public:
  CHistoryDlg(HistoryModel& model, QWidget* parent);

  // "コピー": the selected rows (in table order), or every row when none is
  // selected, tab-separated on the clipboard.
  void OnCopy();
  // "CSV保存": a file dialog, then the whole history as CSV; a file that could
  // not be written is told and left as it was.
  void OnSaveCsv();
  // "クリア": empties the history after a Yes.
  void OnClear();

  QTableView* table() const { return table_; }
  const std::string& lastFolder() const { return lastFolder_; }

 protected:
  // Ctrl+C in the table copies as "コピー" does.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The ages (0 newest) of the selected rows in table order; all when none.
  std::vector<size_t> ChosenAges() const;
  void ShowCount(int count);

  HistoryModel& model_;
  QTableView* table_ = nullptr;
  QLabel* count_ = nullptr;
  std::string lastFolder_;
};

}  // namespace vantrel

#endif

#include "vantrel/history_dlg.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QTableView>
#include <QVBoxLayout>

#include <algorithm>

#include "vantrel/ui_kit.h"

namespace vantrel {

namespace {

QString U(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

// What a cell shows: one line, at most this many characters.
constexpr size_t kCellCharacters = 200;
// Bytes a cell shows in hex before it is cut short.
constexpr size_t kCellBytes = 64;
// The tool tip shows more, but not a whole large symbol.
constexpr size_t kTipCharacters = 2000;

// Widths of the columns at first (the operator can drag them).
constexpr int kColumnWidths[kHistoryColumns] = {175, 80, 220, 180, 95, 160, 50};

}  // namespace

// ---------------------------------------------------------------- HistoryModel

HistoryModel::HistoryModel(size_t capacity, QObject* parent) : QAbstractTableModel(parent), history_(capacity) {}

void HistoryModel::Append(HistoryEntry entry) {
  if (history_.full()) {
    const int last = static_cast<int>(history_.size()) - 1;
    beginRemoveRows(QModelIndex(), last, last);
    history_.DropOldest();
    endRemoveRows();
  }
  beginInsertRows(QModelIndex(), 0, 0);
  history_.Append(std::move(entry));
  endInsertRows();
  emit countChanged(static_cast<int>(history_.size()));
}

void HistoryModel::Clear() {
  beginResetModel();
  history_.Clear();
  endResetModel();
  emit countChanged(0);
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(history_.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : kHistoryColumns; }

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() < 0 || static_cast<size_t>(index.row()) >= history_.size()) return {};
  const HistoryEntry& e = history_.Newest(static_cast<size_t>(index.row()));
  const int column = index.column();
  switch (role) {
    case Qt::DisplayRole:
      if (column == kHistoryText) return U(OneLineText(e.text, kCellCharacters));
      if (column == kHistoryBytes) {
        std::string hex = HexBytes(std::string_view(e.bytes).substr(0, kCellBytes));
        if (e.bytes.size() > kCellBytes) hex += " …";
        return U(hex);
      }
      return U(CellText(e, column));
    case Qt::ToolTipRole:
      if (column == kHistoryText) return U(OneLineText(e.text, kTipCharacters));
      if (column == kHistoryBytes) return QString::number(e.bytes.size()) + QStringLiteral(" bytes");
      return {};
    case Qt::TextAlignmentRole:
      if (column == kHistoryDecodeTime) return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
      return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    default:
      return {};
  }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  return U(HistoryHeader(section));
}

// ---------------------------------------------------------------- CHistoryDlg

CHistoryDlg::CHistoryDlg(HistoryModel& model, QWidget* parent) : QDialog(parent), model_(model) {
  ui::SetTemplateId(this, ids::kHistoryDialog);
  setWindowTitle(QStringLiteral("履歴"));
  setModal(false);
  setSizeGripEnabled(true);

  table_ = new QTableView(this);
  ui::SetControlId(table_, ids::kHistoryTable);
  table_->setModel(&model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setWordWrap(false);
  table_->setTextElideMode(Qt::ElideRight);
  table_->setAlternatingRowColors(true);
  table_->installEventFilter(this);
  // Rows of one height and columns of set widths: appending to ten thousand
  // rows measures nothing, so the view stays quick at the cap.
  QHeaderView* rows = table_->verticalHeader();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(table_->fontMetrics().height() + 6);
  rows->hide();
  QHeaderView* columns = table_->horizontalHeader();
  columns->setSectionResizeMode(QHeaderView::Interactive);
  for (int c = 0; c < kHistoryColumns; ++c) columns->resizeSection(c, kColumnWidths[c]);
  columns->setStretchLastSection(true);

  auto button = [this](const char* text, int32_t id) {
    auto* b = new QPushButton(QString::fromUtf8(text), this);
    ui::SetControlId(b, id);
    b->setAutoDefault(false);
    return b;
  };
  QPushButton* copy = button("コピー", ids::kHistoryCopy);
  QPushButton* csv = button("CSV保存", ids::kHistoryCsv);
  QPushButton* clear = button("クリア", ids::kHistoryClear);
  count_ = new QLabel(this);
  ui::SetControlId(count_, ids::kHistoryCount);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(copy);
  buttons->addWidget(csv);
  buttons->addWidget(clear);
  buttons->addStretch();
  buttons->addWidget(count_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(table_);
  layout->addLayout(buttons);

  connect(copy, &QPushButton::clicked, this, [this] { OnCopy(); });
  connect(csv, &QPushButton::clicked, this, [this] { OnSaveCsv(); });
  connect(clear, &QPushButton::clicked, this, [this] { OnClear(); });
  connect(&model_, &HistoryModel::countChanged, this, [this](int n) { ShowCount(n); });
  ShowCount(static_cast<int>(model_.history().size()));
  resize(1040, 420);
}

void CHistoryDlg::ShowCount(int count) { count_->setText(QString::number(count) + QStringLiteral(" 件")); }

std::vector<size_t> CHistoryDlg::ChosenAges() const {
  std::vector<size_t> ages;
  for (const QModelIndex& i : table_->selectionModel()->selectedRows()) ages.push_back(static_cast<size_t>(i.row()));
  std::sort(ages.begin(), ages.end());
  if (ages.empty()) {
    ages.resize(model_.history().size());
    for (size_t i = 0; i < ages.size(); ++i) ages[i] = i;
  }
  return ages;
}

void CHistoryDlg::OnCopy() {
  const std::string text = TabSeparatedText(model_.history(), ChosenAges());
  QApplication::clipboard()->setText(U(text));
}

void CHistoryDlg::OnSaveCsv() {
  ui::FileDialogRequest request;
  request.parent = this;
  request.save = true;
  request.caption = "CSV保存";
  request.filters = {"CSV ファイル (*.csv *.CSV)"};
  request.defaultSuffix = "csv";
  request.fileName = "履歴.csv";
  request.startFolder = lastFolder_;
  request.confirmOverwrite = true;
  const std::optional<std::string> path = ui::ChooseFile(request);
  if (!path) return;
  lastFolder_ = ui::FolderOf(*path);
  bool written = false;
  {
    ui::WaitCursor busy;
    const std::string csv = CsvText(model_.history());
    // Whole or not at all: an earlier file of that name survives a failure.
    QSaveFile file(QString::fromStdString(*path));
    written = file.open(QIODevice::WriteOnly) &&
              file.write(csv.data(), static_cast<qint64>(csv.size())) == static_cast<qint64>(csv.size()) &&
              file.commit();
  }
  if (!written) {
    ui::ShowMessage(this, "CSV ファイルを書き込めませんでした。\n" + *path, "Vantrel", ui::MessageIcon::kStop);
  }
}

void CHistoryDlg::OnClear() {
  if (model_.history().empty()) return;
  if (ui::ShowMessage(this, "履歴をすべて消去しますか?", "Vantrel", ui::MessageIcon::kQuestion,
                      ui::MessageButtons::kYesNo) != ui::MessageResult::kYes)
    return;
  model_.Clear();
}

bool CHistoryDlg::eventFilter(QObject* watched, QEvent* event) {
  // The table would copy only its current cell.
  if (watched == table_ && event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->matches(QKeySequence::Copy)) {
    OnCopy();
    return true;
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace vantrel

#include "vantrel/vantrel_dlg.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>

#include "about_dlg.h"
#include "barcode_page.h"
#include "dmxcode_page.h"
#include "qrcode_page.h"
#include "vantrel/app_icon.h"
#include "vantrel/capture_dialogs_qt.h"
#include "vantrel/control_ids.h"
#include "vantrel/data_exchange.h"
#include "vantrel/dib_file.h"
#include "vantrel/guide_lines.h"
#include "vantrel/history_dlg.h"
#include "vantrel/overlay.h"
#include "vantrel/ovoutil.h"
#include "vantrel/picture_open.h"
#include "vantrel/qt_draw_context.h"
#include "vantrel/read_sound.h"
#include "vantrel/reading_figures.h"
#include "vantrel/station_core.h"
#include "vantrel/ui_kit.h"

namespace vantrel {

namespace {

constexpr uint32_t kGreen = MakeColour(0, 255, 0);
const char* const kCaption = "Vantrel";

// Geometry of the window, in its client pixels. The preview frame holds a
// 640 x 480 preview inside its one-pixel border.
constexpr QRect kPreviewFrameRect(10, 10, 642, 482);
constexpr int kRightX = 664;
constexpr int kRightWidth = 340;
constexpr QSize kPageFrameMinimum(kRightWidth, 484);
constexpr QPoint kPageOffset(3, 31);
// The status line of the reading figures, between the preview and the buttons.
constexpr int kStatusLineHeight = 24;
// How often the status line is brought up to date while reading.
constexpr int kFiguresIntervalMs = 250;

QString U(const char* utf8) { return QString::fromUtf8(utf8); }

template <typename T>
T* Named(T* widget, int32_t id) {
  ui::SetControlId(widget, id);
  return widget;
}

QPushButton* PlainButton(const char* text, QWidget* parent) {
  auto* b = new QPushButton(U(text), parent);
  // Enter belongs to the window (its OK), not to whichever button is near.
  b->setAutoDefault(false);
  b->setDefault(false);
  return b;
}

QGroupBox* Group(const char* title, const QRect& r, QWidget* parent) {
  auto* g = new QGroupBox(U(title), parent);
  g->setGeometry(r);
  g->lower();
  return g;
}

// The whole number in a range box; nothing when it holds none.
std::optional<int32_t> BoxNumber(const QLineEdit* edit) { return ui::ParseWholeNumber(ui::S(edit->text())); }

// The file dialog of "開く" and "保存", starting in the last folder: "開く" takes
// every picture the station reads (told by the file's first bytes, so any file
// may be tried), "保存" bitmap files.
ui::FileDialogRequest BitmapFileRequest(QWidget* parent, bool save, const std::string& startFolder) {
  ui::FileDialogRequest request;
  request.parent = parent;
  request.save = save;
  request.caption = save ? "名前を付けて保存" : "開く";
  if (save) {
    request.filters = {"ビットマップ ファイル (*.bmp *.BMP)"};
  } else {
    request.filters = {"画像ファイル (*.bmp *.png *.jpg *.jpeg *.jpe *.tif *.tiff *.gif "
                       "*.BMP *.PNG *.JPG *.JPEG *.JPE *.TIF *.TIFF *.GIF)",
                       "ビットマップ ファイル (*.bmp *.BMP)", "すべてのファイル (*)"};
  }
  request.defaultSuffix = "bmp";
  request.fileName = save ? "Untitled" : "Untitled.bmp";
  request.startFolder = startFolder;
  request.confirmOverwrite = save;
  return request;
}

}  // namespace

// ---------------------------------------------------------------- UpDownControl

UpDownControl::UpDownControl(QLineEdit* buddy, QWidget* parent) : QWidget(parent), buddy_(buddy) {
  up_ = new QToolButton(this);
  up_->setArrowType(Qt::UpArrow);
  up_->setAutoRepeat(true);
  up_->setFocusPolicy(Qt::NoFocus);
  down_ = new QToolButton(this);
  down_->setArrowType(Qt::DownArrow);
  down_->setAutoRepeat(true);
  down_->setFocusPolicy(Qt::NoFocus);
  connect(up_, &QToolButton::clicked, this, [this] { Step(+1); });
  connect(down_, &QToolButton::clicked, this, [this] { Step(-1); });
  buddy_->installEventFilter(this);
}

void UpDownControl::resizeEvent(QResizeEvent*) {
  const int half = height() / 2;
  up_->setGeometry(0, 0, width(), half);
  down_->setGeometry(0, half, width(), height() - half);
}

void UpDownControl::SetRange(int32_t minimum, int32_t maximum) {
  minimum_ = minimum;
  maximum_ = std::max(minimum, maximum);
}

void UpDownControl::Step(int32_t delta) {
  const int32_t v = BoxNumber(buddy_).value_or(minimum_);
  int64_t next = std::clamp<int64_t>(v, minimum_, maximum_) + delta;
  next = std::clamp<int64_t>(next, minimum_, maximum_);
  buddy_->setText(QString::number(next));
}

bool UpDownControl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == buddy_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
      Step(key->key() == Qt::Key_Up ? +1 : -1);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

// ---------------------------------------------------------------- PreviewFrame

PreviewFrame::PreviewFrame(CVantrelDlg* dialog, QWidget* parent) : QFrame(parent), dialog_(dialog) {
  // The picture covers the preview on every paint: no background to erase
  // first, so that frames at camera rate do not flicker.
  setAttribute(Qt::WA_OpaquePaintEvent, true);
  setAcceptDrops(true);
}

namespace {
// The first local file a drag carries; empty for none.
std::string DroppedFile(const QMimeData* data) {
  if (data == nullptr || !data->hasUrls()) return {};
  for (const QUrl& url : data->urls()) {
    if (url.isLocalFile()) return url.toLocalFile().toStdString();
  }
  return {};
}
}  // namespace

void PreviewFrame::dragEnterEvent(QDragEnterEvent* event) {
  if (!DroppedFile(event->mimeData()).empty()) event->acceptProposedAction();
}

void PreviewFrame::dragMoveEvent(QDragMoveEvent* event) {
  if (!DroppedFile(event->mimeData()).empty()) event->acceptProposedAction();
}

void PreviewFrame::dropEvent(QDropEvent* event) {
  const std::string path = DroppedFile(event->mimeData());
  if (path.empty()) return;
  event->acceptProposedAction();
  // After the drop has ended, so that no drag is under way while a message
  // box is up.
  QTimer::singleShot(0, dialog_, [dialog = dialog_, path] {
    dialog->OpenPicture(path);
    dialog->InvalidatePreview(true);
  });
}

void PreviewFrame::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  painter.setPen(Qt::black);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  // The preview's rectangle and the overlay origin are in the window's
  // coordinates; the frame sits somewhere inside the window.
  const QPoint offset = mapTo(dialog_, QPoint(0, 0));
  painter.translate(-offset);
  dialog_->PaintPreview(painter);
}

// ---------------------------------------------------------------- CVantrelDlg

CVantrelDlg::CVantrelDlg(StationCore& station, QWidget* parent)
    : QDialog(parent), station_(station) {
  ui::SetTemplateId(this, ids::kMainDialog);
  setWindowTitle(U(kCaption));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  ownDialogs_ = std::make_unique<QtCaptureDialogs>(this);
  captureDialogs_ = ownDialogs_.get();
  BuildControls();
  station_.SetWindow(this);
  SetGuideRepaint([this] { InvalidatePreview(false); });
  OnInitDialog();
}

CVantrelDlg::~CVantrelDlg() {
  StopOnDestroy();
  delete historyDlg_;  // before the history it shows
  historyDlg_ = nullptr;
  SetGuideRepaint({});
  if (station_.window() == this) station_.SetWindow(nullptr);
}

void CVantrelDlg::BuildControls() {
  preview_ = new PreviewFrame(this, this);
  ui::SetControlId(preview_, ids::kPreviewFrame);
  preview_->setGeometry(kPreviewFrameRect);

  // Reading, below the preview and its status line.
  const int belowY = kPreviewFrameRect.bottom() + 10 + kStatusLineHeight;
  readStart_ = Named(PlainButton("読取開始", this), ids::kReadStart);
  readStart_->setCheckable(true);
  readStart_->setGeometry(10, belowY + 6, 120, 34);
  stopAfterReadBox_ = Named(new QCheckBox(U("読取後に停止する"), this), ids::kStopAfterRead);
  stopAfterReadBox_->setGeometry(10, belowY + 46, 160, 24);

  Group("ファイル", QRect(180, belowY, 176, 78), this);
  auto* open = Named(PlainButton("開く", this), ids::kOpen);
  open->setGeometry(190, belowY + 28, 76, 34);
  auto* save = Named(PlainButton("保存", this), ids::kSave);
  save->setGeometry(270, belowY + 28, 76, 34);

  Group("カメラ", QRect(366, belowY, 286, 78), this);
  auto* size = Named(PlainButton("取込サイズ変更", this), ids::kCaptureSize);
  size->setGeometry(376, belowY + 28, 150, 34);
  auto* quality = Named(PlainButton("画質調整", this), ids::kImageQuality);
  quality->setGeometry(530, belowY + 28, 112, 34);

  // The result pane.
  Named(Group("対象コード", QRect(kRightX, 6, kRightWidth, 112), this), ids::kCodeKindGroup);
  const char* kinds[3] = {"バーコード", "ＱＲコード", "データマトリックス"};
  const int32_t kindIds[3] = {ids::kKindBarcode, ids::kKindQRCode, ids::kKindDataMatrix};
  auto* kindGroup = new QButtonGroup(this);
  for (int i = 0; i < 3; ++i) {
    kindRadios_[i] = Named(new QRadioButton(U(kinds[i]), this), kindIds[i]);
    kindRadios_[i]->setGeometry(kRightX + 16, 30 + i * 28, 240, 24);
    kindGroup->addButton(kindRadios_[i], i);
    connect(kindRadios_[i], &QRadioButton::clicked, this, [this, i] { OnCodeKind(i); });
  }

  Named(Group("処理範囲", QRect(kRightX, 124, kRightWidth, 100), this), ids::kRangeGroup);
  auto* startLabel = Named(new QLabel(U("開始[X-Y]："), this), ids::kStartLabel);
  startLabel->setGeometry(kRightX + 16, 152, 100, 26);
  auto* endLabel = Named(new QLabel(U("終了[X-Y]："), this), ids::kEndLabel);
  endLabel->setGeometry(kRightX + 16, 186, 100, 26);
  const int32_t editIds[4] = {ids::kRangeStartX, ids::kRangeStartY, ids::kRangeEndX, ids::kRangeEndY};
  const int32_t spinIds[4] = {ids::kSpinStartX, ids::kSpinStartY, ids::kSpinEndX, ids::kSpinEndY};
  for (int i = 0; i < 4; ++i) {
    const int x = kRightX + 120 + (i % 2) * 100, y = 152 + (i / 2) * 34;
    rangeEdits_[i] = Named(new QLineEdit(this), editIds[i]);
    rangeEdits_[i]->setGeometry(x, y, 70, 26);
    rangeEdits_[i]->setAlignment(Qt::AlignRight);
    spins_[i] = Named(new UpDownControl(rangeEdits_[i], this), spinIds[i]);
    spins_[i]->setGeometry(x + 70, y, 18, 26);
    const int32_t id = editIds[i];
    connect(rangeEdits_[i], &QLineEdit::textChanged, this, [this, id] { OnRangeChanged(id); });
  }

  Named(Group("結果", QRect(kRightX, 230, kRightWidth, 260), this), ids::kResultGroup);
  resultBox_ = Named(new QPlainTextEdit(this), ids::kResultBox);
  resultBox_->setGeometry(kRightX + 12, 256, kRightWidth - 24, 222);
  resultBox_->setReadOnly(true);

  // The settings pane: the page frame with the combo over its top.
  pageFrame_ = Named(new QFrame(this), ids::kPageFrame);
  pageFrame_->setFrameStyle(QFrame::Box | QFrame::Sunken);
  pageFrame_->setGeometry(QRect(QPoint(kRightX, 6), kPageFrameMinimum));
  pageChoice_ = Named(new QComboBox(this), ids::kPageChoice);
  pageChoice_->setGeometry(kRightX + kPageOffset.x(), 6 + 3, 220, 26);
  connect(pageChoice_, &QComboBox::currentIndexChanged, this, [this](int i) { OnPageChoice(i); });

  // Bottom right.
  settingsToggle_ = Named(PlainButton("設定", this), ids::kSettingsToggle);
  settingsToggle_->setCheckable(true);
  settingsToggle_->setGeometry(kRightX, belowY + 6, 100, 34);
  auto* exit = Named(PlainButton("終了", this), ids::kExit);
  exit->setGeometry(kRightX + 108, belowY + 6, 100, 34);
  auto* corner = new QLabel(this);
  corner->setPixmap(ui::CornerPicture());
  corner->setGeometry(kRightX + kRightWidth - 120, belowY + 42, 120, 40);

  // Never shown: the result command's target and the range switch.
  resultCommand_ = Named(PlainButton("INVALID_DATA", this), ids::kResultCommand);
  resultCommand_->hide();
  showRangeBox_ = Named(new QCheckBox(U("処理範囲を表示する"), this), ids::kShowRange);
  showRangeBox_->hide();

  connect(readStart_, &QPushButton::clicked, this, [this] { OnReadStart(); });
  connect(resultCommand_, &QPushButton::clicked, this, [this] { OnResultCommand(); });
  connect(open, &QPushButton::clicked, this, [this] { OnOpen(); });
  connect(save, &QPushButton::clicked, this, [this] { OnSave(); });
  connect(size, &QPushButton::clicked, this, [this] { OnCaptureSize(); });
  connect(quality, &QPushButton::clicked, this, [this] { OnImageQuality(); });
  connect(settingsToggle_, &QPushButton::clicked, this, [this] { OnSettingsToggle(); });
  connect(exit, &QPushButton::clicked, this, [this] { reject(); });
  connect(showRangeBox_, &QCheckBox::clicked, this, [this] { OnShowRange(); });
  connect(stopAfterReadBox_, &QCheckBox::clicked, this, [this] { OnStopAfterRead(); });

  BuildStationExtras(belowY);
  setFixedSize(kRightX + kRightWidth + 10, belowY + 100);
}

void CVantrelDlg::OnInitDialog() {
  // The page choice, without its handler: no page is shown yet.
  pageChoice_->blockSignals(true);
  pageChoice_->addItems({U("バーコード"), U("ＱＲコード"), U("データマトリックス")});
  pageChoice_->setCurrentIndex(0);
  pageChoice_->blockSignals(false);

  // The members from the settings the start-up loaded.
  const SettingsRecord s = Settings();
  codeKind_ = s.BarCodeEnable != 0 ? 0 : (s.QRCodeEnable != 0 ? 1 : 2);
  stopAfterRead_ = s.OneDecode;
  std::copy(std::begin(s.Area), std::end(s.Area), range_.begin());
  lastFolder_.clear();

  // The members into the controls (the range handlers ignore this fill).
  kindRadios_[static_cast<size_t>(codeKind_)]->setChecked(true);
  stopAfterReadBox_->setChecked(stopAfterRead_ != 0);
  for (int i = 0; i < 4; ++i) rangeEdits_[i]->setText(QString::number(range_[static_cast<size_t>(i)]));
  showRangeBox_->setChecked(showRange_ != 0);

  // The about item lives in the context menu; the window needs only its icon.
  setWindowIcon(ui::ApplicationIcon());

  // The pages in the page frame.
  pageRect_ = pageFrame_->geometry();
  CreatePages();

  // The preview inside the black frame; outlines are placed from its corner.
  previewRect_ = preview_->geometry().adjusted(1, 1, -1, -1);
  station_.cycle().SetPreviewTopLeft(previewRect_.left(), previewRect_.top());

  // The spins cover the picture.
  for (int i = 0; i < 4; ++i) spins_[i]->SetRange(0, (i % 2 == 0 ? s.Xsize : s.Ysize) - 1);

  // The result pane first; range edits count from now on.
  ShowSettingsPane(false);
  initialized_ = true;
}

void CVantrelDlg::CreatePages() {
  QWidget* frame = pageFrame_;
  pages_[0] = new CBarCodePage(*this, frame);
  pages_[1] = new CQRCodePage(*this, frame);
  pages_[2] = new CDmxCodePage(*this, frame);
  // Each page keeps its own size; the frame grows to hold the largest.
  QSize need = kPageFrameMinimum;
  for (QWidget* page : pages_) {
    // A page that never sized itself is as large as its layout asks.
    QSize size = page->testAttribute(Qt::WA_Resized) ? page->size() : page->sizeHint();
    if (size.isEmpty()) size = page->size();
    page->resize(size);
    page->move(kPageOffset);
    need = need.expandedTo(size + QSize(2 * kPageOffset.x(), kPageOffset.y() + kPageOffset.x()));
  }
  if (need != pageFrame_->size()) {
    pageFrame_->resize(need);
    pageRect_ = pageFrame_->geometry();
    setFixedSize(std::max(width(), pageRect_.right() + 11), std::max(height(), pageRect_.bottom() + 11));
  }
  pages_[0]->show();
  pages_[1]->hide();
  pages_[2]->hide();
}

QWidget* CVantrelDlg::page(int32_t index) const {
  return index >= 0 && index < 3 ? pages_[static_cast<size_t>(index)] : nullptr;
}

void CVantrelDlg::ShowSettingsPane(bool show) {
  pageFrame_->setVisible(show);
  pageChoice_->setVisible(show);
  if (show) pageChoice_->raise();
  static const int32_t kResultPane[] = {ids::kCodeKindGroup, ids::kKindBarcode, ids::kKindQRCode,
                                        ids::kKindDataMatrix, ids::kRangeGroup, ids::kStartLabel,
                                        ids::kRangeStartX, ids::kSpinStartX, ids::kRangeStartY,
                                        ids::kSpinStartY, ids::kEndLabel, ids::kRangeEndX,
                                        ids::kSpinEndX, ids::kRangeEndY, ids::kSpinEndY,
                                        ids::kResultGroup, ids::kResultBox};
  for (int32_t id : kResultPane) {
    if (QWidget* w = ui::FindControlWidget(this, id)) w->setVisible(!show);
  }
}

// ---------------------------------------------------------------- reading

void CVantrelDlg::SetReadButton(bool on) {
  readStart_->setChecked(on);
  readStart_->setText(U(on ? "停止" : "読取開始"));
  ShowReadingState(on);
}

void CVantrelDlg::OnReadStart() { SetReadButton(station_.cycle().ToggleReading()); }

void CVantrelDlg::OnResultCommand() {
  const ResultCommandOutcome outcome = station_.cycle().OnResultCommand();
  QString text = QString::fromUtf8(outcome.text.data(), static_cast<qsizetype>(outcome.text.size()));
  text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  resultBox_->setPlainText(text);
  if (outcome.shown) RecordReading(outcome.reading, outcome.readAt, ReadingOrigin::kCycle, std::string());
  if (outcome.stoppedReading) SetReadButton(false);
}

void CVantrelDlg::StopOnDestroy() {
  if (destroyed_) return;
  destroyed_ = true;
  station_.cycle().StopReading();
}

void CVantrelDlg::done(int result) {
  StopOnDestroy();
  QDialog::done(result);
}

// ---------------------------------------------------------------- controls

void CVantrelDlg::OnCodeKind(int32_t kind) {
  codeKind_ = kind;
  EditSettings([kind](SettingsRecord& s) {
    s.BarCodeEnable = kind == 0 ? 1 : 0;
    s.QRCodeEnable = kind == 1 ? 1 : 0;
    s.DmxCodeEnable = kind == 2 ? 1 : 0;
  });
  InvalidatePreview(true);
}

void CVantrelDlg::OnRangeChanged(int32_t id) {
  if (!initialized_) return;
  int index = -1;
  switch (id) {
    case ids::kRangeStartX: index = 0; break;
    case ids::kRangeStartY: index = 1; break;
    case ids::kRangeEndX: index = 2; break;
    case ids::kRangeEndY: index = 3; break;
    default: return;
  }
  const int32_t v = BoxNumber(RangeEdit(index)).value_or(0);
  EditSettings([index, v](SettingsRecord& s) {
    const int32_t size = index % 2 == 0 ? s.Xsize : s.Ysize;
    int32_t value = v < 0 ? 0 : v;
    if (value >= size) value = size - 1;
    s.Area[index] = value;
  });
  RebuildGuideLines();
  InvalidatePreview(true);
}

void CVantrelDlg::OnShowRange() {
  showRange_ = showRangeBox_->isChecked() ? 1 : 0;
  InvalidatePreview(true);
}

void CVantrelDlg::OnStopAfterRead() {
  stopAfterRead_ = stopAfterReadBox_->isChecked() ? 1 : 0;
  const int32_t value = stopAfterRead_;
  EditSettings([value](SettingsRecord& s) { s.OneDecode = value; });
}

void CVantrelDlg::OnSettingsToggle() {
  const bool show = settingsToggle_->isChecked();
  ShowSettingsPane(show);
  if (!show) return;
  const SettingsRecord s = Settings();
  const int index = s.BarCodeEnable != 0 ? 0 : (s.QRCodeEnable != 0 ? 1 : 2);
  pageChoice_->blockSignals(true);
  pageChoice_->setCurrentIndex(index);
  pageChoice_->blockSignals(false);
  OnPageChoice(index);
}

void CVantrelDlg::OnPageChoice(int32_t index) {
  const int shown = index == 1 ? 1 : (index == 2 ? 2 : 0);
  for (int i = 0; i < 3; ++i) pages_[static_cast<size_t>(i)]->setVisible(i == shown);
  pageIndex_ = index;
  update(pageRect_);
}

void CVantrelDlg::OnAbout() {
  CAboutDlg about(this);
  about.exec();
}

void CVantrelDlg::OnOK() {
  for (QLineEdit* edit : rangeEdits_) {
    const std::optional<int32_t> v = BoxNumber(edit);
    const char* problem = nullptr;
    if (!v)
      problem = "整数を入力してください。";
    else if (*v < 0 || *v > 9999)
      problem = "0 から 9999 までの整数を入力してください。";
    if (problem) {
      ui::ShowMessage(this, problem, kCaption, ui::MessageIcon::kWarning);
      edit->setFocus();
      edit->selectAll();
      return;
    }
  }
  accept();
}

void CVantrelDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    // A button with the focus takes Enter, as buttons always have; anywhere
    // else Enter is the window's OK.
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()); button && button->isEnabled()) {
      button->click();
    } else {
      OnOK();
    }
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CVantrelDlg::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* about = menu.addAction(U("バージョン情報(&A)..."));
  // After the menu has closed, in the window's own loop.
  connect(about, &QAction::triggered, this, &CVantrelDlg::OnAbout, Qt::QueuedConnection);
  menu.exec(event->globalPos());
}

// ---------------------------------------------------------------- files

void CVantrelDlg::OnOpen() {
  const std::optional<std::string> path = ui::ChooseFile(BitmapFileRequest(this, false, lastFolder_));
  if (path) {
    OpenPicture(*path);
    lastFolder_ = ui::FolderOf(*path);
  }
  InvalidatePreview(true);
}

void CVantrelDlg::OnSave() {
  const std::optional<std::string> path = ui::ChooseFile(BitmapFileRequest(this, true, lastFolder_));
  if (!path) return;
  int32_t saved = 0;
  {
    ui::WaitCursor busy;
    FrameRing::Lease lease = station_.capture().Ring().ReadDisplayed();
    saved = lease ? DibSaveFile(path->c_str(), lease.image()) : 0;
  }
  lastFolder_ = ui::FolderOf(*path);
  if (saved != 1) {
    char text[100];
    std::snprintf(text, sizeof text, "File save error (%d)", saved);
    ui::ShowMessage(this, text, kCaption, ui::MessageIcon::kStop);
  }
}

// ---------------------------------------------------------------- camera

void CVantrelDlg::ResetRangeForSize(int32_t width, int32_t height) {
  shownSource_.clear();  // the new slots hold no opened picture
  int32_t area[4];
  DefaultArea(width, height, area);
  EditSettings([&](SettingsRecord& s) {
    s.Xsize = width;
    s.Ysize = height;
    std::copy(area, area + 4, s.Area);
  });
  for (int i = 0; i < 4; ++i) spins_[i]->SetRange(0, (i % 2 == 0 ? width : height) - 1);
  for (int i = 0; i < 4; ++i) RangeEdit(i)->setText(QString::number(area[i]));
  RebuildGuideLines();
}

void CVantrelDlg::OnCaptureSize() {
  const int32_t status = station_.capture().ChangeCaptureSize(
      captureDialogs_, [this](int32_t width, int32_t height) { ResetRangeForSize(width, height); });
  SetReadButton(station_.cycle().running());
  if (status != 0) {
    char text[100];
    std::snprintf(text, sizeof text, "Device Initialize error.(%d)", status);
    ui::ShowMessage(this, text, kCaption, ui::MessageIcon::kStop);
  }
  RepaintWhole();
}

void CVantrelDlg::OnImageQuality() { station_.capture().ShowImageQualityPage(captureDialogs_); }

void CVantrelDlg::OnStreamFailure() {
  const StreamFailureOutcome failure = station_.cycle().OnStreamFailure();
  if (!failure.failed) return;
  SetReadButton(station_.cycle().running());
  const std::string text = "カメラでエラーが起きたため、読取を停止しました。\nデバイス：" + failure.device +
                           "\nエラー：" + failure.error;
  ui::ShowMessage(this, text, kCaption, ui::MessageIcon::kStop);
}

// ---------------------------------------------------------------- painting

void CVantrelDlg::PaintPreview(QPainter& painter) {
  ++previewPaints_;
  CImgAcqCtrl& capture = station_.capture();
  ui::QtDrawContext dc(painter);
  const int32_t left = previewRect_.left(), top = previewRect_.top();
  {
    FrameRing::Lease lease = capture.Ring().ReadDisplayed();
    if (!lease) return;
    DibImage image = lease.image();
    const int32_t w = DibGetWidth(image), h = DibGetHeight(image);
    if (w <= 0 || h <= 0) return;
    int32_t dw = capture.displayWidth, dh = capture.displayHeight;
    if (dw <= 0 || dh <= 0) {
      dw = RoundToInt(w * capture.scaleX);
      dh = RoundToInt(h * capture.scaleY);
    }
    const DibRect destination{left, top, left + dw - 1, top + dh - 1};
    const DibRect source{0, 0, w - 1, h - 1};
    DibDraw(&dc, image, &destination, &source);
  }
  OverlayDrawAll(&dc);

  if (showRange_ == 0) return;
  const SettingsRecord s = Settings();
  const int32_t ox = capture.scaleX != 0 ? RoundToInt(left / capture.scaleX) : 0;
  const int32_t oy = capture.scaleY != 0 ? RoundToInt(top / capture.scaleY) : 0;
  const int32_t sx = s.Area[0], sy = s.Area[1], ex = s.Area[2], ey = s.Area[3];
  DrawRect(&dc, 0, ox + sx - 1, oy + sy - 1, ox + ex + 1, oy + ey + 1, kGreen);
  DrawRect(&dc, 0, ox + sx, oy + sy, ox + ex, oy + ey, kGreen);
  DrawRect(&dc, 0, ox + sx + 1, oy + sy + 1, ox + ex - 1, oy + ey - 1, kGreen);

  if (s.BarCodeEnable != 0 && s.GuideLine != 0) {
    DrawSetLineStyle(2);
    const size_t n = std::min(guideStarts.size(), guideEnds.size());
    for (size_t i = 0; i < n; ++i) {
      DrawLine(&dc, ox + guideStarts[i].x, oy + guideStarts[i].y, ox + guideEnds[i].x,
               oy + guideEnds[i].y, kGreen);
    }
    DrawSetLineStyle(0);
  }
}

void CVantrelDlg::RepaintWhole() {
  ++erasedInvalidations_;
  update();
  if (preview_) preview_->update();
}

void CVantrelDlg::InvalidatePreview(bool erase) {
  if (erase) ++erasedInvalidations_;
  if (preview_) preview_->update();
}

// ---------------------------------------------------------------- history, sound, figures

void CVantrelDlg::BuildStationExtras(int belowY) {
  figuresLine_ = Named(new QLabel(this), ids::kReadingFigures);
  figuresLine_->setGeometry(kPreviewFrameRect.left() + 2, kPreviewFrameRect.bottom() + 4,
                            kPreviewFrameRect.width() - 4, kStatusLineHeight - 2);
  figuresLine_->hide();
  figuresTimer_ = new QTimer(this);
  figuresTimer_->setInterval(kFiguresIntervalMs);
  connect(figuresTimer_, &QTimer::timeout, this, [this] { UpdateReadingFigures(); });

  beepBox_ = Named(new QCheckBox(U("読取音"), this), ids::kBeep);
  beepBox_->setGeometry(10, belowY + 72, 160, 24);
  connect(beepBox_, &QCheckBox::clicked, this, [this] { OnBeep(); });

  auto* history = Named(PlainButton("履歴", this), ids::kHistoryButton);
  history->setGeometry(kRightX + 216, belowY + 6, 100, 34);
  connect(history, &QPushButton::clicked, this, [this] { OnHistory(); });

  historyModel_ = std::make_unique<HistoryModel>();
  sound_ = new ReadSound(this);
  const bool beep = Settings().Beep != 0;
  beepBox_->setChecked(beep);
  if (beep) sound_->Prepare();
}

void CVantrelDlg::OnHistory() {
  if (historyDlg_ == nullptr) historyDlg_ = new CHistoryDlg(*historyModel_, this);
  historyDlg_->show();
  historyDlg_->raise();
  historyDlg_->activateWindow();
}

void CVantrelDlg::OnBeep() {
  const int32_t value = beepBox_->isChecked() ? 1 : 0;
  EditSettings([value](SettingsRecord& s) { s.Beep = value; });
  if (value != 0) sound_->Prepare();
}

int32_t CVantrelDlg::soundsPlayed() const { return sound_->plays(); }

bool CVantrelDlg::OpenPicture(const std::string& path) {
  int32_t status = kPictureOpened;
  {
    ui::WaitCursor busy;
    // Read before the slot is taken: the capture thread may want it meanwhile.
    DibPtr picture(ReadPictureForSlot(path.c_str(), &status));
    if (picture) {
      FrameRing::Lease lease = station_.capture().Ring().WriteDisplayed();
      if (!lease) {
        status = kPictureNoSlot;
      } else if (!FitPictureIntoSlot(picture.get(), lease.image())) {
        status = kPictureUnsupported;
      }
    }
  }
  if (status != kPictureOpened) {
    char text[100];
    std::snprintf(text, sizeof text, "File open error (%d)", status);
    ui::ShowMessage(this, text, kCaption, ui::MessageIcon::kStop);
    return false;
  }
  shownSource_ = QFileInfo(QString::fromStdString(path)).fileName().toStdString();
  return true;
}

void CVantrelDlg::TrialReadShown(const Reading& reading) {
  // While reading, the displayed slot is the camera's newest frame.
  const std::string source = station_.cycle().running() ? std::string() : shownSource_;
  RecordReading(reading, std::chrono::system_clock::now(), ReadingOrigin::kTrial, source);
}

void CVantrelDlg::RecordReading(const Reading& reading, std::chrono::system_clock::time_point readAt,
                                ReadingOrigin origin, const std::string& source) {
  if (!reading.ok()) return;
  const SettingsRecord s = Settings();
  HistoryEntry entry = MakeHistoryEntry(reading, EpochMilliseconds(readAt), source, origin);
  // Continuous reading without "読取後に停止する" shows the same code with
  // every frame: it is recorded once.
  if (origin == ReadingOrigin::kCycle && s.OneDecode == 0 &&
      !repeatFilter_.Admit(entry, RepeatFilter::Clock::now(), s.RepeatSeconds))
    return;
  historyModel_->Append(std::move(entry));
  if (s.Beep != 0) sound_->Play();
}

void CVantrelDlg::ShowReadingState(bool reading) {
  if (reading && !figuresTimer_->isActive()) {
    // A new start: the frames replace an opened picture, and a code seen
    // before the stop counts as new.
    repeatFilter_.Clear();
    shownSource_.clear();
    figuresTimer_->start();
  } else if (!reading) {
    figuresTimer_->stop();
  }
  figuresLine_->setVisible(reading);
  if (reading) UpdateReadingFigures();
}

void CVantrelDlg::UpdateReadingFigures() {
  if (!station_.cycle().running()) {
    figuresTimer_->stop();
    figuresLine_->hide();
    return;
  }
  const ReadingFigureValues v = station_.cycle().figures().Last(ReadingFigures::Clock::now());
  figuresLine_->setText(U(FiguresText(v).c_str()));
}

// ---------------------------------------------------------------- PageHost

SettingsRecord CVantrelDlg::Settings() const { return station_.Settings(); }

void CVantrelDlg::EditSettings(const std::function<void(SettingsRecord&)>& edit) {
  station_.EditSettings(edit);
}

FrameRing& CVantrelDlg::Ring() { return station_.capture().Ring(); }

ReadingCycle& CVantrelDlg::Cycle() { return station_.cycle(); }

OverlayOrigin CVantrelDlg::CurrentOverlayOrigin() const { return station_.cycle().CurrentOverlayOrigin(); }

void CVantrelDlg::RebuildGuideLines() { vantrel::RebuildGuideLines(Settings()); }

QWidget* CVantrelDlg::PageFrame() { return pageFrame_; }

}  // namespace vantrel

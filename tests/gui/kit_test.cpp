// The station's Qt services: answered message boxes and file dialogs, the
// overwrite question, the wait cursor, the clock, controls found by number.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QAbstractButton>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>

#include <fstream>

#include "gui/qt_test_app.h"
#include "vantrel/ui_kit.h"

namespace vantrel::test {
namespace {

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

using ui::MessageButtons;
using ui::MessageIcon;
using ui::MessageResult;

// ---------------------------------------------------------------- messages

TEST(MessageBoxes, AnswersComeFromTheQueueThenTheFallbackAndEveryRequestIsRecorded) {
  ui::ScopedMessageAnswers answers(MessageResult::kCancel);
  answers.Queue(MessageResult::kYes);
  answers.Queue(MessageResult::kNo);
  QWidget parent;
  EXPECT_EQ(ui::ShowMessage(&parent, "一", "Vantrel", MessageIcon::kStop, MessageButtons::kYesNo),
            MessageResult::kYes);
  EXPECT_EQ(ui::ShowMessage(nullptr, "二", "", MessageIcon::kWarning, MessageButtons::kYesNo), MessageResult::kNo);
  EXPECT_EQ(ui::ShowMessage(nullptr, "三", "Vantrel"), MessageResult::kCancel);
  ASSERT_EQ(answers.requests().size(), 3u);
  EXPECT_EQ(answers.texts(), (std::vector<std::string>{"一", "二", "三"}));
  EXPECT_EQ(answers.requests()[0].parent, &parent);
  EXPECT_EQ(answers.requests()[0].icon, MessageIcon::kStop);
  EXPECT_EQ(answers.requests()[1].icon, MessageIcon::kWarning);
  EXPECT_EQ(answers.requests()[2].buttons, MessageButtons::kOk);
}

TEST(MessageBoxes, TheInnermostScopeAnswersAndTheOuterOneTakesOverAgain) {
  ui::ScopedMessageAnswers outer;
  {
    ui::ScopedMessageAnswers inner(MessageResult::kNo);
    EXPECT_EQ(ui::ShowMessage(nullptr, "inner", ""), MessageResult::kNo);
    EXPECT_EQ(inner.requests().size(), 1u);
  }
  EXPECT_EQ(ui::ShowMessage(nullptr, "outer", ""), MessageResult::kOk);
  EXPECT_EQ(outer.texts(), std::vector<std::string>{"outer"});
}

TEST(MessageBoxes, ARealBoxGivesTheButtonPressedAndItsCancelAnswerOnEscape) {
  // The box itself, closed from outside by the buttons a person would press.
  struct Case {
    MessageButtons buttons;
    const char* press;  // button text, or nullptr for Escape
    MessageResult expected;
  };
  const Case cases[] = {
      {MessageButtons::kOk, "OK", MessageResult::kOk},
      {MessageButtons::kOk, nullptr, MessageResult::kOk},
      {MessageButtons::kYesNo, "いいえ(&N)", MessageResult::kNo},
      {MessageButtons::kYesNo, "はい(&Y)", MessageResult::kYes},
      {MessageButtons::kYesNo, nullptr, MessageResult::kNo},
      {MessageButtons::kOkCancel, nullptr, MessageResult::kCancel},
      {MessageButtons::kYesNoCancel, nullptr, MessageResult::kCancel},
      {MessageButtons::kRetryCancel, "再試行(&R)", MessageResult::kRetry},
  };
  for (const Case& c : cases) {
    QString seenTitle;
    QTimer::singleShot(0, [&] {
      ASSERT_TRUE(ProcessEventsUntil([] { return QApplication::activeModalWidget() != nullptr; }));
      QWidget* box = QApplication::activeModalWidget();
      seenTitle = box->windowTitle();
      if (c.press == nullptr) {
        QKeyEvent esc(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(box, &esc);
        return;
      }
      for (auto* b : box->findChildren<QAbstractButton*>()) {
        if (b->text() == QString::fromUtf8(c.press)) b->click();
      }
    });
    EXPECT_EQ(ui::ShowMessage(nullptr, "text", "", MessageIcon::kInformation, c.buttons), c.expected)
        << (c.press ? c.press : "Escape");
    EXPECT_EQ(seenTitle, QStringLiteral("Vantrel"));
  }
}

// ---------------------------------------------------------------- file dialogs

TEST(FileDialogs, TheDefaultSuffixGoesOnlyOnNamesWithoutExtension) {
  struct Case {
    const char* chosen;
    const char* expected;
  };
  const Case cases[] = {
      {"/tmp/x/picture", "/tmp/x/picture.bmp"},
      {"/tmp/x/picture.bmp", "/tmp/x/picture.bmp"},
      {"/tmp/x/picture.BMP", "/tmp/x/picture.BMP"},
      {"/tmp/x/picture.png", "/tmp/x/picture.png"},
      {"/tmp/x.d/picture", "/tmp/x.d/picture.bmp"},
      {"/tmp/x/.hidden", "/tmp/x/.hidden.bmp"},
      {"/tmp/x/picture.", "/tmp/x/picture..bmp"},
  };
  for (const Case& c : cases) {
    ui::ScopedFileAnswers files;
    files.Queue(std::string(c.chosen));
    ui::FileDialogRequest request;
    request.defaultSuffix = "bmp";
    const auto path = ui::ChooseFile(request);
    ASSERT_TRUE(path.has_value()) << c.chosen;
    EXPECT_EQ(*path, c.expected) << c.chosen;
  }
}

TEST(FileDialogs, CancelGivesNothingAndTheRequestIsPassedOnAsMade) {
  ui::ScopedFileAnswers files;
  ui::FileDialogRequest request;
  request.save = true;
  request.filters = {"ビットマップ ファイル (*.bmp *.BMP)"};
  request.defaultSuffix = "bmp";
  request.startFolder = "/somewhere";
  request.fileName = "Untitled";
  EXPECT_FALSE(ui::ChooseFile(request).has_value());
  ASSERT_EQ(files.requests().size(), 1u);
  const ui::FileDialogRequest& seen = files.requests()[0];
  EXPECT_TRUE(seen.save);
  EXPECT_EQ(seen.filters, request.filters);
  EXPECT_EQ(seen.startFolder, "/somewhere");
  EXPECT_EQ(seen.fileName, "Untitled");
}

TEST(FileDialogs, ReplacingAnExistingFileIsAskedAndNoGoesBackToTheDialog) {
  QTemporaryDir dir;
  const std::string existing = dir.filePath("old.bmp").toStdString();
  std::ofstream(existing) << "x";
  const std::string fresh = dir.filePath("new.bmp").toStdString();

  struct Case {
    bool confirm;
    std::vector<std::optional<std::string>> dialogAnswers;
    std::vector<MessageResult> questionAnswers;
    std::optional<std::string> expected;
    size_t questions;
    size_t dialogs;
  };
  const std::vector<Case> cases = {
      {true, {existing}, {MessageResult::kYes}, existing, 1, 1},
      {true, {existing, std::nullopt}, {MessageResult::kNo}, std::nullopt, 1, 2},
      {true, {existing, fresh}, {MessageResult::kNo}, fresh, 1, 2},
      {true, {fresh}, {}, fresh, 0, 1},
      {false, {existing}, {}, existing, 0, 1},
  };
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    ui::ScopedFileAnswers files;
    for (const auto& a : c.dialogAnswers) files.Queue(a);
    ui::ScopedMessageAnswers answers(MessageResult::kNo);
    for (auto a : c.questionAnswers) answers.Queue(a);
    ui::FileDialogRequest request;
    request.save = true;
    request.confirmOverwrite = c.confirm;
    request.fileName = "Untitled";
    EXPECT_EQ(ui::ChooseFile(request), c.expected) << "case " << i;
    EXPECT_EQ(answers.requests().size(), c.questions) << "case " << i;
    EXPECT_EQ(files.requests().size(), c.dialogs) << "case " << i;
    if (c.questions > 0) {
      EXPECT_EQ(answers.texts()[0], "old.bmp は既に存在します。\n上書きしますか?");
      EXPECT_EQ(answers.requests()[0].buttons, MessageButtons::kYesNo);
      EXPECT_EQ(answers.requests()[0].icon, MessageIcon::kWarning);
    }
    // After No the dialog opens again at the name that was refused.
    if (c.dialogs > 1) {
      EXPECT_EQ(files.requests()[1].fileName, existing) << "case " << i;
    }
  }
}

TEST(FileDialogs, FolderOfAPath) {
  const std::pair<const char*, const char*> cases[] = {
      {"/a/b/c.bmp", "/a/b"}, {"/c.bmp", "/"}, {"c.bmp", ""}, {"/a/b/", "/a/b"}, {"", ""},
  };
  for (const auto& [path, folder] : cases) EXPECT_EQ(ui::FolderOf(path), folder) << path;
}

// ---------------------------------------------------------------- wait cursor, clock

TEST(WaitCursor, ShowsTheBusyCursorWhileAliveAndNests) {
  ASSERT_EQ(ui::WaitCursor::Depth(), 0);
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  {
    ui::WaitCursor outer;
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
    {
      ui::WaitCursor inner;
      EXPECT_EQ(ui::WaitCursor::Depth(), 2);
    }
    EXPECT_EQ(ui::WaitCursor::Depth(), 1);
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(ui::WaitCursor::Depth(), 0);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST(Clock, AManualClockStepsWithEveryReadingAndAdvancesOnRequest) {
  using namespace std::chrono;
  const ui::Clock::time_point real = ui::ClockNow();
  {
    ui::ScopedManualClock clock(microseconds(12500));
    const auto t0 = ui::ClockNow();
    const auto t1 = ui::ClockNow();
    EXPECT_DOUBLE_EQ(ui::ElapsedMilliseconds(t0, t1), 12.5);
    clock.Advance(milliseconds(100));
    EXPECT_DOUBLE_EQ(ui::ElapsedMilliseconds(t1, ui::ClockNow()), 112.5);
    EXPECT_EQ(clock.readings(), 3);
  }
  EXPECT_GE(ui::ClockNow(), real);
}

// ---------------------------------------------------------------- control ids

TEST(ControlIds, ControlsAreFoundByNumberAndNestedTemplatesKeepTheirOwn) {
  QWidget window;
  ui::SetTemplateId(&window, 102);
  auto* frame = new QWidget(&window);
  ui::SetControlId(frame, 5009);
  auto* box = new QCheckBox(&window);
  ui::SetControlId(box, 1006);
  auto* page = new QWidget(frame);
  ui::SetTemplateId(page, 1000);
  auto* pageBox = new QCheckBox(page);
  ui::SetControlId(pageBox, 1006);
  auto* pageOnly = new QLabel(page);
  ui::SetControlId(pageOnly, 1050);
  auto* plain = new QLabel(&window);

  EXPECT_EQ(ui::FindControl<QCheckBox>(&window, 1006), box);
  EXPECT_EQ(ui::FindControl<QCheckBox>(page, 1006), pageBox);
  EXPECT_EQ(ui::FindControlWidget(&window, 1000), page);
  EXPECT_EQ(ui::FindControlWidget(&window, 1050), nullptr);
  EXPECT_EQ(ui::FindControlWidget(&window, 102), &window);
  EXPECT_EQ(ui::FindControl<QLabel>(&window, 1006), nullptr);  // the type must fit too
  EXPECT_EQ(frame->objectName(), QStringLiteral("5009"));
  EXPECT_EQ(ui::ControlIdOf(frame), 5009);
  EXPECT_EQ(ui::ControlIdOf(plain), -1);
  EXPECT_EQ(ui::ControlIdOf(nullptr), -1);
}

}  // namespace
}  // namespace vantrel::test

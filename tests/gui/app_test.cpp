// Start-up and shutdown of the station: the single-instance guard, the
// device choice, the start-up messages, the settings written at a normal
// close (also after SIGTERM) and never after a failed or cancelled start;
// and the command line.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QLineEdit>
#include <QTimer>

#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "gui/qt_test_app.h"
#include "gui/station_fixture.h"
#include "vantrel/command_line.h"
#include "vantrel/control_ids.h"
#include "vantrel/instance_lock.h"
#include "vantrel/signal_close.h"
#include "vantrel/ui_kit.h"
#include "vantrel/vantrel_app.h"

namespace vantrel::test {
namespace {

[[maybe_unused]] const auto* const kQt = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

bool Exists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

// Each station runs in its scratch folder: like the real one it leaves its QR
// parameter file in the folder it was started from.
class AppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    unsetenv("VANTREL_CAMERA_REPLAY");
    SetCameraReplay("");
    char* cwd = getcwd(nullptr, 0);
    previousFolder_ = cwd ? cwd : "";
    std::free(cwd);
    ASSERT_EQ(chdir(folder.path().c_str()), 0);
  }
  void TearDown() override {
    SetCameraReplay("");
    if (!previousFolder_.empty()) {
      EXPECT_EQ(chdir(previousFolder_.c_str()), 0);
    }
  }

  StationOptions Options(const std::string& replay = DemoFrame("demo-1-jan13.png")) {
    StationOptions o;
    o.settingsPath = settingsPath;
    o.lockPath = lockPath;
    o.cameraReplay = replay;
    return o;
  }
  SettingsRecord Written() {
    SettingsRecord s;
    LoadSettings(settingsPath, &s);
    return s;
  }

  ScratchFolder folder;
  const std::string settingsPath = folder.File("Vantrel.ini");
  const std::string lockPath = folder.File("vantrel.lock");

 private:
  std::string previousFolder_;
};

// ---------------------------------------------------------------- single instance

TEST_F(AppTest, ASecondStartIsToldThatOneRunsAndLeavesTheFirstAlone) {
  InstanceLock first;
  ASSERT_EQ(first.Acquire(lockPath), InstanceLock::kAcquired);
  StationOptions o = Options();
  bool enumerated = false;
  o.enumerateDevices = [&](CImgAcqCtrl&) {
    enumerated = true;
    return 0;
  };
  ui::ScopedMessageAnswers answers;
  CVantrelApp app(o);
  EXPECT_EQ(app.Run(), CVantrelApp::kStartFailed);
  ASSERT_EQ(answers.texts(), std::vector<std::string>{"Vantrel already started."});
  EXPECT_EQ(answers.requests()[0].caption, "Vantrel");
  EXPECT_EQ(answers.requests()[0].icon, ui::MessageIcon::kStop);
  EXPECT_EQ(answers.requests()[0].parent, nullptr);
  EXPECT_FALSE(enumerated);
  EXPECT_FALSE(Exists(settingsPath));
  EXPECT_TRUE(first.held());
  InstanceLock third;
  EXPECT_EQ(third.Acquire(lockPath), InstanceLock::kHeldElsewhere);
}

TEST_F(AppTest, TheLockOfAProcessThatDiedIsFreeAgain) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const char* path = lockPath.c_str();
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Only calls that are safe after a fork: take the lock, say so, wait to be killed.
    const int fd = open(path, O_RDWR | O_CREAT, 0600);
    if (fd < 0 || flock(fd, LOCK_EX) != 0) _exit(1);
    const char byte = 1;
    if (write(ready[1], &byte, 1) != 1) _exit(1);
    for (;;) pause();
  }
  char byte = 0;
  ASSERT_EQ(read(ready[0], &byte, 1), 1);
  InstanceLock lock;
  EXPECT_EQ(lock.Acquire(lockPath), InstanceLock::kHeldElsewhere);
  kill(child, SIGKILL);
  int status = 0;
  waitpid(child, &status, 0);
  close(ready[0]);
  close(ready[1]);
  EXPECT_TRUE(Exists(lockPath));
  EXPECT_EQ(lock.Acquire(lockPath), InstanceLock::kAcquired);
  lock.Release();

  // And the station starts.
  StationOptions o = Options();
  o.windowShown = [](CVantrelDlg& w) { w.reject(); };
  ui::ScopedMessageAnswers answers;
  CVantrelApp app(o);
  EXPECT_EQ(app.Run(), CVantrelApp::kNormalEnd);
  EXPECT_TRUE(answers.requests().empty()) << answers.texts()[0];
}

TEST_F(AppTest, TheLockFileMustBeAPlainFileOfTheUser) {
  ASSERT_EQ(symlink(folder.File("elsewhere").c_str(), lockPath.c_str()), 0);
  InstanceLock lock;
  EXPECT_EQ(lock.Acquire(lockPath), InstanceLock::kUnavailable);
  EXPECT_FALSE(Exists(folder.File("elsewhere")));
}

TEST_F(AppTest, TheDefaultLockLivesInTheRuntimeFolderOrAPrivateTemporaryOne) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string savedRuntime = saved ? saved : "";
  const char* savedTmp = std::getenv("TMPDIR");
  const std::string savedTmpDir = savedTmp ? savedTmp : "";
  setenv("XDG_RUNTIME_DIR", folder.path().c_str(), 1);
  EXPECT_EQ(DefaultInstanceLockPath(), folder.path() + "/vantrel.lock");
  unsetenv("XDG_RUNTIME_DIR");
  setenv("TMPDIR", folder.path().c_str(), 1);
  const std::string own = folder.path() + "/vantrel-" + std::to_string(getuid());
  EXPECT_EQ(DefaultInstanceLockPath(), own + "/vantrel.lock");
  struct stat st {};
  ASSERT_EQ(stat(own.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  if (saved) setenv("XDG_RUNTIME_DIR", savedRuntime.c_str(), 1);
  if (savedTmp) {
    setenv("TMPDIR", savedTmpDir.c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
}

// ---------------------------------------------------------------- failed and cancelled starts

TEST_F(AppTest, WithoutACameraTheStartEndsWithTheDeviceMessageAndWritesNoSettings) {
  {
    CImgAcqCtrl probe;
    if (probe.EnumerateDevices() > 0) GTEST_SKIP() << "this machine has a camera";
  }
  ui::ScopedMessageAnswers answers;
  CVantrelApp app(Options(""));
  EXPECT_EQ(app.Run(), CVantrelApp::kStartFailed);
  ASSERT_EQ(answers.texts(), std::vector<std::string>{"Device Initialize error.(-3)"});
  EXPECT_EQ(answers.requests()[0].icon, ui::MessageIcon::kStop);
  EXPECT_EQ(answers.requests()[0].caption, "Vantrel");
  EXPECT_FALSE(Exists(settingsPath));
  EXPECT_FALSE(app.deviceReady || app.qrReady || app.dmxReady || app.utilReady);
  EXPECT_FALSE(app.instanceMutex.held());
}

// Two cameras as the list would show them.
int32_t TwoCameras(CImgAcqCtrl&) {
  DeviceList.clear();
  for (int32_t i = 0; i < 2; ++i) {
    DeviceEntry e;
    e.index = i;
    std::snprintf(e.name, sizeof e.name, "Camera %c", 'A' + i);
    DeviceList.push_back(e);
  }
  return 2;
}

TEST_F(AppTest, TheDeviceChoiceDecidesDeviceNoAndACancelEndsSilentlyWithoutWritingSettings) {
  SettingsRecord before;
  before.DeviceNo = 2;
  before.Area[0] = 123;
  ASSERT_TRUE(SaveSettings(settingsPath, before));
  const std::string file = ReadAll(settingsPath);

  struct Case {
    bool ok;
    int32_t choice;
    int result;
    std::vector<std::string> messages;
    bool written;
  };
  const Case cases[] = {
      {false, 0, CVantrelApp::kNormalEnd, {}, false},
      // The replay source is the one real device here: a second one cannot be built.
      {true, 2, CVantrelApp::kStartFailed, {"Device Initialize error.(-5)"}, false},
      {true, 1, CVantrelApp::kNormalEnd, {}, true},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(SaveSettings(settingsPath, before));
    StationOptions o = Options();
    o.enumerateDevices = TwoCameras;
    std::vector<DeviceChoice> offered;
    int32_t offeredNo = 0;
    o.chooseDevice = [&](const std::vector<DeviceChoice>& devices, int32_t* deviceNo) {
      offered = devices;
      offeredNo = *deviceNo;
      *deviceNo = c.choice;
      return c.ok;
    };
    o.windowShown = [](CVantrelDlg& w) { w.reject(); };
    ui::ScopedMessageAnswers answers;
    CVantrelApp app(o);
    EXPECT_EQ(app.Run(), c.result) << c.choice;
    EXPECT_EQ(answers.texts(), c.messages) << c.choice;
    ASSERT_EQ(offered.size(), 2u);
    EXPECT_EQ(offered[1].index, 1);
    EXPECT_EQ(offered[1].name, "Camera B");
    EXPECT_EQ(offeredNo, 2);
    if (c.written) {
      EXPECT_EQ(Written().DeviceNo, c.choice);
      EXPECT_EQ(Written().Area[0], 123);
    } else {
      EXPECT_EQ(ReadAll(settingsPath), file) << c.choice;
    }
  }
}

// ---------------------------------------------------------------- normal runs

TEST_F(AppTest, WithOneCameraDeviceNoBecomesOneWhateverTheFileSaid) {
  SettingsRecord before;
  before.DeviceNo = 3;
  ASSERT_TRUE(SaveSettings(settingsPath, before));
  StationOptions o = Options();
  bool asked = false;
  o.chooseDevice = [&](const std::vector<DeviceChoice>&, int32_t*) { return asked = true; };
  o.windowShown = [](CVantrelDlg& w) { w.reject(); };
  ui::ScopedMessageAnswers answers;
  CVantrelApp app(o);
  EXPECT_EQ(app.Run(), CVantrelApp::kNormalEnd);
  EXPECT_FALSE(asked);
  EXPECT_TRUE(answers.requests().empty());
  EXPECT_EQ(Written().DeviceNo, 1);
}

TEST_F(AppTest, ANormalCloseWritesTheSettingsWithTheLastCaptureSizeAndRange) {
  AnsweringCaptureDialogs dialogs;
  dialogs.answer = FrameSize{320, 240};
  StationOptions o = Options();
  o.windowShown = [&](CVantrelDlg& w) {
    w.SetCaptureDialogs(&dialogs);
    ui::FindControl<QAbstractButton>(&w, ids::kCaptureSize)->click();
    const int32_t editIds[4] = {ids::kRangeStartX, ids::kRangeStartY, ids::kRangeEndX, ids::kRangeEndY};
    const char* values[4] = {"10", "20", "300", "700"};
    for (int i = 0; i < 4; ++i) ui::FindControl<QLineEdit>(&w, editIds[i])->setText(values[i]);
    ui::FindControl<QAbstractButton>(&w, ids::kKindQRCode)->click();
    ui::FindControl<QAbstractButton>(&w, ids::kStopAfterRead)->click();
    ui::FindControl<QAbstractButton>(&w, ids::kExit)->click();
  };
  ui::ScopedMessageAnswers answers;
  CVantrelApp app(o);
  EXPECT_EQ(app.Run(), CVantrelApp::kNormalEnd);
  EXPECT_TRUE(answers.requests().empty());
  const SettingsRecord s = Written();
  EXPECT_EQ(dialogs.sizeDialogs, 1);
  EXPECT_EQ(s.Xsize, 320);
  EXPECT_EQ(s.Ysize, 240);
  EXPECT_EQ((std::vector<int32_t>(s.Area, s.Area + 4)), (std::vector<int32_t>{10, 20, 300, 239}));
  EXPECT_EQ(s.BarCodeEnable, 0);
  EXPECT_EQ(s.QRCodeEnable, 1);
  EXPECT_EQ(s.OneDecode, 0);
  EXPECT_FALSE(app.deviceReady || app.qrReady || app.dmxReady || app.utilReady);
  EXPECT_TRUE(Exists(folder.File("OvoQrc.ini")));  // the QR library's parameters, where it started
  // The guard is free for the next start.
  InstanceLock next;
  EXPECT_EQ(next.Acquire(lockPath), InstanceLock::kAcquired);
}

TEST_F(AppTest, SigtermClosesTheWindowTheNormalWayAndTheSettingsAreWritten) {
  StationOptions o = Options();
  bool reading = false;
  o.windowShown = [&](CVantrelDlg& w) {
    ui::FindControl<QLineEdit>(&w, ids::kRangeStartX)->setText("42");
    ui::FindControl<QAbstractButton>(&w, ids::kReadStart)->click();
    reading = w.Cycle().running();
    kill(getpid(), SIGTERM);
  };
  ui::ScopedMessageAnswers answers;
  CVantrelApp app(o);
  int result = -1;
  {
    SignalClose closer([&app] { app.RequestClose(); });
    ASSERT_TRUE(closer.installed());
    result = app.Run();
  }
  EXPECT_EQ(result, CVantrelApp::kNormalEnd);
  EXPECT_TRUE(reading);
  EXPECT_EQ(Written().Area[0], 42);
}

TEST_F(AppTest, SigtermWhileADialogIsOpenClosesTheDialogAndTheWindow) {
  StationOptions o = Options();
  bool aboutReturned = false;
  o.windowShown = [&](CVantrelDlg& w) {
    ui::FindControl<QLineEdit>(&w, ids::kRangeEndX)->setText("500");
    QTimer::singleShot(50, [] { kill(getpid(), SIGTERM); });
    w.OnAbout();  // modal until something closes it
    aboutReturned = true;
  };
  CVantrelApp app(o);
  int result = -1;
  {
    SignalClose closer([&app] { app.RequestClose(); });
    result = app.Run();
  }
  EXPECT_EQ(result, CVantrelApp::kNormalEnd);
  EXPECT_TRUE(aboutReturned);
  EXPECT_EQ(Written().Area[2], 500);
}

TEST_F(AppTest, AFailedSettingsWriteAtCloseIsTold) {
  StationOptions o = Options();
  o.settingsPath = folder.File("missing/Vantrel.ini");
  o.windowShown = [](CVantrelDlg& w) { w.reject(); };
  ui::ScopedMessageAnswers answers;
  CVantrelApp app(o);
  EXPECT_EQ(app.Run(), CVantrelApp::kNormalEnd);
  ASSERT_EQ(answers.requests().size(), 1u);
  EXPECT_EQ(answers.texts()[0], "設定ファイルを書き込めませんでした。\n" + o.settingsPath);
}

// ---------------------------------------------------------------- command line

TEST(CommandLineTest, OptionsAndMistakes) {
  struct Case {
    std::vector<std::string> args;
    CommandLine::Action action;
    std::string replay, settings;
  };
  const Case cases[] = {
      {{}, CommandLine::kRun, "", ""},
      {{"--camera-replay", "/demo"}, CommandLine::kRun, "/demo", ""},
      {{"--camera-replay=/demo", "--settings", "a.ini"}, CommandLine::kRun, "/demo", "a.ini"},
      {{"--settings=/x/b.ini"}, CommandLine::kRun, "", "/x/b.ini"},
      {{"--help"}, CommandLine::kHelp, "", ""},
      {{"--settings", "a.ini", "--version"}, CommandLine::kVersion, "", "a.ini"},
      {{"--camera-replay"}, CommandLine::kError, "", ""},
      {{"--settings="}, CommandLine::kError, "", ""},
      {{"--frobnicate"}, CommandLine::kError, "", ""},
      {{"picture.png"}, CommandLine::kError, "", ""},
  };
  for (const Case& c : cases) {
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.action, c.action) << (c.args.empty() ? "" : c.args[0]);
    if (c.action == CommandLine::kRun) {
      EXPECT_EQ(line.cameraReplay, c.replay);
      EXPECT_EQ(line.settingsPath, c.settings);
    }
    if (c.action == CommandLine::kError) {
      EXPECT_FALSE(line.error.empty());
    }
  }
  EXPECT_NE(UsageText().find("--camera-replay PATH"), std::string::npos);
  EXPECT_EQ(VersionText(), "Vantrel, Version 1.0\n");
}


// The station's option for a failing replay camera: it goes with the replay
// source only, and a list that does not read is a mistake of the command line.
TEST(CommandLineTest, CameraFaultsGoWithTheReplaySource) {
  struct Case {
    std::vector<std::string> args;
    CommandLine::Action action;
    std::string faults;
  };
  const Case cases[] = {
      {{"--camera-replay", "/demo", "--camera-fault", "bus-error@30"}, CommandLine::kRun, "bus-error@30"},
      {{"--camera-fault=stall@2,wide-stride@5+", "--camera-replay=/demo"}, CommandLine::kRun,
       "stall@2,wide-stride@5+"},
      {{"--camera-fault", "bus-error"}, CommandLine::kError, ""},
      {{"--camera-replay", "/demo", "--camera-fault", "unplug@3"}, CommandLine::kError, ""},
      {{"--camera-replay", "/demo", "--camera-fault"}, CommandLine::kError, ""},
  };
  for (const Case& c : cases) {
    const CommandLine line = ParseCommandLine(c.args);
    EXPECT_EQ(line.action, c.action) << c.args.back();
    if (c.action == CommandLine::kRun) {
      EXPECT_EQ(line.cameraFaults, c.faults);
    }
    if (c.action == CommandLine::kError) {
      EXPECT_FALSE(line.error.empty());
    }
  }
  EXPECT_NE(UsageText().find("--camera-fault LIST"), std::string::npos);
}

// Started with a failing camera, the station tells the failure and ends
// normally, writing its settings.
TEST_F(AppTest, AStationStartedWithCameraFaultsTellsTheFailureAndEndsNormally) {
  StationOptions o = Options();
  o.cameraFaults = "bus-error@1";  // before a first frame could read and stop (OneDecode)
  ui::ScopedMessageAnswers answers;
  bool stopped = false;
  o.windowShown = [&](CVantrelDlg& w) {
    w.OnReadStart();
    stopped = ProcessEventsUntil([&] { return !answers.requests().empty(); });
    w.reject();
  };
  CVantrelApp app(o);
  EXPECT_EQ(app.Run(), CVantrelApp::kNormalEnd);
  SetCameraFaults("");
  ASSERT_TRUE(stopped);
  ASSERT_EQ(answers.requests().size(), 1u);
  EXPECT_NE(answers.texts()[0].find("Could not read from resource."), std::string::npos);
  EXPECT_NE(answers.texts()[0].find(DemoFrame("demo-1-jan13.png")), std::string::npos);
  EXPECT_TRUE(Exists(settingsPath));
}

}  // namespace
}  // namespace vantrel::test

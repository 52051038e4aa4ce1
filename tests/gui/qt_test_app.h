// The Qt application every GUI test runs in (offscreen in the suite), made
// once before the first test.
#ifndef VANTREL_TESTS_GUI_QT_TEST_APP_H
#define VANTREL_TESTS_GUI_QT_TEST_APP_H

#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

namespace vantrel::test {

class QtApplicationEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    if (QCoreApplication::instance() == nullptr) {
      static int argc = 1;
      static char name[] = "vantrel-gui-tests";
      static char* argv[] = {name, nullptr};
      app_ = new QApplication(argc, argv);
    }
  }
  void TearDown() override {
    delete app_;
    app_ = nullptr;
  }

 private:
  QApplication* app_ = nullptr;
};

// Runs the event loop until `done` holds or `timeoutMs` passed; true when it held.
inline bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs = 10000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > timeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(2);
  }
  return true;
}

}  // namespace vantrel::test

#endif

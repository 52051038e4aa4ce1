#include "vantrel/signal_close.h"

#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace vantrel {

namespace {
int signalPipe[2] = {-1, -1};

void OnSignal(int number) {
  // The next one is not caught: a station that does not close can be ended.
  std::signal(number == SIGINT ? SIGINT : SIGTERM, SIG_DFL);
  const char byte = 1;
  if (signalPipe[1] >= 0) {
    const ssize_t ignored = write(signalPipe[1], &byte, 1);
    (void)ignored;
  }
}
}  // namespace

SignalClose::SignalClose(std::function<void()> close) : close_(std::move(close)) {
  if (signalPipe[0] < 0 && pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char buffer[16];
    while (read(signalPipe[0], buffer, sizeof buffer) > 0) {
    }
    if (close_) close_();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

SignalClose::~SignalClose() {
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
}

}  // namespace vantrel

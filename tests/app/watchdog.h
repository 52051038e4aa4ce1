// A bound on a call that must return, for tests of calls that could hang (a
// stop while the camera delivers nothing): if the guarded scope has not ended
// after `limit`, the test program ends at once with a message, instead of
// hanging until the suite's time-out. A generous bound on a wait, not a
// measure of speed.
#ifndef VANTREL_TESTS_WATCHDOG_H
#define VANTREL_TESTS_WATCHDOG_H

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <thread>

namespace vantrel::test {

class Watchdog {
 public:
  Watchdog(std::string what, std::chrono::seconds limit)
      : what_(std::move(what)), thread_([this, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!ended_.wait_for(lock, limit, [this] { return done_; })) {
            std::fprintf(stderr, "watchdog: %s did not return within %lld s\n", what_.c_str(),
                         static_cast<long long>(limit.count()));
            std::fflush(stderr);
            std::abort();
          }
        }) {}
  ~Watchdog() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    ended_.notify_all();
    thread_.join();
  }
  Watchdog(const Watchdog&) = delete;
  Watchdog& operator=(const Watchdog&) = delete;

 private:
  std::string what_;
  std::mutex mutex_;
  std::condition_variable ended_;
  bool done_ = false;
  std::thread thread_;
};

}  // namespace vantrel::test

#endif

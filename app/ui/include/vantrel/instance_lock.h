// The single-instance guard: an exclusive advisory lock on a file in the
// user's runtime folder. The kernel drops the lock when the process ends in
// any way, so a crash never leaves a station that cannot start again.
#ifndef VANTREL_INSTANCE_LOCK_H
#define VANTREL_INSTANCE_LOCK_H

#include <string>

namespace vantrel {

// $XDG_RUNTIME_DIR/vantrel.lock when that folder exists, else
// <temporary folder>/vantrel-<uid>/vantrel.lock (the folder made private to
// the user).
std::string DefaultInstanceLockPath();

class InstanceLock {
 public:
  enum Result { kAcquired, kHeldElsewhere, kUnavailable };

  InstanceLock() = default;
  ~InstanceLock() { Release(); }
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // kHeldElsewhere when another process (or another InstanceLock) holds the
  // lock; kUnavailable when the file cannot be made or locked at all.
  Result Acquire(const std::string& path);
  void Release();
  bool held() const { return fd_ >= 0; }
  const std::string& error() const { return error_; }

 private:
  int fd_ = -1;
  std::string error_;
};

}  // namespace vantrel

#endif

#include "vantrel/instance_lock.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace vantrel {

namespace {
bool IsOwnFolder(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid();
}
}  // namespace

std::string DefaultInstanceLockPath() {
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime && IsOwnFolder(runtime))
    return std::string(runtime) + "/vantrel.lock";
  const char* tmp = std::getenv("TMPDIR");
  std::string base = tmp && *tmp ? tmp : "/tmp";
  const std::string folder = base + "/vantrel-" + std::to_string(getuid());
  // A folder of our own, so that nobody else can put a file in our way; when
  // it cannot be made (or is someone else's), Acquire reports the lock unavailable.
  (void)mkdir(folder.c_str(), 0700);
  return folder + "/vantrel.lock";
}

InstanceLock::Result InstanceLock::Acquire(const std::string& path) {
  Release();
  error_.clear();
  const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    error_ = path + ": " + std::strerror(errno);
    return kUnavailable;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
    close(fd);
    error_ = path + ": not a file of this user";
    return kUnavailable;
  }
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int e = errno;
    close(fd);
    if (e == EWOULDBLOCK) return kHeldElsewhere;
    error_ = path + ": " + std::strerror(e);
    return kUnavailable;
  }
  // The holder's process number, for whoever wonders which station runs.
  if (ftruncate(fd, 0) == 0) {
    const std::string pid = std::to_string(getpid()) + "\n";
    if (write(fd, pid.data(), pid.size()) < 0) {
      // Only informative.
    }
  }
  fd_ = fd;
  return kAcquired;
}

void InstanceLock::Release() {
  if (fd_ < 0) return;
  flock(fd_, LOCK_UN);
  close(fd_);
  fd_ = -1;
}

}  // namespace vantrel

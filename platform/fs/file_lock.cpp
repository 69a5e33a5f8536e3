#include "platform/fs/file_lock.h"

#include "platform/fs/test_seam.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>

namespace trovex::posix {

namespace {
// The layer's test settings; read by any thread, set only by a test's seam object.
std::atomic<long long> g_lockWaitMs{FsTestSettings{}.lockWait.count()};
}  // namespace

ScopedFsTestSeam::ScopedFsTestSeam(const FsTestSettings& settings)
    : previous_{std::chrono::milliseconds(g_lockWaitMs.load())} {
  g_lockWaitMs = settings.lockWait.count();
}

ScopedFsTestSeam::~ScopedFsTestSeam() { g_lockWaitMs = previous_.lockWait.count(); }

std::chrono::milliseconds FileLock::DefaultTimeout() { return std::chrono::milliseconds(g_lockWaitMs.load()); }

int FileLock::LockDescriptor(int fd, bool exclusive, std::chrono::milliseconds timeout) {
  // Polled rather than blocking, so a hung holder costs at most `timeout`.
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  auto pause = std::chrono::microseconds(200);
  const int op = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
  for (;;) {
    if (::flock(fd, op) == 0) return 0;
    if (errno != EWOULDBLOCK && errno != EINTR) return errno;
    if (std::chrono::steady_clock::now() >= deadline) return EWOULDBLOCK;
    std::this_thread::sleep_for(pause);
    pause = std::min(pause * 2, std::chrono::microseconds(20000));
  }
}

int FileLock::OpenLockFile(const std::string& lockPath) {
  int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
  if (fd < 0 && (errno == EACCES || errno == EROFS))
    fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  return fd;
}

int FileLock::Acquire(const std::string& lockPath, std::chrono::milliseconds timeout) {
  Release();
  int fd = OpenLockFile(lockPath);
  if (fd < 0) return errno;
  if (int err = LockDescriptor(fd, true, timeout)) {
    ::close(fd);
    return err;
  }
  fd_ = fd;
  return 0;
}

void FileLock::Release() {
  if (fd_ >= 0) ::close(fd_);  // closing drops the flock
  fd_ = -1;
}

}  // namespace trovex::posix

// One cross-process lock for files that several processes write (the hives, the URL cache
// index, saved movies): an exclusive flock on a lock file, waited for at most a bounded time so
// that a stuck holder cannot hang anyone. Released when the object goes (or the process dies).
#pragma once

#include <chrono>
#include <string>

namespace trovex::posix {

class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Opens (creating, mode 0600) `lockPath` and takes the lock. 0 on success; EWOULDBLOCK when
  // another holder kept it for longer than `timeout`; otherwise the errno of opening. A lock
  // file in a read-only place is still used for locking when it can be opened for reading.
  int Acquire(const std::string& lockPath, std::chrono::milliseconds timeout = DefaultTimeout());
  // Opens (creating, mode 0600) a lock file as Acquire does, without locking it: a descriptor,
  // or -1 with errno set. For a caller that keeps the file open and locks it time and again.
  static int OpenLockFile(const std::string& lockPath);
  // Locks an already open descriptor the same way (the lock goes with the descriptor, which
  // the caller keeps open). `exclusive` false takes a shared lock.
  static int LockDescriptor(int fd, bool exclusive, std::chrono::milliseconds timeout);

  void Release();
  bool held() const { return fd_ >= 0; }

  // 10 s (a test may vary it through ScopedFsTestSeam).
  static std::chrono::milliseconds DefaultTimeout();

 private:
  int fd_ = -1;
};

}  // namespace trovex::posix

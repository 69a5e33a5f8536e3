// Test helper: run a piece of the test in a forked process (another "process" for the hive
// files' locking, or a process without root's rights) and collect its report.
#pragma once

#include <grp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>

namespace trovex::test {

// The user a root test drops to, so that file modes mean something.
constexpr uid_t kUnprivilegedId = 65534;

struct ChildResult {
  int exitCode = -1;   // -1 when it did not exit normally
  std::string report;  // what the function returned
};

// Within its scope a root process acts (for file access) as the unprivileged user, so that
// file modes count; for tests that cannot fork (a GUI). Does nothing for other users.
class ScopedUnprivileged {
 public:
  ScopedUnprivileged() {
    if (geteuid() != 0) return;
    ok_ = setegid(kUnprivilegedId) == 0 && seteuid(kUnprivilegedId) == 0;
    dropped_ = true;
  }
  ~ScopedUnprivileged() {
    if (!dropped_) return;
    if (seteuid(0) != 0 || setegid(0) != 0) _exit(97);
  }
  ScopedUnprivileged(const ScopedUnprivileged&) = delete;
  ScopedUnprivileged& operator=(const ScopedUnprivileged&) = delete;
  bool ok() const { return ok_; }

 private:
  bool dropped_ = false;
  bool ok_ = true;
};

// Forks; the child runs fn (after dropping root's rights when dropRoot is set and we are root)
// and writes its result to a pipe. Never returns in the child.
inline ChildResult RunInChild(const std::function<std::string()>& fn, bool dropRoot = false) {
  int fds[2];
  if (pipe(fds) != 0) return {};
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid < 0) return {};
  if (pid == 0) {
    close(fds[0]);
    if (dropRoot && geteuid() == 0) {
      if (setgroups(0, nullptr) != 0 || setgid(kUnprivilegedId) != 0 ||
          setuid(kUnprivilegedId) != 0)
        _exit(99);
    }
    std::string out = fn();
    std::size_t done = 0;
    while (done < out.size()) {
      ssize_t n = write(fds[1], out.data() + done, out.size() - done);
      if (n <= 0) _exit(98);
      done += static_cast<std::size_t>(n);
    }
    close(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  ChildResult result;
  char buf[4096];
  ssize_t n;
  while ((n = read(fds[0], buf, sizeof buf)) > 0) result.report.append(buf, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace trovex::test

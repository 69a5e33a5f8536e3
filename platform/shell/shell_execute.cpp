#include "platform/shell/shell_execute.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/error/error.h"
#include "platform/fs/fs.h"
#include "platform/text/text.h"

extern char** environ;

namespace trovex {

std::vector<std::string> SplitCommandLine(std::string_view parameters) {
  std::vector<std::string> args;
  std::string current;
  bool inArgument = false;  // "" alone must still make an (empty) argument
  bool quoted = false;
  std::size_t pos = 0;
  while (pos < parameters.size()) {
    const char c = parameters[pos];
    if (!quoted && (c == ' ' || c == '\t')) {
      if (inArgument) args.push_back(std::move(current));
      current.clear();
      inArgument = false;
      ++pos;
      continue;
    }
    inArgument = true;
    if (c == '\\') {
      std::size_t count = 0;
      while (pos < parameters.size() && parameters[pos] == '\\') {
        ++count;
        ++pos;
      }
      if (pos < parameters.size() && parameters[pos] == '"') {
        current.append(count / 2, '\\');
        if (count % 2 == 1) {
          current.push_back('"');
          ++pos;
        }
        // An even count leaves the quote to the branch below.
      } else {
        current.append(count, '\\');
      }
      continue;
    }
    if (c == '"') {
      if (quoted && pos + 1 < parameters.size() && parameters[pos + 1] == '"') {
        current.push_back('"');
        pos += 2;
      } else {
        quoted = !quoted;
        ++pos;
      }
      continue;
    }
    const std::size_t next = MbNextChar(parameters, pos);
    current.append(parameters.substr(pos, next - pos));
    pos = next;
  }
  if (inArgument) args.push_back(std::move(current));
  return args;
}

namespace {

// What the helper processes tell the caller through the pipe. Each message is written whole
// (far below PIPE_BUF), so messages from the two processes never interleave.
struct StartReport {
  int kind;   // one of the kinds below
  int value;  // process id or errno
};
constexpr int kStarted = 1;
constexpr int kFailed = 2;
constexpr int kNoFolder = 3;

void Report(int fd, int kind, int value) {
  const StartReport report{kind, value};
  while (::write(fd, &report, sizeof report) < 0 && errno == EINTR) {
  }
}

std::intptr_t Fail(std::intptr_t code) {
  SetLastError(static_cast<DWORD>(code));
  return code;
}

std::intptr_t CodeForErrno(int err, const char* path) {
  switch (err) {
    case ENOENT:
    case ENOTDIR:
      return static_cast<std::intptr_t>(Win32ErrorForPath(err, path));
    case EACCES:
    case EPERM:
    case EISDIR:
    case ETXTBSY:
      return SE_ERR_ACCESSDENIED;
    case ENOMEM:
    case EAGAIN:
      return SE_ERR_OOM;
    default:
      return SE_ERR_BAD_FORMAT;  // ENOEXEC, ELIBBAD and the like: not a program we can run
  }
}

bool IsOpenVerb(const char* verb) {
  return verb == nullptr || *verb == '\0' || MbCompareNoCase(verb, "open") == 0;
}

// Runs in the new process between fork and exec: only async-signal-safe calls.
[[noreturn]] void ExecProgram(int reportFd, const char* path, char* const* argv,
                              const char* directory, int maxFd) {
  ::setsid();
  // The caller's blocked and ignored signals would otherwise carry over into the program.
  sigset_t none;
  sigemptyset(&none);
  sigprocmask(SIG_SETMASK, &none, nullptr);
  struct sigaction dfl;
  std::memset(&dfl, 0, sizeof dfl);
  dfl.sa_handler = SIG_DFL;
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sig != SIGKILL && sig != SIGSTOP) sigaction(sig, &dfl, nullptr);
  }
  // Descriptors the caller left inheritable (hive locks, sockets) are none of the program's.
  if (::close_range(3, ~0u, CLOSE_RANGE_CLOEXEC) != 0) {
    for (int fd = 3; fd < maxFd; ++fd) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  }
  if (directory && ::chdir(directory) != 0) {
    Report(reportFd, kNoFolder, errno);
    _exit(127);
  }
  ::execve(path, argv, environ);
  Report(reportFd, kFailed, errno);
  _exit(127);
}

}  // namespace

std::intptr_t ShellExecuteA(const void* /*hwnd*/, const char* lpOperation, const char* lpFile,
                            const char* lpParameters, const char* lpDirectory, int /*nShowCmd*/) {
  if (!IsOpenVerb(lpOperation)) return Fail(SE_ERR_NOASSOC);
  if (lpFile == nullptr || *lpFile == '\0') return Fail(SE_ERR_FNF);

  std::string file = lpFile;
  const char* directory = (lpDirectory && *lpDirectory) ? lpDirectory : nullptr;
  if (directory && file.front() != '/') {
    // Resolved before the change of folder, as the caller meant it.
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return Fail(SE_ERR_PNF);
    file = std::string(cwd) + "/" + file;
  }

  struct stat st;
  if (::stat(file.c_str(), &st) != 0) return Fail(CodeForErrno(errno, file.c_str()));
  if (!S_ISREG(st.st_mode) || ::access(file.c_str(), X_OK) != 0) return Fail(SE_ERR_ACCESSDENIED);

  std::vector<std::string> args = SplitCommandLine(lpParameters ? lpParameters : "");
  args.insert(args.begin(), std::string(lpFile));
  std::vector<char*> argv;
  argv.reserve(args.size() + 1);
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);

  struct rlimit limit;
  int maxFd = 1024;
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    maxFd = static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 65536));

  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return Fail(SE_ERR_OOM);

  // Two forks: the middle process exits at once and is reaped here, so the program is adopted
  // by the system and never lingers as a zombie of ours. The pipe closes on a successful exec;
  // a failure reports its errno through it.
  const pid_t middle = ::fork();
  if (middle < 0) {
    const int err = errno;
    ::close(fds[0]);
    ::close(fds[1]);
    return Fail(CodeForErrno(err, file.c_str()));
  }
  if (middle == 0) {
    ::close(fds[0]);
    // A second fork() could run other libraries' fork handlers in a copy of a threaded process
    // and hang on a lock nobody is left to release; _Fork runs none.
    const pid_t program = ::_Fork();
    if (program == 0) ExecProgram(fds[1], file.c_str(), argv.data(), directory, maxFd);
    if (program < 0)
      Report(fds[1], kFailed, errno);
    else
      Report(fds[1], kStarted, program);
    _exit(0);
  }
  ::close(fds[1]);
  int status = 0;
  while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
  }

  pid_t started = 0;
  int failure = 0;
  bool noFolder = false;
  StartReport report;
  for (;;) {
    const ssize_t n = ::read(fds[0], &report, sizeof report);
    if (n < 0 && errno == EINTR) continue;
    if (n != static_cast<ssize_t>(sizeof report)) break;
    if (report.kind == kStarted) started = report.value;
    if (report.kind == kFailed) failure = report.value;
    if (report.kind == kNoFolder) noFolder = true;
  }
  ::close(fds[0]);

  if (noFolder) return Fail(SE_ERR_PNF);
  if (failure != 0) return Fail(CodeForErrno(failure, file.c_str()));
  if (started <= 0) return Fail(SE_ERR_OOM);
  // Process ids at or below 32 belong to the system's first processes; never reported as such.
  return std::max<std::intptr_t>(started, 33);
}

}  // namespace trovex

#include "platform/fs/posix_io.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace trovex::posix {

void Fd::Reset(int fd) {
  Close();
  fd_ = fd;
}

int Fd::Close() {
  if (fd_ < 0) return 0;
  int result = ::close(fd_);
  fd_ = -1;
  return result == 0 ? 0 : errno;
}

ssize_t ReadSome(int fd, void* buffer, std::size_t size) {
  for (;;) {
    ssize_t n = ::read(fd, buffer, size);
    if (n >= 0 || errno != EINTR) return n;
  }
}

int WriteAll(int fd, const void* data, std::size_t size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd, p, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    p += n;
    size -= static_cast<std::size_t>(n);
  }
  return 0;
}

int ReadAll(int fd, std::string* out) {
  char buf[65536];
  for (;;) {
    ssize_t n = ReadSome(fd, buf, sizeof buf);
    if (n < 0) return errno;
    if (n == 0) return 0;
    out->append(buf, static_cast<std::size_t>(n));
  }
}

namespace {

constexpr long kProcMagic = 0x9fa0;
constexpr long kSysfsMagic = 0x62656572;

int KindError(const struct stat& st) { return S_ISDIR(st.st_mode) ? EISDIR : EINVAL; }

}  // namespace

int OpenRegularFile(const std::string& path, Fd* out, struct stat* st) {
  // A look before opening: opening a device or a FIFO may itself act or wait.
  if (::stat(path.c_str(), st) != 0) return errno;
  if (!S_ISREG(st->st_mode)) return KindError(*st);
  // O_NONBLOCK: the file may have been swapped for a FIFO since the look.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (fd.get() < 0) return errno;
  if (::fstat(fd.get(), st) != 0) return errno;
  if (!S_ISREG(st->st_mode)) return KindError(*st);
  // Their files claim to be plain but are made on reading (a process's environment...).
  struct statfs fs;
  if (::fstatfs(fd.get(), &fs) == 0 &&
      (static_cast<long>(fs.f_type) == kProcMagic || static_cast<long>(fs.f_type) == kSysfsMagic))
    return EPERM;
  *out = std::move(fd);
  return 0;
}

int LinkDescriptor(int fd, const std::string& path) {
  char self[64];
  std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
  // Without /proc, AT_EMPTY_PATH does the same where the process may use it.
  if (::linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0 ||
      ::linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0)
    return 0;
  return errno;
}

void SyncFolder(const std::string& dir) {
  Fd fd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (fd.get() >= 0) ::fsync(fd.get());
}

int MakeFolders(const std::string& dir) {
  struct stat st;
  if (::stat(dir.c_str(), &st) == 0) return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
  std::size_t slash = dir.find_last_of('/');
  if (slash != std::string::npos && slash > 0) {
    if (int err = MakeFolders(dir.substr(0, slash))) return err;
  }
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return errno;
  // Another process may have made it in between, or made something else.
  if (::stat(dir.c_str(), &st) != 0) return errno;
  return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
}

FileStamp FileStamp::Of(const struct stat& st) {
  FileStamp s;
  s.exists = true;
  s.dev = st.st_dev;
  s.ino = st.st_ino;
  s.size = st.st_size;
  s.mtime = st.st_mtim;
  s.ctime = st.st_ctim;
  return s;
}

bool FileStamp::operator==(const FileStamp& o) const {
  return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
         mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
         ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
  return "/";
}

std::string XdgFolder(const char* variable, const char* fallbackBelowHome) {
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') return value;
  return HomeFolder() + "/" + fallbackBelowHome;
}

}  // namespace trovex::posix

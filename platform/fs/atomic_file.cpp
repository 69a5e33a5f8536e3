#include "platform/fs/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdio.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <random>
#include <vector>

namespace trovex::posix {

namespace {

std::string FolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Follows `path` through symbolic links to the name of the file they lead to, which need not
// exist yet: a link a dotfile manager made is kept, and the file it names is what is replaced.
// A link to anything but a plain file (a device, a FIFO, a folder) or one that cannot be
// followed is itself what is replaced, as if it were a file: nothing is ever written through
// it. *existing: the plain file's status when there is one. ELOOP past as many links as the
// kernel follows.
int ResolveLinks(const std::string& path, std::string* file, std::optional<struct stat>* existing) {
  existing->reset();
  std::string current = path;
  for (int hops = 0; hops <= 40; ++hops) {
    struct stat st;
    if (::lstat(current.c_str(), &st) != 0) {
      *file = errno == ENOENT ? current : path;  // a dangling link's file is made where it points
      return 0;
    }
    if (!S_ISLNK(st.st_mode)) {
      *file = S_ISREG(st.st_mode) ? current : path;
      if (S_ISREG(st.st_mode)) *existing = st;
      return 0;
    }
    char buf[PATH_MAX];
    ssize_t n = ::readlink(current.c_str(), buf, sizeof buf);
    if (n <= 0 || static_cast<std::size_t>(n) == sizeof buf) {
      *file = path;
      return 0;
    }
    std::string next(buf, static_cast<std::size_t>(n));
    current = next[0] == '/' ? std::move(next) : FolderOf(current) + "/" + next;
  }
  return ELOOP;
}

constexpr std::size_t kSuffixLength = 18;  // ".<12 hex>.part"

// A fresh temporary name beside `target`: hidden, and named after the target so a stray one
// left by a killed process is recognisable.
std::string TemporaryName(const std::string& target) {
  std::string name = NameOf(target);
  if (name.size() > 180) name.resize(180);  // room for the suffix within NAME_MAX
  static thread_local std::mt19937_64 random{std::random_device{}()};
  // A forked child inherits the generator: it would try its parent's names, and the
  // temporaries of killed children would use them all up.
  static thread_local pid_t seededFor = ::getpid();
  if (seededFor != ::getpid()) {
    random.seed(std::random_device{}());
    seededFor = ::getpid();
  }
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, ".%012llx.part",
                static_cast<unsigned long long>(random() & 0xFFFFFFFFFFFFull));
  return FolderOf(target) + "/." + name + suffix;
}

bool IsTemporaryName(const std::string& name) {
  if (name.size() < 1 + 1 + kSuffixLength || name[0] != '.') return false;
  const std::size_t at = name.size() - kSuffixLength;
  if (name[at] != '.' || name.compare(name.size() - 5, 5, ".part") != 0) return false;
  for (std::size_t i = at + 1; i < at + 13; ++i) {
    char c = name[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

AtomicFile::~AtomicFile() { Abort(); }

int AtomicFile::Open(const std::string& target, mode_t newMode, Temporary temporary) {
  Abort();
  if (target.empty()) return ENOENT;
  std::string file;
  std::optional<struct stat> existing;
  if (int err = ResolveLinks(target, &file, &existing)) return err;
  int fd = -1;
  std::string temp;
  if (temporary == Temporary::kUnnamed) {
    fd = ::open(FolderOf(file).c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, newMode);
    // Not offered by this file system (or kernel): a named one below.
    if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
  }
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = TemporaryName(file);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, newMode);
    if (fd < 0 && errno != EEXIST) return errno;
    // Shows the sweep a live writer; the lock goes with the process.
    if (fd >= 0) ::flock(fd, LOCK_EX | LOCK_NB);
  }
  if (fd < 0) return EEXIST;
  if (existing) ::fchmod(fd, existing->st_mode & 07777);
  fd_ = fd;
  unnamed_ = temp.empty();
  target_ = target;
  file_ = std::move(file);
  temp_ = temp;
  return 0;
}

// Gives the unnamed temporary the name `path`; EEXIST when it is taken (never replaced).
int AtomicFile::LinkAs(const std::string& path) { return LinkDescriptor(fd_, path); }

// Links an unnamed temporary into the folder under a temporary name (still open, so a
// failure can drop it).
int AtomicFile::GiveName() {
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string temp = TemporaryName(file_);
    int err = LinkAs(temp);
    if (err == 0) {
      temp_ = temp;
      unnamed_ = false;
      return 0;
    }
    if (err != EEXIST) return err;
  }
  return EEXIST;
}

int AtomicFile::Write(const void* data, std::size_t size) {
  if (fd_ < 0) return EBADF;
  return WriteAll(fd_, data, size);
}

int AtomicFile::Commit(Replace replace) { return Finish(replace, true); }

int AtomicFile::CommitClaiming(const NextName& next) {
  return Finish(Replace::kNever, true, &next);
}

int AtomicFile::CommitUnsynced(Replace replace) { return Finish(replace, false); }

int AtomicFile::PlaceNew() {
  // A link never replaces: an unnamed file goes straight to its name.
  if (unnamed_) return LinkAs(file_);
  if (::renameat2(AT_FDCWD, temp_.c_str(), AT_FDCWD, file_.c_str(), RENAME_NOREPLACE) == 0) {
    temp_.clear();
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) return errno;
  // No exclusive rename here: a hard link never replaces either (the name goes in Abort).
  return ::link(temp_.c_str(), file_.c_str()) == 0 ? 0 : errno;
}

int AtomicFile::Finish(Replace replace, bool sync, const NextName* next) {
  if (fd_ < 0) return EBADF;
  int err = 0;
  // Some file systems cannot sync (EINVAL); the rename is still atomic there.
  if (sync && ::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) err = errno;
  if (err == 0 && replace == Replace::kNever) {
    // Bounded: a folder that keeps filling its names must not hold us for ever.
    for (int attempt = 0; attempt < 10000; ++attempt) {
      err = PlaceNew();
      if (err != EEXIST || !next) break;
      std::string other = (*next)(target_);
      if (other.empty()) break;
      target_ = other;
      file_ = std::move(other);
    }
  } else if (err == 0) {
    if (unnamed_) err = GiveName();
    if (err == 0 && ::rename(temp_.c_str(), file_.c_str()) != 0) err = errno;
    if (err == 0) temp_.clear();
  }
  if (::close(fd_) != 0 && err == 0) err = errno;
  fd_ = -1;
  if (err != 0) {
    Abort();
    return err;
  }
  Abort();  // after a link() the temporary name is still there
  if (sync) SyncFolder(FolderOf(file_));
  return 0;
}

void AtomicFile::Abort() {
  if (fd_ >= 0) ::close(fd_);  // an unnamed temporary goes with it
  fd_ = -1;
  unnamed_ = false;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
}

std::string LinkedFile(const std::string& path) {
  std::string file;
  std::optional<struct stat> existing;
  return ResolveLinks(path, &file, &existing) == 0 ? file : path;
}

int ReplaceFileContents(const std::string& target, const void* data, std::size_t size,
                        mode_t newMode) {
  AtomicFile file;
  if (int err = file.Open(target, newMode)) return err;
  if (int err = file.Write(data, size)) return err;
  return file.Commit();
}

int ReadRegularFile(const std::string& path, std::size_t maxBytes, std::string* out,
                    FileStamp* stamp) {
  out->clear();
  if (stamp) *stamp = FileStamp{};
  Fd fd;
  struct stat st;
  if (int err = OpenRegularFile(path, &fd, &st)) return err;
  if (st.st_size < 0 || static_cast<std::uint64_t>(st.st_size) > maxBytes) return EFBIG;
  if (stamp) *stamp = FileStamp::Of(st);
  out->reserve(static_cast<std::size_t>(st.st_size));
  char buffer[65536];
  for (;;) {
    ssize_t n = ReadSome(fd.get(), buffer, sizeof buffer);
    if (n < 0) return errno;
    if (n == 0) return 0;
    // The file may grow while it is read.
    if (out->size() + static_cast<std::size_t>(n) > maxBytes) {
      out->clear();
      return EFBIG;
    }
    out->append(buffer, static_cast<std::size_t>(n));
  }
}

int SweepStaleTemporaries(const std::string& folder, std::chrono::seconds minAge) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return 0;
  DIR* listing = ::fdopendir(::dup(dir.get()));
  if (!listing) return 0;
  std::vector<std::string> names;
  while (dirent* d = ::readdir(listing))
    if (IsTemporaryName(d->d_name)) names.push_back(d->d_name);
  ::closedir(listing);
  const auto now = std::chrono::system_clock::now();
  int removed = 0;
  for (const std::string& name : names) {
    Fd fd(::openat(dir.get(), name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
    // A writer holds its lock from just after creating the file until it is renamed: a file
    // younger than minAge may be one that is not locked yet.
    const auto changed = std::chrono::system_clock::from_time_t(st.st_mtime);
    if (now - changed < minAge) continue;
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) continue;  // a live writer
    if (::unlinkat(dir.get(), name.c_str(), 0) == 0) ++removed;
  }
  return removed;
}

}  // namespace trovex::posix

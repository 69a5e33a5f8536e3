#include "platform/registry/hive_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "platform/fs/atomic_file.h"
#include "platform/fs/file_lock.h"
#include "platform/fs/posix_io.h"
#include "platform/text/res_text.h"

namespace trovex::reg {

namespace {

constexpr const char* kFolderName = "kelvora-swf-trovex";

std::string ParentOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool CanWriteFolder(const std::string& dir) {
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         faccessat(AT_FDCWD, dir.c_str(), W_OK | X_OK, AT_EACCESS) == 0;
}

LSTATUS StatusFromErrno(int err) {
  if (err == EACCES || err == EPERM || err == EROFS) return ERROR_ACCESS_DENIED;
  return static_cast<LSTATUS>(Win32ErrorFromErrno(err));
}

// A hive larger than this is not a settings file: refusing it keeps a link to a device or a
// huge file from eating memory.
constexpr std::size_t kMaxHiveBytes = std::size_t{16} << 20;

int AcquireHiveLock(posix::FileLock& lock, const std::string& hivePath) {
  return lock.Acquire(hivePath + ".lock");
}

// A damaged hive that could not be renamed aside is left alone, and the user is told once.
std::string CannotSetAsideMessage(const std::string& path, const std::string& why, int err) {
  return FormatResString(IDS_TROVEX_REG_DAMAGED_HIVE_KEPT, path.c_str(), why.c_str(), std::strerror(err));
}

}  // namespace

std::string UserHivePath() {
  return posix::XdgFolder("XDG_CONFIG_HOME", ".config") + "/" + kFolderName + "/user.reg";
}

std::string MachineHivePath() {
  return posix::XdgFolder("XDG_DATA_HOME", ".local/share") + "/" + kFolderName + "/machine.reg";
}

HiveFile::HiveFile(std::string path, std::string rootName)
    : path_(std::move(path)), rootName_(std::move(rootName)) {}

HiveFile::LoadResult HiveFile::Load(const Signature* known, RegKey* tree, Signature* sig,
                                    std::string* why, int* err) {
  *sig = Signature{};
  // Unchanged files are not read again: settings are read often.
  struct stat st;
  if (known && known->exists && stat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
      Signature::Of(st) == *known) {
    *sig = *known;
    return LoadResult::kUnchanged;
  }
  // Writers replace the file, never change it in place, so one read gives one version.
  std::string text;
  int readErr = posix::ReadRegularFile(path_, kMaxHiveBytes, &text, sig);
  if (readErr == ENOENT || readErr == ENOTDIR) {
    if (known && *known == *sig) return LoadResult::kUnchanged;
    *tree = RegKey{};
    return LoadResult::kOk;
  }
  if (readErr != 0) {
    *err = readErr;
    return LoadResult::kUnreadable;
  }
  if (known && *known == *sig) return LoadResult::kUnchanged;
  if (!ParseRegedit4(text, rootName_, tree, why)) return LoadResult::kDamaged;
  return LoadResult::kOk;
}

const RegKey& HiveFile::Current() {
  RegKey tree;
  Signature sig;
  std::string why;
  int err = 0;
  switch (Load(cacheValid_ ? &cacheSig_ : nullptr, &tree, &sig, &why, &err)) {
    case LoadResult::kUnchanged:
      return cache_;
    case LoadResult::kOk:
      cache_ = std::move(tree);
      cacheSig_ = sig;
      cacheValid_ = true;
      return cache_;
    case LoadResult::kUnreadable:
      cache_ = RegKey{};
      cacheValid_ = false;
      return cache_;
    case LoadResult::kDamaged:
      break;
  }
  // Damaged: set it aside under the writers' lock, then read what is there now.
  cache_ = RegKey{};
  cacheValid_ = false;
  posix::FileLock lock;
  if (int lockErr = AcquireHiveLock(lock, path_)) {
    ReportOnce(CannotSetAsideMessage(path_, why, lockErr));
    return cache_;
  }
  if (Load(nullptr, &tree, &sig, &why, &err) == LoadResult::kDamaged) {
    if (!SetAside(sig, why)) return cache_;
    if (Load(nullptr, &tree, &sig, &why, &err) != LoadResult::kOk) return cache_;
  }
  cache_ = std::move(tree);
  cacheSig_ = sig;
  cacheValid_ = true;
  return cache_;
}

bool HiveFile::SetAside(const Signature& sig, const std::string& why) {
  struct stat st;
  if (stat(path_.c_str(), &st) != 0 || st.st_dev != sig.dev || st.st_ino != sig.ino)
    return true;  // already replaced by someone else: nothing of ours to move
  char stamp[32];
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
  // A linked hive's file goes aside where it lives; the link stays for the fresh hive.
  const std::string file = posix::LinkedFile(path_);
  std::string aside = file + ".damaged-" + stamp;
  for (int n = 2; lstat(aside.c_str(), &st) == 0; ++n)
    aside = file + ".damaged-" + stamp + "-" + std::to_string(n);
  if (rename(file.c_str(), aside.c_str()) != 0) {
    int e = errno;
    ReportOnce(CannotSetAsideMessage(path_, why, e));
    return false;
  }
  posix::SyncFolder(ParentOf(file));
  ReportOnce(FormatResString(IDS_TROVEX_REG_DAMAGED_HIVE_SET_ASIDE, path_.c_str(), why.c_str(), aside.c_str()));
  return true;
}

void HiveFile::ReportOnce(const std::string& message) {
  if (message == reported_) return;
  reported_ = message;
  std::fputs(message.c_str(), stderr);
  std::fflush(stderr);
}

bool HiveFile::Writable() const {
  std::string dir = ParentOf(path_);
  struct stat st;
  if (stat(dir.c_str(), &st) != 0) {
    // Not there yet: the first folder above it that exists must let us create it.
    std::string up = dir;
    while (stat(up.c_str(), &st) != 0) {
      std::string parent = ParentOf(up);
      if (parent == up) return false;
      up = parent;
    }
    return CanWriteFolder(up);
  }
  if (!CanWriteFolder(dir)) return false;
  if (stat(path_.c_str(), &st) == 0)
    return S_ISREG(st.st_mode) && faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) == 0;
  return true;
}

LSTATUS HiveFile::Modify(const std::function<LSTATUS(RegKey&, bool&)>& edit) {
  if (!Writable()) return ERROR_ACCESS_DENIED;
  const std::string dir = ParentOf(path_);
  if (int err = posix::MakeFolders(dir)) return StatusFromErrno(err);

  posix::FileLock lock;
  if (int err = AcquireHiveLock(lock, path_))
    return err == EWOULDBLOCK ? ERROR_LOCK_VIOLATION : StatusFromErrno(err);

  // Always from the file, under the lock: what another process wrote meanwhile is kept.
  RegKey tree;
  Signature sig;
  std::string why;
  int err = 0;
  switch (Load(nullptr, &tree, &sig, &why, &err)) {
    case LoadResult::kUnreadable:
      cacheValid_ = false;
      // Too large to be a hive: not a full disk, and not ours to replace.
      return err == EFBIG ? ERROR_REGISTRY_CORRUPT : StatusFromErrno(err);
    case LoadResult::kDamaged:
      cacheValid_ = false;
      if (!SetAside(sig, why)) return ERROR_REGISTRY_CORRUPT;
      if (Load(nullptr, &tree, &sig, &why, &err) != LoadResult::kOk) return ERROR_REGISTRY_CORRUPT;
      break;
    default:
      break;
  }

  bool changed = false;
  LSTATUS status = edit(tree, changed);
  if (status != ERROR_SUCCESS || !changed) {
    cache_ = std::move(tree);
    cacheSig_ = sig;
    cacheValid_ = true;
    return status;
  }

  const std::string text = SerializeRegedit4(tree, rootName_);
  if (int writeErr = posix::ReplaceFileContents(path_, text.data(), text.size(), 0600)) {
    cacheValid_ = false;
    return StatusFromErrno(writeErr);
  }

  // Remember the new file's signature so the next read need not parse it again; nobody else
  // can have replaced it while we hold the lock.
  struct stat st;
  cacheValid_ = stat(path_.c_str(), &st) == 0;
  if (cacheValid_) {
    cache_ = std::move(tree);
    cacheSig_ = Signature::Of(st);
  }
  return ERROR_SUCCESS;
}

}  // namespace trovex::reg

#include "platform/fs/fs.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "platform/fs/atomic_file.h"
#include "platform/fs/path.h"
#include "platform/fs/posix_io.h"

namespace trovex {

namespace {

// The folder that holds `path` ("." for a bare name).
std::string ParentOf(const std::string& path) {
  std::string parent = PathRemoveFileSpec(path, PathStyle::Posix);
  return parent.empty() ? std::string(".") : parent;
}

DWORD AttributesFromStat(const struct stat& st, const char* path) {
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) {
    attributes |= FILE_ATTRIBUTE_DIRECTORY;
  } else {
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) attributes |= FILE_ATTRIBUTE_READONLY;
    if (!S_ISREG(st.st_mode)) attributes |= FILE_ATTRIBUTE_SYSTEM;
  }
  const char* name = PathFindFileNameA(path, PathStyle::Posix);
  if (name[0] == '.' && std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0 &&
      std::strcmp(name, "./") != 0 && std::strcmp(name, "../") != 0) {
    attributes |= FILE_ATTRIBUTE_HIDDEN;
  }
  return attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes;
}

bool IsEmpty(const char* path) { return path == nullptr || *path == '\0'; }

// Copies the whole of `in` to `out`; 0 or an errno.
int CopyData(int in, int out) {
  // In the kernel first (no trip through our memory, shared extents where the file system
  // can); what it cannot do, and files that report no size (/proc), go through the buffer.
  for (;;) {
    ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, std::size_t{1} << 30, 0);
    if (n > 0) continue;
    if (n == 0) break;
    if (errno == EINTR) continue;
    if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP ||
        errno == EBADF || errno == EPERM)
      break;
    return errno;
  }
  char buffer[64 * 1024];
  for (;;) {
    ssize_t n = posix::ReadSome(in, buffer, sizeof buffer);
    if (n < 0) return errno;
    if (n == 0) return 0;
    if (int err = posix::WriteAll(out, buffer, static_cast<std::size_t>(n)); err != 0) return err;
  }
}

BOOL Fail(DWORD code) {
  SetLastError(code);
  return FALSE;
}

}  // namespace

DWORD Win32ErrorForPath(int err, const char* path) {
  if (err == ENOTDIR) return ERROR_PATH_NOT_FOUND;
  if (err != ENOENT) return Win32ErrorFromErrno(err);
  if (IsEmpty(path)) return ERROR_PATH_NOT_FOUND;
  struct stat st;
  std::string parent = ParentOf(path);
  if (::stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return ERROR_PATH_NOT_FOUND;
  return ERROR_FILE_NOT_FOUND;
}

DWORD SetLastErrorForPath(int err, const char* path) {
  DWORD code = Win32ErrorForPath(err, path);
  SetLastError(code);
  return code;
}

BOOL PathFileExistsA(const char* path) {
  if (IsEmpty(path)) return Fail(ERROR_FILE_NOT_FOUND);
  struct stat st;
  if (::lstat(path, &st) == 0) return TRUE;
  SetLastErrorForPath(errno, path);
  return FALSE;
}

BOOL PathIsDirectoryA(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return FALSE;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? FILE_ATTRIBUTE_DIRECTORY : FALSE;
}

DWORD GetFileAttributesA(const char* path) {
  if (IsEmpty(path)) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  struct stat st;
  if (::stat(path, &st) != 0) {
    SetLastErrorForPath(errno, path);
    return INVALID_FILE_ATTRIBUTES;
  }
  return AttributesFromStat(st, path);
}

BOOL CreateDirectoryA(const char* path, const void* security_attributes) {
  if (security_attributes != nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (IsEmpty(path)) return Fail(ERROR_PATH_NOT_FOUND);
  if (::mkdir(path, 0777) == 0) return TRUE;
  int err = errno;
  if (err == EEXIST) return Fail(ERROR_ALREADY_EXISTS);
  if (err == ENOENT) return Fail(ERROR_PATH_NOT_FOUND);
  SetLastErrorForPath(err, path);
  return FALSE;
}

BOOL CopyFileA(const char* existing, const char* target, BOOL bFailIfExists) {
  if (IsEmpty(existing)) return Fail(ERROR_PATH_NOT_FOUND);
  if (IsEmpty(target)) return Fail(ERROR_PATH_NOT_FOUND);

  // Plain files only: a FIFO would block the caller's thread, a device or /proc would hand
  // over what is not a movie.
  posix::Fd in;
  struct stat source;
  if (int err = posix::OpenRegularFile(existing, &in, &source)) {
    if (err == EISDIR) return Fail(ERROR_ACCESS_DENIED);
    if (err == EINVAL || err == EPERM) return Fail(ERROR_BAD_FILE_TYPE);
    SetLastErrorForPath(err, existing);
    return FALSE;
  }

  struct stat current;
  if (::stat(target, &current) == 0) {
    if (bFailIfExists) return Fail(ERROR_FILE_EXISTS);
    if (S_ISDIR(current.st_mode)) return Fail(ERROR_ACCESS_DENIED);
    if (current.st_dev == source.st_dev && current.st_ino == source.st_ino) {
      return Fail(ERROR_SHARING_VIOLATION);
    }
    // A read-only target is refused, as the platform does, even though a rename could replace
    // it: permission bits are checked, not access(), so the answer is the same for root.
    if ((current.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) return Fail(ERROR_ACCESS_DENIED);
  } else if (errno != ENOENT) {
    SetLastErrorForPath(errno, target);
    return FALSE;
  } else if (bFailIfExists) {
    struct stat link;
    if (::lstat(target, &link) == 0) return Fail(ERROR_FILE_EXISTS);
  }

  posix::AtomicFile out;
  if (int err = out.Open(target, 0666, posix::AtomicFile::Temporary::kUnnamed)) {
    // The temporary lives beside the target, so its errors are the target's.
    SetLastErrorForPath(err, target);
    return FALSE;
  }
  if (int err = CopyData(in.get(), out.fd()); err != 0) {
    SetLastErrorForPath(err, err == ENOSPC || err == EDQUOT ? target : existing);
    return FALSE;
  }
  struct timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_NOW;
  times[1] = source.st_mtim;
  ::futimens(out.fd(), times);  // a lost time stamp does not fail the copy
  // Never replaces a file that appeared meanwhile when asked not to.
  int err = out.Commit(bFailIfExists ? posix::AtomicFile::Replace::kNever
                                     : posix::AtomicFile::Replace::kAlways);
  if (err == EEXIST && bFailIfExists) return Fail(ERROR_FILE_EXISTS);
  if (err != 0) {
    SetLastErrorForPath(err == EISDIR ? EACCES : err, target);
    return FALSE;
  }
  return TRUE;
}

BOOL GetFileStatus(const char* path, CFileStatus& status) {
  if (IsEmpty(path)) return Fail(ERROR_PATH_NOT_FOUND);
  struct stat st;
  if (::stat(path, &st) != 0) {
    SetLastErrorForPath(errno, path);
    return FALSE;
  }
  status.m_ctime = st.st_ctime;
  status.m_mtime = st.st_mtime;
  status.m_atime = st.st_atime;
  status.m_size = static_cast<std::int64_t>(st.st_size);
  status.m_attribute = AttributesFromStat(st, path);
  status.m_szFullName = path;
  return TRUE;
}

}  // namespace trovex

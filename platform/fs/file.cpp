#include "platform/fs/file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/fs/posix_io.h"

namespace trovex {

CFileException::CFileException(int cause, LONG lOsError, std::string fileName)
    : m_cause(cause), m_lOsError(lOsError), m_strFileName(std::move(fileName)) {
  what_ = "file error " + std::to_string(m_cause) + " (" + std::to_string(m_lOsError) + ")";
  if (!m_strFileName.empty()) what_ += ": " + m_strFileName;
}

int CFileException::OsErrorToException(LONG lOsError) {
  switch (static_cast<DWORD>(lOsError)) {
    case ERROR_SUCCESS: return none;
    case ERROR_FILE_NOT_FOUND: return fileNotFound;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_DIRECTORY:
      return badPath;
    case ERROR_TOO_MANY_OPEN_FILES: return tooManyOpenFiles;
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return accessDenied;
    case ERROR_INVALID_HANDLE: return invalidFile;
    case 16: return removeCurrentDir;  // ERROR_CURRENT_DIRECTORY
    case 18: return directoryFull;     // ERROR_NO_MORE_FILES
    case 25: return badSeek;           // ERROR_SEEK
    case ERROR_IO_DEVICE:
    case 29:  // ERROR_WRITE_FAULT
    case 30:  // ERROR_READ_FAULT
    case 31:  // ERROR_GEN_FAILURE
      return hardIO;
    case ERROR_SHARING_VIOLATION: return sharingViolation;
    case ERROR_LOCK_VIOLATION: return lockViolation;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return diskFull;
    case ERROR_HANDLE_EOF: return endOfFile;
    default: return genericException;
  }
}

void CFileException::ThrowOsError(LONG lOsError, const std::string& fileName) {
  throw CFileException(OsErrorToException(lOsError), lOsError, fileName);
}

CFile::CFile(const char* fileName, UINT nOpenFlags) {
  CFileException error;
  if (!Open(fileName, nOpenFlags, &error)) throw error;
}

CFile::~CFile() { Abort(); }

BOOL CFile::Open(const char* fileName, UINT nOpenFlags, CFileException* pError) {
  auto fail = [&](DWORD code) {
    SetLastError(code);
    if (pError) *pError = CFileException(CFileException::OsErrorToException(code),
                                         static_cast<LONG>(code), fileName ? fileName : "");
    return FALSE;
  };
  if (IsOpen()) return fail(ERROR_INVALID_HANDLE);
  if (fileName == nullptr || *fileName == '\0') return fail(ERROR_PATH_NOT_FOUND);

  int flags = O_CLOEXEC;
  switch (nOpenFlags & 3) {
    case modeRead: flags |= O_RDONLY; break;
    case modeWrite: flags |= O_WRONLY; break;
    case modeReadWrite: flags |= O_RDWR; break;
    default: return fail(ERROR_INVALID_PARAMETER);
  }
  // Truncation waits until the share lock is held, so a refused open never damages the data
  // of the file's current holder.
  if (nOpenFlags & modeCreate) flags |= O_CREAT;
  bool truncate = (nOpenFlags & modeCreate) && !(nOpenFlags & modeNoTruncate);

  // Non-blocking while opening: a FIFO without a writer would otherwise hang the caller.
  int fd = ::open(fileName, flags | O_NONBLOCK, 0666);
  if (fd < 0) return fail(Win32ErrorForPath(errno, fileName));
  struct stat st;
  // Only regular files: a folder, FIFO or device is no file to copy or measure.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return fail(ERROR_ACCESS_DENIED);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  int lock = 0;
  switch (nOpenFlags & 0x70) {
    case shareExclusive: lock = LOCK_EX; break;
    case shareDenyWrite: lock = LOCK_SH; break;
    default: break;
  }
  if (lock != 0 && ::flock(fd, lock | LOCK_NB) != 0) {
    int err = errno;
    ::close(fd);
    return fail(err == EWOULDBLOCK ? ERROR_SHARING_VIOLATION : Win32ErrorFromErrno(err));
  }
  if (truncate && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
    int err = errno;
    ::close(fd);
    return fail(Win32ErrorFromErrno(err));
  }
  fd_ = fd;
  path_ = fileName;
  return TRUE;
}

void CFile::ThrowErrno(int err) const {
  DWORD code = err == EBADF ? ERROR_ACCESS_DENIED : Win32ErrorFromErrno(err);
  SetLastError(code);
  CFileException::ThrowOsError(static_cast<LONG>(code), path_);
}

void CFile::RequireOpen() const {
  if (!IsOpen()) CFileException::ThrowOsError(static_cast<LONG>(ERROR_INVALID_HANDLE), path_);
}

UINT CFile::Read(void* buffer, UINT nCount) {
  RequireOpen();
  ssize_t n = posix::ReadSome(fd_, buffer, nCount);
  if (n < 0) ThrowErrno(errno);
  return static_cast<UINT>(n);
}

void CFile::Write(const void* buffer, UINT nCount) {
  RequireOpen();
  if (int err = posix::WriteAll(fd_, buffer, nCount)) ThrowErrno(err);
}

void CFile::Flush() {
  RequireOpen();
  if (::fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) ThrowErrno(errno);
}

void CFile::Close() {
  if (!IsOpen()) return;
  int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) ThrowErrno(errno);
}

void CFile::Abort() {
  if (!IsOpen()) return;
  ::close(fd_);
  fd_ = -1;
}

std::uint64_t CFile::Seek(std::int64_t offset, UINT from) {
  RequireOpen();
  int whence = from == begin ? SEEK_SET : from == current ? SEEK_CUR : SEEK_END;
  off_t result = ::lseek(fd_, static_cast<off_t>(offset), whence);
  if (result < 0) {
    SetLastError(25);
    CFileException::ThrowOsError(25, path_);  // ERROR_SEEK
  }
  return static_cast<std::uint64_t>(result);
}

std::uint64_t CFile::GetPosition() const {
  RequireOpen();
  off_t result = ::lseek(fd_, 0, SEEK_CUR);
  if (result < 0) CFileException::ThrowOsError(25, path_);
  return static_cast<std::uint64_t>(result);
}

std::uint64_t CFile::GetLength() const {
  RequireOpen();
  struct stat st;
  if (::fstat(fd_, &st) != 0) ThrowErrno(errno);
  return static_cast<std::uint64_t>(st.st_size);
}

void CFile::SetLength(std::uint64_t length) {
  RequireOpen();
  if (::ftruncate(fd_, static_cast<off_t>(length)) != 0) ThrowErrno(errno);
}

}  // namespace trovex

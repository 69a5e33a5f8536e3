// The file object of the application framework: open, read, write, flush, close, length,
// with failures raised as CFileException (a cause and the Win32 code).
//
// Sharing: the platform's share modes become advisory locks (flock), which is as far as POSIX
// goes: shareExclusive takes an exclusive lock and shareDenyWrite a shared one, so two
// CFile objects (in any processes) conflict exactly when one of them is exclusive. Opening is
// refused with sharingViolation then. Other programs that do not lock are not stopped.
#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "platform/base/types.h"
#include "platform/error/error.h"
#include "platform/fs/fs.h"

namespace trovex {

class CFileException : public std::exception {
 public:
  // The framework's causes; the string resource of cause c is 61856 + c.
  enum Cause {
    none = 0,
    genericException,
    fileNotFound,
    badPath,
    tooManyOpenFiles,
    accessDenied,
    invalidFile,
    removeCurrentDir,
    directoryFull,
    badSeek,
    hardIO,
    sharingViolation,
    lockViolation,
    diskFull,
    endOfFile,
  };

  CFileException(int cause = none, LONG lOsError = -1, std::string fileName = {});

  // Win32 code -> cause (genericException for the codes without a better one).
  static int OsErrorToException(LONG lOsError);
  // Raises the exception for a Win32 code.
  [[noreturn]] static void ThrowOsError(LONG lOsError, const std::string& fileName = {});

  // Id of the framework message for the cause ("%1" there is m_strFileName).
  unsigned GetErrorStringId() const { return 61856u + static_cast<unsigned>(m_cause); }
  const char* what() const noexcept override { return what_.c_str(); }

  int m_cause;
  LONG m_lOsError;
  std::string m_strFileName;

 private:
  std::string what_;
};

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    shareCompat = 0x0000,
    shareExclusive = 0x0010,
    shareDenyWrite = 0x0020,
    shareDenyRead = 0x0030,
    shareDenyNone = 0x0040,
    modeNoInherit = 0x0080,
    modeCreate = 0x1000,
    modeNoTruncate = 0x2000,
    typeText = 0x4000,
    typeBinary = 0x8000,
  };
  enum SeekPosition { begin = 0, current = 1, end = 2 };

  CFile() = default;
  // Opens or throws CFileException.
  CFile(const char* fileName, UINT nOpenFlags);
  // Closes without raising (errors of a close in the destructor are lost, as Abort does).
  ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // FALSE on failure, with *pError filled when given; never throws.
  BOOL Open(const char* fileName, UINT nOpenFlags, CFileException* pError = nullptr);
  // Reads up to nCount bytes; 0 at the end of the file.
  UINT Read(void* buffer, UINT nCount);
  void Write(const void* buffer, UINT nCount);
  // Data written so far reaches the disk (fsync).
  void Flush();
  // Closes; a failure of the close itself (a full disk on a network file system) throws.
  void Close();
  // Closes and ignores every error.
  void Abort();
  std::uint64_t Seek(std::int64_t offset, UINT from);
  std::uint64_t GetPosition() const;
  std::uint64_t GetLength() const;
  void SetLength(std::uint64_t length);
  const std::string& GetFilePath() const { return path_; }
  bool IsOpen() const { return fd_ >= 0; }

  static BOOL GetStatus(const char* fileName, CFileStatus& status) {
    return GetFileStatus(fileName, status);
  }

 private:
  [[noreturn]] void ThrowErrno(int err) const;
  void RequireOpen() const;

  int fd_ = -1;
  std::string path_;
};

}  // namespace trovex

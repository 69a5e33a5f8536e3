#include "platform/error/error.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

namespace trovex {
namespace {

TEST(Win32ErrorFromErrno, MapsEachErrnoToItsWin32Code) {
  struct Case {
    int err;
    DWORD code;
  };
  const Case cases[] = {
      {0, ERROR_SUCCESS},
      {ENOENT, ERROR_FILE_NOT_FOUND},
      {ENOTDIR, ERROR_PATH_NOT_FOUND},
      {EACCES, ERROR_ACCESS_DENIED},
      {EPERM, ERROR_ACCESS_DENIED},
      {EROFS, ERROR_ACCESS_DENIED},
      {EISDIR, ERROR_ACCESS_DENIED},
      {EEXIST, ERROR_ALREADY_EXISTS},
      {ENOSPC, ERROR_DISK_FULL},
      {EDQUOT, ERROR_DISK_FULL},
      {ENAMETOOLONG, ERROR_FILENAME_EXCED_RANGE},
      {EMFILE, ERROR_TOO_MANY_OPEN_FILES},
      {ENFILE, ERROR_TOO_MANY_OPEN_FILES},
      {EINVAL, ERROR_INVALID_PARAMETER},
      {ENOMEM, ERROR_NOT_ENOUGH_MEMORY},
      {EBUSY, ERROR_SHARING_VIOLATION},
      {EXDEV, ERROR_NOT_SAME_DEVICE},
      {ENOTEMPTY, ERROR_DIR_NOT_EMPTY},
      {EIO, ERROR_IO_DEVICE},
      {EBADF, ERROR_INVALID_HANDLE},
      {EDOM, ERROR_INVALID_FUNCTION},  // no counterpart
  };
  for (const auto& c : cases) EXPECT_EQ(Win32ErrorFromErrno(c.err), c.code) << "errno " << c.err;
}

TEST(LastError, IsKeptPerThread) {
  SetLastError(ERROR_ACCESS_DENIED);
  DWORD seenInOther = 12345;
  std::thread other([&] {
    seenInOther = GetLastError();  // a new thread starts clean
    SetLastError(ERROR_DISK_FULL);
  });
  other.join();
  EXPECT_EQ(seenInOther, ERROR_SUCCESS);
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
}

TEST(LastError, SetFromErrnoStoresAndReturnsTheCode) {
  SetLastError(0);
  EXPECT_EQ(SetLastErrorFromErrno(ENOSPC), ERROR_DISK_FULL);
  EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
}

}  // namespace
}  // namespace trovex

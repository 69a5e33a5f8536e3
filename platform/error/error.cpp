#include "platform/error/error.h"

#include <cerrno>

namespace trovex {

namespace {
thread_local DWORD t_lastError = ERROR_SUCCESS;
}  // namespace

DWORD GetLastError() { return t_lastError; }

void SetLastError(DWORD code) { t_lastError = code; }

DWORD Win32ErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return ERROR_SUCCESS;
    case ENOENT:
      return ERROR_FILE_NOT_FOUND;
    case ENOTDIR:
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR:
      return ERROR_ACCESS_DENIED;
    case EROFS:
      return ERROR_ACCESS_DENIED;
    case EEXIST:
      return ERROR_ALREADY_EXISTS;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
      return ERROR_DISK_FULL;
    case ENAMETOOLONG:
      return ERROR_FILENAME_EXCED_RANGE;
    case EMFILE:
    case ENFILE:
      return ERROR_TOO_MANY_OPEN_FILES;
    case EINVAL:
      return ERROR_INVALID_PARAMETER;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    case EBUSY:
    case ETXTBSY:
      return ERROR_SHARING_VIOLATION;
    case EXDEV:
      return ERROR_NOT_SAME_DEVICE;
    case ENOTEMPTY:
      return ERROR_DIR_NOT_EMPTY;
    case EBADF:
      return ERROR_INVALID_HANDLE;
    case EIO:
    case ENXIO:
    case ENODEV:
      return ERROR_IO_DEVICE;
    case EFBIG:
      return ERROR_DISK_FULL;
    case EPIPE:
      return ERROR_BROKEN_PIPE;
    case EAGAIN:
      return ERROR_LOCK_VIOLATION;
    case ETIMEDOUT:
      return ERROR_TIMEOUT;
    case ENOTSUP:
      return ERROR_NOT_SUPPORTED;
    case ECANCELED:
      return ERROR_OPERATION_ABORTED;
    default:
      return ERROR_INVALID_FUNCTION;
  }
}

DWORD SetLastErrorFromErrno(int err) {
  DWORD code = Win32ErrorFromErrno(err);
  SetLastError(code);
  return code;
}

}  // namespace trovex

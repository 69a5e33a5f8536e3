// Files and directories of the local file system, with the results and last-error codes of
// the Win32 calls the system makes. Paths are native (POSIX) paths in the locale's code page.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>

#include "platform/base/types.h"
#include "platform/error/error.h"

namespace trovex {

constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFFu;
constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x01;   // no write permission bit at all
constexpr DWORD FILE_ATTRIBUTE_HIDDEN = 0x02;     // name starts with "."
constexpr DWORD FILE_ATTRIBUTE_SYSTEM = 0x04;     // device, pipe, socket
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;     // a file with none of the others

// errno of a call on `path` -> Win32 code. ENOENT becomes ERROR_PATH_NOT_FOUND when a folder
// on the way to `path` is missing (or is not a folder), ERROR_FILE_NOT_FOUND otherwise.
DWORD Win32ErrorForPath(int err, const char* path);
// Sets the last error from that and returns it.
DWORD SetLastErrorForPath(int err, const char* path);

// True when a file, a folder or any other entry (a dangling symbolic link too) of that name
// exists. Sets the last error when not.
BOOL PathFileExistsA(const char* path);
// FILE_ATTRIBUTE_DIRECTORY when the path names an existing folder (links followed), else 0.
BOOL PathIsDirectoryA(const char* path);

// Attributes of an existing entry (links followed); INVALID_FILE_ATTRIBUTES and the last
// error (ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, ERROR_ACCESS_DENIED...) otherwise.
DWORD GetFileAttributesA(const char* path);

// Creates one folder level. ERROR_ALREADY_EXISTS when the name exists, ERROR_PATH_NOT_FOUND
// when the parent is missing. The security attributes are not supported and must be null.
BOOL CreateDirectoryA(const char* path, const void* security_attributes);

// Copies a file, keeping its modification time. The data goes to a temporary file in the
// target folder first, which is synced and then renamed over the target, so a copy that fails
// midway (a full disk, a killed process) never leaves a half file under the target name and
// never damages an existing target. bFailIfExists: fail with ERROR_FILE_EXISTS when the target
// exists. Other failures: the source is missing (2/3) or a folder (5); the target is a folder
// or read-only (5); source and target are the same file (32); the disk is full (112).
BOOL CopyFileA(const char* existing, const char* target, BOOL bFailIfExists);

// Status of a file, as the framework's CFileStatus holds it.
struct CFileStatus {
  std::time_t m_ctime = 0;  // status change
  std::time_t m_mtime = 0;  // last modification
  std::time_t m_atime = 0;  // last access
  std::int64_t m_size = 0;  // bytes
  DWORD m_attribute = 0;    // FILE_ATTRIBUTE_* bits
  std::string m_szFullName;
};

// Fills `status` for an existing entry (links followed); FALSE and the last error otherwise.
BOOL GetFileStatus(const char* path, CFileStatus& status);

}  // namespace trovex

// CRegistry: one registry key held open, for keys outside the settings root (the companions'
// install paths, the browser's extension keys). Each operation returns nonzero on success and
// records the Win32 result code.
#pragma once

#include <string>

#include "platform/base/types.h"
#include "platform/registry/registry.h"

namespace trovex {

class CRegistry {
 public:
  // Holds hInitial (callers pass the root under which they will open); it is closed with the
  // object, which for a predefined root does nothing.
  explicit CRegistry(HKEY hInitial = nullptr);
  virtual ~CRegistry();
  CRegistry(const CRegistry&) = delete;
  CRegistry& operator=(const CRegistry&) = delete;

  // RegCreateKeyExA, non-volatile, KEY_ALL_ACCESS; then holds the created key (none after a
  // failure). Resets the last type and size to 0.
  BOOL Create(HKEY hParent, const std::string& strSubKey);
  // Remembers strSubKey, RegOpenKeyExA with nAccess; then holds the opened key (none after a
  // failure). Resets the last type and size to 0.
  BOOL Open(HKEY hParent, const std::string& strSubKey, REGSAM nAccess);
  // REG_SZ, the text plus its terminator.
  BOOL WriteString(const std::string& strName, const std::string& strText);
  // Reads at most 1023 bytes; on success strText gets them up to the first zero byte, on
  // failure strText is unchanged. The stored type is not examined.
  BOOL ReadString(const std::string& strName, std::string& strText);
  // RegCloseKey when a key is held; then holds none.
  void Close();

  LONG GetLastResult() const { return nLastResult; }
  DWORD GetLastType() const { return nLastType; }
  DWORD GetLastSize() const { return nLastSize; }
  HKEY GetKey() const { return hKey; }
  const std::string& GetSubKey() const { return strSubKey; }

 private:
  void Hold(HKEY hNew);

  LONG nLastResult = 0;
  DWORD nLastType = 0;
  DWORD nLastSize = 0;
  HKEY hKey = nullptr;
  std::string strSubKey;
};

}  // namespace trovex

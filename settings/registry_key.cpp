#include "settings/registry_key.h"

#include <cstring>

namespace trovex {

CRegistry::CRegistry(HKEY hInitial) : hKey(hInitial) {}

CRegistry::~CRegistry() { Close(); }

void CRegistry::Hold(HKEY hNew) {
  // The key held so far is closed rather than dropped: dropping it would leak the handle.
  if (hKey && hKey != hNew) RegCloseKey(hKey);
  hKey = hNew;
}

BOOL CRegistry::Create(HKEY hParent, const std::string& strSubKey) {
  HKEY hNew = nullptr;
  DWORD nDisposition = 0;
  nLastResult = RegCreateKeyExA(hParent, strSubKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, nullptr, &hNew, &nDisposition);
  Hold(hNew);
  nLastType = 0;
  nLastSize = 0;
  return nLastResult == ERROR_SUCCESS;
}

BOOL CRegistry::Open(HKEY hParent, const std::string& strSubKeyPath, REGSAM nAccess) {
  strSubKey = strSubKeyPath;
  HKEY hNew = nullptr;
  nLastResult = RegOpenKeyExA(hParent, strSubKeyPath.c_str(), 0, nAccess, &hNew);
  Hold(hNew);
  nLastType = 0;
  nLastSize = 0;
  return nLastResult == ERROR_SUCCESS;
}

BOOL CRegistry::WriteString(const std::string& strName, const std::string& strText) {
  const auto nBytes = static_cast<DWORD>(strText.size() + 1);
  nLastResult = RegSetValueExA(hKey, strName.c_str(), 0, REG_SZ,
                               reinterpret_cast<const BYTE*>(strText.c_str()), nBytes);
  nLastType = REG_SZ;
  nLastSize = nBytes;
  return nLastResult == ERROR_SUCCESS;
}

BOOL CRegistry::ReadString(const std::string& strName, std::string& strText) {
  // One byte more than offered, so the text always ends in a zero byte.
  char buffer[1024] = {};
  DWORD nType = 0;
  DWORD nSize = sizeof buffer - 1;
  nLastResult = RegQueryValueExA(hKey, strName.c_str(), nullptr, &nType,
                                 reinterpret_cast<BYTE*>(buffer), &nSize);
  nLastType = nType;
  nLastSize = nLastResult == ERROR_SUCCESS || nLastResult == ERROR_MORE_DATA ? nSize : 0;
  if (nLastResult != ERROR_SUCCESS) return FALSE;
  strText.assign(buffer, strnlen(buffer, sizeof buffer));
  return TRUE;
}

void CRegistry::Close() {
  if (hKey) RegCloseKey(hKey);
  hKey = nullptr;
}

}  // namespace trovex

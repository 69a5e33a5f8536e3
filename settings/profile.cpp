#include "settings/profile.h"

#include <vector>

namespace trovex {

namespace {

// Closes a key handle on every path.
class KeyGuard {
 public:
  explicit KeyGuard(HKEY hKey) : hKey_(hKey) {}
  ~KeyGuard() {
    if (hKey_) RegCloseKey(hKey_);
  }
  KeyGuard(const KeyGuard&) = delete;
  KeyGuard& operator=(const KeyGuard&) = delete;
  HKEY get() const { return hKey_; }

 private:
  HKEY hKey_;
};

}  // namespace

void CProfileStore::SetRegistryKey(const std::string& strKey) {
  std::lock_guard<std::mutex> guard(mutex_);
  strRegistryKey_ = strKey;
}

void CProfileStore::SetProfileName(const std::string& strName) {
  std::lock_guard<std::mutex> guard(mutex_);
  strProfileName_ = strName;
}

std::string CProfileStore::GetRegistryKey() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return strRegistryKey_;
}

std::string CProfileStore::GetProfileName() const {
  std::lock_guard<std::mutex> guard(mutex_);
  return strProfileName_;
}

std::string CProfileStore::GetRootPath() const {
  std::lock_guard<std::mutex> guard(mutex_);
  if (strRegistryKey_.empty() || strProfileName_.empty()) return std::string();
  return "Software\\" + strRegistryKey_ + "\\" + strProfileName_;
}

HKEY CProfileStore::OpenSection(const std::string& strSection, bool bForWrite) const {
  std::string strPath = GetRootPath();
  if (strPath.empty()) return nullptr;
  if (!strSection.empty()) strPath += "\\" + strSection;
  HKEY hKey = nullptr;
  // Reading opens the same way as writing, so a first read creates the section's key.
  if (RegCreateKeyExA(HKEY_CURRENT_USER, strPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_READ | KEY_CREATE_SUB_KEY | KEY_SET_VALUE, nullptr, &hKey,
                      nullptr) == ERROR_SUCCESS)
    return hKey;
  // A hive that cannot be written still has readable settings.
  if (!bForWrite &&
      RegOpenKeyExA(HKEY_CURRENT_USER, strPath.c_str(), 0, KEY_READ, &hKey) == ERROR_SUCCESS)
    return hKey;
  return nullptr;
}

UINT CProfileStore::GetProfileInt(const std::string& strSection, const std::string& strEntry,
                                  UINT nDefault) const {
  KeyGuard key(OpenSection(strSection, false));
  if (!key.get()) return nDefault;
  DWORD nType = 0;
  DWORD nValue = 0;
  DWORD nSize = sizeof nValue;
  if (RegQueryValueExA(key.get(), strEntry.c_str(), nullptr, &nType,
                       reinterpret_cast<BYTE*>(&nValue), &nSize) != ERROR_SUCCESS)
    return nDefault;
  // A value of another type is not a stored integer: its bytes would give nonsense.
  if (nType != REG_DWORD || nSize != sizeof nValue) return nDefault;
  return nValue;
}

std::string CProfileStore::GetProfileString(const std::string& strSection,
                                            const std::string& strEntry,
                                            const std::string& strDefault) const {
  KeyGuard key(OpenSection(strSection, false));
  if (!key.get()) return strDefault;
  DWORD nType = 0;
  DWORD nSize = 0;
  if (RegQueryValueExA(key.get(), strEntry.c_str(), nullptr, &nType, nullptr, &nSize) !=
          ERROR_SUCCESS ||
      nType != REG_SZ)
    return strDefault;
  std::vector<BYTE> buffer(nSize + 1, 0);
  // Another process may change the value in between: ask again with the new size.
  LSTATUS st;
  while ((st = RegQueryValueExA(key.get(), strEntry.c_str(), nullptr, &nType, buffer.data(),
                                &nSize)) == ERROR_MORE_DATA)
    buffer.assign(nSize + 1, 0);
  if (st != ERROR_SUCCESS || nType != REG_SZ) return strDefault;
  buffer.resize(nSize);
  const char* text = reinterpret_cast<const char*>(buffer.data());
  std::size_t len = 0;
  while (len < buffer.size() && text[len] != '\0') ++len;
  return std::string(text, len);
}

BOOL CProfileStore::WriteProfileInt(const std::string& strSection, const std::string& strEntry,
                                    int nValue) const {
  KeyGuard key(OpenSection(strSection, true));
  if (!key.get()) return FALSE;
  const DWORD nStored = static_cast<DWORD>(nValue);
  return RegSetValueExA(key.get(), strEntry.c_str(), 0, REG_DWORD,
                        reinterpret_cast<const BYTE*>(&nStored), sizeof nStored) == ERROR_SUCCESS;
}

BOOL CProfileStore::WriteProfileString(const std::string& strSection,
                                       const std::string& strEntry,
                                       const std::string& strValue) const {
  KeyGuard key(OpenSection(strSection, true));
  if (!key.get()) return FALSE;
  return RegSetValueExA(key.get(), strEntry.c_str(), 0, REG_SZ,
                        reinterpret_cast<const BYTE*>(strValue.c_str()),
                        static_cast<DWORD>(strValue.size() + 1)) == ERROR_SUCCESS;
}

CProfileStore& AppProfile() {
  static CProfileStore store;
  return store;
}

void SetDefaultProfileRoot() {
  AppProfile().SetRegistryKey(kProfileRegistryKey);
  AppProfile().SetProfileName(kProfileName);
}

UINT ClampDirChoice(UINT nStored) { return nStored > kMaxDirChoice ? kMaxDirChoice : nStored; }

UINT ClampConflictAction(UINT nStored) {
  return nStored > kMaxConflictAction ? kDefaultConflictAction : nStored;
}

UINT ClampColumnWidth(UINT nStored) { return nStored < kMinColumnWidth ? kMinColumnWidth : nStored; }

// No reserve at all would let an endless body fill the disk: a zero is no setting.
UINT ClampUnsizedReserveMB(UINT nStored) {
  return nStored == 0 || nStored > kMaxUnsizedReserveMB ? kDefaultUnsizedReserveMB : nStored;
}

std::uint64_t ReadUnsizedReserve() {
  return static_cast<std::uint64_t>(ClampUnsizedReserveMB(AppProfile().GetProfileInt(
             kSectionSave, kValueUnsizedReserve, kDefaultUnsizedReserveMB)))
         << 20;
}

std::string ColumnWidthValueName(int nColumn) { return "Column " + std::to_string(nColumn + 1); }

UINT ReadDirChoice() {
  return ClampDirChoice(AppProfile().GetProfileInt(kSectionTrovex, kValueDirChoice,
                                                   kDefaultDirChoice));
}

std::string ReadDefaultSaveDir() {
  return AppProfile().GetProfileString(kSectionTrovex, kValueDefaultDir);
}

UINT ReadConflictAction() {
  return ClampConflictAction(AppProfile().GetProfileInt(kSectionTrovex, kValueConflictAction,
                                                        kDefaultConflictAction));
}

std::string ReadLastSaveDir() {
  return AppProfile().GetProfileString(kSectionTrovex, kValueLastSaveDir);
}

UINT ReadColumnWidth(int nColumn) {
  if (nColumn < 0 || nColumn >= kColumnCount) return kMinColumnWidth;
  return ClampColumnWidth(AppProfile().GetProfileInt(kSectionSave, ColumnWidthValueName(nColumn),
                                                     kDefaultColumnWidths[nColumn]));
}

UINT ReadSaveMovieFiles() {
  return AppProfile().GetProfileInt(kSectionTrovex, kValueSaveMovieFiles, 1) != 0 ? 1 : 0;
}

UINT ReadHiddenFactColumns() { return AppProfile().GetProfileInt(kSectionSave, kValueHiddenColumns, 0); }

void WriteHiddenFactColumns(UINT nMask) {
  AppProfile().WriteProfileInt(kSectionSave, kValueHiddenColumns, static_cast<int>(nMask));
}

void WriteColumnWidth(int nColumn, UINT nWidth) {
  if (nColumn < 0 || nColumn >= kColumnCount) return;
  AppProfile().WriteProfileInt(kSectionSave, ColumnWidthValueName(nColumn),
                               static_cast<int>(nWidth));
}

}  // namespace trovex

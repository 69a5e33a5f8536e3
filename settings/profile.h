// The settings store: the current user's profile below
// HKEY_CURRENT_USER\Software\<registry key>\<profile name>, one sub-key per section, read and
// written as integers (REG_DWORD) and strings (REG_SZ) by section and value name. The process
// has one store, reached through AppProfile(); start-up sets its registry key and profile name
// (SetDefaultProfileRoot() sets the system's own). Failures are silent: a read gives its
// default, a write returns FALSE.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>

#include "platform/base/types.h"
#include "platform/registry/registry.h"

namespace trovex {

// The settings root the system uses.
inline constexpr const char* kProfileRegistryKey = "Marrowick";
inline constexpr const char* kProfileName = "Kelvora SWF Trovex";

// Sections and value names of every persisted setting.
inline constexpr const char* kSectionTrovex = "Trovex";
inline constexpr const char* kSectionSave = "Trovex\\Save";
inline constexpr const char* kValueDirChoice = "Default Save Directory Choice";
inline constexpr const char* kValueDefaultDir = "Default Save Directory";
inline constexpr const char* kValueConflictAction = "Conflict Action";
inline constexpr const char* kValueLastSaveDir = "Last Save Directory";
inline constexpr const char* kValueWindowPlacement = "WindowPlacement";
inline constexpr const char* kValueUnsizedReserve = "Unsized Download Reserve MB";
inline constexpr const char* kValueSaveMovieFiles = "Save Movie Files";   // in "Trovex"
inline constexpr const char* kValueHiddenColumns = "Hidden Fact Columns";  // in "Trovex\Save"
// "Column 1" .. "Column 4" are built by ColumnWidthValueName().

// Defaults and ranges.
inline constexpr UINT kDefaultDirChoice = 0;       // 0 = last save directory, 1 = specified
inline constexpr UINT kMaxDirChoice = 1;
inline constexpr UINT kDefaultConflictAction = 3;  // ask the user
inline constexpr UINT kMaxConflictAction = 3;
// The most (in MiB) a download without a length keeps free on its disk; 1 MiB .. 1 TiB.
inline constexpr UINT kDefaultUnsizedReserveMB = 2048;
inline constexpr UINT kMaxUnsizedReserveMB = 1u << 20;
inline constexpr UINT kMinColumnWidth = 10;
inline constexpr int kColumnCount = 4;
inline constexpr UINT kDefaultColumnWidths[kColumnCount] = {150, 60, 120, 100};

class CProfileStore {
 public:
  CProfileStore() = default;
  CProfileStore(const CProfileStore&) = delete;
  CProfileStore& operator=(const CProfileStore&) = delete;

  // Settings then live under HKEY_CURRENT_USER\Software\<key>\<profile name>.
  void SetRegistryKey(const std::string& strKey);
  void SetProfileName(const std::string& strName);
  std::string GetRegistryKey() const;
  std::string GetProfileName() const;
  // "Software\<key>\<profile name>"; empty while either part is unset.
  std::string GetRootPath() const;

  // The stored REG_DWORD when it can be read, else nDefault (also while no root is set, and
  // for a value of another type).
  UINT GetProfileInt(const std::string& strSection, const std::string& strEntry,
                     UINT nDefault) const;
  // The stored REG_SZ up to its first zero byte when it can be read, else strDefault.
  std::string GetProfileString(const std::string& strSection, const std::string& strEntry,
                               const std::string& strDefault = std::string()) const;
  // Nonzero on success.
  BOOL WriteProfileInt(const std::string& strSection, const std::string& strEntry,
                       int nValue) const;
  BOOL WriteProfileString(const std::string& strSection, const std::string& strEntry,
                          const std::string& strValue) const;

 private:
  // Create-or-open of the section key, as both reading and writing do: null on failure.
  HKEY OpenSection(const std::string& strSection, bool bForWrite) const;

  mutable std::mutex mutex_;
  std::string strRegistryKey_;
  std::string strProfileName_;
};

// The process's one store.
CProfileStore& AppProfile();
// Sets AppProfile()'s root to kProfileRegistryKey / kProfileName.
void SetDefaultProfileRoot();

// The read rules, as pure functions and as reads of AppProfile().
UINT ClampDirChoice(UINT nStored);        // 0 and 1 stay, anything else gives 1
UINT ClampConflictAction(UINT nStored);   // 0..3 stay, anything else gives 3
UINT ClampColumnWidth(UINT nStored);      // below 10 gives 10
UINT ClampUnsizedReserveMB(UINT nStored); // 0 or above 1 TiB gives the default
std::string ColumnWidthValueName(int nColumn);  // 0 -> "Column 1" .. 3 -> "Column 4"

UINT ReadDirChoice();                     // "Trovex" / "Default Save Directory Choice"
std::string ReadDefaultSaveDir();         // "Trovex" / "Default Save Directory", "" when absent
UINT ReadConflictAction();                // "Trovex" / "Conflict Action"
std::string ReadLastSaveDir();            // "Trovex" / "Last Save Directory", "" when absent
// "Trovex\Save" / "Unsized Download Reserve MB", in bytes.
std::uint64_t ReadUnsizedReserve();
UINT ReadColumnWidth(int nColumn);        // "Trovex\Save" / "Column n+1", nColumn 0..3
void WriteColumnWidth(int nColumn, UINT nWidth);
// Whether a save also saves the files each movie loads: 1 (the default) or 0.
UINT ReadSaveMovieFiles();                // "Trovex" / "Save Movie Files"
// The fact columns the user hid, one bit each from the first; none by default.
UINT ReadHiddenFactColumns();             // "Trovex\Save" / "Hidden Fact Columns"
void WriteHiddenFactColumns(UINT nMask);

}  // namespace trovex

// The registry subset the system uses: the current user's and the machine's hives, the classes
// view over both, keys and sub-keys, REG_SZ and REG_DWORD values (other types are kept byte for
// byte), with the Win32 functions' names, arguments and error codes.
//
// Each hive lives in a REGEDIT4 text file:
//   HKEY_CURRENT_USER   $XDG_CONFIG_HOME/kelvora-swf-trovex/user.reg   (~/.config when unset)
//   HKEY_LOCAL_MACHINE  $XDG_DATA_HOME/kelvora-swf-trovex/machine.reg  (~/.local/share when unset)
//   HKEY_CLASSES_ROOT   Software\Classes of both: the user's keys win when reading; new keys go
//                       to the machine's, values to the user's key when it exists there.
// The folders are looked up at every call, so a process (or a test) that changes the
// environment sees the hives of the new place; an open handle stays with the file it was
// opened on.
//
// Writes are atomic (temporary file, fsync, rename, fsync of the folder) and serialised across
// processes by an flock on "<file>.lock"; every write re-reads the file under that lock, so a
// change made meanwhile by another process is kept, and every read re-reads the file when it
// changed on disk. A file that cannot be parsed is renamed aside to "<file>.damaged-<time>"
// and reported once on stderr; it is never overwritten. When the hive's file or folder cannot
// be written, opening a key with write access and every write fail with ERROR_ACCESS_DENIED.
//
// Key and value names compare ignoring case (single-byte letters, multibyte-aware), and keep the
// case they were created with. Sub-key paths use "\" as separator; a trail byte 0x5C of a
// double-byte character is not a separator. All functions are thread-safe.
#pragma once

#include <cstdint>

#include "platform/error/error.h"

namespace trovex {

using LONG = std::int32_t;
using LSTATUS = LONG;
using REGSAM = DWORD;
using BYTE = std::uint8_t;

struct RegistryKeyHandle;  // opaque
using HKEY = RegistryKeyHandle*;
using PHKEY = HKEY*;

// The predefined keys: always open, full access, closing them does nothing.
inline HKEY const HKEY_CLASSES_ROOT = reinterpret_cast<HKEY>(std::uintptr_t{0x80000000u});
inline HKEY const HKEY_CURRENT_USER = reinterpret_cast<HKEY>(std::uintptr_t{0x80000001u});
inline HKEY const HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(std::uintptr_t{0x80000002u});

// Value types.
constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;

// Access rights.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM KEY_WOW64_64KEY = 0x0100;
constexpr REGSAM KEY_WOW64_32KEY = 0x0200;
constexpr REGSAM DELETE = 0x00010000;
constexpr REGSAM READ_CONTROL = 0x00020000;
constexpr REGSAM WRITE_DAC = 0x00040000;
constexpr REGSAM WRITE_OWNER = 0x00080000;
constexpr REGSAM MAXIMUM_ALLOWED = 0x02000000;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_EXECUTE = KEY_READ;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

// RegCreateKeyExA options and dispositions.
constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_OPTION_VOLATILE = 1;  // refused: every key here is stored
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Creates the sub-key and any missing keys on its path, or opens it when it exists. An empty or
// null sub-key gives a new handle to hKey itself. Creating needs KEY_CREATE_SUB_KEY on hKey.
// *phkResult is null after a failure. lpClass and lpSecurityAttributes are ignored.
LSTATUS RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD Reserved, char* lpClass,
                        DWORD dwOptions, REGSAM samDesired, const void* lpSecurityAttributes,
                        PHKEY phkResult, DWORD* lpdwDisposition);

// Opens an existing sub-key (ERROR_FILE_NOT_FOUND when absent). The handle can do only what
// samDesired grants: a key opened with KEY_READ answers writes with ERROR_ACCESS_DENIED.
// *phkResult is null after a failure.
LSTATUS RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD ulOptions, REGSAM samDesired,
                      PHKEY phkResult);

// Reads a value (null or "" name: the key's default value). lpData null: only the type and
// the size in *lpcbData. A buffer smaller than the value: ERROR_MORE_DATA, *lpcbData = the
// size needed, the buffer untouched. Needs KEY_QUERY_VALUE.
LSTATUS RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                         BYTE* lpData, DWORD* lpcbData);

// Stores cbData bytes as given (a REG_SZ caller includes the terminator). Needs KEY_SET_VALUE.
// Names holding a line break are refused (ERROR_INVALID_PARAMETER): the file keeps one value
// per line.
LSTATUS RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD Reserved, DWORD dwType,
                       const BYTE* lpData, DWORD cbData);

// ERROR_FILE_NOT_FOUND when the value is absent. Needs KEY_SET_VALUE.
LSTATUS RegDeleteValueA(HKEY hKey, const char* lpValueName);

// Deletes the sub-key with all its sub-keys and values; with a null or empty sub-key, deletes
// the sub-keys and values of hKey but keeps the key itself. Handles still open on a deleted
// key answer ERROR_KEY_DELETED.
LSTATUS RegDeleteTreeA(HKEY hKey, const char* lpSubKey);

// Deletes a sub-key that has no sub-keys (ERROR_ACCESS_DENIED when it has some).
LSTATUS RegDeleteKeyA(HKEY hKey, const char* lpSubKey);

// Sub-key names and value names by index, for enumerating: ERROR_NO_MORE_ITEMS past the end,
// ERROR_MORE_DATA when the name (plus terminator) does not fit; *lpcchName counts characters
// without the terminator on success. RegEnumValueA also gives type and data like
// RegQueryValueExA. Need KEY_ENUMERATE_SUB_KEYS / KEY_QUERY_VALUE.
LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName,
                      DWORD* lpReserved, char* lpClass, DWORD* lpcchClass,
                      void* lpftLastWriteTime);
LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                      DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData);

// ERROR_INVALID_HANDLE for a handle that is not open.
LSTATUS RegCloseKey(HKEY hKey);

}  // namespace trovex

// The in-memory form of one hive and its REGEDIT4 text. Internal to the registry layer (the
// tests use it directly).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/registry/registry.h"

namespace trovex::reg {

struct RegValue {
  std::string strName;  // "" is the key's default value
  DWORD nType = REG_NONE;
  std::string data;     // the bytes as stored, terminator included for a REG_SZ written so
};

struct RegKey {
  std::string strName;
  std::vector<RegValue> values;  // in creation order
  std::vector<RegKey> subkeys;   // in creation order

  // Looked up ignoring case (single-byte letters, multibyte-aware); null when absent.
  RegKey* FindSubkey(std::string_view name);
  const RegKey* FindSubkey(std::string_view name) const;
  RegValue* FindValue(std::string_view name);
  const RegValue* FindValue(std::string_view name) const;
  // The existing sub-key, or a new one appended.
  RegKey& SubkeyOrAdd(std::string_view name);
  bool RemoveSubkey(std::string_view name);
  bool RemoveValue(std::string_view name);
  // Walks a path of names; null when a step is missing.
  RegKey* Find(const std::vector<std::string>& path);
  const RegKey* Find(const std::vector<std::string>& path) const;
};

// Names compare like this everywhere in the layer.
bool RegNamesEqual(std::string_view a, std::string_view b);

// Splits "a\b\c" on "\" (a trail byte 0x5C of a double-byte character is no separator). One
// trailing "\" is allowed; a leading "\", an empty name in the middle, a name longer than 255
// bytes or one holding a line break make it fail. An empty text gives no names.
bool SplitKeyPath(std::string_view path, std::vector<std::string>* names);

// The REGEDIT4 text of a hive whose root is called rootName ("HKEY_CURRENT_USER"): every key
// as "[root\path]" followed by its values, strings as "..." with "\" and """ escaped and the
// bytes kept as they are, DWORDs as dword:xxxxxxxx, anything else (a string without its
// terminator, or holding a line break) as hex(type):xx,xx... so that nothing is lost.
std::string SerializeRegedit4(const RegKey& root, std::string_view rootName);

// Parses such a text into *root (replaced). False, with a short reason, for anything that is not
// a well-formed hive of that root: the caller must then keep the file, not overwrite it.
bool ParseRegedit4(std::string_view text, std::string_view rootName, RegKey* root,
                   std::string* error);

}  // namespace trovex::reg

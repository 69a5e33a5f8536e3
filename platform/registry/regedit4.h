// The in-memory form of one hive and its REGEDIT4 text. Internal to the registry layer (the
// tests use it directly).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/registry/registry.h"

namespace trovex::reg {

struct RegValue {
  std::string strName;  // "" is the key's default value
  DWORD nType = REG_NONE;
  std::string data;     // the bytes as stored, terminator included for a REG_SZ written so
};

// Finds items by name in a vector of them without comparing against each: folded name ->
// position, rebuilt when the vector changed size behind its back.
class NameIndex {
 public:
  template <typename T>
  std::size_t Find(const std::vector<T>& items, std::string_view name) const;
  void Added(std::string_view name, std::size_t position, std::size_t newSize);

 private:
  template <typename T>
  void Rebuild(const std::vector<T>& items) const;
  mutable std::unordered_map<std::string, std::size_t> positions_;
  mutable std::size_t indexed_ = static_cast<std::size_t>(-1);
};

// Names and string data in the tree are UTF-8, whatever the process's code page; the "A"
// functions convert at their boundary (see the text functions below).
struct RegKey {
  std::string strName;
  std::vector<RegValue> values;  // in creation order
  std::vector<RegKey> subkeys;   // in creation order
  NameIndex valueIndex{};
  NameIndex subkeyIndex{};

  // Looked up ignoring case (RegNamesEqual); null when absent.
  RegKey* FindSubkey(std::string_view name);
  const RegKey* FindSubkey(std::string_view name) const;
  RegValue* FindValue(std::string_view name);
  const RegValue* FindValue(std::string_view name) const;
  // The existing sub-key, or a new one appended.
  RegKey& SubkeyOrAdd(std::string_view name);
  // The existing value, or a new one (REG_NONE, no data) appended.
  RegValue& ValueOrAdd(std::string_view name);
  bool RemoveSubkey(std::string_view name);
  bool RemoveValue(std::string_view name);
  // Walks a path of names; null when a step is missing.
  RegKey* Find(const std::vector<std::string>& path);
  const RegKey* Find(const std::vector<std::string>& path) const;
};

// Keys nest at most this deep, as on Windows: deeper paths are refused.
constexpr std::size_t kMaxKeyDepth = 512;

// Names compare like this everywhere in the layer: UTF-8 text, case ignored character by
// character (simple case folding, the same in every locale); bytes that are no UTF-8 compare
// as they are.
bool RegNamesEqual(std::string_view a, std::string_view b);
// The form RegNamesEqual compares.
std::string FoldRegName(std::string_view name);

// Splits "a\b\c", text in the thread's code page, on "\" (a trail byte 0x5C of a double-byte
// character is no separator). One trailing "\" is allowed; a leading "\", an empty name in the
// middle, a name longer than 255 bytes, one holding a line break, or more than kMaxKeyDepth
// names make it fail. An empty text gives no names.
bool SplitKeyPath(std::string_view path, std::vector<std::string>* names);

// ---- text at the "A" functions' boundary ----
// A name from the caller's code page as UTF-8; false when it is not text there.
bool NameToUtf8(std::string_view ansi, std::string* utf8);
// A stored name for the caller: in its code page, "?" for characters it lacks; bytes that are
// no UTF-8 (kept from an old file) come back as they are.
std::string NameToAnsi(std::string_view utf8);
// String data (REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ; each NUL-separated piece) converted the same
// ways; data of other types, and data that is no text, is kept byte for byte.
std::string DataToUtf8(DWORD type, std::string_view ansi);
std::string DataToAnsi(DWORD type, std::string_view utf8);

// The REGEDIT4 text of a hive whose root is called rootName ("HKEY_CURRENT_USER"): every key
// as "[root\path]" followed by its values, strings as "..." with "\" and """ escaped and the
// bytes kept as they are, DWORDs as dword:xxxxxxxx, anything else (a string without its
// terminator, or holding a line break) as hex(type):xx,xx... so that nothing is lost.
std::string SerializeRegedit4(const RegKey& root, std::string_view rootName);

// The text is UTF-8. Parses such a text into *root (replaced). Files written before hives were
// UTF-8 hold the writer's code page: a name or string that is no UTF-8 is read in the thread's
// code page when it is text there, else kept as its bytes. False, with a short reason, for
// anything that is not a well-formed hive of that root (keys nested deeper than kMaxKeyDepth
// included): the caller must then keep the file, not overwrite it. Takes time in proportion to
// the text.
bool ParseRegedit4(std::string_view text, std::string_view rootName, RegKey* root,
                   std::string* error);

template <typename T>
void NameIndex::Rebuild(const std::vector<T>& items) const {
  positions_.clear();
  for (std::size_t i = 0; i < items.size(); ++i)
    positions_.try_emplace(FoldRegName(items[i].strName), i);
  indexed_ = items.size();
}

template <typename T>
std::size_t NameIndex::Find(const std::vector<T>& items, std::string_view name) const {
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (indexed_ != items.size() || attempt == 1) Rebuild(items);
    auto it = positions_.find(FoldRegName(name));
    if (it == positions_.end()) {
      if (attempt == 0 && indexed_ == items.size()) return items.size();
      continue;
    }
    if (it->second < items.size() && RegNamesEqual(items[it->second].strName, name))
      return it->second;
  }
  return items.size();
}

}  // namespace trovex::reg

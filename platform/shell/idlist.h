// Inside the shell layer: how this namespace spells its items. Each item id is
//   cb (2 bytes) | kind (1) | flags (1) | name bytes | 0
// kind 'V' a virtual folder (name "computer"), 'P' a folder by absolute path (the home folder,
// "/" and the mounts below "電腦"), 'F' an entry of the parent folder by its name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/shell/shell.h"

namespace trovex::shell {

enum ItemKind : char { kVirtual = 'V', kPath = 'P', kEntry = 'F' };
// Flags kept in an id: what the item looked like when the id was made.
enum ItemFlags : std::uint8_t { kFlagDirectory = 1, kFlagHidden = 2 };
inline constexpr std::string_view kComputerName = "computer";

struct ItemView {
  char kind = 0;
  std::uint8_t flags = 0;
  std::string_view name;
};

// The bytes of one item id (count included), without a terminator.
std::string MakeItemBytes(char kind, std::uint8_t flags, std::string_view name);
// Reads the first item of a list; false for the terminator or a malformed item.
bool ReadItem(LPCITEMIDLIST pidl, ItemView* item);
// Splits a list into its items; false when malformed.
bool SplitIdList(LPCITEMIDLIST pidl, std::vector<ItemView>* items);
// A new list (shell allocator) from item bytes laid end to end, terminator added.
LPITEMIDLIST AllocIdListFromBytes(const std::string& items);
std::size_t IdListSize(LPCITEMIDLIST pidl);  // with the terminator; 0 for null

// The path of a full list (root = the desktop directory); false for a virtual place.
bool ResolvePath(const std::vector<ItemView>& items, const std::string& desktop, std::string* path);

}  // namespace trovex::shell

namespace trovex::shell {

// An absolute path with "." and empty components removed and ".." applied to the text; false
// for a relative path.
bool NormalizePath(const std::string& path, std::string* normal);
// The canonical id list of a path, as item bytes: below the desktop directory, else below the
// home folder, else below "電腦" and the mount holding it. The path must exist (followed
// through links); otherwise false with *error a Win32 code.
bool ItemBytesForPath(const std::string& path, std::string* bytes, DWORD* error);

}  // namespace trovex::shell

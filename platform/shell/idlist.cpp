#include "platform/shell/idlist.h"

#include <cstring>

#include "platform/error/error.h"
#include "platform/fs/path.h"

namespace trovex::shell {

std::string MakeItemBytes(char kind, std::uint8_t flags, std::string_view name) {
  const std::size_t cb = 2 + 2 + name.size() + 1;
  std::string out;
  out.reserve(cb);
  out.push_back(static_cast<char>(cb & 0xFF));
  out.push_back(static_cast<char>((cb >> 8) & 0xFF));
  out.push_back(kind);
  out.push_back(static_cast<char>(flags));
  out.append(name);
  out.push_back('\0');
  return out;
}

namespace {
std::uint16_t CountAt(const BYTE* p) {
  std::uint16_t cb;
  std::memcpy(&cb, p, 2);  // the count is in the machine's order, as the shell keeps it
  return cb;
}
}  // namespace

bool ReadItem(LPCITEMIDLIST pidl, ItemView* item) {
  if (!pidl) return false;
  const BYTE* p = reinterpret_cast<const BYTE*>(pidl);
  const std::uint16_t cb = CountAt(p);
  if (cb < 5) return false;  // the terminator, or too short to be one of ours
  const char kind = static_cast<char>(p[2]);
  if (kind != kVirtual && kind != kPath && kind != kEntry) return false;
  if (p[cb - 1] != 0) return false;
  item->kind = kind;
  item->flags = p[3];
  item->name = std::string_view(reinterpret_cast<const char*>(p + 4), cb - 5);
  if (item->name.find('\0') != std::string_view::npos) return false;
  return true;
}

bool SplitIdList(LPCITEMIDLIST pidl, std::vector<ItemView>* items) {
  items->clear();
  if (!pidl) return false;
  const BYTE* p = reinterpret_cast<const BYTE*>(pidl);
  while (CountAt(p) != 0) {
    ItemView item;
    if (!ReadItem(reinterpret_cast<LPCITEMIDLIST>(p), &item)) return false;
    items->push_back(item);
    p += CountAt(p);
  }
  return true;
}

std::size_t IdListSize(LPCITEMIDLIST pidl) {
  if (!pidl) return 0;
  const BYTE* p = reinterpret_cast<const BYTE*>(pidl);
  std::size_t total = 2;
  while (std::uint16_t cb = CountAt(p)) {
    total += cb;
    p += cb;
  }
  return total;
}

LPITEMIDLIST AllocIdListFromBytes(const std::string& items) {
  IMalloc* malloc = nullptr;
  if (FAILED(SHGetMalloc(&malloc))) return nullptr;
  auto* block = static_cast<BYTE*>(malloc->Alloc(items.size() + 2));
  malloc->Release();
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::memcpy(block, items.data(), items.size());
  block[items.size()] = 0;
  block[items.size() + 1] = 0;
  return reinterpret_cast<LPITEMIDLIST>(block);
}

bool ResolvePath(const std::vector<ItemView>& items, const std::string& desktop, std::string* path) {
  std::string current = desktop;
  bool real = true;
  for (const ItemView& item : items) {
    switch (item.kind) {
      case kVirtual:
        real = false;
        current.clear();
        break;
      case kPath:
        real = true;
        current = std::string(item.name);
        break;
      case kEntry:
        if (!real || item.name.empty() || item.name.find('/') != std::string_view::npos ||
            item.name == "." || item.name == "..")
          return false;
        if (current.empty() || current.back() != '/') current.push_back('/');
        current.append(item.name);
        break;
      default:
        return false;
    }
  }
  if (!real || current.empty()) return false;
  *path = current;
  return true;
}

}  // namespace trovex::shell

namespace trovex {

BOOL SHGetPathFromIDListA(LPCITEMIDLIST pidl, char* pszPath) {
  std::string path;
  if (!pszPath || !PathFromIdList(pidl, &path) || path.size() >= MAX_PATH) {
    if (pszPath) *pszPath = '\0';
    return FALSE;
  }
  std::memcpy(pszPath, path.c_str(), path.size() + 1);
  return TRUE;
}

}  // namespace trovex

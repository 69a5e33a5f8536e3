#include "shelltree/shell_pidl.h"

#include <cstring>

#include "platform/com/com.h"
#include "platform/fs/path.h"
#include "platform/shell/idlist.h"
#include "platform/text/text.h"

namespace trovex {

namespace {
std::uint16_t CountOf(LPCITEMIDLIST pidl) {
  std::uint16_t cb;
  std::memcpy(&cb, pidl, 2);
  return cb;
}

// The shell allocator, released on every path.
struct Allocator {
  IMalloc* p = nullptr;
  Allocator() { SHGetMalloc(&p); }
  ~Allocator() {
    if (p) p->Release();
  }
};
}  // namespace

LPITEMIDLIST CShellPidl::NextItemId(LPCITEMIDLIST pidl) {
  if (!pidl) return nullptr;
  std::uint16_t cb = CountOf(pidl);
  if (cb == 0) return nullptr;
  return reinterpret_cast<LPITEMIDLIST>(const_cast<BYTE*>(reinterpret_cast<const BYTE*>(pidl) + cb));
}

UINT CShellPidl::GetIdListSize(LPCITEMIDLIST pidl) {
  return static_cast<UINT>(shell::IdListSize(pidl));
}

LPITEMIDLIST CShellPidl::AllocIdList(UINT cbSize) {
  Allocator m;
  if (!m.p) return nullptr;
  void* block = m.p->Alloc(cbSize);
  if (block) std::memset(block, 0, cbSize);
  return static_cast<LPITEMIDLIST>(block);
}

LPITEMIDLIST CShellPidl::ConcatIdLists(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) {
  const UINT cb1 = pidl1 ? GetIdListSize(pidl1) - 2 : 0;
  const UINT cb2 = GetIdListSize(pidl2);
  if (cb2 == 0) return nullptr;
  LPITEMIDLIST out = AllocIdList(cb1 + cb2);
  if (!out) return nullptr;
  if (cb1) std::memcpy(out, pidl1, cb1);
  std::memcpy(reinterpret_cast<BYTE*>(out) + cb1, pidl2, cb2);
  return out;
}

LPITEMIDLIST CShellPidl::CopyItemId(IMalloc* pMalloc, LPCITEMIDLIST pidl) {
  if (!pMalloc || !pidl) return nullptr;
  const UINT cb = GetIdListSize(pidl);
  void* out = pMalloc->Alloc(cb);
  if (out) std::memcpy(out, pidl, cb);
  return static_cast<LPITEMIDLIST>(out);
}

void CShellPidl::FreeIdList(LPITEMIDLIST pidl) {
  if (!pidl) return;
  Allocator m;
  if (m.p) m.p->Free(pidl);
}

BOOL CShellPidl::GetDisplayName(IShellFolder* pFolder, LPCITEMIDLIST pidl, DWORD dwFlags, char* szName) {
  if (!pFolder || !szName) return FALSE;
  STRRET str{};
  if (FAILED(pFolder->GetDisplayNameOf(pidl, dwFlags, &str))) return FALSE;
  std::string text;
  switch (str.uType) {
    case STRRET_WSTR: {
      text = ShellTextFromUtf16(str.pOleStr ? std::u16string_view(str.pOleStr) : std::u16string_view());
      Allocator m;
      if (m.p) m.p->Free(str.pOleStr);
      break;
    }
    case STRRET_OFFSET:
      text = reinterpret_cast<const char*>(pidl) + str.uOffset;
      break;
    case STRRET_CSTR:
      text = str.cStr;
      break;
    default:
      return FALSE;
  }
  // At most 259 bytes, never ending inside a double-byte character.
  std::size_t len = std::min<std::size_t>(text.size(), MAX_PATH - 1);
  while (len > 0 && !MbIsCharBoundary(text, len)) --len;
  std::memcpy(szName, text.data(), len);
  szName[len] = '\0';
  return TRUE;
}

int CShellPidl::GetIconIndex(LPCITEMIDLIST pidlFull, UINT uFlags) {
  SHFILEINFOA sfi{};
  SHGetFileInfoA(reinterpret_cast<const char*>(pidlFull), 0, &sfi, sizeof sfi, uFlags);
  return sfi.iIcon;
}

BOOL CShellPidl::IsInternetCacheFolder(LPCITEMIDLIST pidlFull) {
  IShellFolder* desktop = nullptr;
  if (FAILED(SHGetDesktopFolder(&desktop))) return FALSE;
  LPITEMIDLIST cache = nullptr;
  BOOL result = FALSE;
  if (SUCCEEDED(SHGetSpecialFolderLocation(nullptr, CSIDL_INTERNET_CACHE, &cache)))
    result = desktop->CompareIDs(0, pidlFull, cache) == 0;
  FreeIdList(cache);
  desktop->Release();
  return result;
}

}  // namespace trovex

// Stateless operations on item-id lists, on the shell allocator.
#pragma once

#include "platform/base/types.h"
#include "platform/shell/shell.h"

namespace trovex {

class CShellPidl {
 public:
  // The item after the first one.
  static LPITEMIDLIST NextItemId(LPCITEMIDLIST pidl);
  // Total bytes with the 2-byte terminator; 0 for null.
  static UINT GetIdListSize(LPCITEMIDLIST pidl);
  // A zeroed block from the shell allocator, or null.
  static LPITEMIDLIST AllocIdList(UINT cbSize);
  // first (may be null) without its terminator, then second with its terminator.
  static LPITEMIDLIST ConcatIdLists(LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2);
  static LPITEMIDLIST CopyItemId(IMalloc* pMalloc, LPCITEMIDLIST pidl);
  // Frees a list of the shell allocator (null is fine).
  static void FreeIdList(LPITEMIDLIST pidl);
  // The folder's display name of an item into szName (260 bytes, locale code page).
  static BOOL GetDisplayName(IShellFolder* pFolder, LPCITEMIDLIST pidl, DWORD dwFlags, char* szName);
  static int GetIconIndex(LPCITEMIDLIST pidlFull, UINT uFlags);
  static BOOL IsInternetCacheFolder(LPCITEMIDLIST pidlFull);
};

}  // namespace trovex

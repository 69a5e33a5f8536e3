#include "shelltree/shell_tree.h"

#include <wx/utils.h>

#include <atomic>
#include <cstring>
#include <vector>

#include "framework/message_box.h"
#include "framework/wx_text.h"
#include "platform/error/error.h"
#include "platform/fs/fs.h"
#include "platform/fs/path.h"
#include "platform/shell/icons.h"
#include "platform/text/system_message.h"
#include "platform/text/text.h"

namespace trovex {

namespace {

std::atomic<std::size_t> g_records{0};

// Releases an interface on every path.
template <class T>
struct Held {
  T* p = nullptr;
  Held() = default;
  explicit Held(T* q) : p(q) {}
  ~Held() {
    if (p) p->Release();
  }
  Held(const Held&) = delete;
  Held& operator=(const Held&) = delete;
  T** operator&() { return &p; }
  T* operator->() const { return p; }
  T* Detach() {
    T* q = p;
    p = nullptr;
    return q;
  }
};

// Frees a list of the shell allocator on every path.
struct List {
  LPITEMIDLIST p = nullptr;
  List() = default;
  explicit List(LPITEMIDLIST q) : p(q) {}
  ~List() { CShellPidl::FreeIdList(p); }
  List(const List&) = delete;
  List& operator=(const List&) = delete;
  LPITEMIDLIST Detach() {
    LPITEMIDLIST q = p;
    p = nullptr;
    return q;
  }
};

constexpr DWORD kEnumAll = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN;
// Dot-folders stay out of the listing, as a file manager keeps them; SelectPath still finds them.
constexpr DWORD kEnumListed = SHCONTF_FOLDERS | SHCONTF_NONFOLDERS;

}  // namespace

ShellItemData::ShellItemData(IShellFolder* parent, LPITEMIDLIST relative, LPITEMIDLIST full)
    : pParentFolder(parent), pidlRelative(relative), pidlFull(full) {
  ++g_records;
}

ShellItemData::~ShellItemData() {
  if (pParentFolder) pParentFolder->Release();
  CShellPidl::FreeIdList(pidlRelative);
  CShellPidl::FreeIdList(pidlFull);
  --g_records;
}

std::size_t ShellItemData::LiveRecords() { return g_records.load(); }

wxBEGIN_EVENT_TABLE(CShellTree, wxTreeCtrl)
  EVT_TREE_ITEM_EXPANDING(wxID_ANY, CShellTree::OnItemExpanding)
wxEND_EVENT_TABLE()

CShellTree::CShellTree(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size, long style)
    : wxTreeCtrl(parent, id, pos, size, style) {}

ShellItemData* CShellTree::GetShellData(const wxTreeItemId& item) const {
  return item.IsOk() ? static_cast<ShellItemData*>(GetItemData(item)) : nullptr;
}

void CShellTree::EnableImages() {
  SHFILEINFOA sfi{};
  std::uintptr_t handle = SHGetFileInfoA("/", 0, &sfi, sizeof sfi, SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  if (auto list = CreateSystemImageList(handle)) AssignImageList(list.release());
}

void CShellTree::PopulateTree() {
  if (GetCount() > 0) {
    OnBeforeRefill();
    DeleteAllItems();
  }
  LPITEMIDLIST desktop = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop))) return;
  SHFILEINFOA sfi{};
  SHGetFileInfoA(reinterpret_cast<const char*>(desktop), 0, &sfi, sizeof sfi,
                 SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
  FreeIdList(desktop);
  wxTreeItemId root = AddRoot(ToWx(sfi.szDisplayName), sfi.iIcon, sfi.iIcon, new ShellItemData(nullptr, nullptr, nullptr));
  SetItemHasChildren(root, true);
  Expand(root);
  SortChildren(root);
  OnAfterFill();
}

void CShellTree::OnAfterFill() {
  wxTreeItemId root = GetRootItem();
  if (root.IsOk()) SelectItem(root);
}

void CShellTree::OnItemExpanding(wxTreeEvent& event) {
  FillChildren(event.GetItem());
  event.Skip();
}

void CShellTree::FillChildren(const wxTreeItemId& item) {
  ShellItemData* data = GetShellData(item);
  if (!data || data->bFilled || GetChildrenCount(item, false) > 0) return;
  wxBusyCursor busy;
  data->bFilled = true;

  Held<IMalloc> allocator;
  if (FAILED(SHGetMalloc(&allocator)) || !allocator.p) {
    AppMessageBox(this, SystemMessageText(GetLastError()), MB_OK | MB_ICONERROR);
    return;
  }
  Held<IShellFolder> folder;
  HRESULT hr = E_FAIL;
  if (!data->pParentFolder) {
    hr = SHGetDesktopFolder(&folder);
  } else {
    hr = data->pParentFolder->BindToObject(data->pidlRelative, nullptr, IID_IShellFolder,
                                           reinterpret_cast<void**>(&folder));
  }
  if (FAILED(hr) || !folder.p) {
    SetItemHasChildren(item, false);
    return;
  }
  Held<IEnumIDList> items;
  if (FAILED(folder->EnumObjects(nullptr, kEnumListed, &items)) || !items.p) {
    SetItemHasChildren(item, false);
    return;
  }
  // The cache folder's location, once for the whole listing.
  List cache;
  SHGetSpecialFolderLocation(nullptr, CSIDL_INTERNET_CACHE, &cache.p);
  Held<IShellFolder> desktop;
  SHGetDesktopFolder(&desktop);

  Freeze();
  LPITEMIDLIST raw = nullptr;
  ULONG fetched = 0;
  while (items->Next(1, &raw, &fetched) == S_OK && fetched == 1) {
    List id(raw);
    LPCITEMIDLIST one = id.p;
    ULONG attributes = SFGAO_HASSUBFOLDER | SFGAO_FILESYSTEM | SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    if (FAILED(folder->GetAttributesOf(1, &one, &attributes))) continue;
    if (!(attributes & SFGAO_FOLDER) || !(attributes & (SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR))) continue;
    List full(ConcatIdLists(data->pidlFull, id.p));
    if (!full.p) continue;
    if (attributes & SFGAO_FILESYSTEM) {
      // Something the namespace offers as a folder that is no directory on disk.
      std::string path;
      if (!PathFromIdList(full.p, &path) || !PathIsDirectoryA(path.c_str())) continue;
    }
    char name[MAX_PATH] = {};
    if (!GetDisplayName(folder.p, id.p, SHGDN_NORMAL, name)) break;
    const int image = GetIconIndex(full.p, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    const int open = GetIconIndex(full.p, SHGFI_PIDL | SHGFI_SYSICONINDEX | SHGFI_SMALLICON | SHGFI_OPENICON);
    const bool isCache = cache.p && desktop.p && desktop->CompareIDs(0, full.p, cache.p) == 0;
    folder->AddRef();
    wxTreeItemId child = AppendItem(item, ToWx(name), image, open,
                                    new ShellItemData(folder.p, CopyItemId(allocator.p, id.p), full.Detach()));
    SetItemHasChildren(child, (attributes & SFGAO_HASSUBFOLDER) && !isCache);
  }
  if (GetChildrenCount(item, false) == 0) SetItemHasChildren(item, false);
  SortChildren(item);
  Thaw();
}

int CShellTree::OnCompareItems(const wxTreeItemId& item1, const wxTreeItemId& item2) {
  ShellItemData* a = GetShellData(item1);
  ShellItemData* b = GetShellData(item2);
  if (!a || !b || !a->pParentFolder || a->pParentFolder != b->pParentFolder) return 0;
  HRESULT hr = a->pParentFolder->CompareIDs(0, a->pidlRelative, b->pidlRelative);
  if (FAILED(hr)) return 0;
  return HRESULT_CODE_SHORT(hr);
}

BOOL CShellTree::GetItemFolderPath(const wxTreeItemId& item, std::string& strPath) {
  ShellItemData* data = GetShellData(item);
  if (!data) return FALSE;
  std::string path;
  if (!data->pParentFolder) {
    LPITEMIDLIST desktop = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &desktop))) return FALSE;
    List free(desktop);
    if (!PathFromIdList(desktop, &path) || !PathIsDirectoryA(path.c_str())) return FALSE;
    strPath = path;
    return TRUE;
  }
  Held<IShellFolder> bound;
  if (FAILED(data->pParentFolder->BindToObject(data->pidlRelative, nullptr, IID_IShellFolder,
                                               reinterpret_cast<void**>(&bound))))
    return FALSE;
  LPCITEMIDLIST one = data->pidlRelative;
  ULONG attributes = SFGAO_FILESYSTEM;
  if (FAILED(data->pParentFolder->GetAttributesOf(1, &one, &attributes)) || !(attributes & SFGAO_FILESYSTEM))
    return FALSE;
  if (!PathFromIdList(data->pidlFull, &path)) return FALSE;
  strPath = path;
  return TRUE;
}

BOOL CShellTree::GetSelectedFolderPath(std::string& strPath) {
  wxTreeItemId item = GetSelection();
  if (!item.IsOk()) return FALSE;
  return GetItemFolderPath(item, strPath);
}

wxTreeItemId CShellTree::SelectPath(const std::string& strPath) {
  wxBusyCursor busy;
  Freeze();
  wxTreeItemId found;
  Held<IShellFolder> desktop;
  std::u16string wide;
  if (SUCCEEDED(SHGetDesktopFolder(&desktop)) && ShellTextToUtf16(strPath, &wide)) {
    LPITEMIDLIST pidl = nullptr;
    if (SUCCEEDED(desktop->ParseDisplayName(nullptr, nullptr, wide.c_str(), nullptr, &pidl, nullptr))) {
      List free(pidl);
      found = WalkTo(pidl);
    }
  }
  if (found.IsOk()) SelectItem(found);
  Thaw();
  // A frozen tree does not lay its items out, so it cannot scroll to one before the thaw.
  if (found.IsOk()) EnsureVisible(found);
  return found;
}

wxTreeItemId CShellTree::WalkTo(LPCITEMIDLIST pidl) {
  wxTreeItemId current = GetRootItem();
  if (!current.IsOk()) return {};
  Held<IShellFolder> folder;
  if (FAILED(SHGetDesktopFolder(&folder))) return {};
  Held<IMalloc> allocator;
  if (FAILED(SHGetMalloc(&allocator))) return {};
  List accumulated;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &accumulated.p))) return {};
  if (folder->CompareIDs(0, pidl, accumulated.p) == 0) return current;

  for (LPCITEMIDLIST step = pidl; step && GetIdListSize(step) > 2; step = NextItemId(step)) {
    // This one item alone.
    const std::uint16_t cb = static_cast<std::uint16_t>(GetIdListSize(step) - GetIdListSize(NextItemId(step)));
    List single(AllocIdList(cb + 2));
    if (!single.p) return {};
    std::memcpy(single.p, step, cb);

    Held<IEnumIDList> items;
    if (FAILED(folder->EnumObjects(nullptr, kEnumAll, &items)) || !items.p) return {};
    List object;
    LPITEMIDLIST raw = nullptr;
    ULONG fetched = 0;
    while (items->Next(1, &raw, &fetched) == S_OK && fetched == 1) {
      List candidate(raw);
      if (folder->CompareIDs(0, candidate.p, single.p) == 0) {
        object.p = candidate.Detach();
        break;
      }
    }
    if (!object.p) return {};

    FillChildren(current);
    Expand(current);
    wxTreeItemId match;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId child = GetFirstChild(current, cookie); child.IsOk(); child = GetNextChild(current, cookie)) {
      ShellItemData* d = GetShellData(child);
      if (d && d->pidlRelative && folder->CompareIDs(0, d->pidlRelative, object.p) == 0) {
        match = child;
        break;
      }
    }
    List next(ConcatIdLists(accumulated.p, object.p));
    if (!next.p) return {};
    std::swap(accumulated.p, next.p);

    // Bound before anything is inserted: a path through a file leaves the tree as it was.
    Held<IShellFolder> child;
    if (FAILED(folder->BindToObject(object.p, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&child))))
      return {};
    if (!match.IsOk()) {
      SHFILEINFOA sfi{};
      SHGetFileInfoA(reinterpret_cast<const char*>(accumulated.p), 0, &sfi, sizeof sfi,
                     SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
      LPCITEMIDLIST one = object.p;
      ULONG attributes = SFGAO_HASSUBFOLDER;
      folder->GetAttributesOf(1, &one, &attributes);
      folder->AddRef();
      match = AppendItem(current, ToWx(sfi.szDisplayName), sfi.iIcon, sfi.iIcon,
                         new ShellItemData(folder.p, CopyItemId(allocator.p, object.p), CopyItemId(allocator.p, accumulated.p)));
      SetItemHasChildren(match, (attributes & SFGAO_HASSUBFOLDER) != 0);
      SetItemHasChildren(current, true);
      SortChildren(current);
    }
    current = match;
    folder.p->Release();
    folder.p = child.Detach();
  }
  return current;
}

}  // namespace trovex

#include <dirent.h>
#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <clocale>
#include <cstring>
#include <cwchar>
#include <cwctype>
#include <cstdio>
#include <algorithm>
#include <memory>

#include "platform/com/ref_count.h"
#include "platform/error/error.h"
#include "platform/shell/idlist.h"
#include "platform/shell/mounts.h"
#include "platform/shell/shell.h"
#include "platform/text/text.h"
#include "platform/text/unicode.h"
#include "res/strings.h"

namespace trovex {

const IID IID_IEnumIDList = {0x000214F2, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IShellFolder = {0x000214E6, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

using shell::ItemView;

// The XDG user directories: their default (English) folder names, the string ids of the names
// shown for them and their icons.
struct UserDirName {
  const char* key;
  const char* english;
  unsigned shownName;
  int icon;
};
constexpr UserDirName kUserDirNames[] = {
    {"DESKTOP", "Desktop", IDS_TROVEX_SHELL_DESKTOP, kIconDesktop},
    {"DOWNLOAD", "Downloads", IDS_TROVEX_SHELL_DOWNLOADS, kIconDownload},
    {"TEMPLATES", "Templates", IDS_TROVEX_SHELL_TEMPLATES, kIconTemplates},
    {"PUBLICSHARE", "Public", IDS_TROVEX_SHELL_PUBLIC, kIconPublic},
    {"DOCUMENTS", "Documents", IDS_TROVEX_SHELL_DOCUMENTS, kIconDocuments},
    {"MUSIC", "Music", IDS_TROVEX_SHELL_MUSIC, kIconMusic},
    {"PICTURES", "Pictures", IDS_TROVEX_SHELL_PICTURES, kIconPictures},
    {"VIDEOS", "Videos", IDS_TROVEX_SHELL_VIDEOS, kIconVideos},
};

const UserDirName* UserDirFor(const std::string& path) {
  for (const auto& [key, dir] : ConfiguredUserDirectories()) {
    if (dir != path) continue;
    for (const UserDirName& n : kUserDirNames)
      if (key == n.key) return &n;
  }
  return nullptr;
}

std::string LastComponent(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool StatDir(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether a directory entry is a folder; links are followed, a broken or looping link is not.
bool EntryIsDir(const std::string& folder, const dirent* e) {
  if (e->d_type == DT_DIR) return true;
  if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) return false;
  std::string full = folder == "/" ? "/" + std::string(e->d_name) : folder + "/" + e->d_name;
  return StatDir(full);
}

bool IsDotName(const char* name) { return name[0] == '.'; }

// A folder with a subfolder that the listing would show.
bool HasVisibleSubfolder(const std::string& path) {
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return false;
  bool found = false;
  while (const dirent* e = ::readdir(dir)) {
    if (IsDotName(e->d_name)) continue;
    if (EntryIsDir(path, e)) {
      found = true;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

std::string ListBytes(LPCITEMIDLIST pidl) {
  std::size_t size = shell::IdListSize(pidl);
  if (size < 2) return {};
  return std::string(reinterpret_cast<const char*>(pidl), size - 2);
}

// The display name of an item whose full path (if any) is known: a fixed name of ours (UTF-8)
// or a name from the disk (the locale's code page).
struct DisplayName {
  std::string text;
  bool fixed = false;
};
DisplayName FixedName(unsigned id) { return {LoadResStringUtf8(id), true}; }
DisplayName DisplayNameOf(const ItemView& item, const std::string& path, bool hasPath) {
  if (item.kind == shell::kVirtual) return FixedName(IDS_TROVEX_SHELL_COMPUTER);
  if (item.kind == shell::kPath) {
    if (item.name == "/") return FixedName(IDS_TROVEX_SHELL_FILE_SYSTEM);
    if (std::string(item.name) == ReadUserDirectories().home) return FixedName(IDS_TROVEX_SHELL_HOME);
  }
  std::string name = item.kind == shell::kPath ? LastComponent(std::string(item.name)) : std::string(item.name);
  if (hasPath) {
    if (const UserDirName* u = UserDirFor(path); u && name == u->english) return FixedName(u->shownName);
  }
  return {name, false};
}

// Names are compared as a file manager sorts them: case folded, in the locale's collation;
// equal texts fall back to their bytes so that distinct names never compare equal.
int CollateNames(const std::string& a, const std::string& b) {
  auto wide = [](const std::string& s, std::wstring* out) {
    std::mbstate_t state{};
    const char* src = s.c_str();
    std::size_t n = std::mbsrtowcs(nullptr, &src, 0, &state);
    if (n == static_cast<std::size_t>(-1)) return false;
    out->resize(n);
    src = s.c_str();
    state = {};
    std::mbsrtowcs(out->data(), &src, n, &state);
    for (wchar_t& c : *out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return true;
  };
  std::wstring wa, wb;
  int r = 0;
  if (wide(a, &wa) && wide(b, &wb)) {
    r = std::wcscoll(wa.c_str(), wb.c_str());
  } else {
    r = MbCompareNoCase(a, b);
  }
  if (r == 0) r = a.compare(b);
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

int KindRank(const ItemView& item) {
  if (item.kind == shell::kPath) return item.name == "/" ? 0 : 1;
  if (item.kind == shell::kVirtual) return 2;
  return 3;
}

int CompareItems(const ItemView& a, const ItemView& b) {
  int ra = KindRank(a), rb = KindRank(b);
  if (ra != rb) return ra < rb ? -1 : 1;
  return CollateNames(std::string(a.name), std::string(b.name));
}

HRESULT CompareResult(int r) { return static_cast<HRESULT>(static_cast<std::uint16_t>(static_cast<short>(r))); }

class EnumIdList final : public ComSingleObject<IEnumIDList, IID_IEnumIDList> {
 public:
  explicit EnumIdList(std::vector<std::string> items) : items_(std::move(items)) {}
  HRESULT Next(ULONG celt, LPITEMIDLIST* rgelt, ULONG* fetched) override {
    if (!rgelt || (celt > 1 && !fetched)) return E_POINTER;
    ULONG n = 0;
    while (n < celt && pos_ < items_.size()) {
      LPITEMIDLIST id = shell::AllocIdListFromBytes(items_[pos_]);
      if (!id) break;
      rgelt[n++] = id;
      ++pos_;
    }
    if (fetched) *fetched = n;
    return n == celt ? S_OK : S_FALSE;
  }
  HRESULT Skip(ULONG celt) override {
    pos_ = std::min(items_.size(), pos_ + celt);
    return pos_ < items_.size() ? S_OK : S_FALSE;
  }
  HRESULT Reset() override {
    pos_ = 0;
    return S_OK;
  }

 private:
  std::vector<std::string> items_;
  std::size_t pos_ = 0;
};

// One folder of the namespace: the desktop, "電腦" or a directory. `full` is its id list from
// the desktop (item bytes, no terminator).
class ShellFolder final : public ComSingleObject<IShellFolder, IID_IShellFolder> {
 public:
  explicit ShellFolder(std::string full) : full_(std::move(full)) {}

  HRESULT ParseDisplayName(void*, void*, const char16_t* name, ULONG* eaten, LPITEMIDLIST* ppidl,
                           ULONG* attributes) override {
    if (!ppidl) return E_POINTER;
    *ppidl = nullptr;
    if (!name) return E_INVALIDARG;
    if (!full_.empty()) return E_NOTIMPL;  // only the desktop parses paths
    std::u16string_view text(name);
    std::string path = ShellTextFromUtf16(text);
    std::string bytes;
    DWORD error = 0;
    if (!shell::ItemBytesForPath(path, &bytes, &error)) {
      SetLastError(error);
      return HRESULT_FROM_WIN32(error);
    }
    *ppidl = shell::AllocIdListFromBytes(bytes);
    if (!*ppidl) return E_OUTOFMEMORY;
    if (eaten) *eaten = static_cast<ULONG>(text.size());
    if (attributes) {
      LPCITEMIDLIST one = *ppidl;
      GetAttributesOf(1, &one, attributes);
    }
    return S_OK;
  }

  HRESULT EnumObjects(void*, DWORD flags, IEnumIDList** out) override {
    if (!out) return E_POINTER;
    std::vector<std::string> items;
    const bool folders = flags & SHCONTF_FOLDERS, others = flags & SHCONTF_NONFOLDERS,
               hidden = flags & SHCONTF_INCLUDEHIDDEN;
    const std::string selfList = full_ + std::string(2, '\0');
    std::vector<ItemView> self;  // views into selfList
    shell::SplitIdList(reinterpret_cast<LPCITEMIDLIST>(selfList.c_str()), &self);
    std::string path;
    if (full_.empty()) {
      UserDirectories u = ReadUserDirectories();
      if (folders) {
        if (u.home != u.desktop) items.push_back(shell::MakeItemBytes(shell::kPath, shell::kFlagDirectory, u.home));
        items.push_back(shell::MakeItemBytes(shell::kVirtual, 0, shell::kComputerName));
      }
      ListDirectory(u.desktop, folders, others, hidden, &items);
    } else if (!self.empty() && self.back().kind == shell::kVirtual) {
      if (folders)
        for (const shell::MountPoint& m : shell::CurrentMounts())
          items.push_back(shell::MakeItemBytes(shell::kPath, shell::kFlagDirectory, m.path));
    } else if (Path(&path)) {
      ListDirectory(path, folders, others, hidden, &items);
    }
    *out = new EnumIdList(std::move(items));
    return S_OK;
  }

  HRESULT BindToObject(LPCITEMIDLIST pidl, void*, REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = nullptr;
    if (riid != IID_IShellFolder) return E_NOINTERFACE;
    std::vector<ItemView> items;
    if (!shell::SplitIdList(pidl, &items)) return E_INVALIDARG;
    std::string full = full_ + ListBytes(pidl);
    if (items.empty()) {  // the folder itself
      *ppv = static_cast<IShellFolder*>(new ShellFolder(std::move(full)));
      return S_OK;
    }
    if (items.back().kind != shell::kVirtual) {
      std::string path;
      if (!PathFromIdList(reinterpret_cast<LPCITEMIDLIST>((full + std::string(2, '\0')).c_str()), &path))
        return E_INVALIDARG;
      if (!StatDir(path)) return HRESULT_FROM_WIN32(ERROR_DIRECTORY);
    }
    *ppv = static_cast<IShellFolder*>(new ShellFolder(std::move(full)));
    return S_OK;
  }

  HRESULT CompareIDs(LPARAM, LPCITEMIDLIST a, LPCITEMIDLIST b) override {
    std::vector<ItemView> ia, ib;
    if (!shell::SplitIdList(a, &ia) || !shell::SplitIdList(b, &ib)) return E_INVALIDARG;
    for (std::size_t i = 0; i < ia.size() && i < ib.size(); ++i) {
      if (ia[i].kind == ib[i].kind && ia[i].name == ib[i].name) continue;
      return CompareResult(CompareItems(ia[i], ib[i]));
    }
    return CompareResult(ia.size() == ib.size() ? 0 : (ia.size() < ib.size() ? -1 : 1));
  }

  HRESULT GetAttributesOf(UINT cidl, LPCITEMIDLIST* apidl, ULONG* inout) override {
    if (!inout) return E_POINTER;
    if (cidl == 0) {  // the folder itself
      *inout &= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER;
      return S_OK;
    }
    if (!apidl) return E_POINTER;
    ULONG common = *inout;
    for (UINT i = 0; i < cidl; ++i) {
      std::vector<ItemView> items;
      if (!shell::SplitIdList(apidl[i], &items) || items.empty()) return E_INVALIDARG;
      common &= AttributesOf(apidl[i], items.back(), *inout);
    }
    *inout = common;
    return S_OK;
  }

  HRESULT GetDisplayNameOf(LPCITEMIDLIST pidl, DWORD flags, STRRET* name) override {
    if (!name) return E_POINTER;
    std::vector<ItemView> items;
    if (!shell::SplitIdList(pidl, &items)) return E_INVALIDARG;
    std::string path;
    const bool hasPath = PathFromIdList(
        reinterpret_cast<LPCITEMIDLIST>((full_ + ListBytes(pidl) + std::string(2, '\0')).c_str()), &path);
    DisplayName text;
    if (flags & SHGDN_FORPARSING) {
      if (!hasPath) return E_FAIL;
      text.text = (flags & SHGDN_INFOLDER) ? LastComponent(path) : path;
    } else if (items.empty()) {
      text = full_.empty() ? FixedName(IDS_TROVEX_SHELL_DESKTOP) : DisplayName{};
    } else {
      text = DisplayNameOf(items.back(), path, hasPath);
    }
    std::u16string wide;
    if (text.fixed) {
      wide = Utf8ToUtf16(text.text);
    } else if (!ShellTextToUtf16(text.text, &wide)) {
      // A name in no valid encoding goes back as its bytes: inside the id when it is one.
      if (items.size() == 1 && items.back().kind == shell::kEntry && !(flags & SHGDN_FORPARSING)) {
        name->uType = STRRET_OFFSET;
        name->uOffset = 4;
        return S_OK;
      }
      name->uType = STRRET_CSTR;
      std::snprintf(name->cStr, sizeof name->cStr, "%s", text.text.c_str());
      return S_OK;
    }
    IMalloc* malloc = nullptr;
    SHGetMalloc(&malloc);
    auto* out = static_cast<char16_t*>(malloc->Alloc((wide.size() + 1) * sizeof(char16_t)));
    malloc->Release();
    if (!out) return E_OUTOFMEMORY;
    std::memcpy(out, wide.c_str(), (wide.size() + 1) * sizeof(char16_t));
    name->uType = STRRET_WSTR;
    name->pOleStr = out;
    return S_OK;
  }

 private:
  bool Path(std::string* path) const {
    return PathFromIdList(reinterpret_cast<LPCITEMIDLIST>((full_ + std::string(2, '\0')).c_str()), path);
  }

  static void ListDirectory(const std::string& path, bool folders, bool others, bool hidden,
                            std::vector<std::string>* items) {
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return;  // unreadable: nothing to list
    while (const dirent* e = ::readdir(dir)) {
      if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
      const bool dot = IsDotName(e->d_name);
      if (dot && !hidden) continue;
      const bool isDir = EntryIsDir(path, e);
      if (isDir ? !folders : !others) continue;
      std::uint8_t f = (isDir ? shell::kFlagDirectory : 0) | (dot ? shell::kFlagHidden : 0);
      items->push_back(shell::MakeItemBytes(shell::kEntry, f, e->d_name));
    }
    ::closedir(dir);
  }

  ULONG AttributesOf(LPCITEMIDLIST pidl, const ItemView& last, ULONG asked) const {
    if (last.kind == shell::kVirtual) return SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER;
    ULONG a = SFGAO_FILESYSTEM;
    if (last.kind == shell::kEntry && IsDotName(std::string(last.name).c_str())) a |= SFGAO_HIDDEN;
    std::string path;
    if (!PathFromIdList(reinterpret_cast<LPCITEMIDLIST>((full_ + ListBytes(pidl) + std::string(2, '\0')).c_str()),
                        &path))
      return 0;
    if (StatDir(path)) {
      a |= SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
      // Only when asked: it means reading the folder.
      if ((asked & SFGAO_HASSUBFOLDER) && HasVisibleSubfolder(path)) a |= SFGAO_HASSUBFOLDER;
    }
    return a;
  }

  const std::string full_;
};

int IconFor(const std::vector<ItemView>& items, const std::string& path, bool hasPath, bool open) {
  if (items.empty()) return kIconDesktop;
  const ItemView& last = items.back();
  if (last.kind == shell::kVirtual) return kIconComputer;
  if (last.kind == shell::kPath) {
    if (std::string(last.name) == ReadUserDirectories().home) return kIconHome;
    if (last.name == "/") return kIconDrive;
    for (const shell::MountPoint& m : shell::CurrentMounts()) {
      if (m.path != last.name) continue;
      if (m.kind == shell::MountKind::Removable) return kIconRemovable;
      if (m.kind == shell::MountKind::Network) return kIconNetwork;
      return kIconDrive;
    }
  }
  if (!hasPath || !StatDir(path)) return hasPath ? kIconFile : kIconFolder;
  if (const UserDirName* u = UserDirFor(path)) return u->icon;
  return open ? kIconFolderOpen : kIconFolder;
}

}  // namespace

bool ShellTextToUtf16(std::string_view text, std::u16string* out) {
  if (!CodePageKeepsUtf8()) return TryAnsiToUtf16(text, out);
  std::u16string wide = Utf8ToUtf16(text);
  if (Utf16ToUtf8(wide) != text) return false;
  *out = std::move(wide);
  return true;
}

std::string ShellTextFromUtf16(std::u16string_view text) {
  return CodePageKeepsUtf8() ? Utf16ToUtf8(text) : Utf16ToAnsi(text);
}

HRESULT SHGetDesktopFolder(IShellFolder** ppshf) {
  if (!ppshf) return E_POINTER;
  *ppshf = new ShellFolder(std::string());
  return S_OK;
}

const char* SystemIconName(int index) {
  static const char* const kNames[kSystemIconCount] = {
      "folder",          "folder-open",     "user-desktop",   "user-home",          "computer",
      "drive-harddisk",  "drive-removable-media", "folder-remote", "folder-documents", "folder-download",
      "folder-music",    "folder-pictures", "folder-videos",  "folder-templates",   "folder-publicshare",
      "text-x-generic"};
  return index >= 0 && index < kSystemIconCount ? kNames[index] : "";
}

std::uintptr_t SHGetFileInfoA(const char* pszPath, DWORD, SHFILEINFOA* psfi, UINT cbFileInfo, UINT uFlags) {
  if (!pszPath || (psfi && cbFileInfo < sizeof(SHFILEINFOA))) return 0;
  std::string bytes;
  std::vector<ItemView> items;
  std::string path;
  bool hasPath = false;
  if (uFlags & SHGFI_PIDL) {
    auto pidl = reinterpret_cast<LPCITEMIDLIST>(pszPath);
    if (!shell::SplitIdList(pidl, &items)) return 0;
    hasPath = PathFromIdList(pidl, &path);
  } else {
    DWORD error = 0;
    path = pszPath;
    hasPath = true;
    if (shell::ItemBytesForPath(path, &bytes, &error)) {
      bytes.append(2, '\0');  // the items below are views into it
      shell::SplitIdList(reinterpret_cast<LPCITEMIDLIST>(bytes.c_str()), &items);
    } else {
      // A name only (a file not yet written): its kind is all there is to tell.
      bytes = shell::MakeItemBytes(shell::kEntry, 0, LastComponent(path));
      items = {ItemView{shell::kEntry, 0, std::string_view(bytes).substr(4, bytes.size() - 5)}};
    }
  }
  if (psfi) {
    if (uFlags & (SHGFI_SYSICONINDEX | SHGFI_ICON)) psfi->iIcon = IconFor(items, path, hasPath, uFlags & SHGFI_OPENICON);
    psfi->hIcon = nullptr;
    if (uFlags & SHGFI_DISPLAYNAME) {
      DisplayName name = items.empty() ? FixedName(IDS_TROVEX_SHELL_DESKTOP) : DisplayNameOf(items.back(), path, hasPath);
      if (name.fixed) name.text = Utf8TextToAnsi(name.text);
      std::snprintf(psfi->szDisplayName, sizeof psfi->szDisplayName, "%s", name.text.c_str());
      // Never end inside a double-byte character.
      std::size_t len = std::strlen(psfi->szDisplayName);
      while (len > 0 && !MbIsCharBoundary(psfi->szDisplayName, len)) psfi->szDisplayName[--len] = '\0';
    }
    if (uFlags & SHGFI_ATTRIBUTES) {
      psfi->dwAttributes = items.empty() ? SFGAO_FOLDER | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER
                           : (hasPath && StatDir(path)) ? SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR
                           : hasPath ? SFGAO_FILESYSTEM : SFGAO_FOLDER | SFGAO_FILESYSANCESTOR;
    }
  }
  if (uFlags & SHGFI_SYSICONINDEX) return (uFlags & SHGFI_SMALLICON) ? kSystemImageListSmall : kSystemImageListLarge;
  return 1;
}

}  // namespace trovex

// The shell layer: item-id lists in the shell's byte layout, the shell allocator, special
// folders (from the XDG user directories), the folder namespace and file information.
//
// The namespace as a Linux user sees it: the root is the Desktop (the XDG desktop directory,
// or the home folder when there is none); below it the home folder, "電腦" (a virtual folder
// holding "/" and the mounted file systems a user cares about) and the desktop's own folders.
// Paths are in the locale's code page, POSIX style.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/types.h"
#include "platform/com/com.h"

namespace trovex {
using LPARAM = std::intptr_t;
}

namespace trovex {

// Special folders.
constexpr int CSIDL_DESKTOP = 0x0000;
constexpr int CSIDL_PERSONAL = 0x0005;
constexpr int CSIDL_DESKTOPDIRECTORY = 0x0010;
constexpr int CSIDL_DRIVES = 0x0011;
constexpr int CSIDL_INTERNET_CACHE = 0x0020;
constexpr int CSIDL_PROFILE = 0x0028;

// One item of an id list: its byte count (the count included), then its bytes.
#pragma pack(push, 1)
struct SHITEMID {
  std::uint16_t cb;
  BYTE abID[1];
};
struct ITEMIDLIST {
  SHITEMID mkid;
};
#pragma pack(pop)
static_assert(sizeof(std::uint16_t) == 2 && offsetof(SHITEMID, abID) == 2);
using LPITEMIDLIST = ITEMIDLIST*;
using LPCITEMIDLIST = const ITEMIDLIST*;

// The shell allocator: every id list handed out by this layer comes from it and goes back to it.
struct IMalloc : IUnknown {
  virtual void* Alloc(std::size_t cb) = 0;
  virtual void* Realloc(void* pv, std::size_t cb) = 0;
  virtual void Free(void* pv) = 0;
  virtual std::size_t GetSize(void* pv) = 0;  // (size_t)-1 for a block it did not allocate
  virtual int DidAlloc(void* pv) = 0;         // 1 yes, 0 no, -1 cannot tell
  virtual void HeapMinimize() = 0;
};
extern const IID IID_IMalloc;
HRESULT SHGetMalloc(IMalloc** ppMalloc);
// Blocks of the shell allocator not yet freed (tests look for leaks with it).
std::size_t ShellAllocatorLiveBlocks();

// The location of a special folder as an id list from the desktop, allocated with the shell
// allocator. A folder that does not exist fails with the last error set (ERROR_PATH_NOT_FOUND,
// or ERROR_FILE_NOT_FOUND for a user directory that the user switched off).
HRESULT SHGetSpecialFolderLocation(void* hwndOwner, int nFolder, LPITEMIDLIST* ppidl);
// The file-system path of an id list into pszPath (260 bytes at least; longer Linux paths are
// not cut, so callers give PATH_MAX). FALSE for a virtual folder or a malformed list.
BOOL SHGetPathFromIDListA(LPCITEMIDLIST pidl, char* pszPath);
// The same without a fixed buffer.
bool PathFromIdList(LPCITEMIDLIST pidl, std::string* path);
constexpr std::size_t kShellPathMax = 4096;
// The file-system path of a special folder (CSIDL_PERSONAL...); false, with the last error
// set, when there is none.
bool SpecialFolderPath(int nFolder, std::string* path);

// The XDG user directories. Empty when the user has none of that kind.
struct UserDirectories {
  std::string home;
  std::string desktop;    // the desktop directory, or home when there is none
  std::string documents;  // empty when switched off or missing
  DWORD documentsError = 0;
};
UserDirectories ReadUserDirectories();
// The directory of one XDG user-dirs key ("DOCUMENTS", "DOWNLOAD"...), as configured in
// user-dirs.dirs; empty when the file does not name it.
std::string UserDirectoryFromConfig(const std::string& key);
// Every user directory named in user-dirs.dirs: key ("DOCUMENTS") and directory.
std::vector<std::pair<std::string, std::string>> ConfiguredUserDirectories();

// ---------------------------------------------------------------------------------------------
// The folder namespace.

// EnumObjects flags. Dot-entries count as hidden.
constexpr DWORD SHCONTF_FOLDERS = 0x0020;
constexpr DWORD SHCONTF_NONFOLDERS = 0x0040;
constexpr DWORD SHCONTF_INCLUDEHIDDEN = 0x0080;

// Attributes (GetAttributesOf).
constexpr ULONG SFGAO_HIDDEN = 0x00080000;
constexpr ULONG SFGAO_FILESYSANCESTOR = 0x10000000;
constexpr ULONG SFGAO_FOLDER = 0x20000000;
constexpr ULONG SFGAO_FILESYSTEM = 0x40000000;
constexpr ULONG SFGAO_HASSUBFOLDER = 0x80000000;

// Display-name flags.
constexpr DWORD SHGDN_NORMAL = 0x0000;
constexpr DWORD SHGDN_INFOLDER = 0x0001;
constexpr DWORD SHGDN_FORPARSING = 0x8000;

// A returned string: wide (shell allocator), an offset into the item id, or ANSI.
constexpr UINT STRRET_WSTR = 0;
constexpr UINT STRRET_OFFSET = 1;
constexpr UINT STRRET_CSTR = 2;
struct STRRET {
  UINT uType;
  union {
    char16_t* pOleStr;
    UINT uOffset;
    char cStr[260];
  };
};

struct IEnumIDList : IUnknown {
  // Up to celt relative ids (shell allocator, the caller frees them); S_FALSE when fewer.
  virtual HRESULT Next(ULONG celt, LPITEMIDLIST* rgelt, ULONG* pceltFetched) = 0;
  virtual HRESULT Skip(ULONG celt) = 0;
  virtual HRESULT Reset() = 0;
};
extern const IID IID_IEnumIDList;

struct IShellFolder : IUnknown {
  // Absolute display name (a path) -> id list relative to this folder.
  virtual HRESULT ParseDisplayName(void* hwnd, void* pbc, const char16_t* pszDisplayName, ULONG* pchEaten,
                                   LPITEMIDLIST* ppidl, ULONG* pdwAttributes) = 0;
  // A folder that cannot be read lists nothing (S_OK, empty).
  virtual HRESULT EnumObjects(void* hwnd, DWORD grfFlags, IEnumIDList** ppenumIDList) = 0;
  virtual HRESULT BindToObject(LPCITEMIDLIST pidl, void* pbc, REFIID riid, void** ppv) = 0;
  // The code (low 16 bits, signed) is <0, 0 or >0: locale collation, case folded.
  virtual HRESULT CompareIDs(LPARAM lParam, LPCITEMIDLIST pidl1, LPCITEMIDLIST pidl2) = 0;
  // rgfInOut: in, the attributes asked for; out, those all items have.
  virtual HRESULT GetAttributesOf(UINT cidl, LPCITEMIDLIST* apidl, ULONG* rgfInOut) = 0;
  virtual HRESULT GetDisplayNameOf(LPCITEMIDLIST pidl, DWORD uFlags, STRRET* pName) = 0;
};
extern const IID IID_IShellFolder;
HRESULT SHGetDesktopFolder(IShellFolder** ppshf);

// Names and paths (the locale's code page; UTF-8 under the C locale, as the program's texts)
// to and from the wide text of display names and parsing. False for bytes in no valid encoding.
bool ShellTextToUtf16(std::string_view text, std::u16string* out);
std::string ShellTextFromUtf16(std::u16string_view text);

// The code of a CompareIDs result.
constexpr short HRESULT_CODE_SHORT(HRESULT hr) { return static_cast<short>(hr & 0xFFFF); }

// ---------------------------------------------------------------------------------------------
// File information.

constexpr UINT SHGFI_ICON = 0x000000100;
constexpr UINT SHGFI_DISPLAYNAME = 0x000000200;
constexpr UINT SHGFI_TYPENAME = 0x000000400;
constexpr UINT SHGFI_ATTRIBUTES = 0x000000800;
constexpr UINT SHGFI_SYSICONINDEX = 0x000004000;
constexpr UINT SHGFI_OPENICON = 0x000000002;
constexpr UINT SHGFI_SMALLICON = 0x000000001;
constexpr UINT SHGFI_PIDL = 0x000000008;

struct SHFILEINFOA {
  void* hIcon;
  int iIcon;
  DWORD dwAttributes;
  char szDisplayName[260];
  char szTypeName[80];
};

// The system image list: SHGetFileInfoA with SHGFI_SYSICONINDEX answers one of these handles
// and an index below; platform/shell/icons.h turns a handle into the images, drawn from the
// icon theme in this order.
constexpr std::uintptr_t kSystemImageListSmall = 0x5301;
constexpr std::uintptr_t kSystemImageListLarge = 0x5302;
enum SystemIcon : int {
  kIconFolder, kIconFolderOpen, kIconDesktop, kIconHome, kIconComputer, kIconDrive, kIconRemovable,
  kIconNetwork, kIconDocuments, kIconDownload, kIconMusic, kIconPictures, kIconVideos, kIconTemplates,
  kIconPublic, kIconFile, kSystemIconCount
};
// The icon theme's name of each system icon.
const char* SystemIconName(int index);

// pszPath is a path, or with SHGFI_PIDL an id list from the desktop. Fills psfi as the flags
// ask (display name in the locale's code page, at most 259 bytes; the system icon index).
// Returns the image list handle for SHGFI_SYSICONINDEX, else nonzero on success; 0 on failure.
std::uintptr_t SHGetFileInfoA(const char* pszPath, DWORD dwFileAttributes, SHFILEINFOA* psfi, UINT cbFileInfo,
                              UINT uFlags);

}  // namespace trovex

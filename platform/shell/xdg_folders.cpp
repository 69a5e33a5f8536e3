#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/error/error.h"
#include "platform/fs/posix_io.h"
#include "platform/inet/inet.h"
#include "platform/shell/idlist.h"
#include "platform/shell/mounts.h"
#include "platform/shell/shell.h"

namespace trovex {

namespace {

bool IsDirectory(const std::string& path) {
  struct stat st;
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string TrimSlashes(std::string s) {
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string UserDirsFile() { return posix::XdgFolder("XDG_CONFIG_HOME", ".config") + "/user-dirs.dirs"; }

// A value of user-dirs.dirs: "$HOME/rel", "$HOME" or "/abs", in double quotes, with \" and \\.
bool ParseUserDirValue(const std::string& raw, const std::string& home, std::string* out) {
  std::size_t a = raw.find('"');
  if (a == std::string::npos) return false;
  std::string value;
  std::size_t i = a + 1;
  for (; i < raw.size() && raw[i] != '"'; ++i) {
    if (raw[i] == '\\' && i + 1 < raw.size()) ++i;
    value.push_back(raw[i]);
  }
  if (i >= raw.size()) return false;
  if (value.rfind("$HOME", 0) == 0 && (value.size() == 5 || value[5] == '/')) {
    value = home + value.substr(5);
  } else if (value.empty() || value[0] != '/') {
    return false;
  }
  while (value.size() > 1 && value.back() == '/') value.pop_back();
  *out = value;
  return true;
}

struct UserDirsCache {
  std::mutex mutex;
  std::string home, file;
  posix::FileStamp stamp;
  bool valid = false;
  std::vector<std::pair<std::string, std::string>> dirs;
};

UserDirsCache& Cache() {
  static UserDirsCache cache;
  return cache;
}

std::vector<std::pair<std::string, std::string>> ParseUserDirs(const std::string& text, const std::string& home);

// The user directories, read again only when the file or the environment changed.
std::vector<std::pair<std::string, std::string>> UserDirsCached() {
  UserDirsCache& c = Cache();
  std::lock_guard<std::mutex> lock(c.mutex);
  const std::string home = posix::HomeFolder();
  const std::string file = UserDirsFile();
  struct stat st;
  posix::FileStamp stamp;
  if (::stat(file.c_str(), &st) == 0) stamp = posix::FileStamp::Of(st);
  if (c.valid && c.home == home && c.file == file && c.stamp == stamp) return c.dirs;
  std::ifstream in(file);
  std::stringstream text;
  if (in) text << in.rdbuf();
  c.home = home;
  c.file = file;
  c.stamp = stamp;
  c.dirs = ParseUserDirs(text.str(), TrimSlashes(home));
  c.valid = true;
  return c.dirs;
}

// All assignments of user-dirs.dirs, parsed once per change of the file.
std::vector<std::pair<std::string, std::string>> ParseUserDirs(const std::string& text, const std::string& home) {
  std::vector<std::pair<std::string, std::string>> dirs;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::size_t p = line.find_first_not_of(" \t");
    if (p == std::string::npos || line[p] == '#' || line.compare(p, 4, "XDG_") != 0) continue;
    std::size_t eq = line.find('=', p);
    if (eq == std::string::npos) continue;
    std::string name = line.substr(p + 4, eq - p - 4);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.pop_back();
    if (name.size() <= 4 || name.compare(name.size() - 4, 4, "_DIR") != 0) continue;
    name.resize(name.size() - 4);
    std::string value;
    if (!ParseUserDirValue(line.substr(eq + 1), home, &value)) continue;
    // The last assignment counts, as when a shell sources the file.
    bool replaced = false;
    for (auto& d : dirs)
      if (d.first == name) d.second = value, replaced = true;
    if (!replaced) dirs.emplace_back(name, value);
  }
  return dirs;
}

bool ConfiguredUserDir(const std::string& key, std::string* dir) {
  for (const auto& d : ConfiguredUserDirectories())
    if (d.first == key) {
      *dir = d.second;
      return true;
    }
  return false;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ConfiguredUserDirectories() { return UserDirsCached(); }

std::string UserDirectoryFromConfig(const std::string& key) {
  std::string dir;
  return ConfiguredUserDir(key, &dir) ? dir : std::string();
}

UserDirectories ReadUserDirectories() {
  UserDirectories u;
  u.home = TrimSlashes(posix::HomeFolder());
  std::string dir;
  if (ConfiguredUserDir("DESKTOP", &dir)) {
    u.desktop = IsDirectory(dir) ? dir : u.home;
  } else {
    u.desktop = IsDirectory(u.home + "/Desktop") ? u.home + "/Desktop" : u.home;
  }
  if (ConfiguredUserDir("DOCUMENTS", &dir)) {
    // Pointing a user directory at home switches it off.
    if (dir == u.home) {
      u.documentsError = ERROR_FILE_NOT_FOUND;
    } else if (!IsDirectory(dir)) {
      u.documentsError = ERROR_PATH_NOT_FOUND;
    } else {
      u.documents = dir;
    }
  } else {
    u.documents = u.home;  // the XDG default for a user directory nobody named
  }
  return u;
}

bool PathFromIdList(LPCITEMIDLIST pidl, std::string* path) {
  std::vector<shell::ItemView> items;
  if (!shell::SplitIdList(pidl, &items)) return false;
  std::string desktop;
  if (items.empty() || items.front().kind == shell::kEntry) desktop = ReadUserDirectories().desktop;
  return shell::ResolvePath(items, desktop, path);
}

bool SpecialFolderPath(int nFolder, std::string* path) {
  LPITEMIDLIST pidl = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, nFolder, &pidl))) return false;
  const bool found = PathFromIdList(pidl, path);
  IMalloc* malloc = nullptr;
  if (SUCCEEDED(SHGetMalloc(&malloc)) && malloc) {
    malloc->Free(pidl);
    malloc->Release();
  }
  if (!found) SetLastError(ERROR_PATH_NOT_FOUND);
  return found;
}

HRESULT SHGetSpecialFolderLocation(void* /*hwndOwner*/, int nFolder, LPITEMIDLIST* ppidl) {
  if (!ppidl) return E_INVALIDARG;
  *ppidl = nullptr;
  std::string bytes;
  DWORD error = 0;
  switch (nFolder) {
    case CSIDL_DESKTOP:
      break;
    case CSIDL_DRIVES:
      bytes = shell::MakeItemBytes(shell::kVirtual, 0, shell::kComputerName);
      break;
    case CSIDL_DESKTOPDIRECTORY:
    case CSIDL_PERSONAL:
    case CSIDL_PROFILE:
    case CSIDL_INTERNET_CACHE: {
      UserDirectories u = ReadUserDirectories();
      std::string path = nFolder == CSIDL_DESKTOPDIRECTORY ? u.desktop
                         : nFolder == CSIDL_PROFILE        ? u.home
                         : nFolder == CSIDL_PERSONAL       ? u.documents
                                                           : UrlCacheDirectory();
      if (nFolder == CSIDL_PERSONAL && path.empty()) {
        SetLastError(u.documentsError);
        return HRESULT_FROM_WIN32(u.documentsError);
      }
      if (!shell::ItemBytesForPath(path, &bytes, &error)) {
        SetLastError(error);
        return HRESULT_FROM_WIN32(error);
      }
      break;
    }
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return E_INVALIDARG;
  }
  *ppidl = shell::AllocIdListFromBytes(bytes);
  if (!*ppidl) return E_OUTOFMEMORY;
  return S_OK;
}

namespace shell {

bool NormalizePath(const std::string& path, std::string* normal) {
  if (path.empty() || path[0] != '/') return false;
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i <= path.size()) {
    std::size_t j = path.find('/', i);
    if (j == std::string::npos) j = path.size();
    std::string part = path.substr(i, j - i);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    i = j + 1;
  }
  std::string out;
  for (const std::string& p : parts) out += "/" + p;
  *normal = out.empty() ? "/" : out;
  return true;
}

namespace {
bool Below(const std::string& path, const std::string& folder, std::string* rest) {
  if (folder == "/") {
    *rest = path.substr(1);
    return true;
  }
  if (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 && path[folder.size()] == '/') {
    *rest = path.substr(folder.size() + 1);
    return true;
  }
  return false;
}

void AppendEntries(const std::string& rest, std::string* bytes) {
  std::size_t i = 0;
  while (i < rest.size()) {
    std::size_t j = rest.find('/', i);
    if (j == std::string::npos) j = rest.size();
    std::string name = rest.substr(i, j - i);
    std::uint8_t flags = name[0] == '.' ? kFlagHidden : 0;
    *bytes += MakeItemBytes(kEntry, flags, name);
    i = j + 1;
  }
}
}  // namespace

bool ItemBytesForPath(const std::string& path, std::string* bytes, DWORD* error) {
  std::string normal;
  if (!NormalizePath(path, &normal)) {
    *error = ERROR_INVALID_NAME;
    return false;
  }
  struct stat st;
  if (::stat(normal.c_str(), &st) != 0) {
    *error = errno == ENOENT ? ERROR_FILE_NOT_FOUND : Win32ErrorFromErrno(errno);
    return false;
  }
  bytes->clear();
  UserDirectories u = ReadUserDirectories();
  std::string rest;
  if (normal == u.desktop) return true;
  if (u.desktop != "/" && Below(normal, u.desktop, &rest)) {
    AppendEntries(rest, bytes);
    return true;
  }
  if (u.home != u.desktop && u.home != "/" && (normal == u.home || Below(normal, u.home, &rest))) {
    *bytes = MakeItemBytes(kPath, kFlagDirectory, u.home);
    if (normal != u.home) AppendEntries(rest, bytes);
    return true;
  }
  // The longest mount holding the path; "/" holds everything.
  std::string mount = "/";
  for (const MountPoint& m : CurrentMounts()) {
    std::string r;
    if (m.path != "/" && (normal == m.path || Below(normal, m.path, &r)) && m.path.size() > mount.size())
      mount = m.path;
  }
  *bytes = MakeItemBytes(kVirtual, 0, kComputerName) + MakeItemBytes(kPath, kFlagDirectory, mount);
  if (normal != mount) {
    Below(normal, mount, &rest);
    AppendEntries(rest, bytes);
  }
  return true;
}

}  // namespace shell
}  // namespace trovex

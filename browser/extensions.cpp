#include "browser/extensions.h"

#include <elf.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/registry/registry.h"
#include "res/strings.h"

namespace trovex::browser {
namespace {

constexpr const char* kExtensionsKey = "Software\\Microsoft\\Internet Explorer\\Extensions";
constexpr const char* kMenuExtKey = "Software\\Microsoft\\Internet Explorer\\MenuExt";
constexpr const char* kSectionName = ".trovex_rsrc";
constexpr std::size_t kMaxTable = 16u << 20;

std::string ReadString(HKEY key, const char* name) {
  char buffer[4096];
  DWORD size = sizeof buffer - 1, type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::string();
  buffer[size] = '\0';
  return std::string(buffer, std::strlen(buffer));
}

// Calls visit(name, key) for every sub-key of root\path that can be opened for reading.
template <class Visit>
void ForEachSubKey(HKEY root, const char* path, Visit visit) {
  HKEY parent = nullptr;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &parent) != ERROR_SUCCESS) return;
  for (DWORD i = 0;; ++i) {
    char name[512];
    DWORD length = sizeof name;
    LSTATUS st = RegEnumKeyExA(parent, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (st == ERROR_MORE_DATA) continue;
    if (st != ERROR_SUCCESS) break;
    HKEY key = nullptr;
    if (RegOpenKeyExA(parent, name, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
    visit(std::string(name, length), key);
    RegCloseKey(key);
  }
  RegCloseKey(parent);
}

bool ReadAt(int fd, std::uint64_t offset, void* buffer, std::size_t size, std::uint64_t fileSize) {
  if (offset > fileSize || size > fileSize - offset) return false;
  auto* p = static_cast<char*>(buffer);
  while (size > 0) {
    ssize_t n = ::pread(fd, p, size, static_cast<off_t>(offset));
    if (n <= 0) return false;
    p += n;
    offset += static_cast<std::uint64_t>(n);
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::uint32_t GetU32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

// The bytes of the image-table section of a 64-bit ELF file; every offset is checked against
// the file, since the path comes from the registry.
bool ReadResourceSection(const std::string& path, std::string* table, std::string* error) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = FormatResStringUtf8(IDS_TROVEX_ICONS_CANNOT_OPEN, path.c_str(), std::strerror(errno));
    return false;
  }
  struct stat st{};
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  std::uint64_t fileSize = ok ? static_cast<std::uint64_t>(st.st_size) : 0;
  Elf64_Ehdr header{};
  ok = ok && ReadAt(fd, 0, &header, sizeof header, fileSize) &&
       std::memcmp(header.e_ident, ELFMAG, SELFMAG) == 0 && header.e_ident[EI_CLASS] == ELFCLASS64 &&
       header.e_shentsize == sizeof(Elf64_Shdr) && header.e_shstrndx < header.e_shnum;
  Elf64_Shdr names{};
  ok = ok && ReadAt(fd, header.e_shoff + std::uint64_t{header.e_shstrndx} * sizeof(Elf64_Shdr), &names,
                    sizeof names, fileSize);
  bool found = false;
  for (unsigned i = 0; ok && !found && i < header.e_shnum; ++i) {
    Elf64_Shdr section{};
    if (!ReadAt(fd, header.e_shoff + std::uint64_t{i} * sizeof(Elf64_Shdr), &section, sizeof section, fileSize))
      break;
    char name[sizeof ".trovex_rsrc"] = {};
    if (section.sh_name >= names.sh_size ||
        !ReadAt(fd, names.sh_offset + section.sh_name, name, std::min<std::uint64_t>(sizeof name, names.sh_size - section.sh_name), fileSize))
      continue;
    if (std::memcmp(name, kSectionName, sizeof name) != 0 || section.sh_type != SHT_PROGBITS) continue;
    if (section.sh_size > kMaxTable) break;
    table->assign(section.sh_size, '\0');
    found = ReadAt(fd, section.sh_offset, table->data(), table->size(), fileSize);
  }
  ::close(fd);
  if (!found) *error = FormatResStringUtf8(IDS_TROVEX_ICONS_NOT_A_MODULE, path.c_str());
  return found;
}

}  // namespace

std::vector<ScriptExtension> ReadScriptExtensions() {
  std::vector<ScriptExtension> out;
  ForEachSubKey(HKEY_LOCAL_MACHINE, kExtensionsKey, [&](const std::string& name, HKEY key) {
    ScriptExtension e;
    e.strKey = name;
    if (ReadString(key, "CLSID") != kRunScriptHandler) return;
    e.strScript = ReadString(key, "Script");
    if (e.strScript.empty()) return;
    e.strButtonText = ReadString(key, "ButtonText");
    e.strIcon = ReadString(key, "Icon");
    e.strHotIcon = ReadString(key, "HotIcon");
    e.strMenuText = ReadString(key, "MenuText");
    e.strMenuStatusBar = ReadString(key, "MenuStatusBar");
    std::string visible = ReadString(key, "Default Visible");
    e.bDefaultVisible = visible == "Yes" || visible == "yes" || visible == "YES";
    out.push_back(std::move(e));
  });
  return out;
}

std::vector<ContextMenuItem> ReadContextMenuItems() {
  std::vector<ContextMenuItem> out;
  ForEachSubKey(HKEY_CURRENT_USER, kMenuExtKey, [&](const std::string& name, HKEY key) {
    std::string script = ReadString(key, nullptr);
    if (!script.empty()) out.push_back({name, script});
  });
  return out;
}

bool ParseIconLocation(const std::string& strLocation, std::string* path, int* id) {
  std::string::size_type comma = strLocation.rfind(',');
  if (comma == std::string::npos || comma == 0 || comma + 1 >= strLocation.size()) return false;
  std::string number = strLocation.substr(comma + 1);
  if (number.size() > 9 || number.find_first_not_of("0123456789") != std::string::npos) return false;
  *path = strLocation.substr(0, comma);
  *id = std::stoi(number);
  return true;
}

std::vector<ResourceImage> ReadModuleImages(const std::string& path, int id, std::string* error) {
  std::vector<ResourceImage> out;
  std::string local;
  std::string& err = error ? *error : local;
  std::string table;
  if (!ReadResourceSection(path, &table, &err)) return out;
  if (table.size() < 12 || table.compare(0, 8, "TRVXRSRC") != 0) {
    err = FormatResStringUtf8(IDS_TROVEX_ICONS_DAMAGED, path.c_str());
    return out;
  }
  std::uint32_t count = GetU32(table, 8);
  if (count > (table.size() - 12) / 20) {
    err = FormatResStringUtf8(IDS_TROVEX_ICONS_DAMAGED, path.c_str());
    return out;
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    std::size_t at = 12 + std::size_t{i} * 20;
    std::uint32_t offset = GetU32(table, at + 12), length = GetU32(table, at + 16);
    if (offset > table.size() || length > table.size() - offset) {
      err = FormatResStringUtf8(IDS_TROVEX_ICONS_DAMAGED, path.c_str());
      return {};
    }
    if (static_cast<int>(GetU32(table, at)) != id) continue;
    out.push_back({id, static_cast<int>(GetU32(table, at + 4)), static_cast<int>(GetU32(table, at + 8)),
                   table.substr(offset, length)});
  }
  if (out.empty()) err = FormatResStringUtf8(IDS_TROVEX_ICONS_NO_ICON, path.c_str(), std::to_string(id).c_str());
  return out;
}

}  // namespace trovex::browser

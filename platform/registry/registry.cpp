#include "platform/registry/registry.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/registry/hive_file.h"
#include "platform/registry/regedit4.h"

namespace trovex {

using reg::HiveFile;
using reg::RegKey;
using reg::RegValue;

namespace {

enum class View { kUser, kMachine, kClasses };

constexpr REGSAM kWriteRights =
    KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE | WRITE_DAC | WRITE_OWNER;

struct Handle {
  View view = View::kUser;
  std::vector<std::string> path;  // below the view's root
  REGSAM access = KEY_ALL_ACCESS;
  std::string userFile;           // the hive files the handle was opened on
  std::string machineFile;
};

// One concrete place: a hive and a path inside it.
struct Place {
  HiveFile* hive;
  std::vector<std::string> path;
};

class Registry {
 public:
  std::mutex mutex;

  HiveFile& Hive(const std::string& file, bool user) {
    auto& slot = hives_[file];
    if (!slot)
      slot = std::make_unique<HiveFile>(file, user ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE");
    return *slot;
  }

  // The handle's data; predefined keys get a fresh full-access one each time.
  std::optional<Handle> Lookup(HKEY hKey) {
    auto value = reinterpret_cast<std::uintptr_t>(hKey);
    if (value >= 0x80000000u && value <= 0x80000002u) {
      Handle h;
      h.view = value == 0x80000000u ? View::kClasses
               : value == 0x80000001u ? View::kUser
                                      : View::kMachine;
      h.userFile = reg::UserHivePath();
      h.machineFile = reg::MachineHivePath();
      return h;
    }
    auto it = open_.find(value);
    if (it == open_.end()) return std::nullopt;
    return it->second;
  }

  HKEY Add(Handle h) {
    std::uintptr_t id = next_;
    next_ += 4;
    open_.emplace(id, std::move(h));
    return reinterpret_cast<HKEY>(id);
  }

  bool Remove(HKEY hKey) { return open_.erase(reinterpret_cast<std::uintptr_t>(hKey)) > 0; }

  // The classes view reads the user's keys first; other views have one place.
  std::vector<Place> Places(const Handle& h, const std::vector<std::string>& path) {
    std::vector<Place> places;
    auto below = [&](std::initializer_list<const char*> prefix) {
      std::vector<std::string> full(prefix.begin(), prefix.end());
      full.insert(full.end(), path.begin(), path.end());
      return full;
    };
    switch (h.view) {
      case View::kUser:
        places.push_back({&Hive(h.userFile, true), path});
        break;
      case View::kMachine:
        places.push_back({&Hive(h.machineFile, false), path});
        break;
      case View::kClasses:
        places.push_back({&Hive(h.userFile, true), below({"Software", "Classes"})});
        places.push_back({&Hive(h.machineFile, false), below({"Software", "Classes"})});
        break;
    }
    return places;
  }

  // Where a key of the handle's view exists now (first match), if anywhere.
  std::optional<Place> Existing(const Handle& h, const std::vector<std::string>& path) {
    for (Place& p : Places(h, path))
      if (p.hive->Current().Find(p.path)) return p;
    return std::nullopt;
  }

  // Whether the handle's key is still there (a view's root always is).
  bool Alive(const Handle& h) { return h.path.empty() || Existing(h, h.path).has_value(); }

  // Where writes to an existing key go: the user's classes key when there is one, else the
  // machine's; new keys of the classes view go to the machine's.
  Place WriteTarget(const Handle& h, const std::vector<std::string>& path) {
    std::vector<Place> places = Places(h, path);
    if (h.view == View::kClasses && !places[0].hive->Current().Find(places[0].path))
      return places[1];
    return places[0];
  }

 private:
  std::map<std::string, std::unique_ptr<HiveFile>> hives_;
  std::map<std::uintptr_t, Handle> open_;
  std::uintptr_t next_ = 0x1000;
};

Registry& TheRegistry() {
  static Registry* registry = new Registry;  // never destroyed: handles may outlive statics
  return *registry;
}

std::vector<std::string> Join(const std::vector<std::string>& a,
                              const std::vector<std::string>& b) {
  std::vector<std::string> out = a;
  out.insert(out.end(), b.begin(), b.end());
  return out;
}

// The caller's path, split in its code page, as UTF-8 names.
LSTATUS ParseSubKey(const char* lpSubKey, std::vector<std::string>* names) {
  names->clear();
  if (!lpSubKey || !*lpSubKey) return ERROR_SUCCESS;
  if (!reg::SplitKeyPath(lpSubKey, names)) return ERROR_INVALID_PARAMETER;
  for (std::string& name : *names) {
    std::string utf8;
    if (!reg::NameToUtf8(name, &utf8)) return ERROR_INVALID_PARAMETER;
    name = std::move(utf8);
  }
  return ERROR_SUCCESS;
}

// The caller's value name as UTF-8; false when it is not text in the caller's code page.
bool ValueName(const char* lpValueName, std::string* name) {
  return reg::NameToUtf8(lpValueName ? lpValueName : "", name);
}

// Type and data out of a stored value, with the size rules of RegQueryValueExA.
LSTATUS CopyData(const RegValue& v, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  if (lpType) *lpType = v.nType;
  const std::string data = reg::DataToAnsi(v.nType, v.data);
  const auto size = static_cast<DWORD>(data.size());
  if (!lpData) {
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
  }
  if (*lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (size) std::memcpy(lpData, data.data(), size);
  *lpcbData = size;
  return ERROR_SUCCESS;
}

LSTATUS CopyName(const std::string& utf8, char* lpName, DWORD* lpcchName) {
  if (!lpName || !lpcchName) return ERROR_INVALID_PARAMETER;
  const std::string name = reg::NameToAnsi(utf8);
  if (name.size() + 1 > *lpcchName) return ERROR_MORE_DATA;
  std::memcpy(lpName, name.c_str(), name.size() + 1);
  *lpcchName = static_cast<DWORD>(name.size());
  return ERROR_SUCCESS;
}

// The handle's key as it is now, for reading. `missingRoot` is what a view's root reports when
// no hive holds it yet; any other key that is gone was deleted under the handle.
LSTATUS KeyToRead(Registry& r, const Handle& h, LSTATUS missingRoot, const RegKey** key) {
  std::optional<Place> place = r.Existing(h, h.path);
  if (!place) return h.path.empty() ? missingRoot : ERROR_KEY_DELETED;
  *key = place->hive->Current().Find(place->path);
  return *key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// Removes the key at `path` (never the root) from its parent; false when it was not there.
bool RemoveKey(RegKey& root, const std::vector<std::string>& path) {
  std::vector<std::string> parentPath(path.begin(), path.end() - 1);
  RegKey* parent = root.Find(parentPath);
  return parent && parent->RemoveSubkey(path.back());
}

// Every call on an open key: the registry locked, the handle found, its rights checked and,
// where `alive`, its key still there; then `body(r, handle)` runs under the lock.
template <class Body>
LSTATUS WithOpenKey(HKEY hKey, REGSAM needed, bool alive, Body&& body) {
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.mutex);
  std::optional<Handle> h = r.Lookup(hKey);
  if (!h) return ERROR_INVALID_HANDLE;
  if ((h->access & needed) != needed) return ERROR_ACCESS_DENIED;
  if (alive && !r.Alive(*h)) return ERROR_KEY_DELETED;
  return body(r, *h);
}

// Opens or creates; shared by RegCreateKeyExA and RegOpenKeyExA.
LSTATUS OpenKey(HKEY hKey, const char* lpSubKey, REGSAM samDesired, bool create,
                PHKEY phkResult, DWORD* lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  std::vector<std::string> sub;
  if (LSTATUS st = ParseSubKey(lpSubKey, &sub)) return st;
  return WithOpenKey(hKey, 0, true, [&](Registry& r, const Handle& parent) -> LSTATUS {
    Handle child = parent;
    child.path = Join(parent.path, sub);
    if (child.path.size() > reg::kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (!r.Alive(child)) {
      if (!create) return ERROR_FILE_NOT_FOUND;
      if (!(parent.access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
      Place target = r.WriteTarget(child, child.path);
      bool created = false;
      LSTATUS st = target.hive->Modify([&](RegKey& root, bool& changed) -> LSTATUS {
        RegKey* key = &root;
        for (const std::string& name : target.path) {
          RegKey* next = key->FindSubkey(name);
          created = !next;  // only the last step decides: another
                            // process may have been first
          key = next ? next : &key->SubkeyOrAdd(name);
          changed = changed || created;
        }
        return ERROR_SUCCESS;
      });
      if (st != ERROR_SUCCESS) return st;
      disposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
    }

    bool writable = r.WriteTarget(child, child.path).hive->Writable();
    if (samDesired & MAXIMUM_ALLOWED)
      samDesired = writable ? KEY_ALL_ACCESS : KEY_READ;
    else if ((samDesired & kWriteRights) && !writable)
      return ERROR_ACCESS_DENIED;
    child.access = samDesired;
    if (lpdwDisposition) *lpdwDisposition = disposition;
    *phkResult = r.Add(std::move(child));
    return ERROR_SUCCESS;
  });
}

}  // namespace

LSTATUS RegCreateKeyExA(HKEY hKey, const char* lpSubKey, DWORD /*Reserved*/, char* /*lpClass*/,
                        DWORD dwOptions, REGSAM samDesired, const void* /*lpSecurityAttributes*/,
                        PHKEY phkResult, DWORD* lpdwDisposition) {
  if (dwOptions & REG_OPTION_VOLATILE) {
    if (phkResult) *phkResult = nullptr;
    return ERROR_INVALID_PARAMETER;
  }
  return OpenKey(hKey, lpSubKey, samDesired, true, phkResult, lpdwDisposition);
}

LSTATUS RegOpenKeyExA(HKEY hKey, const char* lpSubKey, DWORD /*ulOptions*/, REGSAM samDesired,
                      PHKEY phkResult) {
  return OpenKey(hKey, lpSubKey, samDesired, false, phkResult, nullptr);
}

LSTATUS RegQueryValueExA(HKEY hKey, const char* lpValueName, DWORD* lpReserved, DWORD* lpType,
                         BYTE* lpData, DWORD* lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  return WithOpenKey(hKey, KEY_QUERY_VALUE, false, [&](Registry& r, const Handle& h) -> LSTATUS {
    const RegKey* key = nullptr;
    if (LSTATUS st = KeyToRead(r, h, ERROR_FILE_NOT_FOUND, &key)) return st;
    std::string name;
    if (!ValueName(lpValueName, &name)) return ERROR_FILE_NOT_FOUND;
    const RegValue* value = key->FindValue(name);
    if (!value) return ERROR_FILE_NOT_FOUND;
    return CopyData(*value, lpType, lpData, lpcbData);
  });
}

LSTATUS RegSetValueExA(HKEY hKey, const char* lpValueName, DWORD /*Reserved*/, DWORD dwType,
                       const BYTE* lpData, DWORD cbData) {
  if (!lpData && cbData) return ERROR_INVALID_PARAMETER;
  std::string name;
  if (!ValueName(lpValueName, &name)) return ERROR_INVALID_PARAMETER;
  if (name.find_first_of("\r\n") != std::string::npos) return ERROR_INVALID_PARAMETER;
  return WithOpenKey(hKey, KEY_SET_VALUE, true, [&](Registry& r, const Handle& h) -> LSTATUS {
    Place target = r.WriteTarget(h, h.path);
    const std::string data = reg::DataToUtf8(
        dwType, std::string_view(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0));
    return target.hive->Modify([&](RegKey& root, bool& changed) -> LSTATUS {
      RegKey* key = root.Find(target.path);
      if (!key) {
        if (!h.path.empty()) return ERROR_KEY_DELETED;
        key = &root;  // the classes view's root: its folder key may not
                      // exist yet
        for (const std::string& step : target.path) key = &key->SubkeyOrAdd(step);
      }
      bool existed = key->FindValue(name) != nullptr;
      RegValue& value = key->ValueOrAdd(name);
      changed = !existed || value.nType != dwType || value.data != data;
      value.nType = dwType;
      value.data = data;
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegDeleteValueA(HKEY hKey, const char* lpValueName) {
  std::string name;
  if (!ValueName(lpValueName, &name)) return ERROR_FILE_NOT_FOUND;
  return WithOpenKey(hKey, KEY_SET_VALUE, false, [&](Registry& r, const Handle& h) -> LSTATUS {
    std::optional<Place> place = r.Existing(h, h.path);
    if (!place) return h.path.empty() ? ERROR_FILE_NOT_FOUND : ERROR_KEY_DELETED;
    return place->hive->Modify([&](RegKey& root, bool& changed) -> LSTATUS {
      RegKey* key = root.Find(place->path);
      if (!key) return ERROR_KEY_DELETED;
      if (!key->RemoveValue(name)) return ERROR_FILE_NOT_FOUND;
      changed = true;
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegDeleteTreeA(HKEY hKey, const char* lpSubKey) {
  std::vector<std::string> sub;
  if (LSTATUS st = ParseSubKey(lpSubKey, &sub)) return st;
  REGSAM needed = DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE;
  if (sub.empty()) needed |= KEY_SET_VALUE;
  return WithOpenKey(hKey, needed, true, [&](Registry& r, const Handle& h) -> LSTATUS {
    const std::vector<std::string> full = Join(h.path, sub);
    bool found = false;
    for (Place& place : r.Places(h, full)) {
      if (!place.hive->Current().Find(place.path)) continue;
      found = true;
      LSTATUS st = place.hive->Modify([&](RegKey& root, bool& changed) -> LSTATUS {
        if (sub.empty()) {
          RegKey* key = root.Find(place.path);
          if (!key) return ERROR_SUCCESS;
          changed = !key->values.empty() || !key->subkeys.empty();
          key->values.clear();
          key->subkeys.clear();
          return ERROR_SUCCESS;
        }
        changed = RemoveKey(root, place.path);
        return ERROR_SUCCESS;
      });
      if (st != ERROR_SUCCESS) return st;
    }
    if (!found) return sub.empty() ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    return ERROR_SUCCESS;
  });
}

LSTATUS RegDeleteKeyA(HKEY hKey, const char* lpSubKey) {
  std::vector<std::string> sub;
  if (LSTATUS st = ParseSubKey(lpSubKey, &sub)) return st;
  if (sub.empty()) return ERROR_INVALID_PARAMETER;
  return WithOpenKey(hKey, 0, true, [&](Registry& r, const Handle& h) -> LSTATUS {
    Handle child = h;
    child.path = Join(h.path, sub);
    std::optional<Place> place = r.Existing(child, child.path);
    if (!place) return ERROR_FILE_NOT_FOUND;
    return place->hive->Modify([&](RegKey& root, bool& changed) -> LSTATUS {
      RegKey* key = root.Find(place->path);
      if (!key) return ERROR_FILE_NOT_FOUND;
      if (!key->subkeys.empty()) return ERROR_ACCESS_DENIED;
      changed = RemoveKey(root, place->path);
      return ERROR_SUCCESS;
    });
  });
}

LSTATUS RegEnumKeyExA(HKEY hKey, DWORD dwIndex, char* lpName, DWORD* lpcchName, DWORD* lpReserved,
                      char* /*lpClass*/, DWORD* lpcchClass, void* /*lpftLastWriteTime*/) {
  if (lpReserved) return ERROR_INVALID_PARAMETER;
  return WithOpenKey(
      hKey, KEY_ENUMERATE_SUB_KEYS, true, [&](Registry& r, const Handle& h) -> LSTATUS {
        std::vector<std::string> names;  // the classes view: the user's first, then the machine's
        for (Place& place : r.Places(h, h.path)) {
          const RegKey* key = place.hive->Current().Find(place.path);
          if (!key) continue;
          for (const RegKey& sub : key->subkeys) {
            bool seen = false;
            for (const std::string& n : names) seen = seen || reg::RegNamesEqual(n, sub.strName);
            if (!seen) names.push_back(sub.strName);
          }
        }
        if (dwIndex >= names.size()) return ERROR_NO_MORE_ITEMS;
        if (lpcchClass) *lpcchClass = 0;
        return CopyName(names[dwIndex], lpName, lpcchName);
      });
}

LSTATUS RegEnumValueA(HKEY hKey, DWORD dwIndex, char* lpValueName, DWORD* lpcchValueName,
                      DWORD* lpReserved, DWORD* lpType, BYTE* lpData, DWORD* lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  return WithOpenKey(hKey, KEY_QUERY_VALUE, false, [&](Registry& r, const Handle& h) -> LSTATUS {
    const RegKey* key = nullptr;
    if (LSTATUS st = KeyToRead(r, h, ERROR_NO_MORE_ITEMS, &key)) return st;
    if (dwIndex >= key->values.size()) return ERROR_NO_MORE_ITEMS;
    const RegValue& value = key->values[dwIndex];
    if (LSTATUS st = CopyName(value.strName, lpValueName, lpcchValueName)) return st;
    return CopyData(value, lpType, lpData, lpcbData);
  });
}

LSTATUS RegCloseKey(HKEY hKey) {
  auto value = reinterpret_cast<std::uintptr_t>(hKey);
  if (value >= 0x80000000u && value <= 0x80000002u) return ERROR_SUCCESS;
  Registry& r = TheRegistry();
  std::lock_guard<std::mutex> guard(r.mutex);
  return r.Remove(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // namespace trovex

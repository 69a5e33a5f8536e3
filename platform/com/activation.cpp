#include "platform/com/activation.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "platform/registry/registry.h"
#include "platform/text/unicode.h"
#include "res/strings.h"

namespace trovex {

const IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace {

struct LoadedModule {
  void* handle = nullptr;
  PFN_DllGetClassObject getClassObject = nullptr;
  PFN_DllCanUnloadNow canUnloadNow = nullptr;
};

// Recursive: a module's DllGetClassObject may itself activate another class.
std::recursive_mutex g_mutex;
std::map<std::string, LoadedModule> g_modules;
thread_local std::string t_lastError;

HRESULT Fail(HRESULT hr, std::string why) {
  t_lastError = std::move(why);
  return hr;
}

// Both lookups that miss the class's key say the same.
std::string ClassNotRegistered(REFCLSID clsid) {
  return FormatResStringUtf8(IDS_TROVEX_COM_CLASS_NOT_REGISTERED, GuidToString(clsid).c_str());
}

// The default value of a key of the classes view; false when key or value is missing.
bool ReadClassesDefault(const std::string& subKey, std::string* value) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, subKey.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
    return false;
  DWORD type = 0, size = 0;
  bool ok = RegQueryValueExA(key, nullptr, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
            (type == REG_SZ || type == REG_EXPAND_SZ);
  std::string data(size, '\0');
  if (ok && size > 0)
    ok = RegQueryValueExA(key, nullptr, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) ==
         ERROR_SUCCESS;
  RegCloseKey(key);
  if (!ok) return false;
  data.resize(std::strlen(data.c_str()));
  *value = data;
  return true;
}

// Loads the library once; g_mutex is held.
HRESULT LoadModule(const std::string& path, LoadedModule** out) {
  if (auto it = g_modules.find(path); it != g_modules.end()) {
    *out = &it->second;
    return S_OK;
  }
  struct stat st{};
  // A relative name would be searched along the loader's path: only registered files count.
  if (path.empty() || path[0] != '/' || ::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return Fail(CO_E_DLLNOTFOUND, FormatResStringUtf8(IDS_TROVEX_COM_MODULE_NOT_FOUND, path.c_str()));
  ::dlerror();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    return Fail(CO_E_DLLNOTFOUND, FormatResStringUtf8(IDS_TROVEX_COM_MODULE_NOT_LOADED, path.c_str(), why ? why : ""));
  }
  LoadedModule m;
  m.handle = handle;
  m.getClassObject = reinterpret_cast<PFN_DllGetClassObject>(::dlsym(handle, "DllGetClassObject"));
  m.canUnloadNow = reinterpret_cast<PFN_DllCanUnloadNow>(::dlsym(handle, "DllCanUnloadNow"));
  if (!m.getClassObject) {
    ::dlclose(handle);
    return Fail(CO_E_ERRORINDLL, FormatResStringUtf8(IDS_TROVEX_COM_NO_CLASS_OBJECT_ENTRY, path.c_str()));
  }
  *out = &g_modules.emplace(path, m).first->second;
  return S_OK;
}

}  // namespace

ServerEntryCall CallServerEntry(const std::string& path, bool unregister) {
  ServerEntryCall call;
  ::dlerror();
  void* handle = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = ::dlerror();
    call.strWhy = why ? why : "";
    return call;
  }
  auto entry = reinterpret_cast<PFN_DllRegisterServer>(
      ::dlsym(handle, unregister ? "DllUnregisterServer" : "DllRegisterServer"));
  if (!entry) {
    call.step = ServerEntryCall::kNoEntryPoint;
  } else {
    call.step = ServerEntryCall::kCalled;
    call.hr = entry();
  }
  ::dlclose(handle);
  return call;
}

void* CoTaskMemAlloc(std::size_t bytes) { return std::malloc(bytes ? bytes : 1); }
void CoTaskMemFree(void* block) { std::free(block); }

HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid) {
  if (!clsid) return E_INVALIDARG;
  *clsid = GUID_NULL;
  if (!progId || !*progId) return E_INVALIDARG;
  std::string name = Utf16ToUtf8(progId);
  std::string text;
  // A "\" would reach into another key.
  if (name.find('\\') != std::string::npos || !ReadClassesDefault(name + "\\CLSID", &text) ||
      !GuidFromString(text, clsid))
    return Fail(CO_E_CLASSSTRING, FormatResStringUtf8(IDS_TROVEX_COM_PROGID_NOT_REGISTERED, name.c_str()));
  t_lastError.clear();
  return S_OK;
}

HRESULT ProgIDFromCLSID(REFCLSID clsid, OLECHAR** progId) {
  if (!progId) return E_INVALIDARG;
  *progId = nullptr;
  std::string key = "CLSID\\" + GuidToString(clsid);
  HKEY h = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &h) != ERROR_SUCCESS)
    return Fail(REGDB_E_CLASSNOTREG, ClassNotRegistered(clsid));
  RegCloseKey(h);
  std::string name;
  if (!ReadClassesDefault(key + "\\ProgID", &name) || name.empty())
    return Fail(REGDB_E_IIDNOTREG, FormatResStringUtf8(IDS_TROVEX_COM_CLASS_WITHOUT_PROGID, GuidToString(clsid).c_str()));
  std::u16string wide = Utf8ToUtf16(name);
  auto* copy = static_cast<OLECHAR*>(CoTaskMemAlloc((wide.size() + 1) * sizeof(OLECHAR)));
  if (!copy) return E_OUTOFMEMORY;
  std::memcpy(copy, wide.c_str(), (wide.size() + 1) * sizeof(OLECHAR));
  *progId = copy;
  t_lastError.clear();
  return S_OK;
}

HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* /*reserved*/, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (!(context & CLSCTX_INPROC_SERVER))
    return Fail(REGDB_E_CLASSNOTREG, LoadResStringUtf8(IDS_TROVEX_COM_INPROC_ONLY));
  std::string path;
  if (!ReadClassesDefault("CLSID\\" + GuidToString(clsid) + "\\InprocServer32", &path) || path.empty())
    return Fail(REGDB_E_CLASSNOTREG, ClassNotRegistered(clsid));
  std::lock_guard lock(g_mutex);
  LoadedModule* module = nullptr;
  if (HRESULT hr = LoadModule(path, &module); FAILED(hr)) return hr;
  HRESULT hr = module->getClassObject(clsid, riid, ppv);
  if (FAILED(hr)) {
    *ppv = nullptr;
    return Fail(hr, FormatResStringUtf8(IDS_TROVEX_COM_CLASS_NOT_IN_MODULE, path.c_str(),
                                        GuidToString(clsid).c_str(), HResultText(hr).c_str()));
  }
  t_lastError.clear();
  return hr;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  ComPtr<IClassFactory> factory;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory, factory.AsVoidOut());
  if (FAILED(hr)) return hr;
  if (!factory) return Fail(E_UNEXPECTED, LoadResStringUtf8(IDS_TROVEX_COM_NULL_CLASS_FACTORY));
  hr = factory->CreateInstance(outer, riid, ppv);
  if (FAILED(hr)) {
    *ppv = nullptr;
    return Fail(hr, FormatResStringUtf8(IDS_TROVEX_COM_CREATE_FAILED, GuidToString(clsid).c_str(),
                                        HResultText(hr).c_str()));
  }
  return hr;
}

void CoFreeUnusedLibraries() {
  std::lock_guard lock(g_mutex);
  for (auto it = g_modules.begin(); it != g_modules.end();) {
    // A module without DllCanUnloadNow can never say it is unused.
    if (it->second.canUnloadNow && it->second.canUnloadNow() == S_OK) {
      ::dlclose(it->second.handle);
      it = g_modules.erase(it);
    } else {
      ++it;
    }
  }
}

std::vector<std::string> CoLoadedLibraries() {
  std::lock_guard lock(g_mutex);
  std::vector<std::string> paths;
  for (const auto& entry : g_modules) paths.push_back(entry.first);
  return paths;
}

std::string CoLastActivationError() { return t_lastError; }

}  // namespace trovex

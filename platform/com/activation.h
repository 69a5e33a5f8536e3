// In-process COM activation over the registry's classes view: ProgID <-> CLSID lookup, class
// objects from a module's DllGetClassObject, and unloading of modules that say they may go.
//
//   HKEY_CLASSES_ROOT\<ProgID>\CLSID                    (default) = "{CLSID}"
//   HKEY_CLASSES_ROOT\CLSID\{CLSID}\ProgID              (default) = ProgID
//   HKEY_CLASSES_ROOT\CLSID\{CLSID}\InprocServer32      (default) = shared library path
//
// A module is loaded once per process (dlopen, RTLD_LOCAL) and stays until
// CoFreeUnusedLibraries finds its DllCanUnloadNow answering S_OK. All functions are
// thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/com/com.h"

namespace trovex {

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};
extern const IID IID_IClassFactory;  // {00000001-0000-0000-C000-000000000046}

// The four entry points of an in-process server, with C linkage in the module.
using PFN_DllGetClassObject = HRESULT (*)(REFCLSID clsid, REFIID riid, void** ppv);
using PFN_DllCanUnloadNow = HRESULT (*)();
using PFN_DllRegisterServer = HRESULT (*)();
using PFN_DllUnregisterServer = HRESULT (*)();

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;

constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8u);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9u);
constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150u);
constexpr HRESULT REGDB_E_WRITEREGDB = static_cast<HRESULT>(0x80040151u);
constexpr HRESULT REGDB_E_IIDNOTREG = static_cast<HRESULT>(0x80040155u);
constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201u);

// Memory that crosses the COM boundary (ProgIDFromCLSID's string).
void* CoTaskMemAlloc(std::size_t bytes);
void CoTaskMemFree(void* block);  // null is fine

// The CLSID a ProgID names; CO_E_CLASSSTRING when the ProgID is not registered or its CLSID
// text is malformed, E_INVALIDARG for a null or empty ProgID.
HRESULT CLSIDFromProgID(const OLECHAR* progId, CLSID* clsid);
// The ProgID registered for a CLSID, in memory the caller frees with CoTaskMemFree;
// REGDB_E_CLASSNOTREG when the class has no key, REGDB_E_IIDNOTREG when it has no ProgID.
HRESULT ProgIDFromCLSID(REFCLSID clsid, OLECHAR** progId);

// The class object of an in-process class: REGDB_E_CLASSNOTREG when the class or its
// InprocServer32 is not registered (or only other contexts are asked for), CO_E_DLLNOTFOUND
// when the library cannot be loaded, CO_E_ERRORINDLL when it lacks DllGetClassObject; otherwise
// what DllGetClassObject answers.
HRESULT CoGetClassObject(REFCLSID clsid, DWORD context, void* reserved, REFIID riid, void** ppv);
// CoGetClassObject for IClassFactory, then CreateInstance. *ppv is null after any failure.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid, void** ppv);
// Unloads every module loaded by activation whose DllCanUnloadNow answers S_OK.
void CoFreeUnusedLibraries();

// One call of a module's DllRegisterServer or DllUnregisterServer, as trovex-regsvr and the
// native host's --register make it: the module is loaded on its own (not kept by activation)
// and unloaded after the call.
struct ServerEntryCall {
  enum Step { kCalled, kNotLoaded, kNoEntryPoint } step = kNotLoaded;
  HRESULT hr = E_FAIL;       // the entry point's answer, when it was called
  std::string strWhy;        // the loader's words when the module could not be loaded
};
ServerEntryCall CallServerEntry(const std::string& path, bool unregister);

// The library paths activation holds loaded, for diagnostics and tests.
std::vector<std::string> CoLoadedLibraries();
// What the last failed activation on this thread met, in words (the library path and the
// loader's own message); empty after a success.
std::string CoLastActivationError();

}  // namespace trovex

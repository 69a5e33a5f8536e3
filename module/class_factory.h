// The class factories of the module: one static object per served class, found by CLSID.
#pragma once

#include <string>
#include <vector>

#include "platform/com/activation.h"
#include "platform/com/ref_count.h"

namespace trovex {

// Factories are static: references are only counted (DllCanUnloadNow asks), never delete.
class CClassFactory final
    : public ComSingleObject<IClassFactory, IID_IClassFactory, ComStaticObject> {
 public:
  // Makes a new object and queries it for riid; the object holds the application lock
  // (AfxOleLockApp) for as long as it lives.
  using Creator = HRESULT (*)(REFIID riid, void** ppv);

  // Factories are static objects of the module; each adds itself to the module's list.
  CClassFactory(const CLSID& clsid, std::string strProgID, Creator create);
  ~CClassFactory();
  CClassFactory(const CClassFactory&) = delete;
  CClassFactory& operator=(const CClassFactory&) = delete;

  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override;
  HRESULT LockServer(BOOL lock) override;

  const CLSID& GetClassID() const { return clsid_; }
  const std::string& GetProgID() const { return strProgID_; }
  // References handed out and not yet released.
  ULONG GetOutsideReferences() const { return References(); }

  static CClassFactory* Find(REFCLSID clsid);
  static std::vector<CClassFactory*> All();

 private:
  CLSID clsid_;
  std::string strProgID_;
  Creator create_;
};

// S_OK when no object of the module is alive, no LockServer lock is held and no factory is
// referenced from outside; S_FALSE otherwise.
HRESULT ModuleCanUnloadNow();

}  // namespace trovex

#include "module/class_factory.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include "module/module.h"

namespace trovex {
namespace {

std::mutex& ListMutex() {
  static std::mutex m;
  return m;
}
// Function-local, so factories built by other files' static initialisers find it ready.
std::vector<CClassFactory*>& List() {
  static std::vector<CClassFactory*> list;
  return list;
}

}  // namespace

CClassFactory::CClassFactory(const CLSID& clsid, std::string strProgID, Creator create)
    : clsid_(clsid), strProgID_(std::move(strProgID)), create_(create) {
  std::lock_guard lock(ListMutex());
  List().push_back(this);
}

CClassFactory::~CClassFactory() {
  std::lock_guard lock(ListMutex());
  auto& list = List();
  list.erase(std::remove(list.begin(), list.end(), this), list.end());
}

HRESULT CClassFactory::CreateInstance(IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (!create_) return E_UNEXPECTED;
  HRESULT hr = create_(riid, ppv);
  if (FAILED(hr)) *ppv = nullptr;
  return hr;
}

HRESULT CClassFactory::LockServer(BOOL lock) {
  if (lock) {
    AfxOleLockApp();
  } else if (AfxOleLockCount() > 0) {
    AfxOleUnlockApp();
  } else {
    return E_UNEXPECTED;
  }
  return S_OK;
}

CClassFactory* CClassFactory::Find(REFCLSID clsid) {
  std::lock_guard lock(ListMutex());
  for (CClassFactory* f : List())
    if (f->clsid_ == clsid) return f;
  return nullptr;
}

std::vector<CClassFactory*> CClassFactory::All() {
  std::lock_guard lock(ListMutex());
  return List();
}

HRESULT ModuleCanUnloadNow() {
  if (AfxOleLockCount() > 0) return S_FALSE;
  for (CClassFactory* f : CClassFactory::All())
    if (f->GetOutsideReferences() > 0) return S_FALSE;
  return S_OK;
}

}  // namespace trovex

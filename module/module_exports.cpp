// The module's four entry points, the only symbols it exports (see module.map). Each first
// makes sure the application object has started.
#include "module/app.h"
#include "module/class_factory.h"
#include "module/internet_explorer.h"
#include "module/registration.h"

namespace trovex {
namespace {

HRESULT CreateInternetExplorer(REFIID riid, void** ppv) {
  CInternetExplorer* object = CInternetExplorer::Create(&AfxGetModuleApp().GetPlayer());
  if (!object) return E_OUTOFMEMORY;
  HRESULT hr = object->QueryInterface(riid, ppv);
  object->Release();  // the caller's reference, when the query succeeded, keeps it alive
  return hr;
}

CClassFactory g_internetExplorerFactory(CLSID_InternetExplorer, kInternetExplorerProgID,
                                        &CreateInternetExplorer);

}  // namespace
}  // namespace trovex

using namespace trovex;

extern "C" {

__attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid, REFIID riid, void** ppv) {
  AfxGetModuleApp();
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  CClassFactory* factory = CClassFactory::Find(clsid);
  if (!factory) return CLASS_E_CLASSNOTAVAILABLE;
  return factory->QueryInterface(riid, ppv);
}

__attribute__((visibility("default"))) HRESULT DllCanUnloadNow() {
  AfxGetModuleApp();
  if (CInternetExplorer::ObjectCount() > 0) return S_FALSE;
  return ModuleCanUnloadNow();
}

__attribute__((visibility("default"))) HRESULT DllRegisterServer() {
  AfxGetModuleApp();
  BOOL bClasses = TRUE;
  for (CClassFactory* factory : CClassFactory::All())
    if (!RegisterFactoryClass(*factory)) bClasses = FALSE;
  BOOL bBrowser = UpdateBrowserRegistration(TRUE);
  if (bClasses && bBrowser) return S_OK;
  // Half a registration is taken back: a browser button or menu item whose class cannot be
  // created only fails later, where the user cannot tell why. The failure is reported, so the
  // tool does not claim success.
  for (CClassFactory* factory : CClassFactory::All()) RemoveFactoryClass(*factory);
  UpdateBrowserRegistration(FALSE);
  return SELFREG_E_CLASS;
}

__attribute__((visibility("default"))) HRESULT DllUnregisterServer() {
  AfxGetModuleApp();
  for (CClassFactory* factory : CClassFactory::All()) {
    HRESULT hr = UnregisterFactoryClass(factory->GetClassID());
    if (FAILED(hr)) return hr;
  }
  return UpdateBrowserRegistration(FALSE) ? S_OK : SELFREG_E_CLASS;
}

}  // extern "C"

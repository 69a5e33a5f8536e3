#include "module/registration.h"

#include <initializer_list>
#include <utility>

#include "module/class_factory.h"
#include "module/module.h"
#include "platform/text/res_text.h"
#include "platform/text/unicode.h"
#include "settings/registry_key.h"

namespace trovex {

namespace {

using Values = std::initializer_list<std::pair<const char*, std::string>>;

// Creates the key when missing, then opens it for writing and writes the values in order.
BOOL WriteKey(HKEY hRoot, const std::string& strKey, Values values) {
  CRegistry reg;
  reg.Create(hRoot, strKey);
  if (!reg.Open(hRoot, strKey, KEY_WRITE)) return FALSE;
  BOOL bAll = TRUE;
  for (const auto& [name, data] : values)
    if (!reg.WriteString(name, data)) bAll = FALSE;
  return bAll;
}

BOOL DeleteTree(HKEY hRoot, const std::string& strKey) {
  LSTATUS st = RegDeleteTreeA(hRoot, strKey.c_str());
  return st == ERROR_SUCCESS || st == ERROR_FILE_NOT_FOUND;
}

}  // namespace

std::string BrowserExtensionKeyPath() {
  return std::string(kExtensionsKey) + "\\" + GuidToString(CLSID_InternetExplorer);
}

std::string BrowserMenuExtKeyPath() {
  return std::string(kMenuExtKey) + "\\" + LoadResString(IDS_APP_TITLE);
}

BOOL UpdateBrowserRegistration(BOOL bRegister) {
  const std::string strTitle = LoadResString(IDS_APP_TITLE);
  const std::string strExtension = BrowserExtensionKeyPath();
  const std::string strMenuExt = BrowserMenuExtKeyPath();
  // Paths stay whole: cutting a long Linux path would register a file that is not there.
  const std::string& strModule = GetModuleFilePath();
  const std::string strScript = GetModuleDirectory() + "/" + kScriptPageName;

  if (!bRegister) {
    BOOL bExtension = DeleteTree(HKEY_LOCAL_MACHINE, strExtension);
    BOOL bMenu = DeleteTree(HKEY_CURRENT_USER, strMenuExt);
    return bExtension && bMenu;
  }
  BOOL bExtension = WriteKey(HKEY_LOCAL_MACHINE, strExtension,
                             {{"ButtonText", strTitle},
                              {"CLSID", kScriptButtonHandlerCLSID},
                              {"Default Visible", "Yes"},
                              {"Icon", strModule + ",128"},
                              {"HotIcon", strModule + ",129"},
                              {"MenuStatusBar", strTitle},
                              {"MenuText", strTitle},
                              {"Script", strScript}});
  BOOL bMenu = WriteKey(HKEY_CURRENT_USER, strMenuExt, {{"", strScript}});
  return bExtension && bMenu;
}

BOOL RegisterFactoryClass(const CClassFactory& factory) {
  const std::string& strProgID = factory.GetProgID();
  const std::string strCLSID = GuidToString(factory.GetClassID());
  const std::string strClassKey = "CLSID\\" + strCLSID;
  BOOL bAll = WriteKey(HKEY_CLASSES_ROOT, strProgID, {{"", strProgID}});
  bAll = WriteKey(HKEY_CLASSES_ROOT, strProgID + "\\CLSID", {{"", strCLSID}}) && bAll;
  bAll = WriteKey(HKEY_CLASSES_ROOT, strClassKey, {{"", strProgID}}) && bAll;
  bAll = WriteKey(HKEY_CLASSES_ROOT, strClassKey + "\\ProgID", {{"", strProgID}}) && bAll;
  bAll = WriteKey(HKEY_CLASSES_ROOT, strClassKey + "\\InprocServer32",
                  {{"", GetModuleFilePath()}, {"ThreadingModel", "Apartment"}}) &&
         bAll;
  return bAll;
}

BOOL RemoveFactoryClass(const CClassFactory& factory) {
  const std::string& strProgID = factory.GetProgID();
  BOOL bProgID = strProgID.empty() || strProgID.find('\\') != std::string::npos ||
                 DeleteTree(HKEY_CLASSES_ROOT, strProgID);
  BOOL bClass = DeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(factory.GetClassID()));
  return bProgID && bClass;
}

HRESULT UnregisterFactoryClass(REFCLSID clsid) {
  OLECHAR* pszProgID = nullptr;
  HRESULT hr = ProgIDFromCLSID(clsid, &pszProgID);
  if (FAILED(hr)) return hr;
  std::string strProgID = Utf16ToUtf8(pszProgID);
  CoTaskMemFree(pszProgID);
  // A ProgID holding "\" would reach into other keys of the classes view.
  if (strProgID.empty() || strProgID.find('\\') != std::string::npos) return E_FAIL;
  BOOL bProgID = DeleteTree(HKEY_CLASSES_ROOT, strProgID);
  BOOL bClass = DeleteTree(HKEY_CLASSES_ROOT, "CLSID\\" + GuidToString(clsid));
  return bProgID && bClass ? S_OK : E_FAIL;
}

}  // namespace trovex

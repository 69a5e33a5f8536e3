// What registration writes: the standard keys of the in-process automation class in the
// classes view, and the browser's extension keys (toolbar button, Tools-menu item) and the
// current user's page context-menu key, all of which run the script page beside the module.
#pragma once

#include <string>

#include "module/internet_explorer.h"
#include "platform/com/com.h"

namespace trovex {

class CClassFactory;

// The browser's handler for extension buttons that run a script.
inline constexpr const char* kScriptButtonHandlerCLSID = "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";
inline constexpr const char* kScriptPageName = "InternetExplorer.htm";
inline constexpr const char* kExtensionsKey = "Software\\Microsoft\\Internet Explorer\\Extensions";
inline constexpr const char* kMenuExtKey = "Software\\Microsoft\\Internet Explorer\\MenuExt";

// HKEY_LOCAL_MACHINE key of the extension: kExtensionsKey\{CLSID}.
std::string BrowserExtensionKeyPath();
// HKEY_CURRENT_USER key of the context-menu item: kMenuExtKey\<application title>.
std::string BrowserMenuExtKeyPath();

// Writes (bRegister) or deletes the browser keys. TRUE when every key and value could be
// written or deleted (a key that was already gone counts as deleted).
BOOL UpdateBrowserRegistration(BOOL bRegister);

// The standard keys of the factory's class: ProgID -> CLSID, CLSID -> ProgID and
// InprocServer32 = the module path. TRUE when all were written.
BOOL RegisterFactoryClass(const CClassFactory& factory);
// Removes the factory's class keys by its own names (no lookup): what a registration that
// failed half-way may have written. TRUE when they are gone.
BOOL RemoveFactoryClass(const CClassFactory& factory);
// ProgIDFromCLSID's failure when the class is not registered; otherwise removes the ProgID
// key and the CLSID key with everything below them: S_OK, or E_FAIL when that failed.
HRESULT UnregisterFactoryClass(REFCLSID clsid);

}  // namespace trovex

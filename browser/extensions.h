// The browser extensions registered for this user: toolbar buttons and Tools-menu items that
// run a script page (machine's Extensions keys), and page context-menu items (the user's
// MenuExt keys). Also the icons such an extension names as "FILE,ID", read from the image
// resources inside the module file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trovex::browser {

// The handler class of extension buttons that run a script page.
inline constexpr const char* kRunScriptHandler = "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}";

struct ScriptExtension {
  std::string strKey;  // the extension's key name (its CLSID)
  std::string strButtonText;
  std::string strIcon;     // "FILE,ID"
  std::string strHotIcon;  // "FILE,ID"
  std::string strMenuText;
  std::string strMenuStatusBar;
  std::string strScript;  // the page to run
  bool bDefaultVisible = false;
};

struct ContextMenuItem {
  std::string strText;    // the key's name
  std::string strScript;  // its default value
};

// Extensions under HKEY_LOCAL_MACHINE\Software\Microsoft\Internet Explorer\Extensions whose
// CLSID is the script handler and that name a script, in key order.
std::vector<ScriptExtension> ReadScriptExtensions();
// Items under HKEY_CURRENT_USER\Software\Microsoft\Internet Explorer\MenuExt with a script.
std::vector<ContextMenuItem> ReadContextMenuItems();

// "FILE,ID" split at the last comma; false when there is no comma or ID is not a number.
bool ParseIconLocation(const std::string& strLocation, std::string* path, int* id);

struct ResourceImage {
  int nId = 0;
  int nWidth = 0;
  int nHeight = 0;
  std::string strPng;
};
// The images with resource id `id` in the module file at `path`; empty with *error set when
// the file is not a module with an image table or holds no such id.
std::vector<ResourceImage> ReadModuleImages(const std::string& path, int id, std::string* error);

}  // namespace trovex::browser

#include "module/app.h"

#include "platform/text/res_text.h"
#include "settings/profile.h"

namespace trovex {

BOOL CSWFOrdavinApp::InitInstance() {
  // The preview hosts its player in a web view, so no control container needs enabling, and
  // the factories are static objects that are listed as they are built.
  AppProfile().SetRegistryKey(kProfileRegistryKey);
  AppProfile().SetProfileName(kProfileName);
  strAppName_ = LoadResString(IDS_APP_TITLE);
  return TRUE;
}

CSWFOrdavinApp& AfxGetModuleApp() {
  static CSWFOrdavinApp theApp;
  static const BOOL initialized = theApp.InitInstance();
  (void)initialized;
  return theApp;
}

}  // namespace trovex

#include "module/app.h"

#include "platform/text/res_text.h"
#include "preview/player_engine.h"
#include "res/strings.h"
#include "settings/profile.h"

namespace trovex {

CSWFOrdavinApp::CSWFOrdavinApp() = default;

// Runs when the process ends, after the toolkit took its windows down: the player's view is
// gone by then, and the player only waits for its fetches.
CSWFOrdavinApp::~CSWFOrdavinApp() = default;

PlayerEngine& CSWFOrdavinApp::GetPlayer() {
  if (!player_) player_ = std::make_unique<PlayerEngine>();
  return *player_;
}

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

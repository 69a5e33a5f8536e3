// The web engine behind every web view of ours (the browser's page, the preview): the calls
// the toolkit does not offer, made on the engine the toolkit loaded. Its functions are looked
// up by name in web_engine.cpp alone, so nothing here needs the engine's headers, and a
// missing function makes its call do nothing (or answer false) instead of failing to start.
#pragma once

#include <functional>
#include <string>
#include <vector>

class wxWebView;

namespace trovex {

// The engine's own view behind a toolkit web view. Opaque: only web_engine.cpp looks inside.
struct WebEngineView;

// Settings made before the process creates its first view.
void PrepareWebEngine();

// The engine's view of `view`; null when the toolkit has none (every call below takes null).
WebEngineView* EngineViewOf(wxWebView* view);

// Languages valid as tags under any locale: a web Flash player refuses to start with the ones
// the engine derives from the C locale.
void SetPreferredLanguages(WebEngineView* view);

// Moves the script-message handler `handler` (the toolkit connected it already) into the
// script world `world` and adds `scripts` there, in every frame from its start. False when the
// engine cannot.
bool UseScriptWorld(WebEngineView* view, const char* handler, const char* world,
                    const std::vector<std::string>& scripts);

// The view keeps its cookies in `path`, a file in the Mozilla text format.
void UseCookieStore(WebEngineView* view, const std::string& path);

// Cuts every link from the engine to `listener` (the toolkit view, whose signal handlers the
// engine's objects may outlive): the handler in both worlds and every handler with it as data.
void DetachFromEngine(WebEngineView* view, const char* handler, const char* world, const void* listener);

// Runs `script` in `world`, not waiting; `done(ok)` runs on the toolkit's thread when the
// engine is finished with it (ok: the script gave a value). False, without calling `done`,
// when the engine cannot run it at all.
bool RunScriptInWorld(WebEngineView* view, const std::string& script, const char* world,
                      std::function<void(bool ok)> done);

// One cookie the view's session holds.
struct EngineCookie {
  std::string strName, strValue, strDomain, strPath;
  bool bSession = false;  // no expiry: the engine keeps it in memory only
  bool bSecure = false;
  bool bHttpOnly = false;
};

// Asks for the cookies the view would send to `url`; `done` gets them on the toolkit's thread
// (none when the engine could not answer). False, without calling `done`, when it cannot ask.
bool RequestCookies(WebEngineView* view, const std::string& url,
                    std::function<void(std::vector<EngineCookie>)> done);

}  // namespace trovex

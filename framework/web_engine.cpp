#include "framework/web_engine.h"

#include <dlfcn.h>
#include <wx/webview.h>

#include <cstdlib>
#include <memory>

namespace trovex {
namespace {

// The engine's objects, as far as the calls below pass them around.
struct ContentManager;
struct UserScript;
struct WebContext;
struct CookieManager;
struct FindController;
struct AsyncResult;
struct ErrorInfo;
struct JavascriptResult;
struct Cookie;
struct DateTime;
struct List {
  void* data;
  List* next;
  List* prev;
};
using AsyncDone = void (*)(void* source, AsyncResult* result, void* data);

// Every engine function we call, looked up once; a missing one stays null.
struct Engine {
  ContentManager* (*getContentManager)(WebEngineView*);
  void (*unregisterHandler)(ContentManager*, const char*);
  void (*unregisterHandlerIn)(ContentManager*, const char*, const char*);
  int (*registerHandlerIn)(ContentManager*, const char*, const char*);
  UserScript* (*newScript)(const char*, int, int, const char*, const char* const*, const char* const*);
  void (*addScript)(ContentManager*, UserScript*);
  void (*unrefScript)(UserScript*);
  WebContext* (*getContext)(WebEngineView*);
  void (*setLanguages)(WebContext*, const char* const*);
  CookieManager* (*getCookieManager)(WebContext*);
  void (*setCookieStorage)(CookieManager*, const char*, int);
  void (*getCookies)(CookieManager*, const char*, void*, AsyncDone, void*);
  List* (*getCookiesFinish)(CookieManager*, AsyncResult*, ErrorInfo**);
  FindController* (*getFindController)(WebEngineView*);
  unsigned (*disconnectMatched)(void*, int, unsigned, unsigned, void*, void*, const void*);
  void (*runInWorld)(WebEngineView*, const char*, const char*, void*, AsyncDone, void*);
  JavascriptResult* (*runInWorldFinish)(WebEngineView*, AsyncResult*, ErrorInfo**);
  void (*unrefResult)(JavascriptResult*);
  void (*freeError)(ErrorInfo*);
  const char* (*cookieName)(Cookie*);
  const char* (*cookieValue)(Cookie*);
  const char* (*cookieDomain)(Cookie*);
  const char* (*cookiePath)(Cookie*);
  DateTime* (*cookieExpires)(Cookie*);
  int (*cookieSecure)(Cookie*);
  int (*cookieHttpOnly)(Cookie*);
  void (*freeCookie)(Cookie*);
  void (*freeList)(List*);
};

template <typename F>
void Find(F& to, const char* name) {
  to = reinterpret_cast<F>(dlsym(RTLD_DEFAULT, name));
}

const Engine& TheEngine() {
  static const Engine engine = [] {
    Engine e{};
    Find(e.getContentManager, "webkit_web_view_get_user_content_manager");
    Find(e.unregisterHandler, "webkit_user_content_manager_unregister_script_message_handler");
    Find(e.unregisterHandlerIn, "webkit_user_content_manager_unregister_script_message_handler_in_world");
    Find(e.registerHandlerIn, "webkit_user_content_manager_register_script_message_handler_in_world");
    Find(e.newScript, "webkit_user_script_new_for_world");
    Find(e.addScript, "webkit_user_content_manager_add_script");
    Find(e.unrefScript, "webkit_user_script_unref");
    Find(e.getContext, "webkit_web_view_get_context");
    Find(e.setLanguages, "webkit_web_context_set_preferred_languages");
    Find(e.getCookieManager, "webkit_web_context_get_cookie_manager");
    Find(e.setCookieStorage, "webkit_cookie_manager_set_persistent_storage");
    Find(e.getCookies, "webkit_cookie_manager_get_cookies");
    Find(e.getCookiesFinish, "webkit_cookie_manager_get_cookies_finish");
    Find(e.getFindController, "webkit_web_view_get_find_controller");
    Find(e.disconnectMatched, "g_signal_handlers_disconnect_matched");
    Find(e.runInWorld, "webkit_web_view_run_javascript_in_world");
    Find(e.runInWorldFinish, "webkit_web_view_run_javascript_in_world_finish");
    Find(e.unrefResult, "webkit_javascript_result_unref");
    Find(e.freeError, "g_error_free");
    Find(e.cookieName, "soup_cookie_get_name");
    Find(e.cookieValue, "soup_cookie_get_value");
    Find(e.cookieDomain, "soup_cookie_get_domain");
    Find(e.cookiePath, "soup_cookie_get_path");
    Find(e.cookieExpires, "soup_cookie_get_expires");
    Find(e.cookieSecure, "soup_cookie_get_secure");
    Find(e.cookieHttpOnly, "soup_cookie_get_http_only");
    Find(e.freeCookie, "soup_cookie_free");
    Find(e.freeList, "g_list_free");
    return e;
  }();
  return engine;
}

CookieManager* CookieManagerOf(WebEngineView* view) {
  const Engine& e = TheEngine();
  WebContext* context = view && e.getContext ? e.getContext(view) : nullptr;
  return context && e.getCookieManager ? e.getCookieManager(context) : nullptr;
}

void FreeError(ErrorInfo* error) {
  if (error && TheEngine().freeError) TheEngine().freeError(error);
}

}  // namespace

// The engine's GPU-buffer renderer leaves the parts of a view that another window uncovered
// unpainted (flat grey) when the X server has no GPU buffers to share, as under Xvfb or a
// plain X session; its shared-memory path repaints them. A user's own setting wins.
void PrepareWebEngine() { setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0); }

WebEngineView* EngineViewOf(wxWebView* view) {
  return view ? static_cast<WebEngineView*>(view->GetNativeBackend()) : nullptr;
}

void SetPreferredLanguages(WebEngineView* view) {
  const Engine& e = TheEngine();
  if (!view || !e.getContext || !e.setLanguages) return;
  static const char* const kLanguages[] = {"zh-TW", "en-US", nullptr};
  if (WebContext* context = e.getContext(view)) e.setLanguages(context, kLanguages);
}

bool UseScriptWorld(WebEngineView* view, const char* handler, const char* world,
                    const std::vector<std::string>& scripts) {
  const Engine& e = TheEngine();
  ContentManager* manager = view && e.getContentManager ? e.getContentManager(view) : nullptr;
  if (!manager || !e.unregisterHandler || !e.registerHandlerIn || !e.newScript || !e.addScript || !e.unrefScript)
    return false;
  e.unregisterHandler(manager, handler);
  if (!e.registerHandlerIn(manager, handler, world)) return false;
  constexpr int kAllFrames = 0, kAtStart = 0;
  for (const std::string& source : scripts) {
    UserScript* script = e.newScript(source.c_str(), kAllFrames, kAtStart, world, nullptr, nullptr);
    if (!script) return false;
    e.addScript(manager, script);
    e.unrefScript(script);
  }
  return true;
}

void UseCookieStore(WebEngineView* view, const std::string& path) {
  constexpr int kTextStorage = 0;  // WEBKIT_COOKIE_PERSISTENT_STORAGE_TEXT
  if (CookieManager* manager = CookieManagerOf(view))
    if (TheEngine().setCookieStorage) TheEngine().setCookieStorage(manager, path.c_str(), kTextStorage);
}

void DetachFromEngine(WebEngineView* view, const char* handler, const char* world, const void* listener) {
  const Engine& e = TheEngine();
  if (!view || !e.disconnectMatched) return;
  constexpr int kMatchData = 1 << 4;  // G_SIGNAL_MATCH_DATA
  if (e.getContentManager)
    if (ContentManager* manager = e.getContentManager(view)) {
      if (e.unregisterHandler) e.unregisterHandler(manager, handler);
      if (e.unregisterHandlerIn) e.unregisterHandlerIn(manager, handler, world);
      e.disconnectMatched(manager, kMatchData, 0, 0, nullptr, nullptr, listener);
    }
  if (e.getFindController)
    if (FindController* finder = e.getFindController(view))
      e.disconnectMatched(finder, kMatchData, 0, 0, nullptr, nullptr, listener);
}

bool RunScriptInWorld(WebEngineView* view, const std::string& script, const char* world,
                      std::function<void(bool ok)> done) {
  const Engine& e = TheEngine();
  if (!view || !e.runInWorld) return false;
  using Done = std::function<void(bool)>;
  e.runInWorld(view, script.c_str(), world, nullptr,
               [](void* source, AsyncResult* result, void* data) {
                 std::unique_ptr<Done> then(static_cast<Done*>(data));
                 const Engine& e = TheEngine();
                 ErrorInfo* error = nullptr;
                 JavascriptResult* value =
                     e.runInWorldFinish ? e.runInWorldFinish(static_cast<WebEngineView*>(source), result, &error) : nullptr;
                 if (value && e.unrefResult) e.unrefResult(value);
                 FreeError(error);
                 (*then)(value != nullptr);
               },
               new Done(std::move(done)));
  return true;
}

bool RequestCookies(WebEngineView* view, const std::string& url,
                    std::function<void(std::vector<EngineCookie>)> done) {
  const Engine& e = TheEngine();
  CookieManager* manager = CookieManagerOf(view);
  if (!manager || !e.getCookies) return false;
  using Done = std::function<void(std::vector<EngineCookie>)>;
  e.getCookies(manager, url.c_str(), nullptr,
               [](void* source, AsyncResult* result, void* data) {
                 std::unique_ptr<Done> then(static_cast<Done*>(data));
                 const Engine& e = TheEngine();
                 std::vector<EngineCookie> cookies;
                 ErrorInfo* error = nullptr;
                 List* list = e.getCookiesFinish
                                  ? e.getCookiesFinish(static_cast<CookieManager*>(source), result, &error)
                                  : nullptr;
                 FreeError(error);
                 const bool readable = e.cookieName && e.cookieValue && e.cookieDomain && e.cookiePath &&
                                       e.cookieExpires && e.cookieSecure && e.cookieHttpOnly;
                 for (List* item = list; item; item = item->next) {
                   auto* cookie = static_cast<Cookie*>(item->data);
                   if (readable && e.cookieName(cookie) && e.cookieValue(cookie) && e.cookieDomain(cookie) &&
                       e.cookiePath(cookie))
                     cookies.push_back({e.cookieName(cookie), e.cookieValue(cookie), e.cookieDomain(cookie),
                                        e.cookiePath(cookie), !e.cookieExpires(cookie), e.cookieSecure(cookie) != 0,
                                        e.cookieHttpOnly(cookie) != 0});
                   if (e.freeCookie) e.freeCookie(cookie);
                 }
                 if (e.freeList) e.freeList(list);
                 (*then)(std::move(cookies));
               },
               new Done(std::move(done)));
  return true;
}

}  // namespace trovex

// The browser window's frame, private to the window: its construction, loading and live tasks
// (window.cpp), its menus, toolbar and extension runs (window_chrome.cpp), and the snapshots of
// the shown page with their cookies (window_snapshot.cpp).
#pragma once

#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/webview.h>

#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "browser/extensions.h"
#include "browser/script_channel.h"
#include "browser/window.h"
#include "browser/window_player.h"
#include "pagemodel/session.h"
#include "platform/com/dom.h"

namespace trovex::browser {

// Nothing of the live page arrives within this; a frame that does not answer is cut sooner.
inline constexpr int kSnapshotWaitMs = 20000;
// Loading the page for --save-dialog or --list --live, frames and load handlers included.
inline constexpr int kLiveLoadWaitMs = 120000;
// After the load: handlers that run on a timer of their own get this long.
inline constexpr int kSettleMs = 300;
// The engine's answer about its session cookies; without it our fetches go without them.
inline constexpr int kCookieWaitMs = 5000;

inline wxString FromUtf8(const std::string& s) { return wxString::FromUTF8(s.data(), s.size()); }
inline std::string ToUtf8(const wxString& s) {
  wxScopedCharBuffer b = s.utf8_str();
  return std::string(b.data(), b.length());
}

class BrowserFrame final : public wxFrame {
 public:
  BrowserFrame(const std::string& address, LiveTask task, int* exitCode);
  // The player's worker ends with the window, not later when the toolkit deletes it; nothing
  // of the engine or of our timers may reach the window once it is going.
  bool Destroy() override;
  ~BrowserFrame() override;

 private:
  enum {
    kIdAddress = wxID_HIGHEST + 1,
    kIdGo,
    kIdFirstExtension = wxID_HIGHEST + 100,   // toolbar buttons and Tools items, by index
    kIdFirstMenuExt = wxID_HIGHEST + 1000,    // context-menu items, by index
  };
  void Detach();
  void BuildMenus();
  void BuildToolbar();
  // The address row: what is shown, and where to go next.
  wxSizer* BuildAddressBar();
  void Navigate(const std::string& input);
  void OnNavigated(wxWebViewEvent&);
  // The blank page the window starts on is no page to go back to (the engine keeps it in its
  // history whatever we ask).
  bool CanGoBack() const;
  void OnLoaded(wxWebViewEvent&);
  // The view does not report every failed load: for --list --live and --save-dialog a first
  // page that is no longer loading but never showed is a failure.
  void WatchLiveLoad();
  // The page and its frames are loaded and their load handlers ran: the player fetches the
  // movies in the background, or the window does its task.
  void AfterLoad();
  void FinishLiveTask(int code, const std::string& error);
  // Asks the shown page's frames for their snapshot; the answer comes as a script message.
  void RequestSnapshot();
  // The toolkit's completion, where the engine's own call is missing.
  void OnScriptResult(wxWebViewEvent& event);
  // The snapshot script could not run at all: no answer will come.
  void SnapshotScriptFailed();
  // The document model of what the view shows now, from its snapshot; null with *error set.
  // The wait runs events: when the window is closed meanwhile, *gone is set and nothing of
  // it may be touched any more.
  ComPtr<IWebBrowser2> TakeSnapshot(std::string* error, bool* gone);
  // Runs events until `done` is set or `ms` passed; false when the window went meanwhile, and
  // then nothing of it may be touched any more.
  bool WaitHere(const bool& done, int ms);
  // The movies' downloads need the page's session cookies in the jar; `then` runs once they
  // are there, if the window is still there.
  void WithSessionCookies(const pagemodel::SessionPtr& session, std::function<void(BrowserFrame*)> then);
  // Keeps the address bar and the page model in step with what the view shows. The view's
  // events do not come for every navigation (links followed inside the page, history), so a
  // timer looks too.
  void FollowView(bool contentChanged);
  void OnTitle(wxWebViewEvent& event);
  void OnError(wxWebViewEvent& event);
  void OnScriptMessage(wxWebViewEvent& event);
  void OnExtension(wxCommandEvent& event);
  void OnMenuExt(wxCommandEvent& event);
  // The document model of what the view shows at this moment.
  bool EnsureModel(bool* gone);
  // The system's message box: its font, icon and Traditional Chinese button.
  void ShowError(const wxString& text);
  static wxString Text(unsigned id, const std::string& arg);
  void Run(const std::string& script, const std::string* contextUrl);
  wxWebView* view_ = nullptr;
  wxTextCtrl* address_ = nullptr;
  std::vector<ScriptExtension> extensions_;
  std::vector<ContextMenuItem> menuItems_;
  wxTimer follow_;
  std::string pendingAddress_;  // the first page, until the blank start is loaded
  std::string shownUrl_;
  ComPtr<IWebBrowser2> model_;
  std::string modelUrl_;
  LiveTask task_;
  int* exitCode_;
  bool liveDone_ = false;
  int idleOnBlank_ = 0;
  wxTimer settle_, giveUp_;
  std::string snapshotJson_;
  bool snapshotArrived_ = false;
  unsigned snapshotRequest_ = 0;
  bool cookiesArrived_ = false;
  wxGUIEventLoop* snapshotLoop_ = nullptr;
  WindowPlayer player_;
  std::string contextUrl_;
  std::map<int, std::pair<wxBitmap, wxBitmap>> icons_;  // tool id -> normal, hot
  bool running_ = false;
  bool detached_ = false;
  const std::string secret_ = NewSecret();
  bool worldReady_ = false;
};

}  // namespace trovex::browser

#include "browser/command_line.h"
#include "res/strings.h"
#include "browser/browser_frame.h"


#include <wx/app.h>
#include <wx/artprov.h>
#include <wx/button.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/log.h>
#include <wx/menu.h>
#include <wx/msgdlg.h>
#include <wx/mstream.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/statusbr.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/toolbar.h>
#include <wx/utils.h>
#include <wx/webview.h>
#include <wx/weakref.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <map>
#include <utility>
#include <vector>

#include "browser/extension_run.h"
#include "browser/extensions.h"
#include "browser/list_output.h"
#include "browser/script_channel.h"
#include "browser/view_cookies.h"
#include "browser/window_player.h"
#include "framework/message_dialog.h"
#include "framework/toolkit_language.h"
#include "framework/web_engine.h"
#include "framework/window_manager.h"
#include "framework/wx_text.h"
#include "pageloader/loader.h"
#include "pageloader/url.h"
#include "pagemodel/collector_script.h"
#include "pagemodel/snapshot.h"
#include "platform/com/activation.h"
#include "platform/com/trovex_object.h"
#include "platform/inet/http_transport.h"
#include "platform/text/res_text.h"
#include "scan/document_walker.h"

namespace trovex::browser {

void BrowserFrame::RequestSnapshot() {
  const std::string script = SnapshotScript(secret_, ++snapshotRequest_, pagemodel::CollectorScript());
  // Not the blocking call: its wait runs events, and the window may be closed within it. Nor
  // the toolkit's asynchronous one: its completion refers to the view even after it is gone.
  // Only in our world: in the page's, the page could change what the collector reads. Only
  // a window still there hears of the completion.
  const bool running = worldReady_ &&
      RunScriptInWorld(EngineViewOf(view_), script, kScriptWorld, [frame = wxWeakRef<BrowserFrame>(this)](bool ok) {
        if (!ok && frame && !frame->detached_) frame->SnapshotScriptFailed();
      });
  if (!running) CallAfter([this] { SnapshotScriptFailed(); });
}

void BrowserFrame::OnScriptResult(wxWebViewEvent& event) {
  if (event.IsError()) SnapshotScriptFailed();
}

void BrowserFrame::SnapshotScriptFailed() {
  snapshotJson_.clear();
  snapshotArrived_ = true;
  if (snapshotLoop_) snapshotLoop_->Exit();
}

ComPtr<IWebBrowser2> BrowserFrame::TakeSnapshot(std::string* error, bool* gone) {
  snapshotArrived_ = false;
  snapshotJson_.clear();
  RequestSnapshot();
  if (!WaitHere(snapshotArrived_, kSnapshotWaitMs)) {
    *gone = true;
    return nullptr;
  }
  if (!snapshotArrived_ || snapshotJson_.empty()) {
    *error = snapshotArrived_ ? LoadResString(IDS_TROVEX_BROWSER_NO_SNAPSHOT)
                              : FormatResString(IDS_TROVEX_BROWSER_SNAPSHOT_LATE, kSnapshotWaitMs / 1000);
    return nullptr;
  }
  std::vector<std::string> cuts;
  pagemodel::SessionPtr session = pagemodel::ReadSnapshot(snapshotJson_, {}, error, &cuts);
  if (!session) return nullptr;
  for (const std::string& cut : cuts) Report(cut);
  // The movies' downloads need the page's session cookies in the jar first.
  cookiesArrived_ = false;
  WithSessionCookies(session, [](BrowserFrame* frame) {
    frame->cookiesArrived_ = true;
    if (frame->snapshotLoop_) frame->snapshotLoop_->Exit();
  });
  if (!WaitHere(cookiesArrived_, kCookieWaitMs)) {
    *gone = true;
    return nullptr;
  }
  player_.Start(session);
  return pagemodel::BrowserOf(session);
}

bool BrowserFrame::WaitHere(const bool& done, int ms) {
  if (done) return true;
  wxWeakRef<wxFrame> alive(this);
  wxGUIEventLoop loop;
  wxTimer timeout;
  timeout.Bind(wxEVT_TIMER, [&loop](wxTimerEvent&) { loop.Exit(); });
  timeout.StartOnce(ms);
  snapshotLoop_ = &loop;
  loop.Run();
  if (!alive || detached_) return false;
  snapshotLoop_ = nullptr;
  return true;
}

void BrowserFrame::WithSessionCookies(const pagemodel::SessionPtr& session, std::function<void(BrowserFrame*)> then) {
  ImportSessionCookies(EngineViewOf(view_), PlayedBy(session),
                       [frame = wxWeakRef<BrowserFrame>(this), then = std::move(then)] {
                         if (frame && !frame->detached_) then(frame.get());
                       });
}

void BrowserFrame::OnScriptMessage(wxWebViewEvent& event) {
  // Only our world can post here, and each message of ours starts with this window's secret;
  // anything else is ignored. Snapshots come tagged with their request's number ("{}" when
  // none could be taken); a menu request carries the frame's address.
  const ScriptMessage message = ReadScriptMessage(ToUtf8(event.GetString()), secret_, snapshotRequest_);
  if (message.kind == ScriptMessage::kSnapshot) {
    snapshotJson_ = message.strText;
    snapshotArrived_ = true;
    if (snapshotLoop_) {
      snapshotLoop_->Exit();
    } else if (!snapshotJson_.empty()) {  // asked for by the player after a load
      if (pagemodel::SessionPtr session = pagemodel::ReadSnapshot(snapshotJson_, {}, nullptr))
        WithSessionCookies(session, [session](BrowserFrame* frame) { frame->player_.Start(session); });
    }
    return;
  }
  if (message.kind != ScriptMessage::kMenu) return;
  contextUrl_ = message.strText;
  wxMenu menu;
  menu.Append(wxID_BACKWARD, ResStringToWx(IDS_TROVEX_BROWSER_PAGE_BACK))->Enable(CanGoBack());
  menu.Append(wxID_FORWARD, ResStringToWx(IDS_TROVEX_BROWSER_PAGE_FORWARD))->Enable(view_->CanGoForward());
  menu.Append(wxID_REFRESH, ResStringToWx(IDS_TROVEX_BROWSER_PAGE_REFRESH));
  if (!menuItems_.empty()) menu.AppendSeparator();
  for (std::size_t i = 0; i < menuItems_.size(); ++i)
    menu.Append(kIdFirstMenuExt + static_cast<int>(i), FromUtf8(menuItems_[i].strText));
  PopupMenu(&menu, ScreenToClient(wxGetMousePosition()));
}

}  // namespace trovex::browser

#include "browser/command_line.h"
#include "res/strings.h"
#include "browser/window.h"

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
namespace {

// Text for an HTML page.
std::string EscapeHtml(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

}  // namespace

BrowserFrame::BrowserFrame(const std::string& address, LiveTask task, int* exitCode)
    : wxFrame(nullptr, wxID_ANY, ResStringToWx(IDS_TROVEX_BROWSER_TITLE), wxDefaultPosition, wxSize(1024, 720)),
      task_(task),
      exitCode_(exitCode) {
  extensions_ = ReadScriptExtensions();
  menuItems_ = ReadContextMenuItems();
  BuildMenus();
  BuildToolbar();
  CreateStatusBar();

  // Blank first: the context-menu script must be in place before the page's frames load. The
  // page itself is asked for once the blank load is over, or that load could still replace it.
  PrepareWebEngine();  // when the window is opened by a host of its own
  view_ = wxWebView::New(this, wxID_ANY, "about:blank");
  auto* sizer = new wxBoxSizer(wxVERTICAL);
  sizer->Add(BuildAddressBar(), 0, wxEXPAND | wxTOP | wxBOTTOM, 3);
  sizer->Add(view_, 1, wxEXPAND);
  SetSizer(sizer);

  // The page's context menu is ours alone (built from the MenuExt keys): the engine's own
  // offers items such as opening a frame in a new window, which this window cannot serve.
  view_->EnableContextMenu(false);
  view_->SetUserAgent(inet::kUserAgent);
  SetPreferredLanguages(EngineViewOf(view_));
  UseCookieJar(EngineViewOf(view_));
  view_->AddScriptMessageHandler(kScriptHandler);
  // The collector in every frame from its start, so cross-origin frames answer their
  // parent's question, and its listeners come before any of the page's.
  worldReady_ = UseScriptWorld(EngineViewOf(view_), kScriptHandler, kScriptWorld,
                               FrameScripts(secret_, pagemodel::CollectorScript()));
  if (!worldReady_) Report(LoadResString(IDS_TROVEX_BROWSER_NO_SCRIPT_WORLD));
  view_->Bind(wxEVT_WEBVIEW_NAVIGATED, &BrowserFrame::OnNavigated, this);
  view_->Bind(wxEVT_WEBVIEW_LOADED, &BrowserFrame::OnLoaded, this);
  view_->Bind(wxEVT_WEBVIEW_TITLE_CHANGED, &BrowserFrame::OnTitle, this);
  view_->Bind(wxEVT_WEBVIEW_SCRIPT_MESSAGE_RECEIVED, &BrowserFrame::OnScriptMessage, this);
  view_->Bind(wxEVT_WEBVIEW_ERROR, &BrowserFrame::OnError, this);
  view_->Bind(wxEVT_WEBVIEW_SCRIPT_RESULT, &BrowserFrame::OnScriptResult, this);
  follow_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
    FollowView(false);
    WatchLiveLoad();
  });
  follow_.Start(250);
  settle_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { AfterLoad(); });
  if (task_ != LiveTask::kNone) {
    giveUp_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) {
      FinishLiveTask(2, FormatResString(IDS_TROVEX_BROWSER_PAGE_NOT_LOADED_IN, kLiveLoadWaitMs / 1000));
    });
    giveUp_.StartOnce(kLiveLoadWaitMs);
  }
  pendingAddress_ = address;
  address_->ChangeValue(FromUtf8(address));
}

bool BrowserFrame::Destroy() {
  Detach();
  return wxFrame::Destroy();
}

BrowserFrame::~BrowserFrame() {
  Detach();
  model_.Reset();
  CoFreeUnusedLibraries();
}

void BrowserFrame::Detach() {
  player_.Stop();
  follow_.Stop();
  settle_.Stop();
  giveUp_.Stop();
  if (view_ && !detached_)
    DetachFromEngine(EngineViewOf(view_), kScriptHandler, kScriptWorld, static_cast<wxWebView*>(view_));
  detached_ = true;
  // No answer comes any more: a snapshot wait ends now, not at its timeout.
  if (snapshotLoop_) snapshotLoop_->Exit();
}

void BrowserFrame::Navigate(const std::string& input) {
  std::string error;
  std::string address = AddressFromUserInput(input, &error);
  if (address.empty()) {
    ShowError(Text(IDS_BROWSER_CANNOT_OPEN_ADDRESS, input));
    return;
  }
  address_->ChangeValue(FromUtf8(address));
  view_->LoadURL(FromUtf8(address));
}

void BrowserFrame::OnNavigated(wxWebViewEvent&) { FollowView(true); }

bool BrowserFrame::CanGoBack() const {
  if (!view_ || !view_->CanGoBack()) return false;
  const auto back = view_->GetBackwardHistory();
  return !back.empty() && back.back()->GetUrl() != "about:blank";
}

void BrowserFrame::OnLoaded(wxWebViewEvent&) {
  ExportViewCookies();
  // A reload shows the same address with new content: the model goes either way.
  FollowView(true);
  if (pendingAddress_.empty() && ToUtf8(view_->GetCurrentURL()) != "about:blank") settle_.StartOnce(kSettleMs);
}

void BrowserFrame::WatchLiveLoad() {
  if (task_ == LiveTask::kNone || liveDone_ || !pendingAddress_.empty() || settle_.IsRunning() || view_->IsBusy())
    return;
  if (ToUtf8(view_->GetCurrentURL()) != "about:blank") {
    settle_.StartOnce(kSettleMs);
    return;
  }
  if (++idleOnBlank_ >= 8)  // two seconds
    FinishLiveTask(2, FormatResString(IDS_TROVEX_BROWSER_PAGE_NOT_LOADED, ToUtf8(address_->GetValue()).c_str()));
}

void BrowserFrame::AfterLoad() {
  if (view_->IsBusy()) {
    settle_.StartOnce(kSettleMs);
    return;
  }
  if (task_ == LiveTask::kNone) {
    RequestSnapshot();  // the answer starts the player
    return;
  }
  if (liveDone_) return;
  liveDone_ = true;
  giveUp_.Stop();
  std::string error;
  bool gone = false;
  ComPtr<IWebBrowser2> page = TakeSnapshot(&error, &gone);
  if (gone) return;
  if (!page) {
    FinishLiveTask(2, error);
    return;
  }
  ComPtr<IHTMLDocument2> document = DocumentOf(page.Get());
  if (task_ == LiveTask::kList) {
    SWFFileList movies;
    ScanDocument(document.Get(), movies);
    FinishLiveTask(WriteMovieList(movies, stdout) ? 0 : 1, "");
    return;
  }
  running_ = true;
  long result = 1;
  GetSWFFileStep step = GetSWFFileStep::kDone;
  std::string failure;
  const HRESULT hr = GetSWFFileByProgId(document.Get(), &result, &step, &failure);
  document.Reset();
  page.Reset();
  CoFreeUnusedLibraries();
  running_ = false;
  if (FAILED(hr)) {
    error = FormatResString(step == GetSWFFileStep::kCreate ? IDS_TROVEX_BROWSER_MODULE_UNAVAILABLE
                                                            : IDS_TROVEX_BROWSER_GETSWFFILE_FAILED,
                            HResultText(hr).c_str(), failure.c_str());
    result = -1;
  }
  FinishLiveTask(result < 0 ? 2 : static_cast<int>(result), error);
}

void BrowserFrame::FinishLiveTask(int code, const std::string& error) {
  if (!error.empty()) Report(error);
  if (exitCode_) *exitCode_ = code;
  liveDone_ = true;
  Close(true);
}

void BrowserFrame::FollowView(bool contentChanged) {
  if (!pendingAddress_.empty()) {
    if (view_->IsBusy()) return;
    std::string first = std::exchange(pendingAddress_, std::string());
    Navigate(first);
    return;
  }
  std::string url = ToUtf8(view_->GetCurrentURL());
  if (url == shownUrl_ && !contentChanged) return;
  shownUrl_ = url;
  if (!address_->HasFocus()) address_->ChangeValue(FromUtf8(url));
  // The model is rebuilt from the address shown when an extension needs it.
  model_.Reset();
  modelUrl_.clear();
}

void BrowserFrame::OnTitle(wxWebViewEvent& event) {
  wxString title = event.GetString();
  const wxString appTitle = ResStringToWx(IDS_TROVEX_BROWSER_TITLE);
  SetTitle(title.empty() ? appTitle : title + " - " + appTitle);
}

void BrowserFrame::OnError(wxWebViewEvent& event) {
  const std::string url = ToUtf8(event.GetURL());
  // A navigation the page's script starts cancels the load; that is no failure.
  const bool failed = event.GetInt() != wxWEBVIEW_NAV_ERR_USER_CANCELLED;
  if (!failed || url.empty() || url == "about:blank") return;
  // The page itself did not load: there is nothing to read for --list --live or --save-dialog.
  if (task_ != LiveTask::kNone && !liveDone_ && pendingAddress_.empty()) {
    FinishLiveTask(2, FormatResString(IDS_TROVEX_BROWSER_CANNOT_LOAD, url.c_str(), ToUtf8(event.GetString()).c_str()));
    return;
  }
  // Our own page in place of the engine's English one; the engine's words stay out.
  const std::string heading = LoadResStringUtf8(IDS_BROWSER_ERROR_TITLE);
  const std::string text = ToUtf8(Text(IDS_BROWSER_ERROR_TEXT, url));
  const std::string html = "<!DOCTYPE html><html lang=\"zh-Hant-TW\"><head><meta charset=\"utf-8\"><title>" +
                           EscapeHtml(heading) + "</title></head><body style=\"font-family:'Noto Sans CJK TC',sans-serif;margin:3em\"><h1>" +
                           EscapeHtml(heading) + "</h1><p>" + EscapeHtml(text) + "</p></body></html>";
  SetStatusText(FromUtf8(text));
  CallAfter([this, html, url] { view_->SetPage(FromUtf8(html), FromUtf8(url)); });
}

namespace {

class BrowserApp final : public wxApp {
 public:
  BrowserApp(std::string address, LiveTask task) : address_(std::move(address)), task_(task) {}
  bool OnInit() override {
    UseTraditionalChineseToolkit();
    wxInitAllImageHandlers();
    (new BrowserFrame(address_, task_, &exitCode_))->Show();
    return true;
  }
  int OnRun() override {
    int code = wxApp::OnRun();
    return task_ == LiveTask::kNone ? code : exitCode_;
  }

 private:
  std::string address_;
  LiveTask task_;
  int exitCode_ = 2;
};

}  // namespace

wxFrame* OpenBrowserWindow(const std::string& address) { return new BrowserFrame(address, LiveTask::kNone, nullptr); }

int RunBrowserWindow(int argc, char** argv, const std::string& address, LiveTask task) {
  PrepareToolkitLanguage();
  PrepareWebEngine();
  wxApp::SetInstance(new BrowserApp(address, task));
  return wxEntry(argc, argv);
}

}  // namespace trovex::browser

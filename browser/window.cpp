#include "browser/window.h"

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

// Nothing of the live page arrives within this; a frame that does not answer is cut sooner.
constexpr int kSnapshotWaitMs = 20000;
// Loading the page for --save-dialog or --list --live, frames and load handlers included.
constexpr int kLiveLoadWaitMs = 120000;
// After the load: handlers that run on a timer of their own get this long.
constexpr int kSettleMs = 300;
// The engine's answer about its session cookies; without it our fetches go without them.
constexpr int kCookieWaitMs = 5000;

wxString FromUtf8(const std::string& s) { return wxString::FromUTF8(s.data(), s.size()); }
std::string ToUtf8(const wxString& s) {
  wxScopedCharBuffer b = s.utf8_str();
  return std::string(b.data(), b.length());
}

// The image of "FILE,ID" nearest to `size`, read from the module's resources.
wxBitmap LoadExtensionIcon(const std::string& location, int size) {
  std::string path;
  int id = 0;
  if (!ParseIconLocation(location, &path, &id)) return wxBitmap();
  std::string error;
  std::vector<ResourceImage> images = ReadModuleImages(path, id, &error);
  const ResourceImage* best = nullptr;
  for (const ResourceImage& image : images)
    if (!best || std::abs(image.nWidth - size) < std::abs(best->nWidth - size)) best = &image;
  if (!best) return wxBitmap();
  if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
  wxLogNull quiet;  // a damaged image means no icon, not a message box
  wxMemoryInputStream stream(best->strPng.data(), best->strPng.size());
  wxImage image(stream, wxBITMAP_TYPE_PNG);
  if (!image.IsOk()) return wxBitmap();
  if (image.GetWidth() != size) image.Rescale(size, size, wxIMAGE_QUALITY_HIGH);
  return wxBitmap(image);
}

class BrowserFrame final : public wxFrame {
 public:
  BrowserFrame(const std::string& address, LiveTask task, int* exitCode)
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
    if (!worldReady_) std::fprintf(stderr, "trovex-browser: the web engine has no isolated script world; pages cannot be read\n");
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
        FinishLiveTask(2, "the page did not finish loading within " + std::to_string(kLiveLoadWaitMs / 1000) + " s");
      });
      giveUp_.StartOnce(kLiveLoadWaitMs);
    }
    pendingAddress_ = address;
    address_->ChangeValue(FromUtf8(address));
  }

  // The player's worker ends with the window, not later when the toolkit deletes it; nothing
  // of the engine or of our timers may reach the window once it is going.
  bool Destroy() override {
    Detach();
    return wxFrame::Destroy();
  }

  ~BrowserFrame() override {
    Detach();
    model_.Reset();
    CoFreeUnusedLibraries();
  }

 private:
  enum {
    kIdAddress = wxID_HIGHEST + 1,
    kIdGo,
    kIdFirstExtension = wxID_HIGHEST + 100,   // toolbar buttons and Tools items, by index
    kIdFirstMenuExt = wxID_HIGHEST + 1000,    // context-menu items, by index
  };

  void Detach() {
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

  void BuildMenus() {
    auto* file = new wxMenu;
    file->Append(wxID_CLOSE, ResStringToWx(IDS_TROVEX_BROWSER_MENU_CLOSE));
    auto* view = new wxMenu;
    view->Append(wxID_BACKWARD, ResStringToWx(IDS_TROVEX_BROWSER_MENU_BACK));
    view->Append(wxID_FORWARD, ResStringToWx(IDS_TROVEX_BROWSER_MENU_FORWARD));
    view->Append(wxID_REFRESH, ResStringToWx(IDS_TROVEX_BROWSER_MENU_REFRESH));
    auto* tools = new wxMenu;
    for (std::size_t i = 0; i < extensions_.size(); ++i) {
      const ScriptExtension& e = extensions_[i];
      if (e.strMenuText.empty()) continue;
      tools->Append(kIdFirstExtension + static_cast<int>(i), FromUtf8(e.strMenuText),
                    FromUtf8(e.strMenuStatusBar));
    }
    if (tools->GetMenuItemCount() == 0) {
      tools->Append(wxID_ANY, ResStringToWx(IDS_TROVEX_BROWSER_NO_EXTENSIONS))->Enable(false);
    }
    auto* bar = new wxMenuBar;
    bar->Append(file, ResStringToWx(IDS_TROVEX_BROWSER_MENU_FILE));
    bar->Append(view, ResStringToWx(IDS_TROVEX_BROWSER_MENU_VIEW));
    bar->Append(tools, ResStringToWx(IDS_TROVEX_BROWSER_MENU_TOOLS));
    SetMenuBar(bar);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { Close(); }, wxID_CLOSE);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { if (CanGoBack()) view_->GoBack(); }, wxID_BACKWARD);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { if (view_->CanGoForward()) view_->GoForward(); }, wxID_FORWARD);
    Bind(wxEVT_MENU, [this](wxCommandEvent&) { view_->Reload(); }, wxID_REFRESH);
    // Menu items and toolbar buttons alike: enabled only with somewhere to go.
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(CanGoBack()); }, wxID_BACKWARD);
    Bind(wxEVT_UPDATE_UI, [this](wxUpdateUIEvent& e) { e.Enable(view_ && view_->CanGoForward()); }, wxID_FORWARD);
    Bind(wxEVT_MENU, &BrowserFrame::OnExtension, this, kIdFirstExtension,
         kIdFirstExtension + static_cast<int>(extensions_.size()));
    Bind(wxEVT_TOOL, &BrowserFrame::OnExtension, this, kIdFirstExtension,
         kIdFirstExtension + static_cast<int>(extensions_.size()));
    Bind(wxEVT_MENU, &BrowserFrame::OnMenuExt, this, kIdFirstMenuExt,
         kIdFirstMenuExt + static_cast<int>(menuItems_.size()));
  }

  void BuildToolbar() {
    wxToolBar* bar = CreateToolBar(wxTB_HORIZONTAL | wxTB_TEXT | wxTB_HORZ_LAYOUT | wxTB_NODIVIDER);
    bar->SetToolBitmapSize(wxSize(20, 20));
    bar->AddTool(wxID_BACKWARD, ResStringToWx(IDS_TROVEX_BROWSER_TOOL_BACK), wxArtProvider::GetBitmap(wxART_GO_BACK, wxART_TOOLBAR, wxSize(20, 20)));
    bar->AddTool(wxID_FORWARD, ResStringToWx(IDS_TROVEX_BROWSER_TOOL_FORWARD), wxArtProvider::GetBitmap(wxART_GO_FORWARD, wxART_TOOLBAR, wxSize(20, 20)));
    bar->AddTool(wxID_REFRESH, ResStringToWx(IDS_TROVEX_BROWSER_TOOL_REFRESH), wxArtProvider::GetBitmap(wxART_REDO, wxART_TOOLBAR, wxSize(20, 20)));
    for (std::size_t i = 0; i < extensions_.size(); ++i) {
      const ScriptExtension& e = extensions_[i];
      if (!e.bDefaultVisible) continue;
      wxBitmap normal = LoadExtensionIcon(e.strIcon, 20);
      wxBitmap hot = LoadExtensionIcon(e.strHotIcon, 20);
      if (!normal.IsOk()) normal = wxArtProvider::GetBitmap(wxART_MISSING_IMAGE, wxART_TOOLBAR, wxSize(20, 20));
      wxString text = FromUtf8(e.strButtonText.empty() ? e.strMenuText : e.strButtonText);
      bar->AddSeparator();
      int id = kIdFirstExtension + static_cast<int>(i);
      bar->AddTool(id, text, normal, text);
      bar->SetToolLongHelp(id, FromUtf8(e.strMenuStatusBar));
      icons_[id] = {normal, hot.IsOk() ? hot : normal};
    }
    bar->Realize();
    // The hot icon while the pointer is over the button.
    Bind(wxEVT_TOOL_ENTER, [this, bar](wxCommandEvent& event) {
      for (const auto& [id, pair] : icons_) bar->SetToolNormalBitmap(id, id == event.GetSelection() ? pair.second : pair.first);
      event.Skip();
    });
  }

  // The address row: what is shown, and where to go next.
  wxSizer* BuildAddressBar() {
    auto* row = new wxBoxSizer(wxHORIZONTAL);
    row->Add(new wxStaticText(this, wxID_ANY, ResStringToWx(IDS_TROVEX_BROWSER_ADDRESS_LABEL)), 0,
             wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 6);
    address_ = new wxTextCtrl(this, kIdAddress, wxEmptyString, wxDefaultPosition, wxDefaultSize,
                              wxTE_PROCESS_ENTER);
    row->Add(address_, 1, wxALIGN_CENTER_VERTICAL);
    auto* go = new wxButton(this, kIdGo, ResStringToWx(IDS_TROVEX_BROWSER_GO));
    row->Add(go, 0, wxALIGN_CENTER_VERTICAL | wxLEFT | wxRIGHT, 6);
    address_->Bind(wxEVT_TEXT_ENTER, [this](wxCommandEvent&) { Navigate(ToUtf8(address_->GetValue())); });
    go->Bind(wxEVT_BUTTON, [this](wxCommandEvent&) { Navigate(ToUtf8(address_->GetValue())); });
    return row;
  }

  void Navigate(const std::string& input) {
    std::string error;
    std::string address = AddressFromUserInput(input, &error);
    if (address.empty()) {
      ShowError(Text(IDS_BROWSER_CANNOT_OPEN_ADDRESS, input));
      return;
    }
    address_->ChangeValue(FromUtf8(address));
    view_->LoadURL(FromUtf8(address));
  }

  void OnNavigated(wxWebViewEvent&) { FollowView(true); }

  // The blank page the window starts on is no page to go back to (the engine keeps it in its
  // history whatever we ask).
  bool CanGoBack() const {
    if (!view_ || !view_->CanGoBack()) return false;
    const auto back = view_->GetBackwardHistory();
    return !back.empty() && back.back()->GetUrl() != "about:blank";
  }

  void OnLoaded(wxWebViewEvent&) {
    ExportViewCookies();
    // A reload shows the same address with new content: the model goes either way.
    FollowView(true);
    if (pendingAddress_.empty() && ToUtf8(view_->GetCurrentURL()) != "about:blank") settle_.StartOnce(kSettleMs);
  }

  // The view does not report every failed load: for --list --live and --save-dialog a first
  // page that is no longer loading but never showed is a failure.
  void WatchLiveLoad() {
    if (task_ == LiveTask::kNone || liveDone_ || !pendingAddress_.empty() || settle_.IsRunning() || view_->IsBusy())
      return;
    if (ToUtf8(view_->GetCurrentURL()) != "about:blank") {
      settle_.StartOnce(kSettleMs);
      return;
    }
    if (++idleOnBlank_ >= 8)  // two seconds
      FinishLiveTask(2, "cannot load " + ToUtf8(address_->GetValue()));
  }

  // The page and its frames are loaded and their load handlers ran: the player fetches the
  // movies in the background, or the window does its task.
  void AfterLoad() {
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
      const std::string code = HResultText(hr);
      error = step == GetSWFFileStep::kCreate
                  ? std::string("the extension is not available (") + code + ") " + failure + "; register it with trovex-regsvr"
                  : std::string("GetSWFFile failed (") + code + ") " + failure;
      result = -1;
    }
    FinishLiveTask(result < 0 ? 2 : static_cast<int>(result), error);
  }

  void FinishLiveTask(int code, const std::string& error) {
    if (!error.empty()) std::fprintf(stderr, "trovex-browser: %s\n", error.c_str());
    if (exitCode_) *exitCode_ = code;
    liveDone_ = true;
    Close(true);
  }

  // Asks the shown page's frames for their snapshot; the answer comes as a script message.
  void RequestSnapshot() {
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

  // The toolkit's completion, where the engine's own call is missing.
  void OnScriptResult(wxWebViewEvent& event) {
    if (event.IsError()) SnapshotScriptFailed();
  }

  // The snapshot script could not run at all: no answer will come.
  void SnapshotScriptFailed() {
    snapshotJson_.clear();
    snapshotArrived_ = true;
    if (snapshotLoop_) snapshotLoop_->Exit();
  }

  // The document model of what the view shows now, from its snapshot; null with *error set.
  // The wait runs events: when the window is closed meanwhile, *gone is set and nothing of
  // it may be touched any more.
  ComPtr<IWebBrowser2> TakeSnapshot(std::string* error, bool* gone) {
    snapshotArrived_ = false;
    snapshotJson_.clear();
    RequestSnapshot();
    if (!WaitHere(snapshotArrived_, kSnapshotWaitMs)) {
      *gone = true;
      return nullptr;
    }
    if (!snapshotArrived_ || snapshotJson_.empty()) {
      *error = snapshotArrived_ ? "the page gave no snapshot" : "the page's snapshot did not come within " +
                                                                    std::to_string(kSnapshotWaitMs / 1000) + " s";
      return nullptr;
    }
    std::vector<std::string> cuts;
    pagemodel::SessionPtr session = pagemodel::ReadSnapshot(snapshotJson_, {}, error, &cuts);
    if (!session) return nullptr;
    for (const std::string& cut : cuts) std::fprintf(stderr, "trovex-browser: %s\n", cut.c_str());
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

  // Runs events until `done` is set or `ms` passed; false when the window went meanwhile, and
  // then nothing of it may be touched any more.
  bool WaitHere(const bool& done, int ms) {
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

  // The movies' downloads need the page's session cookies in the jar; `then` runs once they
  // are there, if the window is still there.
  void WithSessionCookies(const pagemodel::SessionPtr& session, std::function<void(BrowserFrame*)> then) {
    ImportSessionCookies(EngineViewOf(view_), PlayedBy(session),
                         [frame = wxWeakRef<BrowserFrame>(this), then = std::move(then)] {
                           if (frame && !frame->detached_) then(frame.get());
                         });
  }

  // Keeps the address bar and the page model in step with what the view shows. The view's
  // events do not come for every navigation (links followed inside the page, history), so a
  // timer looks too.
  void FollowView(bool contentChanged) {
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

  void OnTitle(wxWebViewEvent& event) {
    wxString title = event.GetString();
    const wxString appTitle = ResStringToWx(IDS_TROVEX_BROWSER_TITLE);
    SetTitle(title.empty() ? appTitle : title + " - " + appTitle);
  }

  void OnError(wxWebViewEvent& event) {
    const std::string url = ToUtf8(event.GetURL());
    // A navigation the page's script starts cancels the load; that is no failure.
    const bool failed = event.GetInt() != wxWEBVIEW_NAV_ERR_USER_CANCELLED;
    if (!failed || url.empty() || url == "about:blank") return;
    // The page itself did not load: there is nothing to read for --list --live or --save-dialog.
    if (task_ != LiveTask::kNone && !liveDone_ && pendingAddress_.empty()) {
      FinishLiveTask(2, "cannot load " + url + ": " + ToUtf8(event.GetString()));
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

  void OnScriptMessage(wxWebViewEvent& event) {
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

  void OnExtension(wxCommandEvent& event) {
    std::size_t index = static_cast<std::size_t>(event.GetId() - kIdFirstExtension);
    if (index < extensions_.size()) Run(extensions_[index].strScript, nullptr);
  }

  void OnMenuExt(wxCommandEvent& event) {
    std::size_t index = static_cast<std::size_t>(event.GetId() - kIdFirstMenuExt);
    std::string context = contextUrl_;
    if (index < menuItems_.size()) Run(menuItems_[index].strScript, &context);
  }

  // The document model of what the view shows at this moment.
  bool EnsureModel(bool* gone) {
    wxBusyCursor busy;
    std::string error;
    ComPtr<IWebBrowser2> model = TakeSnapshot(&error, gone);
    if (*gone) return false;
    model_ = model;
    if (!model_) {
      std::fprintf(stderr, "trovex-browser: cannot read the page: %s\n", error.c_str());
      ShowError(Text(IDS_BROWSER_CANNOT_READ_PAGE, ToUtf8(view_->GetCurrentURL())));
      return false;
    }
    return true;
  }

  // The system's message box: its font, icon and Traditional Chinese button.
  void ShowError(const wxString& text) {
    CAppMessageDialog box(this, text, ResStringToWx(IDS_TROVEX_BROWSER_TITLE), wxOK | wxICON_ERROR);
    box.ShowModal();
  }

  static wxString Text(unsigned id, const std::string& arg) {
    return ToWx(FormatResString(id, arg.c_str()));
  }

  void Run(const std::string& script, const std::string* contextUrl) {
    // The script's dialog is modal; a second click meanwhile would nest another run.
    if (running_) return;
    running_ = true;
    bool gone = false;
    const bool ready = EnsureModel(&gone);
    if (gone) return;
    if (ready) {
      ComPtr<IWebBrowser2> page = model_;
      std::string error;
      if (!RunExtension(page.Get(), script, contextUrl, &error))
        ShowError(Text(IDS_BROWSER_SCRIPT_FAILED, error));
    }
    // Modules whose objects are all gone need not stay loaded.
    CoFreeUnusedLibraries();
    running_ = false;
  }

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

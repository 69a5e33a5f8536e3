// The browser window with the registered module, as a user drives it: the toolbar button
// runs the script page, the module shows the Save dialog over the window, and the module is
// let go afterwards.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <wx/dialog.h>
#include <wx/frame.h>
#include <wx/listctrl.h>
#include <wx/textctrl.h>
#include <wx/timer.h>
#include <wx/toolbar.h>
#include <wx/uiaction.h>
#include <wx/webview.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "pageloader/url.h"
#include "browser/window.h"
#include "framework/message_dialog.h"
#include <wx/menu.h>
#include "platform/com/activation.h"
#include "platform/registry/registry.h"
#include "tests/support/loopback_server.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"
// Last: Xlib's macros clash with names above.
#include "tests/support/window_manager_process.h"

namespace trovex::browser {
namespace {

constexpr const char* kButton = "SWF Zalmic Trovex";

void RegisterModule() {
  void* module = ::dlopen(TROVEX_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(module, nullptr) << ::dlerror();
  auto registerServer = reinterpret_cast<PFN_DllRegisterServer>(::dlsym(module, "DllRegisterServer"));
  ASSERT_NE(registerServer, nullptr);
  ASSERT_EQ(registerServer(), S_OK);
  ::dlclose(module);
}

template <class T>
T* FindChild(wxWindow* parent) {
  for (wxWindow* child : parent->GetChildren()) {
    if (auto* found = dynamic_cast<T*>(child)) return found;
    if (T* deeper = FindChild<T>(child)) return deeper;
  }
  return nullptr;
}

bool WaitFor(const std::function<bool()>& done, int seconds = 30) {
  auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (!done()) {
    if (std::chrono::steady_clock::now() > until) return false;
    test::PumpEvents(50);
  }
  return true;
}

// Opens the window on `url` and waits until the page is shown.
// The address changes when the load starts, before the view says it is busy, and until the
// new document is committed scripts still run in the old one, which is complete: the document
// of `url` (its frames included) is there only when that document says so itself.
bool WaitForDocument(wxWebView* view, const std::string& url) {
  return WaitFor([&] {
    wxString state;
    return !view->IsBusy() && view->GetCurrentURL().utf8_string() == url &&
           view->RunScript("document.readyState + ' ' + location.href", &state) &&
           state.utf8_string() == "complete " + url;
  });
}

wxFrame* OpenAndWait(const std::string& url) {
  wxFrame* frame = OpenBrowserWindow(url);
  frame->Show();
  wxWebView* view = FindChild<wxWebView>(frame);
  EXPECT_NE(view, nullptr);
  EXPECT_TRUE(view && WaitForDocument(view, url)) << (view ? view->GetCurrentURL().utf8_string() : std::string());
  return frame;
}

// Clicks the toolbar button with this label, as the user does.
bool ClickToolbarButton(wxFrame* frame, const std::string& label) {
  wxToolBar* bar = frame->GetToolBar();
  for (int i = 0; bar && i < static_cast<int>(bar->GetToolsCount()); ++i) {
    const wxToolBarToolBase* tool = bar->GetToolByPos(i);
    if (tool->GetLabel().utf8_string() != label) continue;
    wxCommandEvent click(wxEVT_TOOL, tool->GetId());
    click.SetEventObject(bar);
    bar->ProcessWindowEvent(click);
    return true;
  }
  return false;
}

// Watches for the module's dialog while the button's modal run goes on: records every row's
// texts and its owner, then closes it as the user would.
struct SaveDialogWatch {
  explicit SaveDialogWatch(wxFrame* browser) : browser_(browser) {
    timer_.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { Look(); });
    timer_.Start(100);
  }
  void Look() {
    for (wxWindow* window : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<wxDialog*>(window);
      if (!dialog || !dialog->IsShown() || !FindChild<wxListCtrl>(dialog)) continue;
      wxListCtrl* list = FindChild<wxListCtrl>(dialog);
      for (long row = 0; row < list->GetItemCount(); ++row) {
        std::string texts;
        for (int column = 0; column < list->GetColumnCount(); ++column)
          texts += list->GetItemText(row, column).utf8_string() + "\t";
        rows.push_back(texts);
      }
      ownedByBrowser = dialog->GetParent() == browser_ || wxGetTopLevelParent(dialog->GetParent()) == browser_;
      if (const char* dir = std::getenv("TROVEX_SCREENSHOT_DIR"))
        test::CaptureScreen(std::string(dir) + "/browser_save_dialog.png");
      timer_.Stop();
      seen = true;
      dialog->Close();
      return;
    }
  }
  wxFrame* browser_;
  wxTimer timer_;
  bool seen = false;
  bool ownedByBrowser = false;
  std::vector<std::string> rows;
};

// Answers the browser's own (native) message box and records its text and style.
class ExpectBrowserMessage : public wxExpectModalBase<CAppMessageDialog, ExpectBrowserMessage> {
 public:
  ExpectBrowserMessage(std::string* text, long* style) : text_(text), style_(style) {}

 protected:
  int OnInvoked(CAppMessageDialog* dlg) const override {
    *text_ = dlg->GetMessage().utf8_string();
    *style_ = dlg->GetMessageDialogStyle();
    return wxID_OK;
  }

 private:
  std::string* text_;
  long* style_;
};

bool AnyRowMentions(const std::vector<std::string>& rows, const std::string& part) {
  for (const std::string& row : rows)
    if (row.find(part) != std::string::npos) return true;
  return false;
}

TEST(BrowserWindowTest, ToolbarButtonShowsTheSaveDialogForEveryFrameAndTheModuleIsLetGo) {
  test::IsolatedHome home;
  RegisterModule();
  test::LoopbackServer server;
  const std::string movie = "FWS\x0a" + std::string(60, '\0');
  server.Page("/", "<frameset cols='50%,50%'><frame src='/left.html'><frame src='/right.html'></frameset>");
  server.Page("/left.html",
              "<object classid='clsid:D27CDB6E-AE6D-11cf-96B8-444553540000'><param name=movie value='left.swf'>"
              "</object><iframe src='/inner.html'></iframe>");
  server.Page("/right.html", "<embed src='right.swf' type='application/x-shockwave-flash'>");
  server.Page("/inner.html", "<embed src='inner.swf'>");
  server.Page("/other.html", "<embed src='other.swf'>");
  for (const char* name : {"/left.swf", "/right.swf", "/inner.swf", "/other.swf"})
    server.Set(name, {200, "application/x-shockwave-flash", movie, ""});

  wxFrame* frame = OpenAndWait(server.Url("/"));
  if (const char* dir = std::getenv("TROVEX_SCREENSHOT_DIR")) test::CaptureScreen(std::string(dir) + "/browser_window.png");
  {
    SaveDialogWatch watch(frame);
    ASSERT_TRUE(ClickToolbarButton(frame, kButton));
    ASSERT_TRUE(WaitFor([&] { return watch.seen; }, 5));
    EXPECT_EQ(watch.rows.size(), 3u);
    for (const char* name : {"left.swf", "right.swf", "inner.swf"}) EXPECT_TRUE(AnyRowMentions(watch.rows, name)) << name;
    EXPECT_TRUE(watch.ownedByBrowser) << "the dialog stays over the browser window";
  }

  // Following a link in the view: the button now works on the page shown.
  wxWebView* view = FindChild<wxWebView>(frame);
  view->LoadURL(server.Url("/other.html"));
  ASSERT_TRUE(WaitForDocument(view, server.Url("/other.html")));
  wxTextCtrl* address = FindChild<wxTextCtrl>(frame);
  EXPECT_TRUE(WaitFor([&] { return address->GetValue().utf8_string() == server.Url("/other.html"); }, 5))
      << "the address bar shows the page shown, not " << address->GetValue().utf8_string();
  {
    SaveDialogWatch watch(frame);
    ASSERT_TRUE(ClickToolbarButton(frame, kButton));
    ASSERT_TRUE(WaitFor([&] { return watch.seen; }, 5));
    ASSERT_EQ(watch.rows.size(), 1u);
    EXPECT_TRUE(AnyRowMentions(watch.rows, "other.swf"));
  }

  frame->Destroy();
  test::PumpEvents(100);
  CoFreeUnusedLibraries();
  EXPECT_TRUE(CoLoadedLibraries().empty()) << "no object is left, so the module is let go";
}

// The button lists what the view shows now: the page's scripts ran, and the page is not
// fetched a second time.
TEST(BrowserWindowTest, ToolbarButtonListsThePageAsItsScriptsLeftIt) {
  test::IsolatedHome home;
  RegisterModule();
  test::LoopbackServer server;
  server.Page("/", "<body><embed id=gone src='removed.swf'><script>"
                   "window.onload = function () {"
                   "  document.getElementById('gone').remove();"
                   "  var e = document.createElement('embed'); e.src = 'added.swf'; document.body.appendChild(e);"
                   "};</script></body>");
  wxFrame* frame = OpenAndWait(server.Url("/"));
  wxWebView* view = FindChild<wxWebView>(frame);
  ASSERT_TRUE(WaitFor([&] {
    wxString n;
    return view->RunScript("String(document.embeds.length == 1 && document.embeds[0].src.indexOf('added') > 0)", &n) &&
           n == "true";
  }));
  const int pageRequests = server.CountRequests("/");
  // A script adds one more after the load, as pages do on a click or a timer.
  ASSERT_TRUE(view->RunScript("var x = document.createElement('embed'); x.src = 'later.swf'; document.body.appendChild(x); 'ok'"));
  SaveDialogWatch watch(frame);
  ASSERT_TRUE(ClickToolbarButton(frame, kButton));
  ASSERT_TRUE(WaitFor([&] { return watch.seen; }, 10));
  EXPECT_EQ(watch.rows.size(), 2u);
  EXPECT_TRUE(AnyRowMentions(watch.rows, "added.swf"));
  EXPECT_TRUE(AnyRowMentions(watch.rows, "later.swf"));
  EXPECT_FALSE(AnyRowMentions(watch.rows, "removed.swf"));
  EXPECT_EQ(server.CountRequests("/"), pageRequests) << "the page is not loaded a second time";
  frame->Destroy();
  test::PumpEvents(100);
}

TEST(BrowserWindowTest, ContextMenuItemOnAFrameShowsTheSaveDialog) {
  test::IsolatedHome home;
  RegisterModule();
  test::LoopbackServer server;
  server.Page("/", "<frameset cols='30%,70%'><frame src='/left.html'><frame src='/right.html'></frameset>");
  server.Page("/left.html", "<embed src='left.swf'>");
  server.Page("/right.html", "<body style='height:100%'><embed src='right.swf'></body>");
  wxFrame* frame = OpenAndWait(server.Url("/"));
  wxWebView* view = FindChild<wxWebView>(frame);
  ASSERT_TRUE(WaitFor([&] {
    wxString state;
    return view->RunScript("String(frames.length == 2 && frames[1].document.readyState == 'complete')", &state) &&
           state == "true";
  }));

  SaveDialogWatch watch(frame);
  // Once the menu is up, the item is its last entry, which Up reaches first.
  bool menuOpened = false;
  wxTimer keys;
  keys.Bind(wxEVT_TIMER, [](wxTimerEvent&) {
    wxUIActionSimulator typing;
    typing.Char(WXK_UP);
    typing.Char(WXK_RETURN);
  });
  frame->Bind(wxEVT_MENU_OPEN, [&](wxMenuEvent& event) {
    event.Skip();
    if (menuOpened || !event.IsPopup()) return;
    menuOpened = true;
    keys.StartOnce(300);  // the menu takes the keyboard once it is on screen
  });
  // The right click as the page receives it, inside the right frame.
  wxString handled;
  ASSERT_TRUE(view->RunScript(
      "String(frames[1].document.body.dispatchEvent(new MouseEvent('contextmenu', {bubbles: true, cancelable: true})))",
      &handled));
  ASSERT_TRUE(WaitFor([&] { return watch.seen; }, 10)) << "the context menu's item did not open the Save dialog";
  EXPECT_EQ(watch.rows.size(), 2u) << "the whole page is listed, whichever frame was clicked";
  frame->Destroy();
  test::PumpEvents(100);
}

TEST(BrowserWindowTest, AFailingScriptPageIsReportedInAMessageBox) {
  test::IsolatedHome home;
  std::string page = home.dir().WriteFile("broken.htm", "<script>var trovex = new ActiveXObject('No.Such.Class');</script>");
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Internet Explorer\\Extensions\\{7E57C1A5-0000-4000-8000-0000000000FF}",
                            0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  auto set = [&](const char* name, const std::string& value) {
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()), static_cast<DWORD>(value.size() + 1));
  };
  set("CLSID", "{1FBA04EE-3024-11D2-8F1F-0000F87ABD16}");
  set("ButtonText", "壞掉的");
  set("Default Visible", "Yes");
  set("Script", page);
  RegCloseKey(key);
  test::LoopbackServer server;
  server.Page("/", "<p>page</p>");

  wxFrame* frame = OpenAndWait(server.Url("/"));
  std::string text;
  long style = 0;
  wxTEST_DIALOG(ASSERT_TRUE(ClickToolbarButton(frame, "壞掉的")), ExpectBrowserMessage(&text, &style));
  EXPECT_NE(text.find("No.Such.Class"), std::string::npos) << text;
  EXPECT_NE(text.find("broken.htm 第 1 行"), std::string::npos) << text;
  EXPECT_TRUE(style & wxICON_ERROR);
  frame->Destroy();
  test::PumpEvents(100);
}

// The page keeps posting to the window's message handler while the window closes, and the
// engine still has a script of ours running (it keeps its view alive): messages still on
// their way must not reach the deleted view.
TEST(BrowserWindowTest, MessagesThePageSendsAfterTheWindowClosedAreDropped) {
  test::IsolatedHome home;
  test::LoopbackServer server;
  server.Page("/", "<p>busy</p><script>setInterval(function () {"
                   " for (var i = 0; i < 20; ++i) window.webkit.messageHandlers.trovex.postMessage('#trovex-snapshot 0\\n{}'); }, 1);</script>");
  using Run = void (*)(void*, const char*, void*, void*, void*);
  auto run = reinterpret_cast<Run>(::dlsym(RTLD_DEFAULT, "webkit_web_view_run_javascript"));
  ASSERT_NE(run, nullptr);
  for (int round = 0; round < 10; ++round) {
    wxFrame* frame = OpenAndWait(server.Url("/"));
    test::PumpEvents(100);
    run(FindChild<wxWebView>(frame)->GetNativeBackend(), "var t = Date.now(); while (Date.now() - t < 400) {}", nullptr,
        nullptr, nullptr);
    frame->Destroy();
    test::PumpEvents(1000);
  }
}

// A fresh window has no page to go back to; an unreachable server shows our page, in
// Traditional Chinese, instead of the engine's.
TEST(BrowserWindowTest, FreshStartHasNoBackAndFailuresShowOurPage) {
  test::IsolatedHome home;
  test::LoopbackServer server;
  server.Page("/", "<p>page</p>");
  wxFrame* frame = OpenAndWait(server.Url("/"));
  test::PumpEvents(300);
  frame->UpdateWindowUI(wxUPDATE_UI_RECURSE);
  EXPECT_FALSE(frame->GetToolBar()->GetToolEnabled(wxID_BACKWARD));
  EXPECT_FALSE(frame->GetMenuBar()->IsEnabled(wxID_BACKWARD));

  wxWebView* view = FindChild<wxWebView>(frame);
  const std::string gone = "http://127.0.0.1:" + std::to_string(test::UnusedLoopbackPort()) + "/";
  view->LoadURL(wxString::FromUTF8(gone));
  auto shown = [&] {
    wxString text;
    if (view->IsBusy() || !view->RunScript("document.body ? document.body.innerText : ''", &text)) return std::string();
    return text.utf8_string();
  };
  EXPECT_TRUE(WaitFor([&] { return shown().find("無法顯示這個網頁") != std::string::npos; }, 20)) << shown();
  EXPECT_NE(shown().find(gone), std::string::npos);
  frame->Destroy();
  test::PumpEvents(100);
}

// Under a window manager: the part of the page the Save dialog covered is drawn again once the
// dialog moves off it, as it was before, not left as a flat grey block. The demo site: frames
// and movies, as on the pages the dialog is used on.
TEST(BrowserWindowTest, PageUncoveredByTheSaveDialogIsDrawnAgain) {
  test::WindowManagerProcess wm;
  ASSERT_TRUE(wm.running()) << "openbox is needed for this test";
  test::IsolatedHome home;
  RegisterModule();
  std::string error;
  const std::string site = AddressFromUserInput(std::string(TROVEX_SOURCE_DIR) + "/samples/site/index.html", &error);
  wxFrame* frame = OpenAndWait(site);
  frame->SetSize(256, 300, 1024, 720);
  test::PumpEvents(600);
  wxWebView* view = FindChild<wxWebView>(frame);
  // The part of the page right of where the dialog ends up (at the screen's left edge).
  wxRect strip;
  auto picture = [&] { return test::GrabScreen(strip); };

  double uncovered = -1;
  bool coveredFirst = false, seen = false;
  wxImage before;
  wxTimer timer;
  timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    for (wxWindow* window : wxTopLevelWindows) {
      auto* dialog = dynamic_cast<wxDialog*>(window);
      if (!dialog || !dialog->IsShown() || !FindChild<wxListCtrl>(dialog)) continue;
      timer.Stop();
      coveredFirst = dialog->GetScreenRect().Intersects(strip) && dialog->GetSize().x < strip.x;
      test::PumpEvents(3000);
      dialog->Move(0, 0);
      test::PumpEvents(2000);
      uncovered = test::SamePixelShare(picture(), before);
      if (const char* dir = std::getenv("TROVEX_SCREENSHOT_DIR"))
        test::CaptureScreen(std::string(dir) + "/browser_page_uncovered.png");
      seen = true;
      dialog->Close();
      return;
    }
  });
  // The page as drawn before the dialog: nothing changes on it for a while.
  {
    const wxRect page(view->GetScreenPosition(), view->GetSize());
    strip = wxRect(wxPoint(800, page.y + 4), page.GetBottomRight() - wxPoint(4, 4));
    int still = 0;
    ASSERT_TRUE(WaitFor([&] {
      wxImage now = picture();
      still = test::SamePixelShare(now, before, 0) == 1.0 ? still + 1 : 0;
      before = now;
      return still >= 10;
    }, 20));
  }
  timer.Start(100);
  // A real click: the dialog then runs inside the toolkit's handling of the button's event.
  wxToolBar* bar = frame->GetToolBar();
  GtkWidget* handle = static_cast<GtkWidget*>(bar->GetHandle());
  if (GTK_IS_BIN(handle)) handle = gtk_bin_get_child(GTK_BIN(handle));  // the toolkit wraps it
  ASSERT_TRUE(GTK_IS_TOOLBAR(handle));
  auto* toolbar = GTK_TOOLBAR(handle);
  wxPoint button(-1, -1);
  for (int i = 0; i < gtk_toolbar_get_n_items(toolbar); ++i) {
    GtkToolItem* item = gtk_toolbar_get_nth_item(toolbar, i);
    if (!GTK_IS_TOOL_BUTTON(item)) continue;  // the last button is the module's
    GtkAllocation a;
    gtk_widget_get_allocation(GTK_WIDGET(item), &a);
    button = wxPoint(a.x + a.width / 2, a.y + a.height / 2);
  }
  ASSERT_GE(button.x, 0);
  wxUIActionSimulator input;
  input.MouseMove(bar->ClientToScreen(button));
  test::PumpEvents(300);
  input.MouseClick();
  ASSERT_TRUE(WaitFor([&] { return seen; }, 15));
  EXPECT_TRUE(coveredFirst) << "the dialog first lies over the strip, and off it once moved";
  EXPECT_GT(uncovered, 0.99) << "the uncovered page is drawn again as it was";
  frame->Destroy();
  test::PumpEvents(100);
}

}  // namespace
}  // namespace trovex::browser

// The real player under the display: demo movies play in the preview, a broken movie shows the
// player's error, and the dialog keeps answering meanwhile.
#include <gtest/gtest.h>
#include <wx/image.h>
#include <wx/uiaction.h>
#include <wx/webview.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>

#include "framework/message_box.h"
#include "preview/player_engine.h"
#include "preview/player_files.h"
#include "tests/support/loopback_server.h"
#include "tests/preview/preview_test_dialog.h"
#include "tests/preview/screen_grab.h"
#include "tests/preview/test_player.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

using namespace test;

class PreviewPlayer : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(HasPlayerFiles(FindPlayerDir())) << "the player's files are not in the build: run scripts/install_player.sh";
    cookie_ = engine_.AddListener([this](const std::string& kind, long id) {
      events_.seen.emplace_back(kind, id);
    });
  }
  void TearDown() override { engine_.RemoveListener(cookie_); }

  void Run(std::vector<SWFFileInfo> rows, const std::function<void(test::PreviewTestDlg&)>& act) {
    test::PreviewTestDlg dlg(std::move(rows), {&engine_});
    test::DialogScript script;
    script.Expect(1000, [&](CDialog&) {
      act(dlg);
      dlg.EndDialog(2);
    });
    dlg.DoModal();
  }

  // Selects a row and waits for its first frame (or error); milliseconds taken, -1 on time-out.
  long SelectAndWait(test::PreviewTestDlg& dlg, long row, const char* kind, std::chrono::seconds limit) {
    const auto start = Clock::now();
    test::SelectRows(dlg.List(), {row});
    const long id = engine_.GetCurrentLoad();
    if (!test::PumpUntil([&] { return events_.Has(kind, id) || events_.Has("error", id); }, limit)) return -1;
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  }

  PlayerEngine& engine_ = TestPlayer();
  Events events_;
  int cookie_ = 0;
};

TEST_F(PreviewPlayer, DemoMoviesPlayFromDiskAndNetworkAndFollowTheLayout) {
  const std::string movies = std::string(TROVEX_SOURCE_DIR) + "/samples/site/movies/";
  test::LoopbackServer server;
  server.Set("/movies/banner.swf", {200, "application/x-shockwave-flash", ReadFile(movies + "banner.swf"), ""});
  const std::vector<SWFFileInfo> rows = {
      {server.Url("/movies/banner.swf"), "", "banner.swf", "", 71, 0},
      {server.Url("/movies/clock.swf"), movies + "clock.swf", "clock.swf", "", 78, 0},
  };
  Run(rows, [&](test::PreviewTestDlg& dlg) {
    const auto opened = Clock::now();
    ASSERT_TRUE(test::PumpUntil([&] { return engine_.IsReady(); }, 60s)) << "the player never started";
    std::printf("player ready %lld ms after the dialog opened\n",
                static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - opened).count()));

    test::PumpUntil([] { return false; }, 500ms);
    EXPECT_LT(Variance(Grab(dlg.flashCtrl.GetWindow(), "empty")), 1.0) << "the empty preview shows something";

    const long local = SelectAndWait(dlg, 1, "frame", 20s);
    ASSERT_GE(local, 0) << "no first frame from the local movie";
    EXPECT_FALSE(events_.Has("error"));
    std::printf("row selected -> first frame: %ld ms (local copy)\n", local);
    EXPECT_TRUE(WaitForPicture(dlg.flashCtrl.GetWindow(), "local")) << "the preview area stays blank";

    const long network = SelectAndWait(dlg, 0, "frame", 20s);
    ASSERT_GE(network, 0) << "no first frame from the network movie";
    std::printf("row selected -> first frame: %ld ms (fetched over HTTP)\n", network);
    EXPECT_EQ(server.CountRequests("/movies/banner.swf"), 1);
    EXPECT_TRUE(WaitForPicture(dlg.flashCtrl.GetWindow(), "network"));

    // Two rows selected: the preview empties.
    test::SelectRows(dlg.List(), {0, 1});
    test::PumpUntil([] { return false; }, 800ms);
    EXPECT_LT(Variance(Grab(dlg.flashCtrl.GetWindow(), "two_rows")), 1.0);
    test::SelectRows(dlg.List(), {0});
    ASSERT_TRUE(test::PumpUntil([&] { return events_.Has("frame", engine_.GetCurrentLoad()); }, 20s));

    const wxSize before = dlg.flashCtrl.GetWindow()->GetSize();
    dlg.GetWindow()->SetSize(dlg.GetWindow()->GetSize() + wxSize(300, 200));
    test::PumpUntil([] { return false; }, 800ms);
    const wxSize after = dlg.flashCtrl.GetWindow()->GetSize();
    EXPECT_GT(after.x, before.x);
    EXPECT_GT(after.y, before.y);
    wxWebView* view = engine_.GetView();
    ASSERT_NE(view, nullptr);
    // The player covers the control's client area.
    wxWindow* ctrl = dlg.flashCtrl.GetWindow();
    EXPECT_EQ(view->GetScreenRect(), wxRect(ctrl->ClientToScreen(wxPoint(0, 0)), ctrl->GetClientSize()));
    EXPECT_TRUE(WaitForPicture(ctrl, "resized"));
  });
}

TEST_F(PreviewPlayer, ABrokenMovieShowsThePlayersErrorWithoutHangingTheDialog) {
  test::TempDir dir;
  const std::string broken = dir.WriteFile("broken.swf", std::string("CWS\x0a\x00\x10\x00\x00", 8) + "not compressed at all");
  const std::string missing = dir.str() + "/missing.swf";
  Run({{"http://h/broken.swf", broken, "broken.swf", "", 72, 0}, {"http://h/missing.swf", missing, "missing.swf", "", 1, 0}},
      [&](test::PreviewTestDlg& dlg) {
        ASSERT_TRUE(test::PumpUntil([&] { return engine_.IsReady(); }, 60s));
        for (long row : {0L, 1L}) {
          const long id = (SelectAndWait(dlg, row, "error", 20s), engine_.GetCurrentLoad());
          EXPECT_TRUE(events_.Has("error", id)) << "row " << row;
          EXPECT_FALSE(events_.Has("frame", id)) << "row " << row;
          // The dialog still answers.
          bool answered = false;
          dlg.GetWindow()->CallAfter([&] { answered = true; });
          EXPECT_TRUE(test::PumpUntil([&] { return answered; }, 2s));
          // The player's error screen, or our message for a file that is not there.
          EXPECT_TRUE(WaitForPicture(dlg.flashCtrl.GetWindow(), row == 0 ? "broken" : "missing")) << "row " << row;
        }
      });
}

TEST_F(PreviewPlayer, ThePlayerPageReachesNothingBeyondItsOwnScheme) {
  test::LoopbackServer server;
  test::TempDir dir;
  const std::string secret = dir.WriteFile("secret.txt", "secret");
  Run({{"http://h/clock.swf", std::string(TROVEX_SOURCE_DIR) + "/samples/site/movies/clock.swf", "clock.swf", "", 78, 0}},
      [&](test::PreviewTestDlg& dlg) {
        ASSERT_TRUE(test::PumpUntil([&] { return engine_.IsReady(); }, 60s));
        ASSERT_GE(SelectAndWait(dlg, 0, "frame", 20s), 0);
        wxWebView* view = engine_.GetView();
        ASSERT_NE(view, nullptr);
        // The view outlives this test: its handler must not reach the test's locals afterwards.
        auto titles = std::make_shared<std::vector<std::string>>();
        view->Bind(wxEVT_WEBVIEW_TITLE_CHANGED, [seen = std::weak_ptr(titles)](wxWebViewEvent& e) {
          if (auto t = seen.lock()) t->push_back(e.GetString().utf8_string());
          e.Skip();
        });
        // What a movie's script could try through the page: fetches, images, frames, navigation.
        const std::string probe = server.Url("/probe");
        view->RunScriptAsync(wxString::FromUTF8(
            "const r = [];"
            "const done = () => { if (r.length === 3) document.title = 'probe ' + r.join(','); };"
            "fetch('" + probe + "-fetch').then(() => { r.push('net'); done(); }, () => { r.push('-'); done(); });"
            "fetch('file://" + secret + "').then(x => x.text()).then(t => { r.push(t); done(); }, () => { r.push('-'); done(); });"
            "fetch('trovex-player://preview/movie/1/movie.swf').then(x => { r.push(x.ok ? 'old' : '-'); done(); }, () => { r.push('-'); done(); });"
            "const i = new Image(); i.src = '" + probe + "-image'; i.className = 'probe'; document.body.appendChild(i);"
            "const f = document.createElement('iframe'); f.src = '" + probe + "-frame'; f.className = 'probe'; document.body.appendChild(f);"
            "setTimeout(() => { location.href = '" + probe + "-page'; }, 100);"));
        EXPECT_TRUE(test::PumpUntil([&] { return !titles->empty() && titles->back().rfind("probe", 0) == 0; }, 10s));
        test::PumpUntil([] { return false; }, 1500ms);
        EXPECT_EQ(titles->empty() ? "" : titles->back(), "probe -,-,-");
        EXPECT_TRUE(server.Requests().empty()) << server.Requests().front();
        EXPECT_EQ(view->GetCurrentURL().rfind("trovex-player://preview/", 0), 0u) << view->GetCurrentURL();
        // The page outlives this test too: take the probe's elements out again.
        view->RunScriptAsync("document.querySelectorAll('.probe').forEach(e => e.remove());");
        test::PumpUntil([] { return false; }, 300ms);
      });
}

// Escape typed for real with the focus in the playing preview closes the dialog, as it does in
// every other control: the web engine would keep the key for the page.
TEST_F(PreviewPlayer, EscapeInThePlayingPreviewClosesTheDialog) {
  struct Dlg : test::PreviewTestDlg {
    using PreviewTestDlg::PreviewTestDlg;
    int cancels = 0;
    void OnCancel() override {
      ++cancels;
      PreviewTestDlg::OnCancel();
    }
  } dlg({{"http://h/clock.swf", std::string(TROVEX_SOURCE_DIR) + "/samples/site/movies/clock.swf", "clock.swf", "", 78, 0}},
        {&engine_});
  test::DialogScript script;
  script.Expect(1000, [&](CDialog&) {
    dlg.GetWindow()->Raise();
    if (test::PumpUntil([&] { return engine_.IsReady(); }, 60s) && SelectAndWait(dlg, 0, "frame", 20s) >= 0) {
      wxWindow* ctrl = dlg.flashCtrl.GetWindow();
      wxUIActionSimulator input;
      input.MouseMove(ctrl->ClientToScreen(wxPoint(ctrl->GetClientSize().x / 2, ctrl->GetClientSize().y / 2)));
      input.MouseClick();
      test::PumpUntil([] { return false; }, 500ms);
      if (std::optional<bool> focused = test::HasFocus(engine_.GetView())) {
        EXPECT_TRUE(*focused) << "the click puts the focus in the preview";
      }
      input.Char(WXK_ESCAPE);
      test::PumpUntil([&] { return dlg.cancels > 0; }, 3s);
    } else {
      ADD_FAILURE() << "the movie did not play";
    }
    if (dlg.cancels == 0) dlg.EndDialog(IDOK);
  });
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.cancels, 1);
}

}  // namespace
}  // namespace trovex

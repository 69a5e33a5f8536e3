// The warm player's life: its owner keeps it across dialogs, it waits for its own fetches when it
// goes, and controls that outlive it are left alone.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
#include <wx/frame.h>

#include <memory>
#include <thread>

#include "preview/player_engine.h"
#include "preview/shockwave_flash.h"
#include "tests/preview/preview_test_dialog.h"
#include "tests/preview/screen_grab.h"
#include "tests/preview/test_player.h"
#include "tests/support/dialog_script.h"

namespace trovex {
namespace {

using namespace test;

// A server that takes connections and never answers: a fetch from it only ends when aborted.
class SilentServer {
 public:
  SilentServer() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t n = sizeof a;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), n) != 0 || ::listen(fd_, 8) != 0 ||
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &n) != 0) {
      ADD_FAILURE() << "no listening socket";
    }
    port_ = ntohs(a.sin_port);
  }
  ~SilentServer() { ::close(fd_); }
  std::string Url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST(PlayerEngineLife, GoingWhileAFetchHangsWaitsOnlyForTheAbortedFetch) {
  SilentServer server;
  wxFrame frame(nullptr, wxID_ANY, "host");
  frame.Show();
  // An engine of its own that goes before its view is ever made (the process may have only one).
  auto engine = std::make_unique<PlayerEngine>();
  auto* ctrl = PreviewSetup{engine.get()}.NewControl();
  ASSERT_NE(ctrl, nullptr);
  ASSERT_TRUE(ctrl->Create("", WS_CHILD | WS_VISIBLE, wxRect(0, 0, 200, 150), &frame, 4096));
  ctrl->SetMovie(server.Url("/never.swf"));
  EXPECT_EQ(engine->GetCurrentLoad(), 1) << "the address is the first load";
  std::this_thread::sleep_for(300ms);  // the fetch is under way; no event turn, so no view yet

  const auto start = Clock::now();
  engine.reset();
  EXPECT_LT(Clock::now() - start, 5s) << "the engine waited for a fetch it had aborted";
  // Nothing queued for the gone engine runs (the view it asked for is not made), and the control
  // still answers.
  PumpUntil([] { return false; }, 300ms);
  ctrl->Stop();
  ctrl->SetMovie("1");
  ctrl->Zoom(0);
  delete ctrl;
}

TEST(PlayerEngineLife, ItsOwnerKeepsOneViewAcrossDialogs) {
  PlayerEngine& engine = TestPlayer();
  TempDir dir;
  const std::string movie = dir.WriteFile("m.swf", "FWS");
  wxWebView* first = nullptr;
  for (int round = 0; round < 2; ++round) {
    PreviewTestDlg dlg({{"http://h/m.swf", movie, "m.swf", "", 3, 0}}, {&engine});
    DialogScript script;
    script.Expect(1000, [&](CDialog&) {
      EXPECT_TRUE(PumpUntil([&] { return engine.GetView() != nullptr || engine.IsUnavailable(); }, 20s));
      if (!engine.GetView()) {
        ADD_FAILURE() << "no web view";
        dlg.EndDialog(2);
        return;
      }
      if (round == 0) first = engine.GetView();
      EXPECT_EQ(engine.GetView(), first) << "round " << round << ": the view was made again";
      EXPECT_EQ(engine.GetHost(), dlg.flashCtrl.GetWindow());
      EXPECT_EQ(engine.GetView()->GetParent(), dlg.GetWindow()) << "the view lies over the dialog's control";
      dlg.EndDialog(2);
    });
    dlg.DoModal();
    // The dialog is gone; the view waits, hidden, for the next one.
    EXPECT_EQ(engine.GetHost(), nullptr);
    ASSERT_NE(engine.GetView(), nullptr);
    EXPECT_FALSE(engine.GetView()->IsShown());
  }
}

}  // namespace
}  // namespace trovex

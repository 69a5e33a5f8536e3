// Without the player's files the preview says so, and selecting rows changes nothing else.
#include <gtest/gtest.h>

#include "preview/player_engine.h"
#include "tests/preview/preview_test_dialog.h"
#include "tests/preview/screen_grab.h"
#include "tests/support/dialog_script.h"

namespace trovex {
namespace {

using namespace test;

TEST(PreviewWithoutPlayer, TheAreaExplainsWhatIsMissing) {
  TempDir empty;
  // The program's one player, here without the player's files.
  PlayerEngine engine(empty.path());
  const std::string movie = empty.WriteFile("m.swf", ReadFile(std::string(TROVEX_SOURCE_DIR) + "/samples/site/movies/clock.swf"));
  PreviewTestDlg dlg({{"http://h/m.swf", movie, "m.swf", "", 78, 0}}, {&engine});
  DialogScript script;
  script.Expect(1000, [&](CDialog&) {
    ASSERT_TRUE(PumpUntil([&] { return engine.IsReady(); }, 60s));
    EXPECT_TRUE(WaitForPicture(dlg.flashCtrl.GetWindow(), "missing_player")) << "no message in the preview area";
    SelectRows(dlg.List(), {0});
    EXPECT_EQ(dlg.nPreviewItem, 0);
    PumpUntil([] { return false; }, 1s);
    // The message stays; a movie never starts.
    EXPECT_TRUE(WaitForPicture(dlg.flashCtrl.GetWindow(), "missing_player_selected"));
    dlg.EndDialog(2);
  });
  dlg.DoModal();
}

}  // namespace
}  // namespace trovex

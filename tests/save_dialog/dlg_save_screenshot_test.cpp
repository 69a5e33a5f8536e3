// Screenshots of the Save dialog with the demo site's movies (from disk): at the template's
// size, resized to about 1.5 times, and with the directory menu open. Written only when
// TROVEX_SCREENSHOT_DIR names a folder; otherwise the test is skipped.
#include <gtest/gtest.h>
#include <wx/timer.h>
#include <wx/uiaction.h>

#include <cstdlib>
#include <string>

#include "pageloader/loader.h"
#include "pageloader/url.h"
#include "scan/document_walker.h"
#include "settings/profile.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"
#include "save_dialog/dlg_save.h"

namespace trovex {
namespace {

TEST(SaveDialogScreenshot, TemplateSizeResizedAndMenuOpen) {
  const char* dir = std::getenv("TROVEX_SCREENSHOT_DIR");
  if (!dir || !*dir) GTEST_SKIP() << "TROVEX_SCREENSHOT_DIR is not set";
  test::IsolatedHome home;
  SetDefaultProfileRoot();
  AppProfile().WriteProfileString(kSectionTrovex, kValueLastSaveDir, "/home/使用者/下載/Flash 影片");
  std::string error;
  auto browser = browser::LoadPage(
      browser::AddressFromUserInput(std::string(TROVEX_SOURCE_DIR) + "/samples/site/index.html", &error), {}, &error);
  ASSERT_TRUE(browser) << error;
  CDlgSave dlg;
  ScanDocument(browser::DocumentOf(browser.Get()).Get(), dlg.fileList);
  ASSERT_GT(dlg.fileList.GetCount(), 3u);
  const std::string base = std::string(dir) + "/save_dialog_";
  bool menuShot = false;
  test::DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog& d) {
    wxWindow* window = d.GetWindow();
    window->Move(0, 0);
    dlg.SelectOnly(1);
    test::PumpEvents(400);
    EXPECT_TRUE(test::CaptureScreen(base + "template.png"));

    const wxSize size = window->GetSize();
    window->SetSize(size.x * 3 / 2, size.y * 3 / 2);
    test::PumpEvents(400);
    EXPECT_TRUE(test::CaptureScreen(base + "resized.png"));

    window->SetSize(size);
    test::PumpEvents(200);
    // The menu runs its own loop: a timer takes the picture and closes it with Escape.
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
      menuShot = test::CaptureScreen(base + "menu.png");
      wxUIActionSimulator().Char(WXK_ESCAPE);
    });
    timer.StartOnce(600);
    d.ClickDlgButton(IDC_SAVE_DIR_MENU);
    d.EndDialog(IDCANCEL);
  });
  dlg.DoModal();
  EXPECT_TRUE(menuShot);
}

}  // namespace
}  // namespace trovex

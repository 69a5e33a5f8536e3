// The Save dialog with the demo site's movies (from disk), drawn with nothing cut at the
// template's size and resized to about 1.5 times, and with the directory menu open. Pictures
// are also saved when TROVEX_SCREENSHOT_DIR names a folder.
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
  bool menuShot = false;
  test::DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog& d) {
    wxWindow* window = d.GetWindow();
    window->Move(0, 0);
    dlg.SelectOnly(1);
    test::ExpectDrawnAndUnclipped(window, "save_dialog_template.png");

    const wxSize size = window->GetSize();
    window->SetSize(size.x * 3 / 2, size.y * 3 / 2);
    test::ExpectDrawnAndUnclipped(window, "save_dialog_resized.png");

    window->SetSize(size);
    test::PumpEvents(200);
    // The menu runs its own loop: a timer takes the picture and closes it with Escape.
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
      menuShot = !dir || test::CaptureScreen(std::string(dir) + "/save_dialog_menu.png");
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

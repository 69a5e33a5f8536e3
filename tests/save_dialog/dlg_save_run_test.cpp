// The save run in the Save dialog on screen, one test per thing the user does: Save (copies and
// downloads, sizes known and not), Save that cannot start, Pause, Save when every copy fails,
// Save with the skip policy, and closing the dialog while a download runs. Movies come from a
// scripted server on 127.0.0.1; its handlers look at the dialog (on the dialog's thread) while
// a download is under way.
#include <gtest/gtest.h>
#include <wx/gauge.h>
#include <X11/keysym.h>
#include <wx/listctrl.h>

#include <atomic>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "framework/ui_thread.h"
#include "framework/wx_text.h"
#include "res/strings.h"
#include "dialogs/dlg_file_exists.h"
#include "save_engine/target_naming.h"
#include "settings/profile.h"
#include "tests/support/dialog_script.h"
#include "tests/support/http_server.h"
#include "tests/support/movie_site.h"
#include "tests/support/temp_env.h"
#include "tests/save_dialog/list_input.h"
#include "save_dialog/dlg_save.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test::DialogScript;
using test::ExpectMessageBox;
using test::HttpConnection;
using test::HttpRequest;
using test::HttpResponseText;
using test::MessageBoxRecord;

std::string Utf8(unsigned id) { return LoadResStringUtf8(id); }

SWFFileInfo Movie(const std::string& url, const std::string& name, std::int32_t size,
                  const std::string& local = {}) {
  SWFFileInfo info;
  info.strURL = url;
  info.strFileName = name;
  info.nSize = size;
  info.strLocalFile = local;
  return info;
}

// What the dialog shows, read on its thread.
struct Look {
  std::vector<std::string> sizes, statuses;
  std::string statusLine, saveLabel;
  bool statusShown = false, barShown = false, dirEnabled = false, listInput = false;
  bool saveEnabled = false;
  int barRange = 0, barValue = 0;
};

Look LookAt(CDlgSave& d) {
  Look l;
  for (long i = 0; i < d.listCtrl->GetItemCount(); ++i) {
    l.sizes.push_back(FromWx(d.listCtrl->GetItemText(i, kColumnSize)));
    l.statuses.push_back(FromWx(d.listCtrl->GetItemText(i, kColumnStatus)));
  }
  l.statusLine = d.GetDlgItemText(IDC_SAVE_STATUS);
  l.saveLabel = d.GetDlgItemText(IDC_SAVE_SAVE);
  l.statusShown = d.GetDlgItem(IDC_SAVE_STATUS)->IsShown();
  auto* bar = d.GetDlgItemAs<wxGauge>(IDC_SAVE_PROGRESS);
  l.barShown = bar->IsShown();
  l.barRange = bar->GetRange();
  l.barValue = bar->GetValue();
  l.dirEnabled = d.GetDlgItem(IDC_SAVE_DIR)->IsEnabled();
  l.saveEnabled = d.GetDlgItem(IDC_SAVE_SAVE)->IsEnabled();
  l.listInput = d.listCtrl->IsInputEnabled() != FALSE;
  return l;
}

class SaveRunDialog : public testing::Test {
 protected:
  void SetUp() override {
    SetDefaultProfileRoot();
    docs_ = home_.dir().str() + "/docs";
    fs::create_directories(docs_);
    fs::create_directories(out_);
    home_.dir().WriteFile("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + docs_ + "\"\n");
  }

  // Runs the dialog on `movies`, types the target directory, and calls `act`; closes after.
  int Run(const std::vector<SWFFileInfo>& movies, const std::function<void(CDlgSave&)>& act,
          int nConflictAction = CONFLICT_OVERWRITE, bool endAfter = true) {
    for (const auto& m : movies) dlg_.fileList.Store(m);
    DialogScript script;
    script.Expect(IDD_SAVE, [&](CDialog&) {
      dlg_.settings.nConflictAction = nConflictAction;
      dlg_.SetDlgItemText(IDC_SAVE_DIR, out_);
      act(dlg_);
      if (endAfter) dlg_.EndDialog(IDOK);
    });
    return dlg_.DoModal();
  }

  // Looks at the dialog from a server handler (another thread) and waits until it has.
  Look LookFromServer() {
    std::atomic<bool> done{false};
    Look look;
    RunOnUiThread([&] {
      look = LookAt(dlg_);
      done = true;
    });
    while (!done) std::this_thread::sleep_for(1ms);
    return look;
  }

  // Looks again until the dialog shows what `shown` waits for, for at most five seconds; the
  // last look either way.
  Look LookFromServerUntil(const std::function<bool(const Look&)>& shown) {
    const auto end = std::chrono::steady_clock::now() + 5s;
    Look look = LookFromServer();
    while (!shown(look) && std::chrono::steady_clock::now() < end) {
      std::this_thread::sleep_for(5ms);
      look = LookFromServer();
    }
    return look;
  }

  test::IsolatedHome home_;
  std::string docs_;
  std::string out_ = home_.dir().str() + "/out";
  test::TestHttpServer server_;
  CDlgSave dlg_;
};

TEST_F(SaveRunDialog, SaveCopiesAndDownloadsShowingProgress) {
  const std::string cached = home_.dir().WriteFile("cache/a[1].swf", "copied");
  Look during;
  server_.Handle("/b.swf", [&](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 500"}));
    c.Write(std::string(300, 'b'));
    // The headers and the first bytes reach the window in their own time.
    during = LookFromServerUntil([](const Look& l) { return l.barValue == 300; });
    c.Write(std::string(200, 'b'));
  });
  Look after;
  // Rows stand in address order: the copy first.
  int result = Run({Movie(server_.Url("/a.swf"), "a.swf", 6, cached), Movie(server_.Url("/b.swf"), "b.swf", -1)},
                   [&](CDlgSave& d) {
                     d.ClickDlgButton(IDC_SAVE_SAVE);
                     after = LookAt(d);
                   });
  EXPECT_EQ(result, IDOK);
  // While downloading: saving state, the bar for the known total, the size column filled.
  EXPECT_EQ(during.saveLabel, Utf8(IDS_BUTTON_PAUSE));
  EXPECT_TRUE(during.statusShown);
  EXPECT_TRUE(during.barShown);
  EXPECT_EQ(during.barRange, 500);
  EXPECT_EQ(during.barValue, 300);
  EXPECT_EQ(during.statusLine, "下載中... (1 KB of 1 KB)");
  EXPECT_FALSE(during.dirEnabled);
  EXPECT_FALSE(during.listInput);
  EXPECT_EQ(during.statuses, (std::vector<std::string>{Utf8(IDS_STATUS_DONE), Utf8(IDS_STATUS_DOWNLOADING)}));
  EXPECT_EQ(during.sizes[1], "1 KB");
  // Afterwards: both done, the status line as the last progress left it, everything restored.
  EXPECT_EQ(after.statuses, (std::vector<std::string>{Utf8(IDS_STATUS_DONE), Utf8(IDS_STATUS_DONE)}));
  EXPECT_EQ(after.sizes, (std::vector<std::string>{"1 KB", "1 KB"}));
  EXPECT_EQ(after.statusLine, "下載中... (1 KB of 1 KB)");
  EXPECT_FALSE(after.statusShown);
  EXPECT_FALSE(after.barShown);
  EXPECT_TRUE(after.dirEnabled);
  EXPECT_TRUE(after.listInput);
  EXPECT_EQ(after.saveLabel, Utf8(IDS_BUTTON_SAVE));
  EXPECT_EQ(dlg_.strFirstSaved, out_ + "/a.swf");
  EXPECT_EQ(ReadLastSaveDir(), out_);
  EXPECT_EQ(test::ReadFile(out_ + "/a.swf"), "copied");
  EXPECT_EQ(test::ReadFile(out_ + "/b.swf"), std::string(500, 'b'));
}

TEST_F(SaveRunDialog, SaveOfAMovieOfUnknownSizeShowsQuestionMarksAndNoBar) {
  Look during;
  server_.Handle("/c.swf", [&](const HttpRequest&, HttpConnection& c) {
    c.Write("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
    c.Write("c00\r\n" + std::string(3072, 'c') + "\r\n");
    during = LookFromServerUntil([](const Look& l) { return l.statusLine == "下載中... (3 KB of ? KB)"; });
    c.Write("0\r\n\r\n");
  });
  Look after;
  Run({Movie(server_.Url("/c.swf"), "c.swf", -1)}, [&](CDlgSave& d) {
    d.ClickDlgButton(IDC_SAVE_SAVE);
    after = LookAt(d);
  });
  EXPECT_EQ(during.statusLine, "下載中... (3 KB of ? KB)");
  EXPECT_FALSE(during.barShown);
  EXPECT_EQ(during.sizes[0], "? KB");
  EXPECT_EQ(after.statuses[0], Utf8(IDS_STATUS_DONE));
  EXPECT_EQ(after.sizes[0], "3 KB");  // from the file on disk
}

// Movies past 2 GiB: the status line, the size column and the bar keep true, positive sizes.
TEST_F(SaveRunDialog, SizesPastTwoGibibytesStayPositive) {
  Look look;
  Run({Movie(server_.Url("/big.swf"), "big.swf", -1)}, [&](CDlgSave& d) {
    d.nSavingItem = 0;
    d.OnTotalSize(3000000000LL);
    d.OnProgress(2684354560LL);
    look = LookAt(d);
  });
  EXPECT_EQ(look.statusLine, "下載中... (2,621,440 KB of 2,929,688 KB)");
  EXPECT_EQ(look.sizes[0], "2,929,688 KB");
  EXPECT_TRUE(look.barShown);
  EXPECT_GT(look.barRange, 0);
  EXPECT_NEAR(static_cast<double>(look.barValue) / look.barRange, 2684354560.0 / 3e9, 0.01);
}

TEST_F(SaveRunDialog, SaveThatCannotStartChangesNothing) {
  struct Case {
    const char* name;
    bool uncheckAll;
    std::string dir;
    std::string message;
  } cases[] = {
      {"nothing checked", true, "", Utf8(IDS_NOTHING_TO_SAVE)},
      {"directory declined", false, "/missing/dir", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    CDlgSave dlg;
    dlg.fileList.Store(Movie("http://h/a.swf", "a.swf", 10));
    MessageBoxRecord box;
    Look after;
    DialogScript script;
    script.Expect(IDD_SAVE, [&](CDialog&) {
      if (c.uncheckAll) dlg.ClickDlgButton(IDC_SAVE_DESELECT_ALL);
      dlg.SetDlgItemText(IDC_SAVE_DIR, c.dir.empty() ? out_ : home_.dir().str() + c.dir);
      // Nothing checked: 62107; a missing directory: the question 50001, answered No.
      wxTEST_DIALOG(dlg.ClickDlgButton(IDC_SAVE_SAVE),
                    ExpectMessageBox(c.uncheckAll ? wxID_OK : wxID_NO, &box));
      after = LookAt(dlg);
      dlg.EndDialog(IDOK);
    });
    dlg.DoModal();
    if (!c.message.empty()) {
      EXPECT_EQ(box.text, c.message);
    }
    EXPECT_TRUE(box.shown);
    EXPECT_EQ(after.statuses[0], Utf8(IDS_STATUS_READY));
    EXPECT_TRUE(after.dirEnabled);
    EXPECT_EQ(ReadLastSaveDir(), "");
    EXPECT_FALSE(fs::exists(home_.dir().str() + "/missing"));
  }
}

TEST_F(SaveRunDialog, PauseOnTheSecondOfThreeDownloads) {
  server_.Reply("/1.swf", 200, "first");
  server_.Reply("/3.swf", 200, "third");
  server_.Handle("/2.swf", [&](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 100000"}));
    c.Write(std::string(2048, '2'));
    c.Sleep(200);
    RunOnUiThread([&] { dlg_.ClickDlgButton(IDC_SAVE_SAVE); });  // the Pause click
    c.Sleep(10000);
  });
  Look after;
  auto start = std::chrono::steady_clock::now();
  Run({Movie(server_.Url("/1.swf"), "1.swf", -1), Movie(server_.Url("/2.swf"), "2.swf", -1),
       Movie(server_.Url("/3.swf"), "3.swf", -1)},
      [&](CDlgSave& d) {
        d.ClickDlgButton(IDC_SAVE_SAVE);
        after = LookAt(d);
      });
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(after.statuses, (std::vector<std::string>{Utf8(IDS_STATUS_DONE), Utf8(IDS_STATUS_CANCELLED),
                                                      Utf8(IDS_STATUS_READY)}));
  EXPECT_EQ(after.saveLabel, Utf8(IDS_BUTTON_SAVE));
  EXPECT_TRUE(after.saveEnabled);  // disabled by the Pause click until the run ended
  EXPECT_EQ(dlg_.strFirstSaved, out_ + "/1.swf");
  EXPECT_EQ(ReadLastSaveDir(), out_);
  EXPECT_EQ(test::ReadFile(out_ + "/1.swf"), "first");
  EXPECT_FALSE(fs::exists(out_ + "/2.swf"));
  EXPECT_FALSE(fs::exists(out_ + "/3.swf"));
}

TEST_F(SaveRunDialog, SaveWhenEveryCopyFailsTellsEachAndKeepsTheFirstSaved) {
  dlg_.strFirstSaved = "/earlier/run.swf";
  MessageBoxRecord first, second;
  Look after;
  // Movies of a page on disk: no address to download instead.
  const std::string x = home_.dir().str() + "/gone/x.swf", y = home_.dir().str() + "/gone/y.swf";
  Run({Movie(x, "x.swf", 1, x), Movie(y, "y.swf", 1, y)},
      [&](CDlgSave& d) {
        wxTEST_DIALOG(d.ClickDlgButton(IDC_SAVE_SAVE), ExpectMessageBox(wxID_OK, &first),
                      ExpectMessageBox(wxID_OK, &second));
        after = LookAt(d);
      });
  EXPECT_EQ(first.text, "儲存檔案 'x.swf'失敗: 找不到指定的路徑。");
  EXPECT_EQ(second.text, "儲存檔案 'y.swf'失敗: 找不到指定的路徑。");
  EXPECT_TRUE(first.style & wxICON_ERROR);
  EXPECT_EQ(after.statuses, (std::vector<std::string>{Utf8(IDS_STATUS_FAILED), Utf8(IDS_STATUS_FAILED)}));
  EXPECT_EQ(dlg_.strFirstSaved, "/earlier/run.swf");
  EXPECT_EQ(ReadLastSaveDir(), out_);  // written whatever the outcome
}

// A failed download's box says which movie, from where, and what went wrong.
TEST_F(SaveRunDialog, DownloadFailureNamesTheMovieAndItsAddress) {
  server_.Reply("/e.swf", 500, "oops");
  MessageBoxRecord box;
  Run({Movie(server_.Url("/e.swf"), "e.swf", -1)}, [&](CDlgSave& d) {
    wxTEST_DIALOG(d.ClickDlgButton(IDC_SAVE_SAVE), ExpectMessageBox(wxID_OK, &box));
  });
  EXPECT_EQ(box.text, "無法下載「e.swf」（" + server_.Url("/e.swf") + "）：\n伺服器發生錯誤（HTTP 500）。");
  EXPECT_TRUE(box.style & wxICON_ERROR);
}

TEST_F(SaveRunDialog, SaveWithTheSkipPolicyLeavesAnExistingTargetAlone) {
  server_.Reply("/a.swf", 200, "new");
  home_.dir().WriteFile("out/a.swf", "old");
  Look after;
  Run({Movie(server_.Url("/a.swf"), "a.swf", 3)},
      [&](CDlgSave& d) {
        d.ClickDlgButton(IDC_SAVE_SAVE);
        after = LookAt(d);
      },
      CONFLICT_SKIP);
  EXPECT_EQ(after.statuses[0], Utf8(IDS_STATUS_READY));
  EXPECT_EQ(test::ReadFile(out_ + "/a.swf"), "old");
  EXPECT_EQ(server_.CountRequests("/a.swf"), 0);
  EXPECT_EQ(dlg_.strFirstSaved, "");
}

// The close box during a download: the download stops, the run ends as Pause ends it, and
// only then does the dialog close.
TEST_F(SaveRunDialog, ClosingDuringADownloadStopsItThenCloses) {
  server_.Handle("/1slow.swf", [&](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 100000"}));
    c.Write(std::string(1024, 's'));
    c.Sleep(200);
    RunOnUiThread([&] { dlg_.GetWindow()->Close(); });
    c.Sleep(10000);
  });
  server_.Reply("/2next.swf", 200, "next");
  std::vector<std::string> statuses;
  auto start = std::chrono::steady_clock::now();
  int result = Run({Movie(server_.Url("/1slow.swf"), "slow.swf", -1), Movie(server_.Url("/2next.swf"), "next.swf", -1)},
                   [&](CDlgSave& d) {
                     d.ClickDlgButton(IDC_SAVE_SAVE);
                     statuses = LookAt(d).statuses;
                   },
                   CONFLICT_OVERWRITE, false);
  EXPECT_EQ(result, IDCANCEL);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(statuses, (std::vector<std::string>{Utf8(IDS_STATUS_CANCELLED), Utf8(IDS_STATUS_READY)}));
  EXPECT_FALSE(dlg_.IsDownloading());
  EXPECT_EQ(ReadLastSaveDir(), out_);
  EXPECT_FALSE(fs::exists(out_ + "/slow.swf"));
  EXPECT_EQ(server_.CountRequests("/2next.swf"), 0);
}

// A picture of the dialog in the middle of a download (only with TROVEX_SCREENSHOT_DIR).
TEST_F(SaveRunDialog, ScreenshotDuringADownload) {
  const std::string cached = home_.dir().WriteFile("cache/intro[1].swf", std::string(3000, 'i'));
  bool shot = false;
  server_.Handle("/movie.swf", [&](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 200000"}));
    c.Write(std::string(70000, 'm'));
    c.Sleep(300);
    std::atomic<bool> done{false};
    RunOnUiThread([&] {
      dlg_.GetWindow()->Move(0, 0);
      test::ExpectDrawnAndUnclipped(dlg_.GetWindow(), "save_run_downloading.png");
      shot = true;
      done = true;
    });
    while (!done) std::this_thread::sleep_for(1ms);
    c.Write(std::string(130000, 'm'));
  });
  Run({Movie(server_.Url("/intro.swf"), "intro.swf", 3000, cached),
       Movie(server_.Url("/movie.swf"), "影片.swf", -1), Movie(server_.Url("/z.swf"), "z.swf", -1)},
      [&](CDlgSave& d) {
        d.listCtrl->CheckItem(2, false);
        d.ClickDlgButton(IDC_SAVE_SAVE);
      });
  EXPECT_TRUE(shot);
}

}  // namespace
}  // namespace trovex

namespace trovex {
namespace {

// Keys typed for real while the dialog runs: Alt+S pauses and saves again, Escape closes
// during a download (focus in the locked list) and after a run.
class SaveRunKeys : public SaveRunDialog {
 protected:
  // Focus into the list, as after a click on it.
  static void FocusList(CDlgSave& d) {
    d.GetWindow()->Raise();
    d.listCtrl->SetFocus();
    test::PumpEvents(150);
  }
};

TEST_F(SaveRunKeys, AltSPausesTheRunAndEscapeClosesDuringIt) {
  struct Case {
    const char* name;
    unsigned long keysym;
    bool alt;
    int wantResult;
  } cases[] = {
      {"Alt+S pauses, the dialog stays", XK_s, true, IDOK},
      {"Escape in the locked list stops the run and closes", XK_Escape, false, IDCANCEL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::TestHttpServer server;
    server.Handle("/slow.swf", [&](const HttpRequest&, HttpConnection& conn) {
      conn.Write(HttpResponseText(200, "", {"Content-Length: 2048"}));
      conn.Write(std::string(1024, 's'));
      conn.Sleep(300);
      test::SimKeyAnyThread(c.keysym, c.alt);
      // A key that did nothing lets the download end well, which the statuses then show.
      conn.Sleep(1500);
      conn.Write(std::string(1024, 's'));
    });
    CDlgSave dlg;
    dlg.fileList.Store(Movie(server.Url("/slow.swf"), "slow.swf", -1));
    std::vector<std::string> statuses;
    auto start = std::chrono::steady_clock::now();
    DialogScript script;
    script.Expect(IDD_SAVE, [&](CDialog&) {
      dlg.settings.nConflictAction = CONFLICT_OVERWRITE;
      dlg.SetDlgItemText(IDC_SAVE_DIR, out_);
      FocusList(dlg);
      dlg.ClickDlgButton(IDC_SAVE_SAVE);
      statuses = LookAt(dlg).statuses;
      if (c.wantResult == IDOK) dlg.EndDialog(IDOK);
    });
    EXPECT_EQ(dlg.DoModal(), c.wantResult);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(statuses, std::vector<std::string>{Utf8(IDS_STATUS_CANCELLED)});
  }
}

TEST_F(SaveRunKeys, AfterARunAltSSavesAgainAndEscapeCloses) {
  const std::string cached = home_.dir().WriteFile("cache/a[1].swf", "copied");
  int result = Run({Movie("http://h/a.swf", "a.swf", 6, cached)},
                   [&](CDlgSave& d) {
                     FocusList(d);
                     d.ClickDlgButton(IDC_SAVE_SAVE);
                     ASSERT_TRUE(fs::exists(out_ + "/a.swf"));
                     fs::remove(out_ + "/a.swf");
                     // The label keeps its underlined S.
                     EXPECT_EQ(FromWx(d.GetDlgItem(IDC_SAVE_SAVE)->GetLabel()), "儲存(&S)");
                     FocusList(d);
                     test::SimKeyAnyThread(XK_s, true);
                     test::PumpEvents(300);
                     EXPECT_TRUE(fs::exists(out_ + "/a.swf")) << "Alt+S did not save again";
                     FocusList(d);
                     test::SimKeyAnyThread(XK_Escape);
                     test::PumpEvents(300);
                   },
                   CONFLICT_OVERWRITE, false);
  EXPECT_EQ(result, IDCANCEL);
}

// Once a dialog over the Save dialog closes, a control of the Save dialog has the focus again,
// so Escape typed for real closes it.
TEST_F(SaveRunKeys, EscapeClosesAfterADialogOverItCloses) {
  struct Case {
    const char* name;
    std::function<void(CDlgSave&)> open;
    int inner;
    int innerButton;
  } cases[] = {
      {"Settings, OK", [](CDlgSave& d) { d.ClickDlgButton(IDC_SAVE_SETTINGS); }, IDD_SETTINGS, IDOK},
      {"Settings, Cancel", [](CDlgSave& d) { d.ClickDlgButton(IDC_SAVE_SETTINGS); }, IDD_SETTINGS, IDCANCEL},
      {"folder picker, Cancel",
       [](CDlgSave& d) {
         wxCommandEvent menu(wxEVT_MENU, WxCommandId(ID_DIR_BROWSE));
         d.GetWindow()->GetEventHandler()->ProcessEvent(menu);
       },
       IDD_DIRECTORY_PICKER, IDCANCEL},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    CDlgSave dlg;
    dlg.fileList.Store(Movie("http://h/a.swf", "a.swf", 1));
    bool focused = false;
    DialogScript script;
    script.Expect(IDD_SAVE, [&](CDialog&) {
      FocusList(dlg);
      c.open(dlg);
      test::PumpEvents(300);
      wxWindow* focus = wxWindow::FindFocus();
      focused = focus && wxGetTopLevelParent(focus) == dlg.GetWindow();
      test::SimKeyAnyThread(XK_Escape);
      test::PumpEvents(300);
    });
    script.Expect(c.inner, [&](CDialog& inner) { inner.ClickDlgButton(c.innerButton); });
    int result = -2;
    EXPECT_NO_THROW(result = dlg.DoModal()) << "Escape did not close the Save dialog";
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(focused) << "no control of the Save dialog has the focus";
  }
}

// Enter typed in the folder field starts the run; that field is disabled while it runs, and
// once the run has ended Escape still closes the dialog without any click first.
TEST_F(SaveRunKeys, EscapeClosesAfterARunStartedByEnterInTheFolderField) {
  const std::string cached = home_.dir().WriteFile("cache/a[1].swf", "copied");
  int result = Run({Movie("http://h/a.swf", "a.swf", 6, cached)},
                   [&](CDlgSave& d) {
                     d.GetWindow()->Raise();
                     d.GetDlgItem(IDC_SAVE_DIR)->SetFocus();
                     test::PumpEvents(150);
                     test::SimKeyAnyThread(XK_Return);
                     test::PumpEvents(300);
                     ASSERT_TRUE(fs::exists(out_ + "/a.swf")) << "Enter did not save";
                     test::SimKeyAnyThread(XK_Escape);
                     test::PumpEvents(300);
                   },
                   CONFLICT_OVERWRITE, false);
  EXPECT_EQ(result, IDCANCEL);
}

}  // namespace
}  // namespace trovex

namespace trovex {
namespace {

// A second run that asks about an existing file: the status line names nothing of the run
// before while the question is up.
TEST_F(SaveRunDialog, ANewRunClearsTheStatusLineBeforeAsking) {
  const std::string cached = home_.dir().WriteFile("cache/a[1].swf", "copied");
  std::string statusWhileAsked = "not asked";
  Run({Movie("http://h/a.swf", "a.swf", 6, cached)},
      [&](CDlgSave& d) {
        d.ClickDlgButton(IDC_SAVE_SAVE);  // no question: the file is new
        DialogScript asked;
        asked.Expect(IDD_FILE_EXISTS, [&](CDialog& fe) {
          statusWhileAsked = d.GetDlgItemText(IDC_SAVE_STATUS);
          fe.ClickDlgButton(IDC_FE_SKIP);
        });
        d.settings.nConflictAction = CONFLICT_PROMPT;
        d.ClickDlgButton(IDC_SAVE_SAVE);
      });
  EXPECT_EQ(statusWhileAsked, "");
}

}  // namespace
}  // namespace trovex

namespace trovex {
namespace {

// The site's movies as the scanner lists them: with their page and its FlashVars.
std::vector<SWFFileInfo> SiteMovies(const test::TestHttpServer& server, const test::MovieSite& site) {
  std::vector<SWFFileInfo> movies;
  for (const char* path : {"/site/main.swf", "/site/games/game.swf", "/site/broken.swf"}) {
    SWFFileInfo info = Movie(server.Url(path), std::string(path).substr(std::string(path).rfind('/') + 1), -1);
    info.pageAddress = site.page;
    if (std::string(path) == "/site/main.swf") info.flashVars = "config=data%2Fconfig.xml&mode=1";
    movies.push_back(info);
  }
  return movies;
}

std::vector<std::string> Column(CDlgSave& d, int column) {
  std::vector<std::string> texts;
  for (long i = 0; i < d.listCtrl->GetItemCount(); ++i) texts.push_back(FromWx(d.listCtrl->GetItemText(i, column)));
  return texts;
}

TEST_F(SaveRunDialog, SaveAlsoSavesEachMoviesFilesAndShowsItsFacts) {
  const test::MovieSite site = test::ServeMovieSite(server_);
  std::map<int, std::vector<std::string>> before, after;
  Run(SiteMovies(server_, site), [&](CDlgSave& d) {
    for (int column : {kColumnVersion, kColumnActionScript, kColumnStage, kColumnFrameRate, kColumnFiles})
      before[column] = Column(d, column);
    d.ClickDlgButton(IDC_SAVE_SAVE);
    for (int column : {kColumnVersion, kColumnActionScript, kColumnStage, kColumnFrameRate, kColumnFiles})
      after[column] = Column(d, column);
  });
  std::map<std::string, std::string> expected = site.movies;
  expected.insert(site.files.begin(), site.files.end());
  EXPECT_EQ(test::FilesUnder(out_), expected);
  // Rows in address order: broken, games/game, main. Movies not yet local show no facts.
  EXPECT_EQ(before[kColumnVersion], (std::vector<std::string>{"", "", ""}));
  EXPECT_EQ(after[kColumnVersion], (std::vector<std::string>{"10", "10", "10"}));
  EXPECT_EQ(after[kColumnActionScript], (std::vector<std::string>{"AS1/2", "AS3", "AS1/2"}));
  EXPECT_EQ(after[kColumnStage], (std::vector<std::string>{"550 × 400", "550 × 400", "550 × 400"}));
  EXPECT_EQ(after[kColumnFrameRate], (std::vector<std::string>{"24 格/秒", "30 格/秒", "24 格/秒"}));
  // Saved of named: the missing file counts against its movie, which is still done.
  EXPECT_EQ(after[kColumnFiles], (std::vector<std::string>{"0/1", "2/2", "5/5"}));
  EXPECT_EQ(dlg_.ItemFiles(0).at(0).status, MovieFileStatus::kMissing);
}

TEST_F(SaveRunDialog, RightClickOnARowListsTheFilesOfItsMovie) {
  const test::MovieSite site = test::ServeMovieSite(server_);
  MessageBoxRecord box, none;
  Run(SiteMovies(server_, site), [&](CDlgSave& d) {
    wxListEvent before(wxEVT_LIST_ITEM_RIGHT_CLICK, IDC_SAVE_LIST);
    before.m_itemIndex = 0;
    wxTEST_DIALOG(d.listCtrl->GetEventHandler()->ProcessEvent(before), ExpectMessageBox(wxID_OK, &none));
    d.ClickDlgButton(IDC_SAVE_SAVE);
    wxListEvent click(wxEVT_LIST_ITEM_RIGHT_CLICK, IDC_SAVE_LIST);
    click.m_itemIndex = 0;
    wxTEST_DIALOG(d.listCtrl->GetEventHandler()->ProcessEvent(click), ExpectMessageBox(wxID_OK, &box));
  });
  EXPECT_NE(none.text.find(Utf8(IDS_TROVEX_FILES_NONE)), std::string::npos) << none.text;
  EXPECT_EQ(box.text, "「broken.swf」載入的檔案\n\n" + Utf8(IDS_TROVEX_FILE_MISSING) + "  " + site.missingAddress +
                          "  伺服器沒有這個檔案（HTTP 404）。\n");
}

TEST_F(SaveRunDialog, AHiddenFactColumnStaysHiddenAndALocalCopyShowsItsFactsAtOnce) {
  const test::MovieSite site = test::ServeMovieSite(server_);
  const std::string local = home_.dir().WriteFile("cache/a[1].swf", site.movies.at("game.swf"));
  const SWFFileInfo movie = Movie("http://h/a.swf", "a.swf", 30, local);
  std::vector<std::string> version;
  int widthAfterHiding = -1;
  Run({movie}, [&](CDlgSave& d) {
    version = Column(d, kColumnVersion);
    d.ShowFactColumn(kColumnStage - kColumnVersion, false);
    widthAfterHiding = d.listCtrl->GetColumnWidth(kColumnStage);
  });
  EXPECT_EQ(version, (std::vector<std::string>{"10"}));
  EXPECT_EQ(widthAfterHiding, 0);
  // The next dialog opens with the column hidden.
  CDlgSave again;
  again.fileList.Store(movie);
  int widthOnOpen = -1;
  bool shown = true;
  DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog&) {
    widthOnOpen = again.listCtrl->GetColumnWidth(kColumnStage);
    shown = again.IsFactColumnShown(kColumnStage - kColumnVersion);
    again.EndDialog(IDOK);
  });
  again.DoModal();
  EXPECT_EQ(widthOnOpen, 0);
  EXPECT_FALSE(shown);
}

}  // namespace
}  // namespace trovex

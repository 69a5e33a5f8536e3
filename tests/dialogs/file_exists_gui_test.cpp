// The file-exists dialog and the interactive directory and conflict steps, on real files, with
// every dialog answered by the test.
#include "platform/error/error.h"
#include "platform/fs/fs.h"
#include "platform/text/system_message.h"
#include "res/strings.h"
#include "dialogs/dlg_file_exists.h"
#include "dialogs/target_directory.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <wx/button.h>
#include <wx/dialog.h>
#include <wx/filedlg.h>
#include <wx/statbmp.h>
#include <wx/testing.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>

namespace trovex {
namespace {

namespace fs = std::filesystem;
using test::DialogScript;
using test::ExpectMessageBox;
using test::MessageBoxRecord;
using test::ReadFile;
using test::TempDir;

void SetMtime(const std::string& path, std::time_t t) {
  struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

// Local time of the test is UTC, so the date texts are known.
class FileExistsDialog : public testing::Test {
 protected:
  void SetUp() override {
    env.Set("TZ", "UTC");
    tzset();
  }
  void TearDown() override { tzset(); }
  std::string Path(const std::string& rel) const { return dir.str() + "/" + rel; }

  test::ScopedEnv env;
  TempDir dir;
};

bool IconShown(CDialog& dlg, int id) {
  auto* icon = dlg.GetDlgItemAs<wxStaticBitmap>(id);
  return icon && icon->GetBitmap().IsOk() && icon->GetBitmap().GetWidth() > 0;
}

TEST_F(FileExistsDialog, ShowsBothFilesAndTheName) {
  std::string existing = dir.WriteFile("movie.swf", std::string(1536, 'e'));
  std::string source = dir.WriteFile("cache/movie[1].swf", std::string(1535, 's'));
  SetMtime(existing, 1700000000);
  SetMtime(source, 1600000000);
  DialogScript script;
  script.Expect(IDD_FILE_EXISTS, [](CDialog& dlg) {
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_MESSAGE), "這個資料夾已經包含名稱為'movie.swf'的檔案了。");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_SOURCE_SIZE), "1 KB");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_SOURCE_DATE), "2020-09-13, 12:26:40");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_EXISTING_SIZE), "2 KB");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_EXISTING_DATE), "2023-11-14, 22:13:20");
    EXPECT_TRUE(IconShown(dlg, IDC_FE_SOURCE_ICON));
    EXPECT_TRUE(IconShown(dlg, IDC_FE_EXISTING_ICON));
    EXPECT_TRUE(dlg.GetDlgItem(IDC_FE_RENAME)->IsEnabled());
    EXPECT_FALSE(dlg.IsDlgButtonChecked(IDC_FE_APPLY_TO_ALL));
    dlg.ClickDlgButton(IDC_FE_SKIP);
  });
  FileExistsAnswer answer = AskFileExists(existing, source);
  EXPECT_EQ(answer.nResult, FILE_EXISTS_SKIP);
}

TEST_F(FileExistsDialog, DownloadShowsQuestionMarksAndTheMovieIcon) {
  std::string existing = dir.WriteFile("a&b.swf", std::string(2 * 1024 * 1024, 'x'));
  DialogScript script;
  script.Expect(IDD_FILE_EXISTS, [](CDialog& dlg) {
    // "&" in a name is shown as it is, not taken as a mnemonic marker.
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_MESSAGE), "這個資料夾已經包含名稱為'a&b.swf'的檔案了。");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_SOURCE_SIZE), "?");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_SOURCE_DATE), "?");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_EXISTING_SIZE), "2,048 KB");
    EXPECT_TRUE(IconShown(dlg, IDC_FE_SOURCE_ICON));
    dlg.ClickDlgButton(IDC_FE_OVERWRITE);
  });
  EXPECT_EQ(AskFileExists(existing, "").nResult, FILE_EXISTS_OVERWRITE);
}

TEST_F(FileExistsDialog, VanishedFilesStillOpenTheDialog) {
  DialogScript script;
  script.Expect(IDD_FILE_EXISTS, [](CDialog& dlg) {
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_SOURCE_SIZE), "?");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_EXISTING_SIZE), "?");
    EXPECT_EQ(dlg.GetDlgItemText(IDC_FE_EXISTING_DATE), "?");
    dlg.ClickDlgButton(IDC_FE_AUTO_RENAME);
  });
  EXPECT_EQ(AskFileExists(Path("gone.swf"), Path("gone-too.swf")).nResult,
            FILE_EXISTS_AUTO_RENAME);
}

TEST_F(FileExistsDialog, BelongsOverTheSaveDialog) {
  std::string existing = dir.WriteFile("m.swf", "x");
  auto* owner = new wxDialog(nullptr, wxID_ANY, "owner");
  owner->Show();
  wxWindow* parent = nullptr;
  DialogScript script;
  script.Expect(IDD_FILE_EXISTS, [&](CDialog& dlg) {
    parent = dlg.GetWindow()->GetParent();
    // Modal: the owner takes no input while the question is open.
    EXPECT_FALSE(owner->IsEnabled());
    dlg.ClickDlgButton(IDC_FE_SKIP);
  });
  AskFileExists(existing, "");
  EXPECT_EQ(parent, owner);
  EXPECT_TRUE(owner->IsEnabled());
  owner->Destroy();
  test::PumpEvents(20);
}

void PressEscape(CDialog& dlg) {
  wxKeyEvent key(wxEVT_CHAR_HOOK);
  key.m_keyCode = WXK_ESCAPE;
  key.SetEventObject(dlg.GetWindow());
  dlg.GetWindow()->HandleWindowEvent(key);
}

void PressEnter(CDialog& dlg) {
  // Focus away from the buttons, as after a click on the check box.
  dlg.GetDlgItem(IDC_FE_APPLY_TO_ALL)->SetFocus();
  wxKeyEvent key(wxEVT_CHAR_HOOK);
  key.m_keyCode = WXK_RETURN;
  key.SetEventObject(dlg.GetWindow());
  dlg.GetWindow()->HandleWindowEvent(key);
}

struct ButtonCase {
  const char* name;
  std::function<void(CDialog&)> act;
  int result;
  int apply_to_all;
};

TEST_F(FileExistsDialog, EveryWayOutGivesItsCode) {
  std::string existing = dir.WriteFile("m.swf", "x");
  const ButtonCase cases[] = {
      {"auto rename", [](CDialog& d) { d.ClickDlgButton(IDC_FE_AUTO_RENAME); }, 1, 0},
      {"overwrite", [](CDialog& d) { d.ClickDlgButton(IDC_FE_OVERWRITE); }, 3, 0},
      {"skip", [](CDialog& d) { d.ClickDlgButton(IDC_FE_SKIP); }, 4, 0},
      {"escape", PressEscape, 4, 0},
      {"close box", [](CDialog& d) { d.GetWindow()->Close(); }, 4, 0},
      {"enter is the default button", PressEnter, 1, 0},
      {"overwrite all",
       [](CDialog& d) {
         d.ClickDlgButton(IDC_FE_APPLY_TO_ALL);
         d.ClickDlgButton(IDC_FE_OVERWRITE);
       },
       3, 1},
      {"escape keeps the box",
       [](CDialog& d) {
         d.ClickDlgButton(IDC_FE_APPLY_TO_ALL);
         PressEscape(d);
       },
       4, 1},
  };
  for (const auto& c : cases) {
    DialogScript script;
    script.Expect(IDD_FILE_EXISTS, c.act);
    FileExistsAnswer answer = AskFileExists(existing, "");
    EXPECT_EQ(answer.nResult, c.result) << c.name;
    EXPECT_EQ(answer.bApplyToAll, c.apply_to_all) << c.name;
    EXPECT_TRUE(answer.strNewPath.empty()) << c.name;
  }
}

TEST_F(FileExistsDialog, ApplyToAllDisablesRename) {
  std::string existing = dir.WriteFile("m.swf", "x");
  DialogScript script;
  script.Expect(IDD_FILE_EXISTS, [](CDialog& dlg) {
    wxWindow* rename = dlg.GetDlgItem(IDC_FE_RENAME);
    dlg.ClickDlgButton(IDC_FE_APPLY_TO_ALL);
    EXPECT_FALSE(rename->IsEnabled());
    // A disabled button cannot be clicked.
    dlg.ClickDlgButton(IDC_FE_RENAME);
    EXPECT_TRUE(dlg.GetWindow() != nullptr);
    dlg.ClickDlgButton(IDC_FE_APPLY_TO_ALL);
    EXPECT_TRUE(rename->IsEnabled());
    dlg.ClickDlgButton(IDC_FE_SKIP);
  });
  FileExistsAnswer answer = AskFileExists(existing, "");
  EXPECT_EQ(answer.nResult, FILE_EXISTS_SKIP);
  EXPECT_EQ(answer.bApplyToAll, 0);
}

TEST_F(FileExistsDialog, RenameTakesThePathOfTheSaveFileDialog) {
  std::string existing = dir.WriteFile("m.swf", "x");
  std::string chosen = Path("other name.swf");
  DialogScript script;
  script.Expect(IDD_FILE_EXISTS, [](CDialog& dlg) { dlg.ClickDlgButton(IDC_FE_RENAME); });
  FileExistsAnswer answer;
  wxTEST_DIALOG(answer = AskFileExists(existing, ""),
                wxExpectModal<wxFileDialog>(wxString::FromUTF8(chosen)));
  EXPECT_EQ(answer.nResult, FILE_EXISTS_RENAME);
  EXPECT_EQ(answer.strNewPath, chosen);
}

TEST_F(FileExistsDialog, RenameCancelledKeepsTheDialogOpen) {
  std::string existing = dir.WriteFile("m.swf", "x");
  DialogScript script;
  script.Expect(IDD_FILE_EXISTS, [](CDialog& dlg) {
    dlg.ClickDlgButton(IDC_FE_RENAME);
    EXPECT_NE(dlg.GetWindow(), nullptr);
    dlg.ClickDlgButton(IDC_FE_OVERWRITE);
  });
  FileExistsAnswer answer;
  wxTEST_DIALOG(answer = AskFileExists(existing, ""),
                wxExpectModal<wxFileDialog>("", wxID_CANCEL));
  EXPECT_EQ(answer.nResult, FILE_EXISTS_OVERWRITE);
  EXPECT_TRUE(answer.strNewPath.empty());
}

TEST_F(FileExistsDialog, RenameRefusesReadOnlyFilesAndAddsTheExtension) {
  std::string existing = dir.WriteFile("m.swf", "x");
  std::string locked = dir.WriteFile("locked.swf", "keep");
  ::chmod(locked.c_str(), 0444);
  DialogScript script;
  script.Expect(IDD_FILE_EXISTS, [](CDialog& dlg) { dlg.ClickDlgButton(IDC_FE_RENAME); });
  MessageBoxRecord refused;
  FileExistsAnswer answer;
  wxTEST_DIALOG(answer = AskFileExists(existing, ""),
                wxExpectModal<wxFileDialog>(wxString::FromUTF8(locked)),
                ExpectMessageBox(wxID_OK, &refused),
                wxExpectModal<wxFileDialog>(wxString::FromUTF8(Path("fresh"))));
  EXPECT_TRUE(refused.shown);
  EXPECT_NE(refused.text.find(locked), std::string::npos);
  EXPECT_TRUE(refused.style & wxICON_ERROR);
  EXPECT_EQ(answer.nResult, FILE_EXISTS_RENAME);
  EXPECT_EQ(answer.strNewPath, Path("fresh.swf"));
}

// --- the conflict step of a save run, with the dialog ---

class ConflictRun : public testing::Test {
 protected:
  std::string Path(const std::string& rel) const { return dir.str() + "/" + rel; }
  TempDir dir;
};

TEST_F(ConflictRun, PromptApplyToAllAcrossSeveralMovies) {
  for (const char* n : {"a.swf", "b.swf", "c.swf"}) dir.WriteFile(n, "old");
  SWFFileInfo info;
  info.strLocalFile = dir.WriteFile("cache/a[1].swf", "new");
  ConflictMemory memory;  // a new run
  DialogScript script;
  script.Expect(IDD_FILE_EXISTS, [](CDialog& dlg) {
    dlg.ClickDlgButton(IDC_FE_APPLY_TO_ALL);
    dlg.ClickDlgButton(IDC_FE_AUTO_RENAME);
  });
  for (const char* n : {"a", "b", "c"}) {
    std::string target = Path(std::string(n) + ".swf");
    EXPECT_TRUE(SettleTargetConflict(target, info, CONFLICT_PROMPT, memory));
    EXPECT_EQ(target, Path(std::string(n) + "[1].swf"));
  }
  EXPECT_EQ(script.Remaining(), 0u);

  // The next run asks again.
  ConflictMemory next_run;
  DialogScript again;
  again.Expect(IDD_FILE_EXISTS, [](CDialog& dlg) { dlg.ClickDlgButton(IDC_FE_SKIP); });
  std::string target = Path("a.swf");
  EXPECT_FALSE(SettleTargetConflict(target, info, CONFLICT_PROMPT, next_run));
}

TEST_F(ConflictRun, PromptEachTimeWithoutApplyToAll) {
  for (const char* n : {"a.swf", "b.swf"}) dir.WriteFile(n, "old");
  SWFFileInfo info;
  ConflictMemory memory;
  DialogScript script;
  script.Expect(IDD_FILE_EXISTS, [](CDialog& dlg) { dlg.ClickDlgButton(IDC_FE_RENAME); })
      .Expect(IDD_FILE_EXISTS, [](CDialog& dlg) { dlg.ClickDlgButton(IDC_FE_OVERWRITE); });
  std::string a = Path("a.swf"), b = Path("b.swf");
  // Rename into an existing file: the save-file dialog's own prompt was the confirmation.
  wxTEST_DIALOG(EXPECT_TRUE(SettleTargetConflict(a, info, CONFLICT_PROMPT, memory)),
                wxExpectModal<wxFileDialog>(wxString::FromUTF8(b)));
  EXPECT_EQ(a, b);
  EXPECT_TRUE(SettleTargetConflict(b, info, CONFLICT_PROMPT, memory));
  EXPECT_EQ(b, Path("b.swf"));
  EXPECT_EQ(script.Remaining(), 0u);
}

// --- the target directory, interactively ---

class TargetDirectory : public testing::Test {
 protected:
  std::string Path(const std::string& rel) const { return dir.str() + "/" + rel; }
  TempDir dir;
};

TEST_F(TargetDirectory, YesCreatesEveryLevel) {
  MessageBoxRecord question;
  BOOL ok = FALSE;
  wxTEST_DIALOG(ok = EnsureTargetDirectory(Path("new/deeper"), TRUE),
                ExpectMessageBox(wxID_YES, &question));
  EXPECT_TRUE(ok);
  EXPECT_TRUE(fs::is_directory(Path("new/deeper")));
  EXPECT_EQ(question.text, "檔案 \"" + Path("new/deeper") + "\" 不存在,您要現在建立嗎?");
  EXPECT_EQ(question.caption, LoadResStringUtf8(IDS_APP_TITLE));
  EXPECT_TRUE(question.style & wxICON_QUESTION);
  EXPECT_TRUE(question.style & wxYES_NO);
}

TEST_F(TargetDirectory, NoCreatesNothingAndSaysNothingMore) {
  MessageBoxRecord question;
  BOOL ok = TRUE;
  wxTEST_DIALOG(ok = EnsureTargetDirectory(Path("declined/x"), TRUE),
                ExpectMessageBox(wxID_NO, &question));
  EXPECT_FALSE(ok);
  EXPECT_TRUE(question.shown);
  EXPECT_FALSE(fs::exists(Path("declined")));
}

TEST_F(TargetDirectory, ExistingDirectoryAsksNothing) {
  EXPECT_TRUE(EnsureTargetDirectory(dir.str(), TRUE));
}

TEST_F(TargetDirectory, FailureIsReportedWithTheSystemText) {
  dir.WriteFile("blocker", "");
  MessageBoxRecord question, failure;
  BOOL ok = TRUE;
  wxTEST_DIALOG(ok = EnsureTargetDirectory(Path("blocker/sub"), TRUE),
                ExpectMessageBox(wxID_YES, &question), ExpectMessageBox(wxID_OK, &failure));
  EXPECT_FALSE(ok);
  EXPECT_EQ(failure.text, "建立檔案失敗: " + SystemMessageText(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(failure.style & wxICON_ERROR);
}

TEST_F(TargetDirectory, InvalidPathIsReportedWithoutAQuestion) {
  MessageBoxRecord failure;
  BOOL ok = TRUE;
  wxTEST_DIALOG(ok = EnsureTargetDirectory("movies/relative", TRUE),
                ExpectMessageBox(wxID_OK, &failure));
  EXPECT_FALSE(ok);
  EXPECT_EQ(failure.text, "建立檔案失敗: 目錄名稱無效。");
  EXPECT_FALSE(fs::exists("movies"));
}

// --- long names in the message ---

// Every character 10 wide, so lines can be counted by hand.
int TenEach(const wxString& s) { return static_cast<int>(s.length()) * 10; }

struct FitCase {
  const char* name;
  const char* before;
  const char* file;
  const char* after;
  int width;
  int maxLines;
  const char* fitted;
};

TEST(FitNameMessage, BreaksBetweenCharactersAndShortensTheMiddle) {
  const FitCase cases[] = {
      {"fits as it is", "<", "name", ">", 100, 2, "<name>"},
      {"broken between characters", "before'", "name", "'after", 100, 2, "before'nam\ne'after"},
      {"broken after a near space", "A ", "bb cccc", ".", 60, 2, "A bb \ncccc."},
      {"far space is not used", "A bbbbb", "", "c", 60, 2, "A bbbb\nbc"},
      {"middle of the name gives way", "<", "xxxxxxxxxxxxxxxxxxxxxxxxxxxxxx.swf", ">", 100, 2,
       "<xxxxxxxx\xE2\x80\xA6\nxxxxx.swf>"},
      {"no line at all counts as one", "<", "abcdefghij", ">", 100, 0, "<abc\xE2\x80\xA6ghij>"},
      {"sentence longer than the box keeps only the mark", "0123456789012345678901234", "name",
       ".", 100, 2, "0123456789\n0123456789\n01234\xE2\x80\xA6."},
  };
  for (const auto& c : cases) {
    wxString fitted = FitNameMessage(wxString::FromUTF8(c.before), wxString::FromUTF8(c.file),
                                     wxString::FromUTF8(c.after), c.width, c.maxLines, TenEach);
    EXPECT_EQ(fitted.utf8_string(), c.fitted) << c.name;
  }
}

TEST_F(FileExistsDialog, LongNamesStayReadableInTheMessage) {
  const std::string names[] = {
      "二零零六年夏季活動介紹動畫 summer-campaign-intro-banner-final-version.swf",
      "a_very_long_movie_name_without_any_spaces_that_goes_on_and_on_and_on_until_it_no_longer_"
      "fits_in_two_lines_at_all.swf",
      "這是一個非常非常長而且完全沒有空白的中文影片名稱用來測試訊息是否能完整顯示到最後的副檔名與句尾"
      "這是一個非常非常長而且完全沒有空白的中文影片名稱&用來測試.swf",
  };
  const std::string before = "這個資料夾已經包含名稱為'";
  const std::string after = "'的檔案了。";
  for (const std::string& name : names) {
    std::string existing = dir.WriteFile(name, "x");
    DialogScript script;
    script.Expect(IDD_FILE_EXISTS, [&](CDialog& dlg) {
      wxWindow* message = dlg.GetDlgItem(IDC_FE_MESSAGE);
      const wxString text = wxString::FromUTF8(dlg.GetDlgItemText(IDC_FE_MESSAGE));
      const wxSize box = message->GetClientSize();
      const wxArrayString lines = wxSplit(text, '\n', '\0');
      int height = 0;
      for (const wxString& line : lines) {
        const wxSize extent = message->GetTextExtent(line);
        EXPECT_LE(extent.x, box.x) << name << ": " << line.utf8_string();
        height += extent.y;
      }
      EXPECT_LE(height, box.y) << name;
      // The sentence is whole: its start, the name's start and end with the type, its end.
      wxString joined = text;
      joined.Replace("\n", "");
      const wxString wname = wxString::FromUTF8(name);
      EXPECT_TRUE(joined.StartsWith(wxString::FromUTF8(before) + wname.Left(4))) << name;
      EXPECT_TRUE(joined.EndsWith(wname.Right(8) + wxString::FromUTF8(after))) << name;
      if (joined != wxString::FromUTF8(before + name + after)) {
        EXPECT_NE(joined.Find(wxString::FromUTF8("\xE2\x80\xA6")), wxNOT_FOUND) << name;
      }
      dlg.ClickDlgButton(IDC_FE_SKIP);
    });
    AskFileExists(existing, "");
  }
}

// Long names drawn with nothing cut (saved for a person when TROVEX_SCREENSHOT_DIR is set).
TEST_F(FileExistsDialog, Screenshot) {
  // Long names, to see how the message copes with them: with spaces, and without any.
  const std::pair<const char*, std::string> shots[] = {
      {"file_exists_dialog.png",
       "二零零六年夏季活動介紹動畫 summer-campaign-intro-banner-final-version.swf"},
      {"file_exists_dialog_long_name.png",
       "二零零六年夏季活動介紹動畫_summer-campaign-intro-banner-final-version-for-the-"
       "autumn-and-winter-season-again.swf"},
  };
  for (const auto& [file, name] : shots) {
    std::string existing = dir.WriteFile(name, std::string(1263616, 'e'));
    std::string source = dir.WriteFile("cache/" + name, std::string(5000, 's'));
    DialogScript script;
    script.Expect(IDD_FILE_EXISTS, [&](CDialog& dlg) {
      test::ExpectDrawnAndUnclipped(dlg.GetWindow(), file);
      dlg.ClickDlgButton(IDC_FE_SKIP);
    });
    AskFileExists(existing, source);
  }
}

}  // namespace
}  // namespace trovex

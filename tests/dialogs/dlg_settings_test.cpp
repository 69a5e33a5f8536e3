// The Settings dialog on screen: what it shows for what is stored, what OK and Cancel write
// (also as REGEDIT4 text in the hive file), the length validation and the browse button.
#include "dialogs/dlg_settings.h"

#include <gtest/gtest.h>
#include <wx/textctrl.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "framework/wx_text.h"
#include "dialogs/dlg_directory_picker.h"
#include "settings/profile.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

using test::DialogScript;
using test::ExpectMessageBox;
using test::MessageBoxRecord;

// What the dialog shows.
struct Shown {
  int dirRadio = 0;       // checked one of 1010/1011, 0 when none
  std::string edit;
  bool editEnabled = false;
  int conflictRadio = 0;  // checked one of 1018..1021
  bool operator==(const Shown&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Shown& s) {
  return os << "{dir radio " << s.dirRadio << ", edit \"" << s.edit << "\" " << (s.editEnabled ? "enabled" : "disabled")
            << ", conflict radio " << s.conflictRadio << "}";
}

Shown Observe(CDialog& d) {
  Shown s;
  for (int id : {IDC_DIR_LAST, IDC_DIR_SPECIFIED})
    if (d.IsDlgButtonChecked(id)) s.dirRadio = id;
  for (int id : {IDC_CONFLICT_RENAME, IDC_CONFLICT_OVERWRITE, IDC_CONFLICT_SKIP, IDC_CONFLICT_ASK})
    if (d.IsDlgButtonChecked(id)) s.conflictRadio = id;
  s.edit = d.GetDlgItemText(IDC_DIR_EDIT);
  s.editEnabled = d.GetDlgItem(IDC_DIR_EDIT)->IsEnabled();
  return s;
}

void TypeInto(CDialog& d, const std::string& text) {
  d.GetDlgItemAs<wxTextCtrl>(IDC_DIR_EDIT)->SetValue(ToWx(text));
}

class SettingsDialog : public testing::Test {
 protected:
  void SetUp() override { SetDefaultProfileRoot(); }
  std::string HiveText() const { return test::ReadFile(home_.config() + "/kelvora-swf-trovex/user.reg"); }
  static void Store(std::optional<int> choice, std::optional<std::string> dir, std::optional<int> action) {
    if (choice) AppProfile().WriteProfileInt(kSectionTrovex, kValueDirChoice, *choice);
    if (dir) AppProfile().WriteProfileString(kSectionTrovex, kValueDefaultDir, *dir);
    if (action) AppProfile().WriteProfileInt(kSectionTrovex, kValueConflictAction, *action);
  }
  static std::optional<std::string> StoredDir() {
    const std::string missing = "\x01missing";
    std::string s = AppProfile().GetProfileString(kSectionTrovex, kValueDefaultDir, missing);
    return s == missing ? std::nullopt : std::optional<std::string>(s);
  }
  static UINT StoredInt(const char* name) { return AppProfile().GetProfileInt(kSectionTrovex, name, 12345); }

  test::IsolatedHome home_;
};

TEST_F(SettingsDialog, ShowsWhatIsStoredByTheReadRules) {
  const std::string longDir(300, 'd');
  struct Case {
    const char* name;
    std::optional<int> choice;
    std::optional<std::string> dir;
    std::optional<int> action;
    Shown shown;
  } cases[] = {
      {"nothing stored", {}, {}, {}, {IDC_DIR_LAST, "", false, IDC_CONFLICT_ASK}},
      {"specified directory", 1, "/srv/影片", {}, {IDC_DIR_SPECIFIED, "/srv/影片", true, IDC_CONFLICT_ASK}},
      {"choice 5 reads as 1", 5, {}, {}, {IDC_DIR_SPECIFIED, "", true, IDC_CONFLICT_ASK}},
      {"choice 0 keeps the directory, disabled", 0, "/a", {}, {IDC_DIR_LAST, "/a", false, IDC_CONFLICT_ASK}},
      {"rename", {}, {}, 0, {IDC_DIR_LAST, "", false, IDC_CONFLICT_RENAME}},
      {"overwrite", {}, {}, 1, {IDC_DIR_LAST, "", false, IDC_CONFLICT_OVERWRITE}},
      {"skip", {}, {}, 2, {IDC_DIR_LAST, "", false, IDC_CONFLICT_SKIP}},
      {"ask", {}, {}, 3, {IDC_DIR_LAST, "", false, IDC_CONFLICT_ASK}},
      {"action 7 reads as 3", {}, {}, 7, {IDC_DIR_LAST, "", false, IDC_CONFLICT_ASK}},
      {"action 4294967295 reads as 3", {}, {}, -1, {IDC_DIR_LAST, "", false, IDC_CONFLICT_ASK}},
      {"an over-long stored directory is shown whole", 1, longDir, {}, {IDC_DIR_SPECIFIED, longDir, true, IDC_CONFLICT_ASK}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::IsolatedHome home;  // a fresh hive for each case
    Store(c.choice, c.dir, c.action);
    CDlgSettings dlg;
    Shown shown;
    DialogScript script;
    script.Expect(IDD_SETTINGS, [&](CDialog& d) {
      shown = Observe(d);
      d.ClickDlgButton(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(shown, c.shown);
  }
}

TEST_F(SettingsDialog, OkAndCancelWriteWhatTheyShould) {
  struct Case {
    const char* name;
    std::optional<int> choice;
    std::optional<std::string> dir;
    std::optional<int> action;
    std::function<void(CDialog&)> act;
    int result;
    UINT wantChoice;  // 12345: not stored
    std::optional<std::string> wantDir;
    UINT wantAction;
    UINT wantSaveFiles = 1;  // after OK
  } cases[] = {
      {"OK with the last directory leaves the stored directory alone", 1, "/old", 3,
       [](CDialog& d) {
         TypeInto(d, "/new");
         d.ClickDlgButton(IDC_DIR_LAST);
         d.ClickDlgButton(IDC_CONFLICT_SKIP);
         d.ClickDlgButton(IDOK);
       },
       IDOK, 0, "/old", 2},
      {"OK with a specified empty directory stores it empty", {}, {}, {},
       [](CDialog& d) {
         d.ClickDlgButton(IDC_DIR_SPECIFIED);
         TypeInto(d, "");
         d.ClickDlgButton(IDOK);
       },
       IDOK, 1, "", 3},
      {"OK with a specified directory stores the edit's text", {}, {}, {},
       [](CDialog& d) {
         d.ClickDlgButton(IDC_DIR_SPECIFIED);
         TypeInto(d, "/home/使用者/影片");
         d.ClickDlgButton(IDC_CONFLICT_RENAME);
         d.ClickDlgButton(IDOK);
       },
       IDOK, 1, "/home/使用者/影片", 0},
      {"OK without changes writes choice and policy", {}, {}, {},
       [](CDialog& d) { d.ClickDlgButton(IDOK); }, IDOK, 0, std::nullopt, 3},
      {"OK after clearing the files box stores it off", {}, {}, {},
       [](CDialog& d) {
         EXPECT_TRUE(d.IsDlgButtonChecked(IDC_SAVE_MOVIE_FILES));  // on by default
         d.ClickDlgButton(IDC_SAVE_MOVIE_FILES);
         d.ClickDlgButton(IDOK);
       },
       IDOK, 0, std::nullopt, 3, 0},
      {"Cancel writes nothing", 0, "/keep", 1,
       [](CDialog& d) {
         d.ClickDlgButton(IDC_DIR_SPECIFIED);
         TypeInto(d, "/x");
         d.ClickDlgButton(IDC_CONFLICT_SKIP);
         d.ClickDlgButton(IDCANCEL);
       },
       IDCANCEL, 0, "/keep", 1},
      {"Escape writes nothing", {}, {}, {},
       [](CDialog& d) {
         d.ClickDlgButton(IDC_CONFLICT_RENAME);
         wxKeyEvent key(wxEVT_CHAR_HOOK);
         key.m_keyCode = WXK_ESCAPE;
         d.GetWindow()->GetEventHandler()->ProcessEvent(key);
       },
       IDCANCEL, 12345, std::nullopt, 12345},
      {"the close box writes nothing", {}, {}, {},
       [](CDialog& d) {
         d.ClickDlgButton(IDC_DIR_SPECIFIED);
         wxCloseEvent close(wxEVT_CLOSE_WINDOW);
         close.SetEventObject(d.GetWindow());
         d.GetWindow()->GetEventHandler()->ProcessEvent(close);
       },
       IDCANCEL, 12345, std::nullopt, 12345},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::IsolatedHome home;
    Store(c.choice, c.dir, c.action);
    CDlgSettings dlg;  // reading creates the section's key, as described
    const std::string before = test::ReadFile(home.config() + "/kelvora-swf-trovex/user.reg");
    const int oldChoice = dlg.nDirChoice, oldAction = dlg.nConflictAction;
    const std::string oldDir = dlg.strDefaultDir;
    DialogScript script;
    script.Expect(IDD_SETTINGS, c.act);
    EXPECT_EQ(dlg.DoModal(), c.result);
    EXPECT_EQ(StoredInt(kValueDirChoice), c.wantChoice);
    EXPECT_EQ(StoredDir(), c.wantDir);
    EXPECT_EQ(StoredInt(kValueConflictAction), c.wantAction);
    const std::string after = test::ReadFile(home.config() + "/kelvora-swf-trovex/user.reg");
    if (c.result == IDOK) {
      // The members now hold what was accepted.
      EXPECT_EQ(static_cast<UINT>(dlg.nDirChoice), c.wantChoice);
      EXPECT_EQ(static_cast<UINT>(dlg.nConflictAction), c.wantAction);
      EXPECT_EQ(StoredInt(kValueSaveMovieFiles), c.wantSaveFiles);
      EXPECT_EQ(static_cast<UINT>(dlg.bSaveMovieFiles), c.wantSaveFiles);
      char line[64];
      std::snprintf(line, sizeof line, "\"Conflict Action\"=dword:%08x", c.wantAction);
      EXPECT_NE(after.find(line), std::string::npos) << after;
      std::snprintf(line, sizeof line, "\"Default Save Directory Choice\"=dword:%08x", c.wantChoice);
      EXPECT_NE(after.find(line), std::string::npos) << after;
      if (c.wantDir) {
        EXPECT_NE(after.find("\"Default Save Directory\"=\"" + *c.wantDir + "\""), std::string::npos) << after;
      }
    } else {
      EXPECT_EQ(after, before) << "the hive file changed";
      EXPECT_EQ(dlg.nDirChoice, oldChoice);
      EXPECT_EQ(dlg.nConflictAction, oldAction);
      EXPECT_EQ(dlg.strDefaultDir, oldDir);
    }
  }
}

TEST_F(SettingsDialog, DirectoryLongerThan255CharactersIsRefused) {
  struct Case {
    const char* name;
    std::string dir;
    bool accepted;
  } cases[] = {
      {"255 ASCII characters", std::string(255, 'a'), true},
      {"256 ASCII characters", std::string(256, 'a'), false},
      {"255 Chinese characters (765 bytes)", [] {
         std::string s;
         for (int i = 0; i < 255; ++i) s += "影";
         return s;
       }(), true},
      {"256 Chinese characters", [] {
         std::string s;
         for (int i = 0; i < 256; ++i) s += "影";
         return s;
       }(), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::IsolatedHome home;
    Store(0, "/before", 3);
    CDlgSettings dlg;
    MessageBoxRecord box;
    bool stayedOpen = false;
    bool editFocused = false;
    DialogScript script;
    script.Expect(IDD_SETTINGS, [&](CDialog& d) {
      d.ClickDlgButton(IDC_DIR_SPECIFIED);
      d.ClickDlgButton(IDC_CONFLICT_OVERWRITE);
      TypeInto(d, c.dir);
      d.ClickDlgButton(IDOK);
      if (d.GetWindow() && !c.accepted) {
        stayedOpen = true;
        editFocused = test::HasFocus(d.GetDlgItem(IDC_DIR_EDIT)).value_or(true);
        d.ClickDlgButton(IDCANCEL);
      }
    });
    int result = 0;
    if (c.accepted) {
      result = dlg.DoModal();
    } else {
      wxTEST_DIALOG(result = dlg.DoModal(), ExpectMessageBox(wxID_OK, &box));
    }
    if (c.accepted) {
      EXPECT_EQ(result, IDOK);
      EXPECT_FALSE(box.shown);
      EXPECT_EQ(StoredDir(), c.dir);
      EXPECT_EQ(dlg.strDefaultDir, c.dir);
    } else {
      EXPECT_EQ(result, IDCANCEL);
      EXPECT_TRUE(stayedOpen);
      EXPECT_TRUE(editFocused);
      EXPECT_EQ(box.text, "請輸入不要超過 255 個字符。");
      EXPECT_EQ(box.caption, "SWF Zalmic Trovex");
      EXPECT_EQ(box.style & wxICON_MASK, wxICON_EXCLAMATION);
      // Nothing was written, and Cancel afterwards keeps the values last accepted.
      EXPECT_EQ(StoredDir(), "/before");
      EXPECT_EQ(StoredInt(kValueDirChoice), 0u);
      EXPECT_EQ(StoredInt(kValueConflictAction), 3u);
      EXPECT_EQ(dlg.strDefaultDir, "/before");
      EXPECT_EQ(dlg.nDirChoice, 0);
      EXPECT_EQ(dlg.nConflictAction, 3);
    }
  }
}

TEST_F(SettingsDialog, NextRunShowsTheMembersNotTheRegistry) {
  CDlgSettings dlg;
  Shown second, third;
  DialogScript script;
  script.Expect(IDD_SETTINGS, [](CDialog& d) {
    d.ClickDlgButton(IDC_DIR_SPECIFIED);
    TypeInto(d, "/first");
    d.ClickDlgButton(IDC_CONFLICT_SKIP);
    d.ClickDlgButton(IDOK);
  });
  script.Expect(IDD_SETTINGS, [&](CDialog& d) {
    second = Observe(d);
    d.ClickDlgButton(IDC_DIR_LAST);
    d.ClickDlgButton(IDC_CONFLICT_RENAME);
    TypeInto(d, "/changed");
    d.ClickDlgButton(IDCANCEL);
  });
  script.Expect(IDD_SETTINGS, [&](CDialog& d) {
    third = Observe(d);
    d.ClickDlgButton(IDCANCEL);
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  // Someone else changes the registry meanwhile: the open dialog object does not re-read it.
  Store(0, "/elsewhere", 1);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  EXPECT_EQ(dlg.DoModal(), IDCANCEL);
  const Shown accepted{IDC_DIR_SPECIFIED, "/first", true, IDC_CONFLICT_SKIP};
  EXPECT_EQ(second, accepted);
  EXPECT_EQ(third, accepted);
  EXPECT_EQ(dlg.nConflictAction, 2);
  EXPECT_EQ(dlg.nDirChoice, 1);
  EXPECT_EQ(dlg.strDefaultDir, "/first");
}

TEST_F(SettingsDialog, RadioButtonsEnableTheEditOnly) {
  Store(1, "/d", 0);
  CDlgSettings dlg;
  DialogScript script;
  script.Expect(IDD_SETTINGS, [&](CDialog& d) {
    wxWindow* edit = d.GetDlgItem(IDC_DIR_EDIT);
    EXPECT_TRUE(edit->IsEnabled());
    d.ClickDlgButton(IDC_DIR_LAST);
    EXPECT_FALSE(edit->IsEnabled());
    EXPECT_TRUE(d.GetDlgItem(IDC_DIR_BROWSE)->IsEnabled());
    d.ClickDlgButton(IDC_DIR_SPECIFIED);
    EXPECT_TRUE(edit->IsEnabled());
    d.ClickDlgButton(IDC_DIR_LAST);
    // Members change only on OK.
    EXPECT_EQ(dlg.nDirChoice, 1);
    EXPECT_EQ(dlg.nConflictAction, 0);
    d.ClickDlgButton(IDCANCEL);
  });
  dlg.DoModal();
}

TEST_F(SettingsDialog, BrowsePutsThePickedFolderIntoTheEdit) {
  const std::string picked = home_.dir().str() + "/picked/資料夾";
  std::filesystem::create_directories(picked);
  Store(1, "/start/here", {});
  std::vector<std::string> starts;
  // The folder picker answers: first OK with a typed folder, then Cancel.
  auto pick = [&](CDialog& p) {
    auto& picker = dynamic_cast<CDlgDirectoryPicker&>(p);
    starts.push_back(picker.GetPath());
    EXPECT_NE(p.GetWindow()->GetParent(), nullptr) << "the picker must be owned by the dialog";
    p.GetDlgItemAs<wxTextCtrl>(IDC_PICKER_PATH)->SetValue(ToWx(picked));
    p.ClickDlgButton(IDOK);
  };
  auto cancel = [&](CDialog& p) {
    starts.push_back(dynamic_cast<CDlgDirectoryPicker&>(p).GetPath());
    p.ClickDlgButton(IDCANCEL);
  };
  CDlgSettings dlg;
  DialogScript script;
  script.Expect(IDD_SETTINGS, [&](CDialog& d) {
    d.ClickDlgButton(IDC_DIR_BROWSE);
    EXPECT_EQ(d.GetDlgItemText(IDC_DIR_EDIT), picked);
    auto* edit = d.GetDlgItemAs<wxTextCtrl>(IDC_DIR_EDIT);
    EXPECT_NE(test::HasFocus(edit), std::optional<bool>(false));
    long from = 0, to = 0;
    edit->GetSelection(&from, &to);
    EXPECT_EQ(to - from, static_cast<long>(edit->GetValue().length())) << "text not selected";
    // A cancelled picker changes nothing.
    d.ClickDlgButton(IDC_DIR_BROWSE);
    EXPECT_EQ(d.GetDlgItemText(IDC_DIR_EDIT), picked);
    d.ClickDlgButton(IDOK);
  });
  script.Expect(IDD_DIRECTORY_PICKER, pick);
  script.Expect(IDD_DIRECTORY_PICKER, cancel);
  dlg.DoModal();
  EXPECT_EQ(starts, (std::vector<std::string>{"/start/here", picked}));
  EXPECT_EQ(StoredDir(), picked);
}

TEST_F(SettingsDialog, TypingStopsAtTheLimitButProgramTextDoesNot) {
  CDlgSettings dlg;
  DialogScript script;
  script.Expect(IDD_SETTINGS, [](CDialog& d) {
    auto* edit = d.GetDlgItemAs<wxTextCtrl>(IDC_DIR_EDIT);
    auto typed = [edit](wxChar ch) {
      wxKeyEvent key(wxEVT_CHAR);
      key.m_uniChar = ch;
      key.m_keyCode = ch < 128 ? static_cast<int>(ch) : static_cast<int>(WXK_NONE);
      key.SetEventObject(edit);
      edit->GetEventHandler()->ProcessEvent(key);
      return key.GetSkipped();  // skipped: the control inserts the character
    };
    edit->SetValue(wxString(254, 'a'));
    edit->SetInsertionPointEnd();
    EXPECT_TRUE(typed('b'));
    edit->SetValue(wxString(255, 'a'));
    edit->SetInsertionPointEnd();
    EXPECT_FALSE(typed('b'));
    EXPECT_FALSE(typed(0x5F71));  // a Chinese character counts as one, like any other
    edit->SetSelection(0, 1);
    EXPECT_TRUE(typed('b')) << "replacing a selection must stay possible";
    edit->SetInsertionPointEnd();
    wxKeyEvent back(wxEVT_CHAR);
    back.m_keyCode = WXK_BACK;
    edit->GetEventHandler()->ProcessEvent(back);
    EXPECT_TRUE(back.GetSkipped()) << "editing keys are never blocked";
    edit->SetValue(wxString(400, 'a'));
    EXPECT_EQ(edit->GetValue().length(), 400u) << "text set by the program was cut";
    d.ClickDlgButton(IDCANCEL);
  });
  dlg.DoModal();
}

}  // namespace
}  // namespace trovex

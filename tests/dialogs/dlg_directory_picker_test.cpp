// The folder picker and the new-folder dialog on screen, over a temporary home.
#include "dialogs/dlg_directory_picker.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <wx/button.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>
#include <wx/utils.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "framework/message_box.h"
#include "framework/wx_text.h"
#include "res/strings.h"
#include "dialogs/dlg_new_folder.h"
#include "shelltree/shell_tree.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;
using test::DialogScript;
using test::ExpectMessageBox;
using test::MessageBoxRecord;

class FolderPicker : public testing::Test {
 protected:
  void SetUp() override {
    desktop_ = home_.dir().str() + "/Desktop";
    fs::create_directories(desktop_ + "/專案/子目錄");
    fs::create_directories(home_.dir().str() + "/文件");
  }
  static std::string Edit(CDialog& d) { return d.GetDlgItemText(IDC_PICKER_PATH); }
  static void Type(CDialog& d, int id, const std::string& text) { d.GetDlgItemAs<wxTextCtrl>(id)->SetValue(ToWx(text)); }
  static bool Enabled(CDialog& d, int id) { return d.GetDlgItem(id)->IsEnabled(); }
  static CShellTree* Tree(CDialog& d) { return dynamic_cast<CDlgDirectoryPicker&>(d).GetTree(); }

  test::IsolatedHome home_;
  std::string desktop_;
};

TEST_F(FolderPicker, StartsAtTheGivenPathOrTheDesktop) {
  struct Case {
    const char* what;
    std::string start;
    std::string edit;  // what the edit shows
    bool rootSelected;
  } cases[] = {
      {"empty: the desktop", "", desktop_, true},
      {"an existing folder", home_.dir().str() + "/文件", home_.dir().str() + "/文件", false},
      {"a folder on the desktop", desktop_ + "/專案/子目錄", desktop_ + "/專案/子目錄", false},
      {"a missing folder: root selected, edit empty", "/no/such/folder", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CDlgDirectoryPicker dlg;
    dlg.SetPath(c.start);
    DialogScript script;
    script.Expect(IDD_DIRECTORY_PICKER, [&](CDialog& d) {
      EXPECT_EQ(Edit(d), c.edit);
      CShellTree* tree = Tree(d);
      EXPECT_EQ(tree->GetSelection() == tree->GetRootItem(), c.rootSelected);
      EXPECT_EQ(FromWx(tree->GetItemText(tree->GetRootItem())), "桌面");
      d.ClickDlgButton(IDCANCEL);
    });
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EXPECT_EQ(dlg.GetPath(), "") << "Cancel leaves no path";
  }
}

// Enter in the folder tree presses the default button (OK), as in every dialog.
TEST_F(FolderPicker, EnterInTheTreePressesOk) {
  const std::string folder = home_.dir().str() + "/文件";
  struct Picker : CDlgDirectoryPicker {
    void OnOK() override {
      pressed = true;
      CDlgDirectoryPicker::OnOK();
    }
    bool pressed = false;
  } dlg;
  dlg.SetPath(folder);
  DialogScript script;
  script.Expect(IDD_DIRECTORY_PICKER, [&](CDialog& d) {
    d.GetWindow()->Raise();
    Tree(d)->SetFocus();
    auto settle = [] {
      for (int i = 0; i < 20; ++i) {
        wxYield();
        wxMilliSleep(10);
      }
    };
    settle();
    wxUIActionSimulator().Char(WXK_RETURN);
    settle();
    if (!dlg.pressed) d.ClickDlgButton(IDCANCEL);  // Enter did nothing
  });
  EXPECT_EQ(dlg.DoModal(), IDOK);
  EXPECT_EQ(dlg.GetPath(), folder);
}

// The selected folder is in view whichever way it was reached: opened on a deep path, ">" on a
// typed path, a new folder created.
TEST_F(FolderPicker, TheSelectedFolderIsScrolledIntoView) {
  std::string deep = desktop_;
  for (int i = 0; i < 25; ++i) deep += "/層" + std::to_string(i);
  fs::create_directories(deep);
  std::string other = home_.dir().str() + "/文件";
  for (int i = 0; i < 25; ++i) other += "/另" + std::to_string(i);
  fs::create_directories(other);
  auto inView = [](CShellTree* tree) {
    test::PumpEvents(200);
    wxRect rect;
    if (!tree->GetBoundingRect(tree->GetSelection(), rect, true)) return false;
    const wxSize client = tree->GetClientSize();
    return rect.y >= 0 && rect.GetBottom() < client.y;
  };
  CDlgDirectoryPicker dlg;
  dlg.SetPath(deep);
  DialogScript script;
  script.Expect(IDD_DIRECTORY_PICKER, [&](CDialog& d) {
    CShellTree* tree = Tree(d);
    EXPECT_EQ(Edit(d), deep);
    EXPECT_TRUE(inView(tree)) << "opened on a deep path";
    Type(d, IDC_PICKER_PATH, other);
    d.ClickDlgButton(IDC_PICKER_GO);
    EXPECT_EQ(Edit(d), other);
    EXPECT_TRUE(inView(tree)) << "after > on a typed path";
    tree->ScrollTo(tree->GetRootItem());
    d.ClickDlgButton(IDC_PICKER_NEW_FOLDER);
    EXPECT_EQ(Edit(d), other + "/新");
    EXPECT_TRUE(inView(tree)) << "after a new folder";
    d.ClickDlgButton(IDCANCEL);
  });
  script.Expect(IDD_NEW_FOLDER, [&](CDialog& n) {
    Type(n, IDC_NF_NAME, "新");
    n.ClickDlgButton(IDOK);
  });
  dlg.DoModal();
}

TEST_F(FolderPicker, OkChecksCreatesOrRefusesTheTypedPath) {
  const std::string h = home_.dir().str();
  struct Case {
    const char* what;
    std::string typed;  // "\x01start:" + path: not typed, the picker started there
    int answer;         // to 50001; 0: no question expected
    bool failureShown;  // 50002
    bool closes;
    bool exists;        // afterwards
  } cases[] = {
      {"two missing levels, Yes", "  " + h + "/NewDir/Sub  ", wxID_YES, false, true, true},
      {"two missing levels, No", h + "/Other/Sub", wxID_NO, false, false, false},
      {"the root needs no test", "/", 0, false, true, true},
      {"an existing folder", h + "/文件", 0, false, true, true},
      {"a relative path: OK stays disabled", "relative/dir", 0, false, false, false},
      {"below a file: creation fails", h + "/file.txt/sub", wxID_YES, true, false, false},
      {"started at a missing path, edit empty", "\x01start:/no/such", 0, true, false, false},
  };
  home_.dir().WriteFile("file.txt", "x");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CDlgDirectoryPicker dlg;
    MessageBoxRecord question, failure;
    DialogScript script;
    std::string trimmed = c.typed;
    trimmed.erase(0, trimmed.find_first_not_of(' '));
    trimmed.erase(trimmed.find_last_not_of(' ') + 1);
    const bool started = c.typed.rfind("\x01start:", 0) == 0;
    if (started) {
      dlg.SetPath(c.typed.substr(7));
      trimmed.clear();
    }
    script.Expect(IDD_DIRECTORY_PICKER, [&](CDialog& d) {
      if (!started) Type(d, IDC_PICKER_PATH, c.typed);
      EXPECT_EQ(Enabled(d, IDOK), started || c.typed != "relative/dir");
      d.ClickDlgButton(IDOK);
      if (!c.closes) {
        EXPECT_TRUE(d.GetWindow()->IsShown()) << "the picker stays open";
        d.ClickDlgButton(IDCANCEL);
      }
    });
    int result = 0;
    if (c.answer && c.failureShown) {
      wxTEST_DIALOG(result = dlg.DoModal(), ExpectMessageBox(c.answer, &question), ExpectMessageBox(wxID_OK, &failure));
    } else if (c.answer) {
      wxTEST_DIALOG(result = dlg.DoModal(), ExpectMessageBox(c.answer, &question));
    } else if (c.failureShown) {
      wxTEST_DIALOG(result = dlg.DoModal(), ExpectMessageBox(wxID_OK, &failure));
    } else {
      result = dlg.DoModal();
    }
    EXPECT_EQ(result, c.closes ? IDOK : IDCANCEL);
    EXPECT_EQ(dlg.GetPath(), c.closes ? trimmed : "");
    EXPECT_EQ(question.shown, c.answer != 0);
    if (question.shown) {
      EXPECT_NE(question.text.find(trimmed), std::string::npos) << question.text;
      EXPECT_TRUE(question.style & wxICON_QUESTION);
    }
    EXPECT_EQ(failure.shown, c.failureShown);
    if (failure.shown) {
      EXPECT_EQ(failure.text.rfind("建立檔案失敗: ", 0), 0u) << failure.text;
      EXPECT_TRUE(failure.style & wxICON_ERROR);
    }
    if (!started) {
      EXPECT_EQ(fs::is_directory(trimmed), c.exists);
    }
  }
}

TEST_F(FolderPicker, SelectingFoldersUpdatesTheEditAndVirtualOnesDisableOk) {
  CDlgDirectoryPicker dlg;
  DialogScript script;
  script.Expect(IDD_DIRECTORY_PICKER, [&](CDialog& d) {
    CShellTree* tree = Tree(d);
    wxTreeItemIdValue cookie;
    wxTreeItemId computer, project;
    for (wxTreeItemId i = tree->GetFirstChild(tree->GetRootItem(), cookie); i.IsOk();
         i = tree->GetNextChild(tree->GetRootItem(), cookie)) {
      if (FromWx(tree->GetItemText(i)) == "電腦") computer = i;
      if (FromWx(tree->GetItemText(i)) == "專案") project = i;
    }
    ASSERT_TRUE(computer.IsOk());
    ASSERT_TRUE(project.IsOk());
    tree->SelectItem(project);
    EXPECT_EQ(Edit(d), desktop_ + "/專案");
    EXPECT_TRUE(Enabled(d, IDOK));
    EXPECT_TRUE(Enabled(d, IDC_PICKER_NEW_FOLDER));

    tree->SelectItem(computer);
    EXPECT_EQ(Edit(d), desktop_ + "/專案") << "the edit keeps its text";
    EXPECT_FALSE(Enabled(d, IDOK));
    EXPECT_FALSE(Enabled(d, IDC_PICKER_NEW_FOLDER));

    // Typing re-enables OK by the target path rules; ">" walks the tree to the typed path.
    Type(d, IDC_PICKER_PATH, "bad//path");
    EXPECT_FALSE(Enabled(d, IDOK));
    Type(d, IDC_PICKER_PATH, desktop_ + "/專案/子目錄");
    EXPECT_TRUE(Enabled(d, IDOK));
    d.ClickDlgButton(IDC_PICKER_GO);
    EXPECT_EQ(FromWx(tree->GetItemText(tree->GetSelection())), "子目錄");
    Type(d, IDC_PICKER_PATH, "/no/such/place");
    d.ClickDlgButton(IDC_PICKER_GO);
    EXPECT_EQ(FromWx(tree->GetItemText(tree->GetSelection())), "子目錄") << "not found: selection stays";
    d.ClickDlgButton(IDCANCEL);
  });
  dlg.DoModal();
}

TEST_F(FolderPicker, NewFolderIsCreatedBelowTheSelectionAndSelected) {
  fs::create_directories(desktop_ + "/專案/已有");
  // Below a folder whose path is longer than 255 characters.
  std::string deep = desktop_ + "/專案";
  while (deep.size() < 300) deep += "/abcdefghij";
  fs::create_directories(deep);
  {
    CDlgDirectoryPicker dlg;
    dlg.SetPath(deep);
    DialogScript script;
    script.Expect(IDD_DIRECTORY_PICKER, [&](CDialog& d) {
      d.ClickDlgButton(IDC_PICKER_NEW_FOLDER);
      EXPECT_EQ(Edit(d), deep + "/深");
      d.ClickDlgButton(IDCANCEL);
    });
    script.Expect(IDD_NEW_FOLDER, [&](CDialog& n) {
      Type(n, IDC_NF_NAME, "深");
      n.ClickDlgButton(IDOK);
    });
    dlg.DoModal();
    EXPECT_TRUE(fs::is_directory(deep + "/深"));
  }
  struct Case {
    const char* what;
    std::string name;
    bool okEnabled;     // after typing
    bool badName;       // 62104
    bool failure;       // 50002
    std::string made;   // created below 專案 ("" none)
  } cases[] = {
      {"a plain name, trimmed", "  新增資料夾  ", true, false, false, "新增資料夾"},
      {"white space only", "   ", false, false, false, ""},
      {"a backslash", "a\\b", true, true, false, ""},
      {"a colon", "a:b", true, true, false, ""},
      {"an existing folder", "已有", true, false, true, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CDlgDirectoryPicker dlg;
    dlg.SetPath(desktop_ + "/專案");
    MessageBoxRecord bad, failure;
    DialogScript script;
    script.Expect(IDD_DIRECTORY_PICKER, [&](CDialog& d) {
      d.ClickDlgButton(IDC_PICKER_NEW_FOLDER);
      if (!c.made.empty()) {
        EXPECT_EQ(Edit(d), desktop_ + "/專案/" + c.made);
        EXPECT_EQ(FromWx(Tree(d)->GetItemText(Tree(d)->GetSelection())), c.made);
      } else {
        EXPECT_EQ(Edit(d), desktop_ + "/專案");
      }
      d.ClickDlgButton(IDCANCEL);
    });
    script.Expect(IDD_NEW_FOLDER, [&](CDialog& n) {
      EXPECT_EQ(n.GetDlgItemText(IDC_NF_CURRENT_DIR), desktop_ + "/專案");
      EXPECT_FALSE(Enabled(n, IDOK)) << "nothing typed yet";
      Type(n, IDC_NF_NAME, c.name);
      EXPECT_EQ(Enabled(n, IDOK), c.okEnabled);
      n.ClickDlgButton(IDOK);
      if (c.badName) {
        EXPECT_TRUE(n.GetWindow()->IsShown());
        n.ClickDlgButton(IDCANCEL);
      } else if (!c.okEnabled) {
        n.ClickDlgButton(IDCANCEL);
      }
    });
    if (c.badName) {
      wxTEST_DIALOG(dlg.DoModal(), ExpectMessageBox(wxID_OK, &bad));
    } else if (c.failure) {
      wxTEST_DIALOG(dlg.DoModal(), ExpectMessageBox(wxID_OK, &failure));
    } else {
      dlg.DoModal();
    }
    EXPECT_EQ(bad.shown, c.badName);
    if (bad.shown) {
      EXPECT_EQ(bad.text.rfind("資料夾名稱中不能包含以下字符", 0), 0u) << bad.text;
    }
    EXPECT_EQ(failure.shown, c.failure);
    if (failure.shown) {
      EXPECT_NE(failure.text.find("建立檔案失敗: "), std::string::npos);
    }
    if (!c.made.empty()) {
      EXPECT_TRUE(fs::is_directory(desktop_ + "/專案/" + c.made));
    }
  }
}

// The forbidden characters are looked for character by character in the locale's code page.
TEST(NewFolderName, ForbiddenCharactersInTheLocalesCodePage) {
  std::string old = std::setlocale(LC_ALL, nullptr);
  struct Case {
    const char* locale;
    std::string name;
    bool forbidden;
  } cases[] = {
      {"zh_TW.big5", "\xB3\x5C", false},            // 許: its trail byte is 0x5C
      {"zh_TW.big5", "\xA5\x5C\xA4\xE5", false},    // 功文
      {"zh_TW.big5", "\xB3\x5C\\x", true},
      {"zh_TW.big5", "a/b", true},
      {"C.UTF-8", "a|b", true},
      {"C.UTF-8", "正常名稱", false},
      {"C.UTF-8", "what?", true},
  };
  for (const Case& c : cases) {
    if (!std::setlocale(LC_ALL, c.locale)) {
      ADD_FAILURE() << "locale " << c.locale << " is not installed";
      continue;
    }
    EXPECT_EQ(FolderNameHasForbiddenChar(c.name), c.forbidden) << c.locale << " " << c.name;
  }
  std::setlocale(LC_ALL, old.c_str());
}

// Under a Big5 locale the dialog hands out Big5 text, and a name whose trail bytes are 0x5C
// ("\\") is a good name, while a real backslash is not.
TEST(NewFolderDialog, Big5NamesWithTrailByte5CAreAccepted) {
  const std::string old = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "zh_TW.big5")) GTEST_SKIP() << "zh_TW.big5 is not installed";
  struct Case {
    const char* typed;  // UTF-8
    int result;
    std::string name;   // Big5
    bool refused;
  } cases[] = {
      {"許功蓋", IDOK, "\xB3\x5C\xA5\x5C\xBB\x5C", false},
      {"許\\蓋", IDCANCEL, "", true},
  };
  for (const Case& c : cases) {
    CDlgNewFolder dlg;
    MessageBoxRecord box;
    DialogScript script;
    script.Expect(IDD_NEW_FOLDER, [&](CDialog& n) {
      n.GetDlgItemAs<wxTextCtrl>(IDC_NF_NAME)->SetValue(wxString::FromUTF8(c.typed));
      n.ClickDlgButton(IDOK);
      if (c.refused) n.ClickDlgButton(IDCANCEL);
    });
    int result = 0;
    if (c.refused) {
      wxTEST_DIALOG(result = dlg.DoModal(), ExpectMessageBox(wxID_OK, &box));
    } else {
      result = dlg.DoModal();
    }
    EXPECT_EQ(result, c.result) << c.typed;
    EXPECT_EQ(box.shown, c.refused) << c.typed;
    if (c.result == IDOK) {
      EXPECT_EQ(dlg.strName, c.name);
    }
  }
  std::setlocale(LC_ALL, old.c_str());
}

// Both dialogs drawn with nothing cut (saved for a person when TROVEX_SCREENSHOT_DIR is set).
TEST_F(FolderPicker, Screenshot) {
  CDlgDirectoryPicker dlg;
  dlg.SetPath(desktop_ + "/專案/子目錄");
  DialogScript script;
  script.Expect(IDD_DIRECTORY_PICKER, [&](CDialog& d) {
    CShellTree* tree = Tree(d);
    wxTreeItemIdValue cookie;
    for (wxTreeItemId i = tree->GetFirstChild(tree->GetRootItem(), cookie); i.IsOk();
         i = tree->GetNextChild(tree->GetRootItem(), cookie))
      if (FromWx(tree->GetItemText(i)) == "電腦") tree->Expand(i);
    test::ExpectDrawnAndUnclipped(d.GetWindow(), "picker_1001.png");
    d.ClickDlgButton(IDC_PICKER_NEW_FOLDER);
    d.ClickDlgButton(IDCANCEL);
  });
  script.Expect(IDD_NEW_FOLDER, [&](CDialog& n) {
    Type(n, IDC_NF_NAME, "新資料夾一");
    test::ExpectDrawnAndUnclipped(n.GetWindow(), "new_folder_1007.png");
    n.ClickDlgButton(IDCANCEL);
  });
  dlg.DoModal();
}

}  // namespace
}  // namespace trovex

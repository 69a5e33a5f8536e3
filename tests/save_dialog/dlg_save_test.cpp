// The Save dialog on screen: the rows it shows, column widths, the first directory, the Save
// button's state and Enter, the directory commands, check boxes over a selection (real
// clicks), select all / none, and the import buttons with companions that record their argv.
#include "platform/text/res_text.h"
#include "save_dialog/dlg_save.h"

#include <gtest/gtest.h>
#include <wx/dcclient.h>
#include <sys/stat.h>
#include <wx/button.h>
#include <wx/textctrl.h>
#include <wx/uiaction.h>
#include <wx/weakref.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "framework/wx_text.h"
#include "save_engine/format.h"
#include "res/strings.h"
#include "platform/text/system_message.h"
#include "dialogs/dlg_directory_picker.h"
#include "settings/profile.h"
#include "settings/registry_key.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"
#include "tests/save_dialog/list_input.h"

namespace trovex {
namespace {

using test::DialogScript;
using test::ExpectMessageBox;
using test::MessageBoxRecord;

// The dialog with the save run replaced by a counter.
class TestDlgSave : public CDlgSave {
 public:
  int nSaves = 0;

 protected:
  void OnSave() override { ++nSaves; }
};

SWFFileInfo Movie(const std::string& url, const std::string& name, std::int32_t size) {
  SWFFileInfo info;
  info.strURL = url;
  info.strFileName = name;
  info.nSize = size;
  return info;
}

struct Row {
  std::string name, size, status, url;
  int image = -9;
  bool checked = false;
  bool operator==(const Row&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Row& r) {
  return os << "{" << r.name << " | " << r.size << " | " << r.status << " | " << r.url << " | image "
            << r.image << (r.checked ? " checked}" : " unchecked}");
}

std::vector<Row> Rows(CDlgSave& d) {
  std::vector<Row> rows;
  CFileListCtrl* list = d.listCtrl;
  for (long i = 0; i < list->GetItemCount(); ++i) {
    wxListItem item;
    item.SetId(i);
    item.SetMask(wxLIST_MASK_IMAGE);
    list->GetItem(item);
    rows.push_back({FromWx(list->GetItemText(i, 0)), FromWx(list->GetItemText(i, 1)),
                    FromWx(list->GetItemText(i, 2)), FromWx(list->GetItemText(i, 3)), item.GetImage(),
                    list->IsItemChecked(i)});
  }
  return rows;
}

std::string Checks(CDlgSave& d) {
  std::string s;
  for (long i = 0; i < d.listCtrl->GetItemCount(); ++i) s += d.listCtrl->IsItemChecked(i) ? '1' : '0';
  return s;
}

class SaveDialog : public testing::Test {
 protected:
  void SetUp() override {
    SetDefaultProfileRoot();
    // A documents folder exists, so the first directory never asks.
    docs_ = home_.dir().str() + "/文件";
    std::filesystem::create_directories(docs_);
    home_.dir().WriteFile("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"" + docs_ + "\"\n");
  }
  // Runs the dialog on `movies`; `act` must end it.
  void Run(TestDlgSave& dlg, const std::vector<SWFFileInfo>& movies, std::function<void(TestDlgSave&)> act) {
    for (const auto& m : movies) dlg.fileList.Store(m);
    DialogScript script;
    script.Expect(IDD_SAVE, [&](CDialog&) { act(dlg); });
    dlg.DoModal();
  }
  static void Close(CDlgSave& d) { d.EndDialog(IDCANCEL); }

  test::IsolatedHome home_;
  std::string docs_;
};

TEST_F(SaveDialog, ListsTheMoviesInAddressOrderAllChecked) {
  TestDlgSave dlg;
  std::vector<Row> rows;
  Run(dlg,
      {Movie("http://h/z/clip[2].swf", "clip[2].swf", 1536), Movie("http://h/a/clip[x].swf", "clip[x].swf", -1),
       Movie("http://h/m/影片[12].swf", "影片[12].swf", 0)},
      [&](TestDlgSave& d) {
        rows = Rows(d);
        Close(d);
      });
  const std::string ready = LoadResString(IDS_STATUS_READY);
  const std::vector<Row> want = {
      {"clip[x].swf", "? KB", ready, "http://h/a/clip[x].swf", kImageGlobe, true},
      {"影片.swf", "0 KB", ready, "http://h/m/影片[12].swf", kImageDocument, true},
      {"clip.swf", "2 KB", ready, "http://h/z/clip[2].swf", kImageDocument, true},
  };
  EXPECT_EQ(rows, want);
}

TEST_F(SaveDialog, RowRecordFindsKeysTheScreenCannotShowExactly) {
  TestDlgSave dlg;
  const std::string latin1 = "/srv/caf\xe9.swf";  // not UTF-8: a file name from an old disk
  std::string found;
  size_t countAfter = 0;
  Run(dlg, {Movie(latin1, "caf.swf", 10), Movie("/srv/b.swf", "b.swf", 10)}, [&](TestDlgSave& d) {
    found = d.RowRecord(0).strURL + "|" + d.RowRecord(1).strURL;  // rows in byte order
    countAfter = d.fileList.GetCount();
    Close(d);
  });
  EXPECT_EQ(found, "/srv/b.swf|" + latin1);
  EXPECT_EQ(countAfter, 2u) << "the lookup inserted a new, empty record";
}

TEST_F(SaveDialog, ColumnWidthsComeFromTheSettingsAndAreStoredOnClose) {
  constexpr int kFits = -1;  // the size column: just its widest text, never cut
  struct Case {
    const char* name;
    std::optional<int> stored[4];
    int want[4];
    std::int64_t size;
    bool bigFont;  // as with GDK_DPI_SCALE=2
  } cases[] = {
      {"nothing stored gives the defaults", {}, {150, 60, 120, 100}, 1, false},
      {"0, 5 and 9 come back as 10, sizes are never cut", {0, 5, 9, {}}, {10, kFits, 10, 100}, 1, false},
      {"10 and wider stay", {10, 333, 61, 200}, {10, 333, 61, 200}, 1, false},
      {"a long size in a large font widens the size column", {}, {150, kFits, 120, 100}, 5000000000LL, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::IsolatedHome home;
    for (int i = 0; i < 4; ++i)
      if (c.stored[i]) AppProfile().WriteProfileInt(kSectionSave, ColumnWidthValueName(i), *c.stored[i]);
    TestDlgSave dlg;
    int shown[4] = {};
    int sizeText = 0;
    dlg.fileList.Store(Movie("http://h/a.swf", "a.swf", 1));
    DialogScript script;
    script.Expect(IDD_SAVE, [&](CDialog&) {
      TestDlgSave& d = dlg;
      if (c.bigFont) {
        // A large font, then a size learnt during the run.
        const wxFont big = d.listCtrl->GetFont().Scaled(2);
        d.listCtrl->SetFont(big);
        d.listCtrl->GetBodyWindow()->SetFont(big);
        d.SetItemSize(0, c.size);
      }
      for (int i = 0; i < 4; ++i) shown[i] = d.listCtrl->GetColumnWidth(i);
      // Measured as the list draws its rows.
      wxClientDC dc(d.listCtrl->GetBodyWindow());
      dc.SetFont(d.listCtrl->GetBodyWindow()->GetFont());
      sizeText = dc.GetTextExtent(d.listCtrl->GetItemText(0, kColumnSize)).x;
      d.listCtrl->SetColumnWidth(2, 77);  // as the user drags a border
      Close(d);
    });
    dlg.DoModal();
    for (int i = 0; i < 4; ++i) {
      if (c.want[i] == kFits) {
        EXPECT_GT(shown[i], sizeText) << "column " << i << " cuts its text";
        EXPECT_LT(shown[i], sizeText + 60) << "column " << i << " is wider than its text needs";
      } else {
        EXPECT_EQ(shown[i], c.want[i]) << "column " << i;
      }
    }
    for (int i = 0; i < 4; ++i)
      EXPECT_EQ(AppProfile().GetProfileInt(kSectionSave, ColumnWidthValueName(i), 0),
                static_cast<UINT>(i == 2 ? 77 : c.want[i] == kFits ? shown[i] : c.want[i]))
          << "stored column " << i;
  }
}

TEST_F(SaveDialog, FirstDirectoryFollowsTheChoiceThenTheDocumentsFolder) {
  struct Case {
    const char* name;
    std::optional<int> choice;
    std::optional<std::string> defaultDir, lastDir;
    std::optional<std::string> documentsLine;  // user-dirs.dirs line; absent: the fixture's folder
    std::string want;                          // "<docs>": the documents folder
    DWORD error;                               // message with this system text, 0 for none
  } cases[] = {
      {"last directory", 0, "/srv/default", "/srv/last", {}, "/srv/last", 0},
      {"default directory", 1, "/srv/default", "/srv/last", {}, "/srv/default", 0},
      {"choice 0 without a last directory", 0, "/srv/default", {}, {}, "<docs>", 0},
      {"choice 1 with an empty default", 1, "", "/srv/last", {}, "<docs>", 0},
      {"no documents folder configured means home", 0, {}, {}, "", "<home>", 0},
      {"documents folder missing", 1, "", {}, "XDG_DOCUMENTS_DIR=\"$HOME/gone\"\n", "", ERROR_PATH_NOT_FOUND},
      {"documents folder switched off", 0, {}, {}, "XDG_DOCUMENTS_DIR=\"$HOME/\"\n", "", ERROR_FILE_NOT_FOUND},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    test::IsolatedHome home;
    const std::string docs = home.dir().str() + "/Docs";
    std::filesystem::create_directories(docs);
    home.dir().WriteFile("config/user-dirs.dirs",
                         c.documentsLine ? *c.documentsLine : "XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    if (c.choice) AppProfile().WriteProfileInt(kSectionTrovex, kValueDirChoice, *c.choice);
    if (c.defaultDir) AppProfile().WriteProfileString(kSectionTrovex, kValueDefaultDir, *c.defaultDir);
    if (c.lastDir) AppProfile().WriteProfileString(kSectionTrovex, kValueLastSaveDir, *c.lastDir);
    TestDlgSave dlg;
    for (const auto& m : {Movie("http://h/a.swf", "a.swf", 1)}) dlg.fileList.Store(m);
    std::string shown;
    bool saveEnabled = false;
    MessageBoxRecord box;
    DialogScript script;
    script.Expect(IDD_SAVE, [&](CDialog& d) {
      shown = d.GetDlgItemText(IDC_SAVE_DIR);
      saveEnabled = d.GetDlgItem(IDC_SAVE_SAVE)->IsEnabled();
      Close(dlg);
    });
    if (c.error) {
      wxTEST_DIALOG(dlg.DoModal(), ExpectMessageBox(wxID_OK, &box));
    } else {
      dlg.DoModal();
    }
    std::string want = c.want == "<docs>" ? docs : c.want == "<home>" ? home.dir().str() : c.want;
    EXPECT_EQ(shown, want);
    EXPECT_EQ(saveEnabled, !want.empty());
    EXPECT_EQ(dlg.strSaveDir, want);
    if (c.error) {
      EXPECT_EQ(box.text, SystemMessageText(c.error));
      EXPECT_TRUE(box.style & wxICON_ERROR);
    }
  }
}

TEST_F(SaveDialog, TypingTheDirectoryEnablesSaveAndEnterSavesOnlyThen) {
  struct Case {
    const char* typed;
    bool valid;
  } cases[] = {
      {"/home/使用者/影片", true}, {"  /srv/movies \t", true}, {"/", true},         {"", false},
      {"movies", false},          {"/srv//movies", false},    {"/srv/a?b", false}, {"   ", false},
  };
  TestDlgSave dlg;
  Run(dlg, {Movie("http://h/a.swf", "a.swf", 1)}, [&](TestDlgSave& d) {
    auto* edit = d.GetDlgItemAs<wxTextCtrl>(IDC_SAVE_DIR);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.typed);
      edit->SetValue(ToWx(c.typed));
      EXPECT_EQ(d.GetDlgItem(IDC_SAVE_SAVE)->IsEnabled(), c.valid);
      const int before = d.nSaves;
      edit->SetFocus();
      wxKeyEvent enter(wxEVT_CHAR_HOOK);
      enter.m_keyCode = WXK_RETURN;
      enter.SetEventObject(edit);
      d.GetWindow()->GetEventHandler()->ProcessEvent(enter);
      EXPECT_EQ(d.nSaves - before, c.valid ? 1 : 0);
      EXPECT_TRUE(d.GetWindow()->IsShown()) << "Enter closed the dialog";
    }
    Close(d);
  });
}

TEST_F(SaveDialog, DirectoryMenuCommandsFillTheEdit) {
  AppProfile().WriteProfileString(kSectionTrovex, kValueDefaultDir, "/srv/default");
  AppProfile().WriteProfileString(kSectionTrovex, kValueLastSaveDir, "/srv/last");
  const std::string picked = docs_;
  const std::string start = home_.dir().str();
  struct Case {
    const char* name;
    int command;
    std::function<void()> before;
    std::string start, want;
  } cases[] = {
      {"default directory", ID_DIR_DEFAULT, [] {}, "/x", "/srv/default"},
      {"last directory", ID_DIR_LAST, [] {}, "/x", "/srv/last"},
      {"an empty stored value leaves the edit alone", ID_DIR_LAST,
       [] { AppProfile().WriteProfileString(kSectionTrovex, kValueLastSaveDir, ""); }, "/x", "/x"},
      {"browse", ID_DIR_BROWSE, [] {}, start, picked},
      {"browse cancelled", ID_DIR_BROWSE, [] {}, "/y", "/y"},
  };
  TestDlgSave dlg;
  dlg.fileList.Store(Movie("http://h/a.swf", "a.swf", 1));
  DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog&) {
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      c.before();
      dlg.SetDlgItemText(IDC_SAVE_DIR, c.start);
      wxCommandEvent menu(wxEVT_MENU, WxCommandId(c.command));
      dlg.GetWindow()->GetEventHandler()->ProcessEvent(menu);
      EXPECT_EQ(dlg.GetDlgItemText(IDC_SAVE_DIR), c.want);
      EXPECT_EQ(dlg.strSaveDir, c.want);
    }
    Close(dlg);
  });
  std::string startedAt;
  script.Expect(IDD_DIRECTORY_PICKER, [&](CDialog& picker) {
    startedAt = picker.GetDlgItemText(IDC_PICKER_PATH);
    picker.SetDlgItemText(IDC_PICKER_PATH, picked);
    picker.ClickDlgButton(IDOK);
  });
  script.Expect(IDD_DIRECTORY_PICKER, [&](CDialog& picker) { picker.ClickDlgButton(IDCANCEL); });
  dlg.DoModal();
  EXPECT_EQ(startedAt, start) << "the picker starts from the edit's text";
}

TEST_F(SaveDialog, CheckBoxClickGivesTheSelectedRowsOneState) {
  struct Case {
    const char* name;
    const char* checks;  // before, one per row
    std::vector<long> selected;
    long clicked;
    const char* want;
  } cases[] = {
      {"checked row of three selected unchecks all three", "11111", {0, 2, 3}, 2, "01001"},
      {"unchecked row of a selection checks them all", "10100", {1, 2, 4}, 4, "11101"},
      {"mixed selection follows the clicked row", "11011", {1, 2}, 2, "11111"},
      {"unselected row changes alone", "11111", {0, 1}, 3, "11101"},
      {"single selected row changes alone", "00000", {4}, 4, "00001"},
  };
  TestDlgSave dlg;
  std::vector<SWFFileInfo> movies;
  for (int i = 0; i < 5; ++i) movies.push_back(Movie("http://h/" + std::to_string(i) + ".swf", "m.swf", 1));
  Run(dlg, movies, [&](TestDlgSave& d) {
    d.GetWindow()->Raise();
    test::PumpEvents(150);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      for (long i = 0; i < 5; ++i) {
        d.listCtrl->CheckItem(i, c.checks[i] == '1');
        d.listCtrl->SetItemState(i, 0, wxLIST_STATE_SELECTED);
      }
      for (long i : c.selected) d.listCtrl->SetItemState(i, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
      test::SimClick(test::RowScreenPoint(d.listCtrl, d.listCtrl->GetBodyWindow(), c.clicked, true));
      test::PumpEvents(700);  // the next click must not count as a double click
      EXPECT_EQ(Checks(d), c.want);
      for (long i : c.selected) EXPECT_TRUE(d.listCtrl->GetItemState(i, wxLIST_STATE_SELECTED)) << i;
    }
    Close(d);
  });
}

// Space on the focused row toggles its box; on a selected row every selected row follows,
// as a click on that box does. The selection stays.
TEST_F(SaveDialog, SpaceTogglesTheFocusedRowsCheckBox) {
  struct Case {
    const char* name;
    const char* checks;
    std::vector<long> selected;
    long focused;
    const char* want;
  } cases[] = {
      {"focused selected row of three unchecks all three", "11111", {0, 2, 3}, 2, "01001"},
      {"unchecked focused row checks the selection", "10100", {1, 2, 4}, 4, "11101"},
      {"single row toggles alone", "11111", {3}, 3, "11101"},
      {"focused row outside the selection changes alone", "00000", {0, 1}, 3, "00010"},
  };
  TestDlgSave dlg;
  std::vector<SWFFileInfo> movies;
  for (int i = 0; i < 5; ++i) movies.push_back(Movie("http://h/" + std::to_string(i) + ".swf", "m.swf", 1));
  Run(dlg, movies, [&](TestDlgSave& d) {
    d.GetWindow()->Raise();
    d.listCtrl->SetFocus();
    test::PumpEvents(150);
    for (const auto& c : cases) {
      SCOPED_TRACE(c.name);
      for (long i = 0; i < 5; ++i) {
        d.listCtrl->CheckItem(i, c.checks[i] == '1');
        d.listCtrl->SetItemState(i, 0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);
      }
      for (long i : c.selected) d.listCtrl->SetItemState(i, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
      d.listCtrl->SetItemState(c.focused, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
      test::SimKey(WXK_SPACE);
      EXPECT_EQ(Checks(d), c.want);
      for (long i : c.selected) EXPECT_TRUE(d.listCtrl->GetItemState(i, wxLIST_STATE_SELECTED)) << i;
    }
    Close(d);
  });
}

// Tab from the list goes on in the template's order, each stop a control the user sees: the
// preview is none, so 設定(T) comes next, then 選擇全部(A).
TEST_F(SaveDialog, TabFromTheListFollowsTheTemplate) {
  TestDlgSave dlg;
  Run(dlg, {Movie("http://h/a.swf", "a.swf", 1)}, [&](TestDlgSave& d) {
    d.GetWindow()->Raise();
    d.listCtrl->SetItemState(0, wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED,
                             wxLIST_STATE_SELECTED | wxLIST_STATE_FOCUSED);  // the preview shows
    d.listCtrl->SetFocus();
    test::PumpEvents(500);
    test::SimKey(WXK_TAB);
    EXPECT_EQ(test::HasFocus(d.GetDlgItem(IDC_SAVE_SETTINGS)), true) << "after the list";
    test::SimKey(WXK_TAB);
    EXPECT_EQ(test::HasFocus(d.GetDlgItem(IDC_SAVE_SELECT_ALL)), true) << "after 設定(T)";
    Close(d);
  });
}

TEST_F(SaveDialog, SelectionDrivesThePreview) {
  const std::string local = home_.dir().WriteFile("cache/local[1].swf", "FWS");
  const std::string saved = home_.dir().WriteFile("out/saved.swf", "FWS");
  SWFFileInfo cached = Movie("http://h/0.swf", "0.swf", 3);
  cached.strLocalFile = local;
  SWFFileInfo savedOne = Movie("http://h/1.swf", "1.swf", -1);
  savedOne.bSaved = 1;
  savedOne.strSavedPath = saved;
  SWFFileInfo savedGone = Movie("http://h/2.swf", "2.swf", -1);
  savedGone.bSaved = 1;
  savedGone.strSavedPath = home_.dir().str() + "/out/gone.swf";
  struct Step {
    const char* name;
    long row;
    int modifiers;  // 1: Ctrl held
    bool checkBox;
    int wantItem;
    std::string wantMovie;
    bool reloaded;  // the preview window was made anew
  } steps[] = {
      {"a row with a cached copy plays the copy", 0, 0, false, 0, local, true},
      {"a saved row plays the saved file", 1, 0, false, 1, saved, true},
      {"a saved row whose file is gone plays the address", 2, 0, false, 2, "http://h/2.swf", true},
      {"plain address", 3, 0, false, 3, "http://h/3.swf", true},
      {"a second selected row empties the preview", 2, 1, false, -1, "", true},
      {"back to one row reloads it", 2, 1, false, 3, "http://h/3.swf", true},
      {"its check box does not reload", 3, 0, true, 3, "http://h/3.swf", false},
  };
  TestDlgSave dlg;
  Run(dlg, {cached, savedOne, savedGone, Movie("http://h/3.swf", "3.swf", 9)}, [&](TestDlgSave& d) {
    d.GetWindow()->Raise();
    test::PumpEvents(150);
    EXPECT_EQ(d.nPreviewItem, -1);
    for (const auto& s : steps) {
      SCOPED_TRACE(s.name);
      ASSERT_NE(d.flashCtrl, nullptr);
      wxWeakRef<wxWindow> before(d.flashCtrl);
      const wxRect rectBefore = d.flashCtrl->GetRect();
      test::SimClick(test::RowScreenPoint(d.listCtrl, d.listCtrl->GetBodyWindow(), s.row, s.checkBox), false,
                     s.modifiers);
      test::PumpEvents(600);
      EXPECT_EQ(d.nPreviewItem, s.wantItem);
      EXPECT_EQ(d.strPreviewMovie, s.wantMovie);
      EXPECT_EQ(!before, s.reloaded);
      ASSERT_NE(d.flashCtrl, nullptr);
      EXPECT_EQ(d.flashCtrl->GetRect(), rectBefore) << "the new preview left its place";
    }
    // While saving, the preview does not follow the selection.
    d.bSaving = 1;
    d.SelectOnly(0);
    test::PumpEvents(100);
    EXPECT_EQ(d.nPreviewItem, 3);
    d.bSaving = 0;
    Close(d);
  });
}

// Range selections over many rows (Shift-click, Shift-End) empty the preview as a second row
// does, though a virtual list may report them without an event per row.
TEST_F(SaveDialog, RangeSelectionsEmptyThePreview) {
  std::vector<SWFFileInfo> movies;
  for (int i = 0; i < 60; ++i)
    movies.push_back(Movie("http://h/" + std::to_string(100 + i) + ".swf", std::to_string(i) + ".swf", 9));
  struct Step {
    const char* name;
    long row;       // -1: Shift-End
    int modifiers;  // 2: Shift held
    int wantItem;
  } steps[] = {
      {"one row", 0, 0, 0},
      {"Shift-click to another row", 12, 2, -1},
      {"one row again", 5, 0, 5},
      {"Shift-End to the last row", -1, 0, -1},
      {"one row after the keyboard range", 57, 0, 57},  // the list now shows its end
  };
  TestDlgSave dlg;
  Run(dlg, movies, [&](TestDlgSave& d) {
    d.GetWindow()->Raise();
    test::PumpEvents(150);
    for (const auto& s : steps) {
      SCOPED_TRACE(s.name);
      if (s.row >= 0) {
        test::SimClick(test::RowScreenPoint(d.listCtrl, d.listCtrl->GetBodyWindow(), s.row, false), false,
                       s.modifiers);
      } else {
        // Shift-End in the list: a range made with the keyboard.
        d.listCtrl->GetBodyWindow()->SetFocus();
        test::PumpEvents(100);
        wxUIActionSimulator().Char(WXK_END, wxMOD_SHIFT);
      }
      test::PumpEvents(600);
      EXPECT_EQ(d.nPreviewItem, s.wantItem);
      EXPECT_EQ(d.strPreviewMovie.empty(), s.wantItem < 0);
      if (s.row < 0) {
        EXPECT_GT(d.listCtrl->GetSelectedItemCount(), 1);
      }
    }
    Close(d);
  });
}

TEST_F(SaveDialog, ResizingMovesEachControlByItsAnchors) {
  struct Case {
    int id;
    int left, top, right, bottom;  // anchor percentages of the corners
  } cases[] = {
      {IDC_SAVE_DIR_LABEL, 0, 0, 0, 0},         {IDC_SAVE_DIR, 0, 0, 100, 0},
      {IDC_SAVE_DIR_MENU, 100, 0, 100, 0},      {IDC_SAVE_LIST, 0, 0, 50, 100},
      {IDC_SAVE_PREVIEW_WINDOW, 50, 0, 100, 100}, {IDC_SAVE_IMPORT_ZALMIC, 100, 100, 100, 100},
      {IDC_SAVE_IMPORT_ORDAVIN, 100, 100, 100, 100}, {IDC_SAVE_SETTINGS, 0, 100, 0, 100},
      {IDC_SAVE_SELECT_ALL, 0, 100, 0, 100},    {IDC_SAVE_DESELECT_ALL, 0, 100, 0, 100},
      {IDC_SAVE_SAVE, 100, 100, 100, 100},      {IDC_SAVE_STATUS, 0, 100, 0, 100},
      {IDC_SAVE_PROGRESS, 0, 100, 100, 100},
  };
  TestDlgSave dlg;
  Run(dlg, {Movie("http://h/a.swf", "a.swf", 1)}, [&](TestDlgSave& d) {
    wxWindow* window = d.GetWindow();
    const wxSize before = window->GetClientSize();
    std::vector<wxRect> rects;
    for (const auto& c : cases) rects.push_back(window->FindWindow(c.id)->GetRect());
    window->SetClientSize(before.x * 3 / 2, before.y * 3 / 2);
    test::PumpEvents(300);
    const wxSize after = window->GetClientSize();
    ASSERT_NE(after, before) << "the window did not grow";
    auto shift = [](int pct, int from, int to) { return to * pct / 100 - from * pct / 100; };
    for (size_t i = 0; i < std::size(cases); ++i) {
      const Case& c = cases[i];
      SCOPED_TRACE(c.id);
      const wxRect now = window->FindWindow(c.id)->GetRect();
      EXPECT_EQ(now.GetLeft(), rects[i].GetLeft() + shift(c.left, before.x, after.x));
      EXPECT_EQ(now.GetTop(), rects[i].GetTop() + shift(c.top, before.y, after.y));
      EXPECT_EQ(now.GetRight(), rects[i].GetRight() + shift(c.right, before.x, after.x));
      EXPECT_EQ(now.GetBottom(), rects[i].GetBottom() + shift(c.bottom, before.y, after.y));
    }
    Close(d);
  });
}

TEST_F(SaveDialog, SettingsButtonRunsTheSettingsMemberOverTheDialog) {
  TestDlgSave dlg;
  dlg.fileList.Store(Movie("http://h/a.swf", "a.swf", 1));
  wxWindow* owner = nullptr;
  wxWindow* saveWindow = nullptr;
  DialogScript script;
  script.Expect(IDD_SAVE, [&](CDialog&) {
    saveWindow = dlg.GetWindow();
    dlg.ClickDlgButton(IDC_SAVE_SETTINGS);
    Close(dlg);
  });
  script.Expect(IDD_SETTINGS, [&](CDialog& settings) {
    owner = settings.GetWindow()->GetParent();
    settings.ClickDlgButton(IDC_CONFLICT_SKIP);
    settings.ClickDlgButton(IDOK);
  });
  dlg.DoModal();
  EXPECT_EQ(owner, saveWindow) << "the Settings dialog belongs over the Save dialog";
  EXPECT_EQ(dlg.settings.nConflictAction, 2) << "the member holds what OK accepted";
  EXPECT_EQ(AppProfile().GetProfileInt(kSectionTrovex, kValueConflictAction, 9), 2u);
}

TEST_F(SaveDialog, PlacementComesBackFromTrovexSave) {
  AppProfile().WriteProfileString(kSectionSave, kValueWindowPlacement, "10,20,1010,720,1,0");
  TestDlgSave dlg;
  wxRect shown;
  Run(dlg, {Movie("http://h/a.swf", "a.swf", 1)}, [&](TestDlgSave& d) {
    shown = d.GetWindow()->GetRect();
    d.GetWindow()->SetSize(30, 40, 1100, 800);
    test::PumpEvents(200);
    Close(d);
  });
  EXPECT_EQ(shown, wxRect(10, 20, 1000, 700));
  EXPECT_EQ(AppProfile().GetProfileString(kSectionSave, kValueWindowPlacement), "30,40,1130,840,1,0");
}

TEST_F(SaveDialog, SelectAllAndDeselectAllSetEveryCheckBox) {
  TestDlgSave dlg;
  std::vector<std::string> seen;
  Run(dlg, {Movie("http://h/a.swf", "a.swf", 1), Movie("http://h/b.swf", "b.swf", 1), Movie("http://h/c.swf", "c.swf", 1)},
      [&](TestDlgSave& d) {
        d.listCtrl->CheckItem(1, false);
        d.ClickDlgButton(IDC_SAVE_DESELECT_ALL);
        seen.push_back(Checks(d));
        d.listCtrl->CheckItem(1, true);
        d.ClickDlgButton(IDC_SAVE_SELECT_ALL);
        seen.push_back(Checks(d));
        Close(d);
      });
  EXPECT_EQ(seen, (std::vector<std::string>{"000", "111"}));
}

// A companion: a script under the fixed executable name that writes its arguments, one per
// line, into args.txt beside itself.
std::string InstallCompanion(const test::TempDir& dir, const char* key, const char* exe) {
  const std::string folder = dir.str() + "/" + exe + ".d";
  const std::string path = dir.WriteFile(std::string(exe) + ".d/" + exe,
                                         "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.args.tmp\"\n"
                                         "mv \"$0.args.tmp\" \"$0.args\"\n");
  chmod(path.c_str(), 0755);
  CRegistry reg;
  EXPECT_TRUE(reg.Create(HKEY_LOCAL_MACHINE, key));
  EXPECT_TRUE(reg.WriteString("Install Path", folder));
  return path + ".args";
}

std::optional<std::string> WaitForFile(const std::string& path) {
  for (int i = 0; i < 100; ++i) {
    if (std::filesystem::exists(path)) return test::ReadFile(path);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return std::nullopt;
}

TEST_F(SaveDialog, ImportButtonsHandOverSavedMoviesOrExplain) {
  test::TempDir companions;
  const std::string zalmicArgs = InstallCompanion(companions, "Software\\Marrowick\\Kelvora SWF Zalmic\\", "SWFZalmic.exe");
  const std::string ordavinArgs = InstallCompanion(companions, "Software\\Marrowick\\Kelvora SWF Ordavin\\", "SWFOrdavin.exe");
  const std::string saved = companions.WriteFile("out/second \"take\".swf", "FWS");
  struct Case {
    const char* name;
    const char* checks;
    int saved[3];  // 0 not saved, 1 saved and present, 2 saved but deleted since
    std::optional<unsigned> message;
    std::optional<std::string> handed;  // the argument the companion got
  } cases[] = {
      {"nothing checked", "000", {1, 1, 1}, IDS_IMPORT_NOTHING_CHECKED, {}},
      {"checked rows not saved", "110", {0, 0, 1}, IDS_IMPORT_NOTHING_SAVED, {}},
      {"the first saved checked row with a file", "011", {0, 0, 1}, {}, saved + "\n"},
      {"saved rows whose files are gone", "110", {2, 2, 1}, {}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(zalmicArgs);
    TestDlgSave dlg;
    MessageBoxRecord box;
    bool enabled[2] = {};
    Run(dlg, {Movie("http://h/a.swf", "a.swf", 1), Movie("http://h/b.swf", "b.swf", 1), Movie("http://h/c.swf", "c.swf", 1)},
        [&](TestDlgSave& d) {
          for (int i = 0; i < 3; ++i) {
            d.listCtrl->CheckItem(i, c.checks[i] == '1');
            SWFFileInfo& info = d.RowRecord(i);
            info.bSaved = c.saved[i] != 0;
            info.strSavedPath = c.saved[i] == 1 ? saved : companions.str() + "/gone.swf";
          }
          enabled[0] = d.GetDlgItem(IDC_SAVE_IMPORT_ZALMIC)->IsEnabled();
          enabled[1] = d.GetDlgItem(IDC_SAVE_IMPORT_ORDAVIN)->IsEnabled();
          if (c.message) {
            wxTEST_DIALOG(d.ClickDlgButton(IDC_SAVE_IMPORT_ZALMIC), ExpectMessageBox(wxID_OK, &box));
          } else {
            d.ClickDlgButton(IDC_SAVE_IMPORT_ZALMIC);
          }
          Close(d);
        });
    EXPECT_TRUE(enabled[0] && enabled[1]);
    if (c.message) {
      EXPECT_EQ(box.text, LoadResStringUtf8(*c.message));
      EXPECT_TRUE(box.style & wxICON_EXCLAMATION);
    }
    if (c.handed)
      EXPECT_EQ(WaitForFile(zalmicArgs), c.handed);
    else
      EXPECT_FALSE(WaitForFile(zalmicArgs)) << "the companion was started";
  }

  // Ordavin before any save: started without a file; after one: with the first saved file.
  for (const std::string& first : {std::string(), saved}) {
    SCOPED_TRACE(first.empty() ? "no save yet" : "after a save");
    std::filesystem::remove(ordavinArgs);
    TestDlgSave dlg;
    dlg.strFirstSaved = first;
    Run(dlg, {Movie("http://h/a.swf", "a.swf", 1)}, [&](TestDlgSave& d) {
      d.listCtrl->CheckItem(0, false);  // check boxes play no part
      d.ClickDlgButton(IDC_SAVE_IMPORT_ORDAVIN);
      Close(d);
    });
    EXPECT_EQ(WaitForFile(ordavinArgs), first.empty() ? std::string() : first + "\n");
  }
}

TEST_F(SaveDialog, ImportButtonsAreDisabledWithoutCompanions) {
  TestDlgSave dlg;
  bool enabled[2] = {true, true};
  Run(dlg, {Movie("http://h/a.swf", "a.swf", 1)}, [&](TestDlgSave& d) {
    enabled[0] = d.GetDlgItem(IDC_SAVE_IMPORT_ZALMIC)->IsEnabled();
    enabled[1] = d.GetDlgItem(IDC_SAVE_IMPORT_ORDAVIN)->IsEnabled();
    Close(d);
  });
  EXPECT_FALSE(enabled[0]);
  EXPECT_FALSE(enabled[1]);
}

}  // namespace
}  // namespace trovex

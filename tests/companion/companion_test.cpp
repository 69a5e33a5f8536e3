// The companion hand-off on real files: companions are scripts that record their arguments,
// their install paths live in the test's own machine hive, and every dialog is answered here.
#include "companion/companion.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <wx/filedlg.h>
#include <wx/modalhook.h>
#include <wx/testing.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>

#include "platform/registry/registry.h"
#include "res/strings.h"
#include "settings/registry_key.h"
#include "tests/support/dialog_script.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

using test::ExpectMessageBox;
using test::MessageBoxRecord;

constexpr const char* kZalmicKey = "Software\\Marrowick\\Kelvora SWF Zalmic";
constexpr const char* kOrdavinKey = "Software\\Marrowick\\Kelvora SWF Ordavin";

const char* KeyOf(Companion c) { return c == Companion::Zalmic ? kZalmicKey : kOrdavinKey; }
const char* NameOf(Companion c) { return c == Companion::Zalmic ? "SWFZalmic.exe" : "SWFOrdavin.exe"; }

// What the open-file dialog was asked to show, and the answer it gave.
struct OpenDialogRecord {
  bool shown = false;
  wxString wildcard;
  long style = 0;
  wxWindow* parent = nullptr;
};

class ExpectOpenDialog : public wxExpectModalBase<wxFileDialog, ExpectOpenDialog> {
 public:
  ExpectOpenDialog(std::string path, OpenDialogRecord* record, int answer = wxID_OK)
      : path_(std::move(path)), record_(record), answer_(answer) {}

 protected:
  int OnInvoked(wxFileDialog* dlg) const override {
    if (record_) {
      record_->shown = true;
      record_->wildcard = dlg->GetWildcard();
      record_->style = dlg->GetWindowStyle();
      record_->parent = dlg->GetParent();
    }
    if (answer_ == wxID_OK) dlg->SetPath(wxString::FromUTF8(path_));
    return answer_;
  }

 private:
  std::string path_;
  OpenDialogRecord* record_;
  int answer_;
};

// Fails the test for any toolkit dialog shown while it lives.
class NoDialogs : public wxModalDialogHook {
 public:
  NoDialogs() { Register(); }
  ~NoDialogs() override { Unregister(); }

 protected:
  int Enter(wxDialog* dialog) override {
    ADD_FAILURE() << "unexpected dialog: " << dialog->GetTitle().utf8_string();
    return wxID_CANCEL;
  }
  void Exit(wxDialog*) override {}
};

class CompanionTest : public testing::Test {
 public:
  std::string Path(const std::string& rel) const { return home.dir().str() + "/" + rel; }

  void SetInstallPath(Companion c, const std::string& path) {
    CRegistry reg;
    ASSERT_TRUE(reg.Create(HKEY_LOCAL_MACHINE, KeyOf(c)));
    ASSERT_TRUE(reg.WriteString("Install Path", path));
  }
  std::optional<std::string> InstallPath(Companion c) {
    CRegistry reg;
    std::string value;
    if (!reg.Open(HKEY_LOCAL_MACHINE, KeyOf(c), KEY_READ) || !reg.ReadString("Install Path", value))
      return std::nullopt;
    return value;
  }

  // A companion that writes each argument on a line of its own, between brackets.
  std::string InstallRecorder(Companion c, const std::string& folder, mode_t mode = 0755) {
    std::string path = home.dir().WriteFile(
        folder + "/" + NameOf(c),
        "#!/bin/sh\n"
        "out=\"" + Record(c) + "\"\n"
        ": > \"$out.tmp\"\n"
        "for a in \"$@\"; do printf '[%s]\\n' \"$a\" >> \"$out.tmp\"; done\n"
        "mv \"$out.tmp\" \"$out\"\n");
    ::chmod(path.c_str(), mode);
    return path;
  }
  std::string Record(Companion c) const { return Path(std::string("record-") + NameOf(c)); }
  // What the companion received; nullopt when it did not run within 10 s.
  std::optional<std::string> Received(Companion c) const {
    for (int i = 0; i < 1000; ++i) {
      if (std::filesystem::exists(Record(c))) return test::ReadFile(Record(c));
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
  }

 protected:
  test::IsolatedHome home;
};

// --- whether a companion is installed ---

struct InstalledCase {
  const char* name;
  std::function<void(CompanionTest&)> arrange;
  BOOL zalmic;
  BOOL ordavin;
};

TEST_F(CompanionTest, InstalledOnlyWhenTheExecutableIsThere) {
  const std::string cwd = std::filesystem::current_path().string();
  const InstalledCase cases[] = {
      {"no key", [](CompanionTest&) {}, FALSE, FALSE},
      {"key without value",
       [](CompanionTest&) {
         CRegistry reg;
         reg.Create(HKEY_LOCAL_MACHINE, kZalmicKey);
       },
       FALSE, FALSE},
      {"folder without separator",
       [](CompanionTest& t) {
         t.InstallRecorder(Companion::Zalmic, "tools/zalmic");
         t.SetInstallPath(Companion::Zalmic, t.Path("tools/zalmic"));
       },
       TRUE, FALSE},
      {"folder with separator",
       [](CompanionTest& t) {
         t.InstallRecorder(Companion::Ordavin, "tools/ordavin");
         t.SetInstallPath(Companion::Ordavin, t.Path("tools/ordavin/"));
       },
       FALSE, TRUE},
      {"folder without the executable",
       [](CompanionTest& t) {
         t.InstallRecorder(Companion::Zalmic, "tools/zalmic");
         t.SetInstallPath(Companion::Ordavin, t.Path("tools/zalmic"));
       },
       FALSE, FALSE},
      {"file that cannot be run",
       [](CompanionTest& t) {
         t.InstallRecorder(Companion::Zalmic, "tools/zalmic", 0644);
         t.SetInstallPath(Companion::Zalmic, t.Path("tools/zalmic"));
       },
       FALSE, FALSE},
      {"empty path: the current folder",
       [](CompanionTest& t) {
         t.InstallRecorder(Companion::Zalmic, "cwd");
         t.SetInstallPath(Companion::Zalmic, "");
         t.SetInstallPath(Companion::Ordavin, "");
         std::filesystem::current_path(t.Path("cwd"));
       },
       TRUE, FALSE},
  };
  for (const auto& c : cases) {
    test::IsolatedHome fresh;
    c.arrange(*this);
    EXPECT_EQ(IsCompanionInstalled(Companion::Zalmic), c.zalmic) << c.name;
    EXPECT_EQ(IsCompanionInstalled(Companion::Ordavin), c.ordavin) << c.name;
    std::filesystem::current_path(cwd);
    std::filesystem::remove_all(Path("tools"));
    std::filesystem::remove_all(Path("cwd"));
  }
}

// --- the hand-off ---

TEST_F(CompanionTest, InstalledCompanionGetsThePathAsOneArgumentOrNone) {
  InstallRecorder(Companion::Zalmic, "Program Files/Zalmic");
  SetInstallPath(Companion::Zalmic, Path("Program Files/Zalmic"));
  InstallRecorder(Companion::Ordavin, "ordavin");
  SetInstallPath(Companion::Ordavin, Path("ordavin/"));
  const std::string movie = Path("my movies/intro (1).swf");
  NoDialogs none;
  EXPECT_TRUE(LaunchCompanion(Companion::Zalmic, ("\"" + movie + "\"").c_str()));
  EXPECT_TRUE(LaunchCompanion(Companion::Ordavin, nullptr));
  EXPECT_EQ(Received(Companion::Zalmic), "[" + movie + "]\n");
  EXPECT_EQ(Received(Companion::Ordavin), "");
}

TEST_F(CompanionTest, LocatedCompanionIsRecordedAndStarted) {
  // Not installed: the user is told, picks the program, and its folder becomes the install path.
  const std::string program = InstallRecorder(Companion::Zalmic, "elsewhere/zalmic");
  MessageBoxRecord locate;
  OpenDialogRecord open;
  BOOL ok = FALSE;
  wxTEST_DIALOG(ok = LaunchCompanion(Companion::Zalmic, "\"/m/a b.swf\""),
                ExpectMessageBox(wxID_OK, &locate), ExpectOpenDialog(program, &open));
  EXPECT_TRUE(ok);
  EXPECT_EQ(locate.text, LoadResStringUtf8(IDS_LOCATE_COMPANION));
  EXPECT_EQ(locate.caption, LoadResStringUtf8(IDS_APP_TITLE));
  EXPECT_TRUE(locate.style & wxICON_EXCLAMATION);
  EXPECT_TRUE(open.shown);
  EXPECT_EQ(open.parent, nullptr);
  EXPECT_TRUE(open.style & wxFD_OPEN);
  EXPECT_TRUE(open.style & wxFD_FILE_MUST_EXIST);
  // The executables' filter first, and every file still selectable.
  EXPECT_TRUE(open.wildcard.StartsWith(wxString::FromUTF8("執行 (*.exe)|*.exe|"))) << open.wildcard;
  EXPECT_TRUE(open.wildcard.EndsWith("|*")) << open.wildcard;
  EXPECT_EQ(InstallPath(Companion::Zalmic), Path("elsewhere/zalmic"));
  EXPECT_EQ(Received(Companion::Zalmic), "[/m/a b.swf]\n");
  EXPECT_TRUE(IsCompanionInstalled(Companion::Zalmic));
}

TEST_F(CompanionTest, OtherFileInAFolderWithoutTheCompanionEndsInTheMessage) {
  // As choosing D:\Other\tool.exe: the folder is recorded, the fixed name is not there.
  const std::string tool = home.dir().WriteFile("Other/tool.exe", "#!/bin/sh\n");
  ::chmod(tool.c_str(), 0755);
  MessageBoxRecord locate, failed;
  BOOL ok = TRUE;
  wxTEST_DIALOG(ok = LaunchCompanion(Companion::Ordavin, nullptr),
                ExpectMessageBox(wxID_OK, &locate), ExpectOpenDialog(tool, nullptr),
                ExpectMessageBox(wxID_OK, &failed));
  EXPECT_FALSE(ok);
  EXPECT_EQ(InstallPath(Companion::Ordavin), Path("Other"));
  EXPECT_EQ(failed.text, LoadResStringUtf8(IDS_CANNOT_START_ORDAVIN));
  EXPECT_TRUE(failed.style & wxICON_ERROR);
}

TEST_F(CompanionTest, CancelledFileDialogEndsQuietly) {
  SetInstallPath(Companion::Zalmic, Path("gone"));
  BOOL ok = TRUE;
  wxTEST_DIALOG(ok = LaunchCompanion(Companion::Zalmic, "\"x\""), ExpectMessageBox(wxID_OK, nullptr),
                ExpectOpenDialog("", nullptr, wxID_CANCEL));
  EXPECT_FALSE(ok);
  EXPECT_EQ(InstallPath(Companion::Zalmic), Path("gone"));
}

TEST_F(CompanionTest, CompanionThatCannotRunIsLocatedAgain) {
  // Present but not executable: as a failed start, the user is asked to locate it.
  InstallRecorder(Companion::Zalmic, "broken", 0644);
  SetInstallPath(Companion::Zalmic, Path("broken"));
  const std::string good = InstallRecorder(Companion::Zalmic, "good");
  BOOL ok = FALSE;
  wxTEST_DIALOG(ok = LaunchCompanion(Companion::Zalmic, "\"m.swf\""),
                ExpectMessageBox(wxID_OK, nullptr), ExpectOpenDialog(good, nullptr));
  EXPECT_TRUE(ok);
  EXPECT_EQ(InstallPath(Companion::Zalmic), Path("good"));
  EXPECT_EQ(Received(Companion::Zalmic), "[m.swf]\n");
}

TEST_F(CompanionTest, UnwritableInstallPathEndsInTheMessage) {
  // The machine hive's folder cannot be made (a file is in its way), whoever runs the test.
  std::filesystem::remove_all(home.data() + "/kelvora-swf-trovex");
  std::filesystem::create_directories(home.data());
  home.dir().WriteFile("data/kelvora-swf-trovex", "in the way");
  const std::string program = InstallRecorder(Companion::Zalmic, "zalmic");
  MessageBoxRecord failed;
  BOOL ok = TRUE;
  wxTEST_DIALOG(ok = LaunchCompanion(Companion::Zalmic, nullptr), ExpectMessageBox(wxID_OK, nullptr),
                ExpectOpenDialog(program, nullptr), ExpectMessageBox(wxID_OK, &failed));
  EXPECT_FALSE(ok);
  EXPECT_EQ(failed.text, LoadResStringUtf8(IDS_CANNOT_START_ZALMIC));
  EXPECT_TRUE(failed.style & wxICON_ERROR);
  EXPECT_FALSE(std::filesystem::exists(Record(Companion::Zalmic)));
}

}  // namespace
}  // namespace trovex

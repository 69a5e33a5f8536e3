// The folder namespace over a temporary home with XDG user directories.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/shell/idlist.h"
#include "platform/shell/shell.h"
#include "platform/text/text.h"
#include "platform/text/unicode.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;

struct Folder {
  IShellFolder* p = nullptr;
  ~Folder() {
    if (p) p->Release();
  }
};

void Free(void* p) {
  IMalloc* m = nullptr;
  SHGetMalloc(&m);
  m->Free(p);
  m->Release();
}

class Namespace : public testing::Test {
 protected:
  void SetUp() override {
    h_ = home_.dir().str();
    fs::create_directories(h_ + "/Desktop");
    fs::create_directories(h_ + "/Documents/sub");
    fs::create_directories(h_ + "/.dot");
    fs::create_directories(h_ + "/zeta");
    fs::create_directories(h_ + "/Ärger");
    home_.dir().WriteFile("file.txt", "x");
    home_.dir().WriteFile("config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\n");
    fs::create_directory_symlink("missing-target", h_ + "/dangling");
    fs::create_directory_symlink("loop2", h_ + "/loop1");
    fs::create_directory_symlink("loop1", h_ + "/loop2");
    ASSERT_EQ(SHGetDesktopFolder(&desktop_.p), S_OK);
    ASSERT_EQ(desktop_.p->BindToObject(Parse(h_).get(), nullptr, IID_IShellFolder,
                                       reinterpret_cast<void**>(&home_folder_.p)),
              S_OK);
  }
  struct Owned {
    LPITEMIDLIST p = nullptr;
    ~Owned() { Free(p); }
    LPITEMIDLIST get() const { return p; }
  };
  std::unique_ptr<Owned> ParsePtr(const std::string& path) {
    auto o = std::make_unique<Owned>();
    std::u16string wide;
    EXPECT_TRUE(ShellTextToUtf16(path, &wide));
    desktop_.p->ParseDisplayName(nullptr, nullptr, wide.c_str(), nullptr, &o->p, nullptr);
    return o;
  }
  // Keeps the parsed lists alive for the test.
  LPITEMIDLIST ParseKeep(const std::string& path) {
    kept_.push_back(ParsePtr(path));
    return kept_.back()->p;
  }
  struct Handle {
    LPITEMIDLIST p;
    LPITEMIDLIST get() const { return p; }
  };
  Handle Parse(const std::string& path) { return Handle{ParseKeep(path)}; }

  std::vector<std::string> Names(IShellFolder* folder, DWORD flags) {
    IEnumIDList* e = nullptr;
    EXPECT_EQ(folder->EnumObjects(nullptr, flags, &e), S_OK);
    std::vector<std::string> names;
    LPITEMIDLIST id = nullptr;
    ULONG n = 0;
    while (e->Next(1, &id, &n) == S_OK) {
      STRRET s{};
      EXPECT_EQ(folder->GetDisplayNameOf(id, SHGDN_NORMAL, &s), S_OK);
      EXPECT_EQ(s.uType, STRRET_WSTR);
      names.push_back(Utf16ToUtf8(s.pOleStr));
      Free(s.pOleStr);
      Free(id);
    }
    e->Release();
    std::sort(names.begin(), names.end());
    return names;
  }

  test::IsolatedHome home_;
  std::string h_;
  Folder desktop_, home_folder_;
  std::vector<std::unique_ptr<Owned>> kept_;
};

TEST_F(Namespace, ListingsByFlags) {
  std::vector<std::string> base{"Desktop", "zeta", "Ärger", "文件"};
  for (const char* n : {"cache", "config", "data"})
    if (fs::is_directory(h_ + "/" + n)) base.push_back(n);
  auto with = [&](std::vector<std::string> v, std::vector<std::string> more) {
    v.insert(v.end(), more.begin(), more.end());
    std::sort(v.begin(), v.end());
    return v;
  };
  struct Case {
    const char* what;
    DWORD flags;
    std::vector<std::string> names;
  } cases[] = {
      {"folders: no dot-folder, no broken link", SHCONTF_FOLDERS, with(base, {})},
      {"with hidden", SHCONTF_FOLDERS | SHCONTF_INCLUDEHIDDEN, with(base, {".dot"})},
      {"non-folders: files and broken links", SHCONTF_NONFOLDERS, with({}, {"dangling", "file.txt", "loop1", "loop2"})},
  };
  for (const Case& c : cases) {
    std::vector<std::string> expected = c.names;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(Names(home_folder_.p, c.flags), expected) << c.what;
  }
  EXPECT_EQ(Names(desktop_.p, SHCONTF_FOLDERS), (std::vector<std::string>{"個人資料夾", "電腦"}));
  // Without a desktop folder the desktop is home, and home is not listed twice.
  fs::remove(h_ + "/Desktop");
  std::vector<std::string> top = Names(desktop_.p, SHCONTF_FOLDERS);
  EXPECT_NE(std::find(top.begin(), top.end(), "電腦"), top.end());
  EXPECT_EQ(std::find(top.begin(), top.end(), "個人資料夾"), top.end());
  EXPECT_NE(std::find(top.begin(), top.end(), "zeta"), top.end());
}

TEST_F(Namespace, AttributesOfItems) {
  struct Case {
    std::string path;
    ULONG expected;
  } cases[] = {
      {h_ + "/Documents", SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER},
      {h_ + "/zeta", SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR},
      {h_ + "/.dot", SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_HIDDEN},
      {h_ + "/file.txt", SFGAO_FILESYSTEM},
  };
  const ULONG asked = SFGAO_FOLDER | SFGAO_FILESYSTEM | SFGAO_FILESYSANCESTOR | SFGAO_HASSUBFOLDER | SFGAO_HIDDEN;
  for (const Case& c : cases) {
    LPCITEMIDLIST full = ParseKeep(c.path);
    ASSERT_NE(full, nullptr) << c.path;
    ULONG a = asked;
    ASSERT_EQ(desktop_.p->GetAttributesOf(1, &full, &a), S_OK);
    EXPECT_EQ(a, c.expected) << c.path;
  }
  LPITEMIDLIST computer = nullptr;
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &computer), S_OK);
  ULONG a = asked;
  LPCITEMIDLIST c = computer;
  desktop_.p->GetAttributesOf(1, &c, &a);
  EXPECT_EQ(a & (SFGAO_FOLDER | SFGAO_FILESYSTEM), SFGAO_FOLDER) << "virtual: a folder without a path";
  Free(computer);
}

TEST_F(Namespace, ParseBindAndCompare) {
  // Missing paths and files below files do not parse; a file parses but does not bind.
  LPITEMIDLIST none = nullptr;
  std::u16string missing;
  ShellTextToUtf16(h_ + "/nothing", &missing);
  EXPECT_TRUE(FAILED(desktop_.p->ParseDisplayName(nullptr, nullptr, missing.c_str(), nullptr, &none, nullptr)));
  EXPECT_EQ(none, nullptr);
  IShellFolder* bound = nullptr;
  EXPECT_TRUE(FAILED(desktop_.p->BindToObject(ParseKeep(h_ + "/file.txt"), nullptr, IID_IShellFolder,
                                              reinterpret_cast<void**>(&bound))));
  EXPECT_EQ(bound, nullptr);

  // Equal lists compare 0; order is case-folded.
  struct Case {
    std::string a, b;
    int sign;
  } cases[] = {
      {h_ + "/zeta", h_ + "/zeta", 0},
      {h_ + "/Documents", h_ + "/zeta", -1},
      {h_ + "/zeta", h_ + "/Documents/sub", 1},
      {h_ + "/Documents", h_ + "/Documents/sub", -1},
      {"/", h_, 1},  // the home folder comes before the computer
      {h_ + "/Desktop", h_, -1},  // the desktop is the root
  };
  for (const Case& c : cases) {
    HRESULT hr = desktop_.p->CompareIDs(0, ParseKeep(c.a), ParseKeep(c.b));
    ASSERT_TRUE(SUCCEEDED(hr));
    int code = HRESULT_CODE_SHORT(hr);
    EXPECT_EQ((code > 0) - (code < 0), c.sign) << c.a << " vs " << c.b;
  }
  // Parse and path are inverse.
  for (const std::string& p : {h_ + "/Documents/sub", std::string("/"), std::string("/usr")}) {
    std::string back;
    EXPECT_TRUE(PathFromIdList(ParseKeep(p), &back));
    EXPECT_EQ(back, p);
  }
}

TEST_F(Namespace, FileInfoNamesAndIcons) {
  struct Case {
    std::string path;
    std::string name;
    int icon;
  } cases[] = {
      {h_ + "/Documents", "文件", kIconDocuments},
      {h_ + "/zeta", "zeta", kIconFolder},
      {"/", "檔案系統", kIconDrive},
      {h_ + "/file.txt", "file.txt", kIconFile},
  };
  for (const Case& c : cases) {
    SHFILEINFOA sfi{};
    std::uintptr_t list = SHGetFileInfoA(reinterpret_cast<const char*>(ParseKeep(c.path)), 0, &sfi, sizeof sfi,
                                         SHGFI_PIDL | SHGFI_DISPLAYNAME | SHGFI_SYSICONINDEX | SHGFI_SMALLICON);
    EXPECT_EQ(list, kSystemImageListSmall);
    EXPECT_EQ(std::string(sfi.szDisplayName), Utf8TextToAnsi(c.name)) << c.path;
    EXPECT_EQ(sfi.iIcon, c.icon) << c.path;
  }
}

// A folder nobody may read lists empty and has no subfolders, never an error; run without
// root's rights so that the mode counts.
TEST_F(Namespace, UnreadableFolderListsEmpty) {
  fs::create_directories(h_ + "/locked/inner");
  ::chmod(h_.c_str(), 0755);
  ::chmod((h_ + "/locked").c_str(), 0);
  test::ChildResult r = test::RunInChild(
      [&]() -> std::string {
        IShellFolder* desktop = nullptr;
        SHGetDesktopFolder(&desktop);
        LPITEMIDLIST pidl = nullptr;
        std::u16string wide;
        ShellTextToUtf16(h_ + "/locked", &wide);
        if (FAILED(desktop->ParseDisplayName(nullptr, nullptr, wide.c_str(), nullptr, &pidl, nullptr)))
          return "parse failed";
        ULONG a = SFGAO_FOLDER | SFGAO_HASSUBFOLDER;
        LPCITEMIDLIST one = pidl;
        desktop->GetAttributesOf(1, &one, &a);
        IShellFolder* locked = nullptr;
        if (FAILED(desktop->BindToObject(pidl, nullptr, IID_IShellFolder, reinterpret_cast<void**>(&locked))))
          return "bind failed";
        IEnumIDList* e = nullptr;
        HRESULT hr = locked->EnumObjects(nullptr, SHCONTF_FOLDERS | SHCONTF_NONFOLDERS | SHCONTF_INCLUDEHIDDEN, &e);
        LPITEMIDLIST id = nullptr;
        ULONG n = 0;
        const bool any = SUCCEEDED(hr) && e->Next(1, &id, &n) == S_OK;
        std::string report = std::string(SUCCEEDED(hr) ? "listed" : "failed") + (any ? " items" : " empty") +
                             ((a & SFGAO_FOLDER) ? " folder" : "") + ((a & SFGAO_HASSUBFOLDER) ? " subfolders" : "");
        if (e) e->Release();
        locked->Release();
        Free(pidl);
        desktop->Release();
        return report;
      },
      true);
  ::chmod((h_ + "/locked").c_str(), 0700);
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_EQ(r.report, "listed empty folder");
}

}  // namespace
}  // namespace trovex

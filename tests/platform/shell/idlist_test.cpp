// Item-id lists in the shell's byte layout, the allocator and the special folders.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/error/error.h"
#include "platform/shell/idlist.h"
#include "platform/shell/mounts.h"
#include "platform/shell/shell.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

using test::IsolatedHome;

// Frees an id list on every path.
struct IdList {
  LPITEMIDLIST p = nullptr;
  ~IdList() {
    IMalloc* m = nullptr;
    SHGetMalloc(&m);
    m->Free(p);
    m->Release();
  }
};

std::string Bytes(LPCITEMIDLIST pidl) {
  return std::string(reinterpret_cast<const char*>(pidl), shell::IdListSize(pidl));
}

TEST(IdList, ItemsCarryLittleCountsAndEndWithAZeroCount) {
  const std::string item = shell::MakeItemBytes(shell::kEntry, shell::kFlagDirectory, "文件");
  // count (2) + kind + flags + 6 name bytes + NUL
  ASSERT_EQ(item.size(), 11u);
  std::uint16_t cb;
  std::memcpy(&cb, item.data(), 2);
  EXPECT_EQ(cb, 11);
  EXPECT_EQ(item[2], 'F');

  const std::size_t before = ShellAllocatorLiveBlocks();
  {
    IdList list{shell::AllocIdListFromBytes(item + shell::MakeItemBytes(shell::kPath, 0, "/x"))};
    ASSERT_NE(list.p, nullptr);
    EXPECT_EQ(ShellAllocatorLiveBlocks(), before + 1);
    std::string b = Bytes(list.p);
    ASSERT_EQ(b.size(), 11u + 7u + 2u);
    EXPECT_EQ(b.substr(b.size() - 2), std::string(2, '\0'));
    std::vector<shell::ItemView> items;
    ASSERT_TRUE(shell::SplitIdList(list.p, &items));
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0].name, "文件");
    EXPECT_EQ(items[1].kind, shell::kPath);
    EXPECT_EQ(items[1].name, "/x");
  }
  EXPECT_EQ(ShellAllocatorLiveBlocks(), before);
}

TEST(IdList, MalformedListsAreRefused) {
  struct Case {
    const char* what;
    std::string bytes;
  } cases[] = {
      {"count below the header", std::string("\x03\x00" "F", 3) + std::string(2, '\0')},
      {"unknown kind", std::string("\x05\x00" "Z\x00\x00", 5) + std::string(2, '\0')},
      {"name not terminated", std::string("\x06\x00" "F\x00" "ab", 6) + std::string(2, '\0')},
      {"NUL inside the name", std::string("\x08\x00" "F\x00" "a\0" "b\0", 8) + std::string(2, '\0')},
  };
  for (const Case& c : cases) {
    std::vector<shell::ItemView> items;
    EXPECT_FALSE(shell::SplitIdList(reinterpret_cast<LPCITEMIDLIST>(c.bytes.data()), &items)) << c.what;
    std::string path;
    EXPECT_FALSE(PathFromIdList(reinterpret_cast<LPCITEMIDLIST>(c.bytes.data()), &path)) << c.what;
  }
}

TEST(IdList, PathsOfLists) {
  using shell::ItemView;
  struct Case {
    std::vector<ItemView> items;
    bool ok;
    std::string path;
  } cases[] = {
      {{}, true, "/desk"},
      {{{shell::kEntry, 0, "a"}, {shell::kEntry, 0, "b"}}, true, "/desk/a/b"},
      {{{shell::kVirtual, 0, "computer"}}, false, ""},
      {{{shell::kVirtual, 0, "computer"}, {shell::kPath, 0, "/"}, {shell::kEntry, 0, "etc"}}, true, "/etc"},
      {{{shell::kPath, 0, "/home/u"}, {shell::kEntry, 0, "文件"}}, true, "/home/u/文件"},
      {{{shell::kEntry, 0, ".."}}, false, ""},
      {{{shell::kEntry, 0, "a/b"}}, false, ""},
  };
  for (const Case& c : cases) {
    std::string path = "unchanged";
    EXPECT_EQ(shell::ResolvePath(c.items, "/desk", &path), c.ok) << c.path;
    if (c.ok) {
      EXPECT_EQ(path, c.path);
    }
  }
}

TEST(IdList, AllocatorAnswersForItsOwnBlocksOnly) {
  IMalloc* m = nullptr;
  ASSERT_EQ(SHGetMalloc(&m), S_OK);
  void* p = m->Alloc(10);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(m->GetSize(p), 10u);
  EXPECT_EQ(m->DidAlloc(p), 1);
  p = m->Realloc(p, 100);
  EXPECT_EQ(m->GetSize(p), 100u);
  alignas(16) char foreign[64] = {};
  EXPECT_EQ(m->DidAlloc(foreign + 16), 0);
  m->Free(foreign + 16);  // ignored, not freed
  m->Free(p);
  m->Release();
}

TEST(MountTable, OnlyMountsAUserCaresAbout) {
  const std::string info =
      "22 27 0:21 / /proc rw - proc proc rw\n"
      "23 27 0:22 / /sys rw - sysfs sysfs rw\n"
      "27 1 254:0 / / rw - ext4 /dev/vda rw\n"
      "31 23 0:28 / /sys/fs/cgroup rw - tmpfs tmpfs rw\n"
      "40 27 7:1 / /snap/core/1 ro - squashfs /dev/loop1 ro\n"
      "41 27 8:17 / /media/u/USB\\040Stick rw - vfat /dev/sdb1 rw\n"
      "42 27 0:50 / /mnt/share rw shared:1 - nfs4 srv:/x rw\n"
      "43 27 8:2 / /data rw - ext4 /dev/sda2 rw\n"
      "44 27 8:2 / /run/user/1000/doc rw - fuse.portal portal rw\n"
      "45 27 8:1 /etc/hosts /etc/hosts rw - ext4 /dev/sda1 rw\n"
      "46 27 0:60 / /tmp rw - tmpfs tmpfs rw\n"
      "broken line\n";
  std::vector<shell::MountPoint> m = shell::ParseMountInfo(info);
  std::vector<std::string> paths;
  for (const auto& p : m) paths.push_back(p.path);
  // A file bind-mounted from a device stays: the tree drops what is not a folder.
  EXPECT_EQ(paths, (std::vector<std::string>{"/", "/data", "/etc/hosts", "/media/u/USB Stick", "/mnt/share"}));
  EXPECT_EQ(m[0].kind, shell::MountKind::Root);
  EXPECT_EQ(m[3].kind, shell::MountKind::Removable);
  EXPECT_EQ(m[4].kind, shell::MountKind::Network);
}

// The special folders over a temporary home with user-dirs.dirs.
TEST(SpecialFolders, FromTheUserDirectories) {
  struct Case {
    const char* what;
    const char* userDirs;  // null: no user-dirs.dirs
    std::vector<std::string> folders;
    std::string desktop;        // below home
    std::string documents;      // below home; "!" + code when there is none
  } cases[] = {
      {"no file: desktop folder by name, documents at home", nullptr, {"Desktop"}, "/Desktop", ""},
      {"no file, no desktop folder: home", nullptr, {}, "", ""},
      {"configured and present",
       "# comment\nXDG_DESKTOP_DIR=\"$HOME/桌面\"\nXDG_DOCUMENTS_DIR=\"$HOME/文件\"\n", {"桌面", "文件"}, "/桌面", "/文件"},
      {"documents switched off", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n", {}, "", "!2"},
      {"documents missing", "XDG_DOCUMENTS_DIR=\"$HOME/Gone\"\n", {}, "", "!3"},
      {"desktop configured but missing: home", "XDG_DESKTOP_DIR=\"$HOME/Nope\"\n", {"Desktop"}, "", ""},
      {"quoted and escaped", "XDG_DOCUMENTS_DIR=\"$HOME/a \\\"b\\\"\"\n", {"a \"b\""}, "", "/a \"b\""},
      {"last assignment counts", "XDG_DOCUMENTS_DIR=\"$HOME/x\"\nXDG_DOCUMENTS_DIR=\"$HOME/y\"\n", {"x", "y"}, "",
       "/y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    IsolatedHome home;
    const std::string h = home.dir().str();
    if (c.userDirs) home.dir().WriteFile("config/user-dirs.dirs", c.userDirs);
    for (const std::string& f : c.folders) std::filesystem::create_directories(h + "/" + f);

    UserDirectories u = ReadUserDirectories();
    EXPECT_EQ(u.home, h);
    EXPECT_EQ(u.desktop, h + c.desktop);

    LPITEMIDLIST pidl = nullptr;
    ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DESKTOP, &pidl), S_OK);
    char path[260] = {};
    EXPECT_TRUE(SHGetPathFromIDListA(pidl, path));
    EXPECT_EQ(path, h + c.desktop);
    EXPECT_EQ(shell::IdListSize(pidl), 2u);  // the root is the empty list
    IdList freeDesk{pidl};

    LPITEMIDLIST docs = nullptr;
    SetLastError(0);
    HRESULT hr = SHGetSpecialFolderLocation(nullptr, CSIDL_PERSONAL, &docs);
    IdList freeDocs{docs};
    if (!c.documents.empty() && c.documents[0] == '!') {
      EXPECT_TRUE(FAILED(hr));
      EXPECT_EQ(docs, nullptr);
      EXPECT_EQ(std::to_string(GetLastError()), c.documents.substr(1));
    } else {
      ASSERT_EQ(hr, S_OK);
      EXPECT_TRUE(SHGetPathFromIDListA(docs, path));
      EXPECT_EQ(path, h + c.documents);
    }
    std::string documents;
    SetLastError(0);
    EXPECT_EQ(SpecialFolderPath(CSIDL_PERSONAL, &documents), c.documents[0] != '!');
    if (c.documents[0] == '!')
      EXPECT_EQ(std::to_string(GetLastError()), c.documents.substr(1));
    else
      EXPECT_EQ(documents, h + c.documents);
  }
}

TEST(SpecialFolders, ComputerHasNoPathAndLongPathsAreNotCut) {
  IsolatedHome home;
  LPITEMIDLIST drives = nullptr;
  ASSERT_EQ(SHGetSpecialFolderLocation(nullptr, CSIDL_DRIVES, &drives), S_OK);
  IdList f{drives};
  char path[260] = "unchanged";
  EXPECT_FALSE(SHGetPathFromIDListA(drives, path));
  EXPECT_EQ(path[0], '\0');

  // Deeper than 260 bytes: the fixed-buffer call refuses rather than overflow; the other works.
  std::string deep = home.dir().str();
  while (deep.size() < 400) deep += "/abcdefghijklmnopqrstuvwxyz";
  std::filesystem::create_directories(deep);
  std::string bytes;
  DWORD error = 0;
  ASSERT_TRUE(shell::ItemBytesForPath(deep, &bytes, &error));
  IdList list{shell::AllocIdListFromBytes(bytes)};
  EXPECT_FALSE(SHGetPathFromIDListA(list.p, path));
  std::string full;
  EXPECT_TRUE(PathFromIdList(list.p, &full));
  EXPECT_EQ(full, deep);

  EXPECT_EQ(SHGetSpecialFolderLocation(nullptr, 0x7777, &drives), E_INVALIDARG);
}

}  // namespace
}  // namespace trovex

// The shell folder tree in a frame, over a temporary home with XDG user directories.
#include "shelltree/shell_tree.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wx/frame.h>

#include <filesystem>
#include <string>
#include <vector>

#include "framework/wx_text.h"
#include "platform/inet/inet.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;

class ShellTreeTest : public testing::Test {
 protected:
  void SetUp() override {
    h_ = home_.dir().str();
    fs::create_directories(h_ + "/Desktop/桌上資料夾");
    fs::create_directories(h_ + "/Documents/報告/2024");
    fs::create_directories(h_ + "/.hidden/inside");
    fs::create_directories(h_ + "/beta");
    fs::create_directories(h_ + "/Alpha");
    home_.dir().WriteFile("Pictures", "a file where a folder is expected");
    home_.dir().WriteFile("config/user-dirs.dirs",
                          "XDG_DOCUMENTS_DIR=\"$HOME/Documents\"\nXDG_PICTURES_DIR=\"$HOME/Pictures\"\n");
    fs::create_directory_symlink("loop-b", h_ + "/loop-a");
    fs::create_directory_symlink("loop-a", h_ + "/loop-b");
    fs::create_directory_symlink(".", h_ + "/self");  // a folder that contains itself
    fs::create_directories(UrlCacheDirectory() + "/sub");
    frame_ = new wxFrame(nullptr, wxID_ANY, "tree", wxDefaultPosition, wxSize(400, 600));
    tree_ = new CShellTree(frame_, wxID_ANY, wxDefaultPosition, wxSize(400, 600),
                           wxTR_HAS_BUTTONS | wxTR_LINES_AT_ROOT | wxTR_SINGLE);
    tree_->EnableImages();
    tree_->PopulateTree();
  }
  void TearDown() override {
    frame_->Destroy();
    delete frame_;
  }
  std::vector<std::string> Children(const wxTreeItemId& item) {
    std::vector<std::string> names;
    wxTreeItemIdValue cookie;
    for (wxTreeItemId c = tree_->GetFirstChild(item, cookie); c.IsOk(); c = tree_->GetNextChild(item, cookie))
      names.push_back(FromWx(tree_->GetItemText(c)));
    return names;
  }
  wxTreeItemId Child(const wxTreeItemId& item, const std::string& name) {
    wxTreeItemIdValue cookie;
    for (wxTreeItemId c = tree_->GetFirstChild(item, cookie); c.IsOk(); c = tree_->GetNextChild(item, cookie))
      if (FromWx(tree_->GetItemText(c)) == name) return c;
    return {};
  }

  test::IsolatedHome home_;
  std::string h_;
  wxFrame* frame_ = nullptr;
  CShellTree* tree_ = nullptr;
};

TEST_F(ShellTreeTest, RootIsTheDesktopWithHomeComputerAndItsFolders) {
  wxTreeItemId root = tree_->GetRootItem();
  EXPECT_EQ(FromWx(tree_->GetItemText(root)), "桌面");
  EXPECT_EQ(tree_->GetSelection(), root);
  std::string path = "unchanged";
  ASSERT_TRUE(tree_->GetItemFolderPath(root, path));
  EXPECT_EQ(path, h_ + "/Desktop");
  EXPECT_EQ(Children(root), (std::vector<std::string>{"個人資料夾", "電腦", "桌上資料夾"}));

  // The computer has no path: FALSE and the out text untouched.
  wxTreeItemId computer = Child(root, "電腦");
  path = "unchanged";
  EXPECT_FALSE(tree_->GetItemFolderPath(computer, path));
  EXPECT_EQ(path, "unchanged");
  tree_->Expand(computer);
  ASSERT_FALSE(Children(computer).empty());
  EXPECT_EQ(Children(computer).front(), "檔案系統");
  ASSERT_TRUE(tree_->GetItemFolderPath(Child(computer, "檔案系統"), path));
  EXPECT_EQ(path, "/");
}

TEST_F(ShellTreeTest, ExpandingListsFoldersOnlyInOrderWithoutHiddenOrBrokenOnes) {
  wxTreeItemId home = Child(tree_->GetRootItem(), "個人資料夾");
  ASSERT_TRUE(home.IsOk());
  EXPECT_TRUE(tree_->ItemHasChildren(home));
  EXPECT_EQ(tree_->GetChildrenCount(home, false), 0u) << "filled only when expanded";
  tree_->Expand(home);
  // Case-folded order; "Documents" under its localized name; no file named like a folder
  // ("Pictures"), no dot-folder, no link loop; the cache folder and a self-link are folders.
  // Sorted by the folders' own names ("Documents" shows as "文件").
  std::vector<std::string> expected{"Alpha", "beta", "cache", "config", "data", "Desktop", "文件", "self"};
  std::erase_if(expected, [&](const std::string& n) {
    return (n == "config" || n == "data") && !fs::is_directory(h_ + "/" + n);
  });
  EXPECT_EQ(Children(home), expected);

  // The cache folder has subfolders but no expand button; a folder of folders has one.
  wxTreeItemId cache = Child(home, "cache");
  ASSERT_TRUE(cache.IsOk());
  tree_->Expand(cache);
  wxTreeItemId ours = Child(cache, "kelvora-swf-trovex");
  ASSERT_TRUE(ours.IsOk());
  tree_->Expand(ours);
  wxTreeItemId urlcache = Child(ours, "urlcache");
  ASSERT_TRUE(urlcache.IsOk());
  EXPECT_FALSE(tree_->ItemHasChildren(urlcache));
  EXPECT_TRUE(tree_->ItemHasChildren(Child(home, "文件")));
  EXPECT_FALSE(tree_->ItemHasChildren(Child(home, "beta")));

  // A folder inside itself expands one level at a time.
  wxTreeItemId self = Child(home, "self");
  tree_->Expand(self);
  EXPECT_NE(Child(self, "self"), wxTreeItemId());
}

// Run without root's rights (CI runs as root), so that the mode counts.
TEST_F(ShellTreeTest, UnreadableFolderListsEmpty) {
  fs::create_directories(h_ + "/locked/inner");
  ::chmod(h_.c_str(), 0755);
  ::chmod((h_ + "/locked").c_str(), 0);
  test::ScopedUnprivileged user;
  ASSERT_TRUE(user.ok());
  wxTreeItemId home = Child(tree_->GetRootItem(), "個人資料夾");
  tree_->Expand(home);
  wxTreeItemId locked = Child(home, "locked");
  ASSERT_TRUE(locked.IsOk());
  tree_->Expand(locked);
  EXPECT_EQ(tree_->GetChildrenCount(locked, false), 0u);
  EXPECT_FALSE(tree_->ItemHasChildren(locked));
  ::chmod((h_ + "/locked").c_str(), 0700);
}

TEST_F(ShellTreeTest, SelectPathWalksInsertsHiddenFoldersAndFreesRecords) {
  struct Case {
    std::string path;
    std::string selected;  // "" : not found
  } cases[] = {
      {h_ + "/Documents/報告/2024", "2024"},
      {h_ + "/.hidden/inside", "inside"},  // inserted on the way
      {h_ + "/Desktop", "桌面"},
      {h_ + "//Documents/./報告/", "報告"},
      {h_ + "/no/such", ""},
      {h_ + "/Pictures", ""},  // a file: nothing is inserted
      {"relative", ""},
  };
  for (const Case& c : cases) {
    wxTreeItemId before = tree_->GetSelection();
    wxTreeItemId found = tree_->SelectPath(c.path);
    if (c.selected.empty()) {
      EXPECT_FALSE(found.IsOk()) << c.path;
      EXPECT_EQ(tree_->GetSelection(), before) << c.path;
    } else {
      ASSERT_TRUE(found.IsOk()) << c.path;
      EXPECT_EQ(tree_->GetSelection(), found);
      EXPECT_EQ(FromWx(tree_->GetItemText(found)), c.selected);
      std::string path;
      EXPECT_TRUE(tree_->GetSelectedFolderPath(path));
    }
  }
  wxTreeItemId home = Child(tree_->GetRootItem(), "個人資料夾");
  EXPECT_TRUE(Child(home, ".hidden").IsOk());
  EXPECT_FALSE(Child(home, "Pictures").IsOk());
  // Walking twice reuses the items.
  const std::size_t count = tree_->GetCount();
  tree_->SelectPath(h_ + "/.hidden/inside");
  EXPECT_EQ(tree_->GetCount(), count);

  // Every record and id list goes with its item.
  const std::size_t blocks = ShellAllocatorLiveBlocks();
  EXPECT_EQ(ShellItemData::LiveRecords(), count);
  tree_->DeleteAllItems();
  EXPECT_EQ(ShellItemData::LiveRecords(), 0u);
  EXPECT_LT(ShellAllocatorLiveBlocks(), blocks);
  EXPECT_LE(ShellAllocatorLiveBlocks(), 0u + blocks - 2 * (count - 1));
}

}  // namespace
}  // namespace trovex

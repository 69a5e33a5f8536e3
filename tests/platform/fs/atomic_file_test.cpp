#include "platform/fs/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>
#include <algorithm>

#include "platform/fs/file_lock.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_env.h"

namespace trovex::posix {
namespace {

namespace fs = std::filesystem;

// Every name in the folder: a temporary left behind shows up here.
std::vector<std::string> Entries(const std::string& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// How the target's name reaches the file: directly, through a link into another folder (a
// dotfile manager's), through a chain of relative links, or through a link whose file does
// not exist yet.
enum class Layout { kPlain, kLinkElsewhere, kRelativeChain, kDangling };

struct Placed {
  std::string target;  // the name writers are given
  std::string file;    // where the bytes live
  std::vector<std::string> links;
  std::vector<std::string> folders;  // every folder involved, to look for leftovers
};

// Puts "old" (mode 0640) where `layout` says; a dangling link gets no file.
Placed Place(const test::TempDir& dir, Layout layout) {
  Placed p;
  p.target = dir.str() + "/config/movie.swf";
  fs::create_directories(dir.str() + "/config");
  p.folders = {dir.str() + "/config"};
  if (layout == Layout::kPlain) {
    p.file = dir.WriteFile("config/movie.swf", "old");
  } else {
    p.file = dir.str() + "/dotfiles/real/movie.swf";
    fs::create_directories(dir.str() + "/dotfiles/real");
    p.folders.push_back(dir.str() + "/dotfiles/real");
    if (layout != Layout::kDangling) dir.WriteFile("dotfiles/real/movie.swf", "old");
    if (layout == Layout::kRelativeChain) {
      fs::create_symlink("real/movie.swf", dir.str() + "/dotfiles/hop.swf");
      fs::create_symlink("../dotfiles/hop.swf", p.target);
      p.links = {p.target, dir.str() + "/dotfiles/hop.swf"};
    } else {
      fs::create_symlink(p.file, p.target);
      p.links = {p.target};
    }
  }
  if (layout != Layout::kDangling) ::chmod(p.file.c_str(), 0640);
  return p;
}

std::vector<std::string> LeftNames(const Placed& p) {
  std::vector<std::string> names;
  for (const std::string& folder : p.folders)
    for (const std::string& name : Entries(folder))
      if (name.find(".part") != std::string::npos) names.push_back(name);
  return names;
}

// The invariants every writer relies on, one row per way a replacement can end, each through
// every way the target's name can lead to its file: the old bytes survive a failure, nothing
// temporary is left, the mode is kept, and links stay links (the file they lead to is replaced).
TEST(AtomicFile, OldContentSurvivesAndNoTemporaryIsLeft) {
  enum class End { kCommit, kAbort, kDestroyUncommitted, kNoReplaceOverExisting };
  struct Case {
    const char* name;
    End end;
    int wantErr;
    const char* wantContent;
  } cases[] = {
      {"commit replaces", End::kCommit, 0, "new"},
      {"abort keeps old", End::kAbort, 0, "old"},
      {"destroyed without commit keeps old", End::kDestroyUncommitted, 0, "old"},
      {"no-replace refuses existing", End::kNoReplaceOverExisting, EEXIST, "old"},
  };
  const std::pair<const char*, Layout> layouts[] = {
      {"plain file", Layout::kPlain},
      {"link into another folder", Layout::kLinkElsewhere},
      {"chain of relative links", Layout::kRelativeChain},
  };
  for (const auto& [layoutName, layout] : layouts) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(layoutName) + ": " + c.name);
      test::TempDir dir;
      const Placed placed = Place(dir, layout);
      const std::string& target = placed.target;
      {
        AtomicFile file;
        ASSERT_EQ(file.Open(target), 0);
        EXPECT_NE(file.tempPath(), target);
        // Beside the file itself, so the rename stays within one file system.
        EXPECT_TRUE(fs::equivalent(fs::path(file.tempPath()).parent_path(),
                                   fs::path(placed.file).parent_path()))
            << file.tempPath();
        ASSERT_EQ(file.Write("new", 3), 0);
        EXPECT_EQ(test::ReadFile(target), "old");  // nothing visible before the commit
        switch (c.end) {
          case End::kCommit: EXPECT_EQ(file.Commit(), c.wantErr); break;
          case End::kAbort: file.Abort(); break;
          case End::kDestroyUncommitted: break;
          case End::kNoReplaceOverExisting:
            EXPECT_EQ(file.Commit(AtomicFile::Replace::kNever), c.wantErr);
            break;
        }
      }
      EXPECT_EQ(test::ReadFile(target), c.wantContent);
      EXPECT_EQ(test::ReadFile(placed.file), c.wantContent);
      EXPECT_EQ(ModeOf(target), 0640u);  // a replacement keeps the mode
      for (const std::string& link : placed.links) EXPECT_TRUE(fs::is_symlink(link)) << link;
      EXPECT_EQ(LeftNames(placed), std::vector<std::string>{});
    }
  }
}

// A link whose file is not there yet (a dotfile manager's link made before the first run):
// the file is made where the link points, as writing through the link would, and the link
// stays. A link that leads nowhere reachable is refused without touching anything; one to
// something that is no plain file is replaced itself, as before links were followed.
TEST(AtomicFile, DanglingLinkGetsItsFileWhereItPoints) {
  for (auto replace : {AtomicFile::Replace::kAlways, AtomicFile::Replace::kNever}) {
    test::TempDir dir;
    const Placed placed = Place(dir, Layout::kDangling);
    ASSERT_EQ(ReplaceFileContents(placed.target, "new", 3, 0600), 0);
    AtomicFile file;
    ASSERT_EQ(file.Open(placed.target, 0600), 0);
    ASSERT_EQ(file.Write("newer", 5), 0);
    EXPECT_EQ(file.Commit(replace), replace == AtomicFile::Replace::kNever ? EEXIST : 0);
    EXPECT_EQ(test::ReadFile(placed.file),
              replace == AtomicFile::Replace::kNever ? "new" : "newer");
    EXPECT_TRUE(fs::is_symlink(placed.target));
    EXPECT_EQ(ModeOf(placed.file), 0600u);
    EXPECT_EQ(LeftNames(placed), std::vector<std::string>{});
  }
  // Links that lead to no plain file: nothing is written through them.
  test::TempDir dir;
  const std::string target = dir.str() + "/movie.swf";
  const std::string fifo = dir.str() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  struct Case {
    const char* name;
    const char* pointsTo;
    int wantErr;
  } cases[] = {
      {"into a missing folder", "gone/movie.swf", ENOENT},
      {"to itself", "movie.swf", ELOOP},
      {"to a FIFO: the link is replaced", "fifo", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(target);
    fs::create_symlink(c.pointsTo, target);
    EXPECT_EQ(ReplaceFileContents(target, "new", 3), c.wantErr);
    EXPECT_EQ(fs::is_symlink(target), c.wantErr != 0);
    if (c.wantErr == 0) {
      EXPECT_EQ(test::ReadFile(target), "new");
    }
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(Entries(dir.str()), (std::vector<std::string>{"fifo", "movie.swf"}));
  }
}

// The sweep takes only temporaries whose writer is gone: ours by name, unlocked, and not
// changed for a while. Everything else in the folder stays.
TEST(AtomicFile, SweepRemovesOnlyStaleTemporariesOfDeadWriters) {
  test::TempDir dir;
  struct Case {
    const char* name;
    bool aged;
    bool locked;
    bool removed;
  } cases[] = {
      {".movie.swf.0123456789ab.part", true, false, true},
      {".movie.swf.0123456789ac.part", false, false, false},  // may not be locked yet
      {".movie.swf.0123456789ad.part", true, true, false},    // a live writer
      {".movie.swf.0123456789AB.part", true, false, false},
      {"movie.swf.0123456789ab.part", true, false, false},
      {".notes.part", true, false, false},
      {".movie.swf.0123456789ab.parts", true, false, false},
      {"movie.swf", true, false, false},
  };
  std::vector<int> locks;
  for (const Case& c : cases) {
    const std::string path = dir.WriteFile(c.name, "x");
    if (c.aged) {
      timespec times[2] = {{::time(nullptr) - 60, 0}, {::time(nullptr) - 60, 0}};
      ::utimensat(AT_FDCWD, path.c_str(), times, 0);
    }
    if (c.locked) {
      int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
      ASSERT_EQ(::flock(fd, LOCK_EX), 0);
      locks.push_back(fd);
    }
  }
  EXPECT_EQ(SweepStaleTemporaries(dir.str()), 1);
  for (const Case& c : cases) EXPECT_EQ(fs::exists(dir.str() + "/" + c.name), !c.removed) << c.name;
  for (int fd : locks) ::close(fd);
}

// An unnamed temporary has no name to leave behind until it is committed.
TEST(AtomicFile, UnnamedTemporaryShowsOnlyAtCommit) {
  test::TempDir dir;
  const std::string target = dir.str() + "/movie.swf";
  for (auto replace : {AtomicFile::Replace::kAlways, AtomicFile::Replace::kNever}) {
    fs::remove(target);
    AtomicFile file;
    ASSERT_EQ(file.Open(target, 0644, AtomicFile::Temporary::kUnnamed), 0);
    ASSERT_EQ(file.Write("new", 3), 0);
    EXPECT_TRUE(Entries(dir.str()).empty());
    EXPECT_EQ(file.Commit(replace), 0);
    EXPECT_EQ(test::ReadFile(target), "new");
    EXPECT_EQ(Entries(dir.str()), std::vector<std::string>{"movie.swf"});
  }
}

TEST(AtomicFile, FailuresLeaveNothingBehind) {
  test::TempDir dir;
  // A folder in the target's place: the rename fails, the folder and its content stay.
  std::string folder = dir.str() + "/taken";
  fs::create_directory(folder);
  dir.WriteFile("taken/inside", "x");
  AtomicFile file;
  ASSERT_EQ(file.Open(folder), 0);
  ASSERT_EQ(file.Write("abc", 3), 0);
  EXPECT_EQ(file.Commit(), EISDIR);
  EXPECT_EQ(test::ReadFile(folder + "/inside"), "x");
  EXPECT_EQ(Entries(dir.str()), std::vector<std::string>{"taken"});
  // A missing folder is reported at once.
  EXPECT_EQ(file.Open(dir.str() + "/none/x"), ENOENT);
  // New files get the requested mode minus the umask; kNever creates when free.
  mode_t old = ::umask(022);
  EXPECT_EQ(file.Open(dir.str() + "/new.swf", 0666), 0);
  EXPECT_EQ(file.Commit(AtomicFile::Replace::kNever), 0);
  ::umask(old);
  EXPECT_EQ(ModeOf(dir.str() + "/new.swf"), 0644u);
  EXPECT_EQ(Entries(dir.str()), (std::vector<std::string>{"new.swf", "taken"}));
}

TEST(AtomicFile, ReadOnlyFolderFailsWithoutTouchingTheTarget) {
  test::TempDir dir;
  std::string target = dir.WriteFile("ro/movie.swf", "old");
  ::chmod((dir.str() + "/ro").c_str(), 0555);
  test::ChildResult r = test::RunInChild(
      [&] { return std::to_string(ReplaceFileContents(target, "new", 3)); }, true);
  ::chmod((dir.str() + "/ro").c_str(), 0755);
  EXPECT_EQ(r.report, std::to_string(EACCES));
  EXPECT_EQ(test::ReadFile(target), "old");
}

TEST(ReadRegularFile, RefusesWhatIsNotAPlainFileOfBoundedSize) {
  test::TempDir dir;
  std::string plain = dir.WriteFile("plain", "hello");
  std::string fifo = dir.str() + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  std::string link = dir.str() + "/zero";
  fs::create_symlink(test::ZeroDevice(dir.path()), link);
  struct Case {
    std::string path;
    std::size_t max;
    int wantErr;
    std::string want;
  } cases[] = {
      {plain, 100, 0, "hello"},
      {plain, 5, 0, "hello"},
      {plain, 4, EFBIG, ""},
      {fifo, 100, EINVAL, ""},  // must not wait for a writer
      {link, 100, EINVAL, ""},  // a device never ends
      {dir.str(), 100, EISDIR, ""},
      {dir.str() + "/none", 100, ENOENT, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " max " + std::to_string(c.max));
    std::string out = "stale";
    FileStamp stamp;
    EXPECT_EQ(ReadRegularFile(c.path, c.max, &out, &stamp), c.wantErr);
    EXPECT_EQ(out, c.want);
    EXPECT_EQ(stamp.exists, c.wantErr == 0);
  }
}

TEST(FileLock, ExcludesOtherProcessesForABoundedTime) {
  test::TempDir dir;
  std::string path = dir.str() + "/x.lock";
  FileLock mine;
  ASSERT_EQ(mine.Acquire(path), 0);
  auto start = std::chrono::steady_clock::now();
  test::ChildResult busy = test::RunInChild([&] {
    FileLock other;
    return std::to_string(other.Acquire(path, std::chrono::milliseconds(300)));
  });
  auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(busy.report, std::to_string(EWOULDBLOCK));
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::seconds(3));

  mine.Release();

  // Another process holds it a little while, then ends: the waiter gets it then.
  std::string marker = dir.str() + "/held";
  std::thread holder([&] {
    test::RunInChild([&] {
      FileLock other;
      if (other.Acquire(path) != 0) return std::string("no");
      ::close(::open(marker.c_str(), O_WRONLY | O_CREAT, 0600));
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      return std::string("ok");
    });
  });
  while (!fs::exists(marker)) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  FileLock waiter;
  EXPECT_EQ(waiter.Acquire(path, std::chrono::seconds(5)), 0);
  holder.join();
  EXPECT_EQ(FileLock().Acquire(dir.str() + "/none/x.lock"), ENOENT);
}

}  // namespace
}  // namespace trovex::posix

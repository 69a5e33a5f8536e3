#include "platform/fs/posix_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <thread>

#include "platform/fs/file_lock.h"
#include "platform/fs/test_seam.h"
#include "tests/support/temp_env.h"

namespace trovex::posix {
namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(PosixFd, ClosesOnResetAndAtTheEnd) {
  int first = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  int second = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  ASSERT_GE(first, 0);
  ASSERT_GE(second, 0);
  {
    Fd fd(first);
    fd.Reset(second);
    EXPECT_FALSE(IsOpen(first));
    EXPECT_EQ(fd.get(), second);
  }
  EXPECT_FALSE(IsOpen(second));
  Fd none;
  EXPECT_EQ(none.Close(), 0);
}

// Through a pipe, whose writes come back short once the reader lags: nothing may be lost.
TEST(PosixIo, WriteAllAndReadAllMoveEveryByte) {
  std::string data(1 << 20, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + i / 251);
  int fds[2];
  ASSERT_EQ(::pipe2(fds, O_CLOEXEC), 0);
  Fd readEnd(fds[0]);
  Fd writeEnd(fds[1]);
  int writeErr = -1;
  std::thread writer([&] {
    writeErr = WriteAll(writeEnd.get(), data.data(), data.size());
    writeEnd.Close();
  });
  std::string got = "kept:";
  EXPECT_EQ(ReadAll(readEnd.get(), &got), 0);
  writer.join();
  EXPECT_EQ(writeErr, 0);
  EXPECT_EQ(got, "kept:" + data);  // appended, not replaced

  EXPECT_EQ(WriteAll(-1, "x", 1), EBADF);
  EXPECT_EQ(ReadAll(-1, &got), EBADF);
}

TEST(PosixIo, MakeFoldersMakesPrivateFoldersAndReportsWhatIsInTheWay) {
  test::TempDir dir;
  const std::string deep = dir.str() + "/a/b/c";
  EXPECT_EQ(MakeFolders(deep), 0);
  struct stat st;
  ASSERT_EQ(::stat(deep.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  EXPECT_EQ(MakeFolders(deep), 0);        // already there
  EXPECT_EQ(MakeFolders(deep + "/"), 0);  // a trailing slash names the same folder

  std::string file = dir.WriteFile("file", "x");
  EXPECT_EQ(MakeFolders(file), ENOTDIR);
  EXPECT_EQ(MakeFolders(file + "/below"), ENOTDIR);
  SyncFolder(deep);                  // fine on a folder
  SyncFolder(dir.str() + "/none");   // and harmless on nothing
}

TEST(PosixIo, FileStampChangesWhenTheFileIsWrittenOrReplaced) {
  test::TempDir dir;
  std::string path = dir.WriteFile("f", "one");
  auto stampOf = [](const std::string& p) {
    struct stat st;
    return ::stat(p.c_str(), &st) == 0 ? FileStamp::Of(st) : FileStamp{};
  };
  FileStamp before = stampOf(path);
  EXPECT_TRUE(before.exists);
  EXPECT_TRUE(before == stampOf(path));
  EXPECT_FALSE(before == FileStamp{});

  dir.WriteFile("f", "three");  // written again (timestamps may be too coarse to differ)
  EXPECT_FALSE(before == stampOf(path));

  FileStamp rewritten = stampOf(path);
  std::string other = dir.WriteFile("g", "three");
  ASSERT_EQ(::rename(other.c_str(), path.c_str()), 0);  // replaced by another file
  EXPECT_FALSE(rewritten == stampOf(path));
  EXPECT_TRUE(stampOf(dir.str() + "/none") == FileStamp{});
}

TEST(PosixIo, XdgFoldersFallBackToTheHomeFolder) {
  test::TempDir dir;
  test::ScopedEnv env;
  env.Set("HOME", dir.str());
  env.Unset("XDG_CONFIG_HOME");
  EXPECT_EQ(HomeFolder(), dir.str());
  EXPECT_EQ(XdgFolder("XDG_CONFIG_HOME", ".config"), dir.str() + "/.config");
  env.Set("XDG_CONFIG_HOME", "relative");  // only an absolute path counts
  EXPECT_EQ(XdgFolder("XDG_CONFIG_HOME", ".config"), dir.str() + "/.config");
  env.Set("XDG_CONFIG_HOME", dir.str() + "/xdg");
  EXPECT_EQ(XdgFolder("XDG_CONFIG_HOME", ".config"), dir.str() + "/xdg");
  env.Set("HOME", "");  // empty: the password database's home
  EXPECT_FALSE(HomeFolder().empty());
  EXPECT_NE(HomeFolder(), dir.str());
}

// The layer's test seam sets the lock wait a held lock is waited for, and nested seams put back
// what was there, down to the product's 10 s.
TEST(PosixIo, TheTestSeamSetsTheLockWaitAndPutsItBack) {
  using std::chrono::milliseconds;
  test::TempDir dir;
  const std::string path = dir.str() + "/held.lock";
  FileLock holder;
  ASSERT_EQ(holder.Acquire(path), 0);
  EXPECT_EQ(FileLock::DefaultTimeout(), milliseconds(10000));
  {
    ScopedFsTestSeam outer({milliseconds(300)});
    {
      ScopedFsTestSeam inner({milliseconds(50)});
      EXPECT_EQ(FileLock::DefaultTimeout(), milliseconds(50));
      FileLock waiter;
      const auto start = std::chrono::steady_clock::now();
      EXPECT_EQ(waiter.Acquire(path), EWOULDBLOCK);
      const auto waited = std::chrono::steady_clock::now() - start;
      EXPECT_GE(waited, milliseconds(50));
      EXPECT_LT(waited, milliseconds(3000));
    }
    EXPECT_EQ(FileLock::DefaultTimeout(), milliseconds(300));
  }
  EXPECT_EQ(FileLock::DefaultTimeout(), milliseconds(10000));
}

}  // namespace
}  // namespace trovex::posix

// File-system calls against real files in a temporary folder: results and last-error codes.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "platform/fs/fs.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;
using test::ReadFile;
using test::TempDir;

int CountEntries(const std::string& folder) {
  int n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder)) ++n;
  return n;
}

class FsCalls : public testing::Test {
 protected:
  TempDir dir;
  std::string P(const std::string& rel) const { return dir.str() + "/" + rel; }
};

TEST_F(FsCalls, ExistenceAndAttributes) {
  std::string file = dir.WriteFile("a.swf", "abc");
  fs::create_directory(P("sub"));
  fs::create_symlink(P("nowhere"), P("dangling"));
  std::string ro = dir.WriteFile("ro.swf", "x");
  ::chmod(ro.c_str(), 0444);

  EXPECT_TRUE(PathFileExistsA(file.c_str()));
  EXPECT_TRUE(PathFileExistsA(P("sub").c_str()));
  // A dangling link still occupies its name.
  EXPECT_TRUE(PathFileExistsA(P("dangling").c_str()));
  EXPECT_FALSE(PathFileExistsA(P("missing").c_str()));
  EXPECT_FALSE(PathFileExistsA(""));
  EXPECT_FALSE(PathFileExistsA(nullptr));

  EXPECT_EQ(PathIsDirectoryA(P("sub").c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_FALSE(PathIsDirectoryA(file.c_str()));
  EXPECT_FALSE(PathIsDirectoryA(P("missing").c_str()));

  EXPECT_EQ(GetFileAttributesA(file.c_str()), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(GetFileAttributesA(P("sub").c_str()), FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA(ro.c_str()), FILE_ATTRIBUTE_READONLY);
  dir.WriteFile(".hidden", "");
  EXPECT_EQ(GetFileAttributesA(P(".hidden").c_str()), FILE_ATTRIBUTE_HIDDEN);
}

struct MissingCase {
  const char* relative;
  DWORD error;
};

TEST_F(FsCalls, MissingPathsGiveFileOrPathNotFound) {
  dir.WriteFile("file", "x");
  const MissingCase cases[] = {
      {"missing", ERROR_FILE_NOT_FOUND},
      {"nofolder/missing", ERROR_PATH_NOT_FOUND},
      {"a/b/c", ERROR_PATH_NOT_FOUND},
      {"file/below", ERROR_PATH_NOT_FOUND},  // a file on the way
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesA(P(c.relative).c_str()), INVALID_FILE_ATTRIBUTES) << c.relative;
    EXPECT_EQ(GetLastError(), c.error) << c.relative;
    SetLastError(0);
    EXPECT_FALSE(PathFileExistsA(P(c.relative).c_str()));
    EXPECT_EQ(GetLastError(), c.error) << c.relative;
    CFileStatus status;
    SetLastError(0);
    EXPECT_FALSE(GetFileStatus(P(c.relative).c_str(), status));
    EXPECT_EQ(GetLastError(), c.error) << c.relative;
  }
}

TEST_F(FsCalls, CreateDirectoryOneLevel) {
  EXPECT_TRUE(CreateDirectoryA(P("new").c_str(), nullptr));
  EXPECT_TRUE(fs::is_directory(P("new")));

  const MissingCase failures[] = {
      {"new", ERROR_ALREADY_EXISTS},
      {"x/y", ERROR_PATH_NOT_FOUND},
  };
  for (const auto& c : failures) {
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryA(P(c.relative).c_str(), nullptr)) << c.relative;
    EXPECT_EQ(GetLastError(), c.error) << c.relative;
  }
  EXPECT_FALSE(fs::exists(P("x")));
  dir.WriteFile("plain", "");
  EXPECT_FALSE(CreateDirectoryA(P("plain").c_str(), nullptr));
  EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA("", nullptr));
  EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(FsCalls, CreateDirectoryWithoutRightsIsAccessDenied) {
  fs::create_directory(P("locked"));
  ::chmod(P("locked").c_str(), 0555);
  // Permission bits do not stop root: as root, try it as an unprivileged user.
  ::chmod(dir.str().c_str(), 0755);
  test::ChildResult child = test::RunInChild(
      [&] {
        BOOL made = CreateDirectoryA(P("locked/x").c_str(), nullptr);
        return std::to_string(made) + " " + std::to_string(GetLastError());
      },
      /*dropRoot=*/true);
  ASSERT_EQ(child.exitCode, 0);
  EXPECT_EQ(child.report, "0 " + std::to_string(ERROR_ACCESS_DENIED));
}

TEST_F(FsCalls, FileStatusHas64BitSizeAndTime) {
  std::string file = dir.WriteFile("big.swf", "");
  // A sparse file beyond 4 GiB: the size must not be cut to 32 bits.
  fs::resize_file(file, (std::uintmax_t{5} << 30) + 3);
  struct timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  CFileStatus status;
  ASSERT_TRUE(GetFileStatus(file.c_str(), status));
  EXPECT_EQ(status.m_size, (std::int64_t{5} << 30) + 3);
  EXPECT_EQ(status.m_mtime, 1700000000);
  EXPECT_EQ(status.m_attribute, FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(status.m_szFullName, file);
}

TEST_F(FsCalls, CopyFileCopiesDataAndTime) {
  std::string src = dir.WriteFile("src.swf", std::string(200000, 'q') + "end");
  struct timespec times[2] = {{0, UTIME_OMIT}, {1600000000, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, src.c_str(), times, 0), 0);

  ASSERT_TRUE(CopyFileA(src.c_str(), P("dst.swf").c_str(), TRUE));
  EXPECT_EQ(ReadFile(P("dst.swf")), ReadFile(src));
  CFileStatus status;
  ASSERT_TRUE(GetFileStatus(P("dst.swf").c_str(), status));
  EXPECT_EQ(status.m_mtime, 1600000000);
  EXPECT_EQ(CountEntries(dir.str()), 2);  // no temporary left behind

  // Replacing an existing file.
  std::string other = dir.WriteFile("other.swf", "new content");
  ASSERT_TRUE(CopyFileA(other.c_str(), P("dst.swf").c_str(), FALSE));
  EXPECT_EQ(ReadFile(P("dst.swf")), "new content");
  EXPECT_EQ(CountEntries(dir.str()), 3);
}

// Files the kernel makes up on reading (/proc) are no movies: refused, not copied.
TEST_F(FsCalls, CopyFileRefusesFilesThatReportNoSize) {
  ASSERT_FALSE(ReadFile("/proc/self/mounts").empty());
  EXPECT_FALSE(CopyFileA("/proc/self/mounts", P("mounts").c_str(), FALSE));
  EXPECT_EQ(GetLastError(), ERROR_BAD_FILE_TYPE);
  EXPECT_FALSE(fs::exists(P("mounts")));
}

struct CopyFailure {
  const char* name;
  const char* source;  // relative to the folder
  const char* target;
  BOOL fail_if_exists;
  DWORD error;
};

TEST_F(FsCalls, CopyFileFailuresLeaveTargetsAlone) {
  dir.WriteFile("src.swf", "source");
  dir.WriteFile("existing.swf", "old");
  dir.WriteFile("readonly.swf", "kept");
  ::chmod(P("readonly.swf").c_str(), 0444);
  fs::create_directory(P("folder"));
  ASSERT_EQ(::mkfifo(P("fifo.swf").c_str(), 0644), 0);
  fs::create_symlink(P("fifo.swf"), P("to-fifo.swf"));
  const CopyFailure cases[] = {
      {"fail if exists", "src.swf", "existing.swf", TRUE, ERROR_FILE_EXISTS},
      {"missing source", "nothing.swf", "new1.swf", FALSE, ERROR_FILE_NOT_FOUND},
      {"source folder missing", "no/src.swf", "new2.swf", FALSE, ERROR_PATH_NOT_FOUND},
      {"target folder missing", "src.swf", "no/new3.swf", FALSE, ERROR_PATH_NOT_FOUND},
      {"source is a folder", "folder", "new4.swf", FALSE, ERROR_ACCESS_DENIED},
      {"target is a folder", "src.swf", "folder", FALSE, ERROR_ACCESS_DENIED},
      {"read-only target", "src.swf", "readonly.swf", FALSE, ERROR_ACCESS_DENIED},
      {"onto itself", "existing.swf", "existing.swf", FALSE, ERROR_SHARING_VIOLATION},
      // None of these may block or be read.
      {"FIFO without a writer", "fifo.swf", "new5.swf", FALSE, ERROR_BAD_FILE_TYPE},
      {"link to a FIFO", "to-fifo.swf", "new6.swf", FALSE, ERROR_BAD_FILE_TYPE},
      {"device", "/dev/zero", "new7.swf", FALSE, ERROR_BAD_FILE_TYPE},
      {"process environment", "/proc/self/environ", "new8.swf", FALSE, ERROR_BAD_FILE_TYPE},
      {"kernel setting", "/sys/devices/system/cpu/online", "new9.swf", FALSE,
       ERROR_BAD_FILE_TYPE},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    const std::string source = c.source[0] == '/' ? c.source : P(c.source);
    EXPECT_FALSE(CopyFileA(source.c_str(), P(c.target).c_str(), c.fail_if_exists))
        << c.name;
    EXPECT_EQ(GetLastError(), c.error) << c.name;
  }
  EXPECT_EQ(ReadFile(P("existing.swf")), "old");
  EXPECT_EQ(ReadFile(P("readonly.swf")), "kept");
  EXPECT_TRUE(fs::is_empty(P("folder")));
  // src, existing, readonly, folder, fifo, its link: nothing new
  EXPECT_EQ(CountEntries(dir.str()), 6);
}

TEST_F(FsCalls, CopyFileFailIfExistsSeesADanglingLink) {
  dir.WriteFile("src.swf", "source");
  fs::create_symlink(P("nowhere"), P("link.swf"));
  EXPECT_FALSE(CopyFileA(P("src.swf").c_str(), P("link.swf").c_str(), TRUE));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_FALSE(fs::exists(P("nowhere")));
}

// A write that fails midway (here: the file size limit, which the kernel reports like a full
// disk) must leave neither a half file nor a damaged old target.
TEST_F(FsCalls, CopyFileFailingMidwayKeepsTheOldTarget) {
  std::string src = dir.WriteFile("src.swf", std::string(300000, 'n'));
  std::string target = dir.WriteFile("target.swf", "old and whole");
  struct rlimit old_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit limit = old_limit;
  limit.rlim_cur = 100000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
  BOOL copied = CopyFileA(src.c_str(), target.c_str(), FALSE);
  DWORD error = GetLastError();
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  ::signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(copied);
  EXPECT_EQ(error, ERROR_DISK_FULL);
  EXPECT_EQ(ReadFile(target), "old and whole");
  EXPECT_EQ(CountEntries(dir.str()), 2);
}

}  // namespace
}  // namespace trovex

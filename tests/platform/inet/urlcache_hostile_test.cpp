// The URL cache against what other programs, users and pages do to it: files removed by hand,
// odd things in place of the index, a stuck writer, killed writers, pages larger than the disk.
#include <sys/file.h>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "platform/fs/atomic_file.h"
#include "platform/fs/file_lock.h"
#include "platform/fs/test_seam.h"
#include "platform/inet/inet.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;

void WriteAt(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// The local file and size of an entry; "" when there is none.
std::string LocalOf(const std::string& url, DWORD* size = nullptr) {
  DWORD needed = 0;
  if (GetUrlCacheEntryInfoA(url.c_str(), nullptr, &needed) ||
      GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return "";
  std::vector<std::uint64_t> buf(needed / 8 + 1);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  if (!GetUrlCacheEntryInfoA(url.c_str(), info, &needed)) return "";
  if (size) *size = info->dwSizeLow;
  return info->lpszLocalFileName;
}

class UrlCacheHostile : public ::testing::Test {
 protected:
  void SetUp() override { SetUrlCacheLimits(kDefaultUrlCacheTotalBytes, kDefaultUrlCacheRunBytes); }
  void TearDown() override {
    SetUrlCacheLimits(kDefaultUrlCacheTotalBytes, kDefaultUrlCacheRunBytes);
  }
  std::string Root() const { return home_.cache() + "/kelvora-swf-trovex/urlcache"; }
  bool Add(const std::string& url, const std::string& data, std::string* local = nullptr) {
    return AddUrlCacheEntry(url, data.data(), data.size(), local);
  }
  test::IsolatedHome home_;
};

// A file deleted by hand frees its name on disk, not in the index: a new entry must not take
// it, or the old address would list the new movie's bytes and a later run would unlink them.
TEST_F(UrlCacheHostile, NamesStayUniqueWhenAFileWasDeletedByHand) {
  std::vector<std::string> locals(4);
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(Add("http://h" + std::to_string(i) + "/a.swf", "movie" + std::to_string(i),
                    &locals[i]));
  std::sort(locals.begin(), locals.end());  // the first subfolder takes the next file
  const std::string removed = locals[0];
  std::string removedUrl;
  for (int i = 0; i < 4; ++i)
    if (LocalOf("http://h" + std::to_string(i) + "/a.swf") == removed)
      removedUrl = "http://h" + std::to_string(i) + "/a.swf";
  ASSERT_FALSE(removedUrl.empty());
  fs::remove(removed);

  std::string fresh;
  ASSERT_TRUE(Add("http://new/a.swf", "NEWMOVIE", &fresh));
  EXPECT_NE(fresh, removed);
  EXPECT_EQ(LocalOf(removedUrl), "") << "the old address must not list the new movie";
  DWORD size = 0;
  EXPECT_EQ(LocalOf("http://new/a.swf", &size), fresh);
  EXPECT_EQ(size, 8u);

  // Caching the old address again must leave the new movie's file alone.
  ASSERT_TRUE(Add(removedUrl, "again"));
  EXPECT_EQ(test::ReadFile(fresh), "NEWMOVIE");
}

TEST_F(UrlCacheHostile, SizeLimitsEvictTheOldestAndRefuseWhatCannotFit) {
  struct Step {
    const char* url;
    std::size_t size;
    DWORD error;  // 0: stored
  };
  struct Case {
    std::uint64_t total, run;
    std::vector<Step> steps;
    std::vector<const char*> kept, gone;
  };
  const Case cases[] = {
      {100, 1000, {{"http://h/1.swf", 40, 0}, {"http://h/2.swf", 40, 0}, {"http://h/3.swf", 40, 0}},
       {"http://h/2.swf", "http://h/3.swf"}, {"http://h/1.swf"}},
      // Caching an address again makes it the newest.
      {100, 1000,
       {{"http://h/1.swf", 40, 0}, {"http://h/2.swf", 40, 0}, {"http://h/1.swf", 40, 0},
        {"http://h/3.swf", 40, 0}},
       {"http://h/1.swf", "http://h/3.swf"}, {"http://h/2.swf"}},
      // Larger than the whole cache: refused, nothing evicted for it.
      {100, 1000, {{"http://h/1.swf", 40, 0}, {"http://h/big.swf", 101, ERROR_DISK_FULL}},
       {"http://h/1.swf"}, {"http://h/big.swf"}},
      // One run adds at most its share, whatever the cache could hold.
      {1000, 100,
       {{"http://h/1.swf", 60, 0}, {"http://h/2.swf", 60, ERROR_DISK_FULL}, {"http://h/3.swf", 40, 0}},
       {"http://h/1.swf", "http://h/3.swf"}, {"http://h/2.swf"}},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE("case " + std::to_string(round));
    test::ScopedEnv env;
    env.Set("XDG_CACHE_HOME", home_.cache() + "/" + std::to_string(round++));
    SetUrlCacheLimits(c.total, c.run);
    std::vector<std::string> files;
    for (const Step& s : c.steps) {
      std::string local;
      bool ok = Add(s.url, std::string(s.size, 'x'), &local);
      EXPECT_EQ(ok, s.error == 0) << s.url;
      if (ok) {
        files.push_back(local);
      } else {
        EXPECT_EQ(GetLastError(), s.error) << s.url;
      }
    }
    for (const char* url : c.kept) EXPECT_NE(LocalOf(url), "") << url;
    for (const char* url : c.gone) EXPECT_EQ(LocalOf(url), "") << url;
    // The evicted entries' files are gone from the disk too (a body cached again keeps its file).
    std::sort(files.begin(), files.end());
    files.erase(std::unique(files.begin(), files.end()), files.end());
    std::size_t onDisk = 0;
    for (const auto& f : files) onDisk += fs::exists(f);
    EXPECT_EQ(onDisk, c.kept.size());
  }
}

// Whatever stands where the index belongs, a lookup answers at once and the next writer
// replaces it. Each try runs in a child with an alarm, so a hang fails instead of blocking.
TEST_F(UrlCacheHostile, IndexThatIsNoRegularFileNeitherHangsNorIsTrusted) {
  const test::TempDir devices;
  struct Case {
    const char* what;
    std::function<void(const std::string&)> make;
  };
  const Case cases[] = {
      {"fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
      {"link to /dev/zero", [&devices](const std::string& p) { fs::create_symlink(test::ZeroDevice(devices.path()), p); }},
      {"huge", [](const std::string& p) {
         WriteAt(p, "TROVEX-URLCACHE 1\n");
         fs::resize_file(p, 65ull << 20);
       }},
      {"folder", [](const std::string& p) { fs::create_directories(p); }},
  };
  int round = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::ScopedEnv env;
    const std::string cache = home_.cache() + "/" + std::to_string(round++);
    env.Set("XDG_CACHE_HOME", cache);
    const std::string root = cache + "/kelvora-swf-trovex/urlcache";
    fs::create_directories(root);
    c.make(root + "/index");
    test::ChildResult r = test::RunInChild([] {
      alarm(10);
      std::string report;
      DWORD size = 0;
      if (GetUrlCacheEntryInfoA("http://h/a.swf", nullptr, &size) ||
          GetLastError() != ERROR_FILE_NOT_FOUND)
        report += "lookup found something; ";
      std::string local;
      if (!AddUrlCacheEntry("http://h/a.swf", "abc", 3, &local))
        report += "add failed " + std::to_string(GetLastError()) + "; ";
      if (LocalOf("http://h/a.swf") != local) report += "entry not found after adding; ";
      return report.empty() ? std::string("ok") : report;
    });
    EXPECT_EQ(r.exitCode, 0) << "killed by the alarm: it hung";
    // A folder cannot be replaced by a file: adding fails, but nothing hangs or is lost.
    if (c.what != std::string("folder")) {
      EXPECT_EQ(r.report, "ok");
    }
  }
}

TEST_F(UrlCacheHostile, StuckWriterIsWaitedForOnlySoLong) {
  ASSERT_TRUE(Add("http://h/first.swf", "1"));
  posix::ScopedFsTestSeam seam({std::chrono::milliseconds(300)});
  // A second open file description conflicts like another process would.
  int fd = ::open((Root() + "/index.lock").c_str(), O_RDWR | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Add("http://h/second.swf", "2"));
  EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
  EXPECT_FALSE(DeleteUrlCacheEntryA("http://h/first.swf"));
  EXPECT_EQ(GetLastError(), ERROR_LOCK_VIOLATION);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_NE(LocalOf("http://h/first.swf"), "") << "readers never wait";
  ::close(fd);
  EXPECT_TRUE(Add("http://h/second.swf", "2"));
}

// A killed writer leaves its temporary file, or a file whose index line never made it, or a
// torn last line; the next writer removes the files and keeps every whole entry.
TEST_F(UrlCacheHostile, WhatAKilledWriterLeftIsReclaimed) {
  const std::string folder = Root() + "/ABCDEFGH";
  fs::create_directories(folder);
  WriteAt(folder + "/kept[1].swf", "kept");
  WriteAt(folder + "/.half[1].swf.0123456789ab.part", "half");
  WriteAt(folder + "/unindexed[1].swf", "lost line");
  WriteAt(Root() + "/index",
                             "TROVEX-URLCACHE 1\n4\tABCDEFGH/kept[1].swf\thttp://h/kept.swf\n"
                             "+9\tABCDEFGH/torn");
  ASSERT_TRUE(Add("http://h/new.swf", "new"));
  EXPECT_FALSE(fs::exists(folder + "/.half[1].swf.0123456789ab.part"));
  EXPECT_FALSE(fs::exists(folder + "/unindexed[1].swf"));
  EXPECT_EQ(LocalOf("http://h/kept.swf"), folder + "/kept[1].swf");
  EXPECT_NE(LocalOf("http://h/new.swf"), "");
  ASSERT_TRUE(Add("http://h/newer.swf", "newer"));
  EXPECT_NE(LocalOf("http://h/new.swf"), "") << "the torn line swallowed an entry";
  EXPECT_NE(LocalOf("http://h/newer.swf"), "");
}

// Found by killing hive writers 1,000 times: forked writers drew their parent's temporary
// names, so the temporaries that killed ones left behind used up every name the parent tried.
TEST_F(UrlCacheHostile, TemporaryNamesOfKilledWritersNeverRunOut) {
  const std::string target = home_.dir().str() + "/file";
  posix::AtomicFile warm;  // the parent has drawn names before it forks
  ASSERT_EQ(warm.Open(target), 0);
  warm.Abort();
  for (int i = 0; i < 120; ++i) {
    test::ChildResult r = test::RunInChild([&target] {
      posix::AtomicFile file;
      if (file.Open(target) != 0) return std::string("no temporary");
      _exit(0);  // killed: the temporary stays
    });
    ASSERT_EQ(r.exitCode, 0) << "writer " << i << ": " << r.report;
  }
  posix::AtomicFile file;
  ASSERT_EQ(file.Open(target), 0);
  ASSERT_EQ(file.Write("x", 1), 0);
  EXPECT_EQ(file.Commit(), 0);
}

// Many entries are appended, not rewritten one by one; the file stays readable by itself and
// a process that starts afresh finds them all, replaced and deleted ones included.
TEST_F(UrlCacheHostile, AppendedChangesReadBackInAnotherProcess) {
  for (int i = 0; i < 3000; ++i)
    ASSERT_TRUE(Add("http://h/m" + std::to_string(i) + ".swf", std::to_string(i)));
  ASSERT_TRUE(Add("http://h/m5.swf", "replaced"));
  ASSERT_TRUE(DeleteUrlCacheEntryA("http://h/m6.swf"));
  test::ChildResult r = test::RunInChild([] {
    std::string report;
    for (int i = 0; i < 3000; ++i) {
      DWORD size = 0;
      std::string url = "http://h/m" + std::to_string(i) + ".swf";
      std::string local = LocalOf(url, &size);
      std::string want = i == 5 ? "replaced" : std::to_string(i);
      if (i == 6) {
        if (!local.empty()) report += "deleted entry found; ";
      } else if (test::ReadFile(local) != want || size != want.size()) {
        report += url + " wrong; ";
      }
    }
    return report.empty() ? std::string("ok") : report.substr(0, 500);
  });
  EXPECT_EQ(r.report, "ok");
  std::size_t files = 0;
  for (const auto& e : fs::recursive_directory_iterator(Root()))
    files += e.is_regular_file() && e.path().parent_path() != fs::path(Root());
  EXPECT_EQ(files, 2999u) << "replaced and deleted entries left files behind";
}

}  // namespace
}  // namespace trovex

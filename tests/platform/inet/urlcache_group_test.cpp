// Grouped cache writes and look-up scopes: fewer syncs and stats, the same guarantees.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "platform/inet/inet.h"
#include "platform/inet/url_parse.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;

std::string UrlOf(int i) { return "http://h/f" + std::to_string(i / 50) + "/m" + std::to_string(i) + ".swf"; }
// Each movie's bytes differ in content and length, so a mixed-up or cut file shows.
std::string BodyOf(int i) { return "FWS" + std::string(100 + i % 700, static_cast<char>('a' + i % 26)); }

// The whole movie through the two-call protocol, or "" when there is no entry.
std::string CachedBody(const std::string& url) {
  DWORD size = 0;
  if (GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size) || GetLastError() != ERROR_INSUFFICIENT_BUFFER)
    return "";
  std::vector<char> buffer(size);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buffer.data());
  if (!GetUrlCacheEntryInfoA(url.c_str(), info, &size)) return "";
  std::string body = test::ReadFile(info->lpszLocalFileName);
  EXPECT_EQ(body.size(), info->dwSizeLow) << url;
  return body;
}

class UrlCacheGroup : public ::testing::Test {
 protected:
  test::IsolatedHome home_;
};

TEST_F(UrlCacheGroup, EntriesAreVisibleAtOnceAndAfterCommit) {
  {
    UrlCacheWriteGroup group;
    for (int i = 0; i < 300; ++i) {  // more than one bounded batch
      ASSERT_TRUE(AddUrlCacheEntry(UrlOf(i), BodyOf(i).data(), BodyOf(i).size(), nullptr));
      ASSERT_EQ(CachedBody(UrlOf(i)), BodyOf(i));
    }
    EXPECT_TRUE(group.Commit());
    EXPECT_TRUE(group.Commit());  // nothing left: still fine
  }
  for (int i = 0; i < 300; ++i) EXPECT_EQ(CachedBody(UrlOf(i)), BodyOf(i)) << i;
}

TEST_F(UrlCacheGroup, FileOfAnotherSizeThanStoredIsNoEntry) {
  std::string local;
  ASSERT_TRUE(AddUrlCacheEntry("http://h/cut.swf", "FWS12345", 8, &local));
  fs::resize_file(local, 3);  // as a power cut before the sync could leave it
  EXPECT_EQ(CachedBody("http://h/cut.swf"), "");
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

// A writer adding movies in groups is killed with SIGKILL at varying moments. Every entry it
// acknowledged (its group committed) is found whole; any other entry found is whole too; the
// next writer works and finds nothing to trip over.
TEST_F(UrlCacheGroup, KilledWriterLosesNothingAcknowledgedAndLeavesNothingHalfWritten) {
  constexpr int kGroup = 40;
  int nextStart = 0;
  for (int round = 0; round < 6; ++round) {
    int pipeFds[2];
    ASSERT_EQ(::pipe(pipeFds), 0);
    const int start = nextStart;
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(pipeFds[0]);
      for (int first = start;; first += kGroup) {
        UrlCacheWriteGroup group;
        for (int i = first; i < first + kGroup; ++i)
          if (!AddUrlCacheEntry(UrlOf(i), BodyOf(i).data(), BodyOf(i).size(), nullptr)) _exit(3);
        if (!group.Commit()) _exit(4);
        int acknowledged = first + kGroup;
        if (::write(pipeFds[1], &acknowledged, sizeof acknowledged) != sizeof acknowledged) _exit(5);
      }
    }
    ::close(pipeFds[1]);
    int acknowledged = start, value = 0;
    // Wait for a round-dependent number of acknowledgements, then kill mid-group.
    for (int k = 0; k <= round % 3; ++k)
      if (::read(pipeFds[0], &value, sizeof value) == sizeof value) acknowledged = value;
    ::usleep(1000 * (round * 3));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped by itself: " << status;
    while (::read(pipeFds[0], &value, sizeof value) == sizeof value) acknowledged = value;
    ::close(pipeFds[0]);
    ASSERT_GT(acknowledged, start);

    for (int i = 0; i < acknowledged; ++i) ASSERT_EQ(CachedBody(UrlOf(i)), BodyOf(i)) << "round " << round << " " << i;
    int extra = 0;
    for (int i = acknowledged; i < acknowledged + 2 * kGroup; ++i) {
      std::string body = CachedBody(UrlOf(i));
      if (body.empty()) continue;
      EXPECT_EQ(body, BodyOf(i)) << i;
      ++extra;
    }
    // The next writer of this cache works, and whatever it finds left over it leaves sound.
    ASSERT_TRUE(AddUrlCacheEntry("http://h/after" + std::to_string(round) + ".swf", "FWSx", 4, nullptr));
    EXPECT_EQ(CachedBody("http://h/after" + std::to_string(round) + ".swf"), "FWSx");
    nextStart = acknowledged + extra;
    std::printf("round %d: %d acknowledged, %d more found whole\n", round, acknowledged, extra);
  }
}

// Within a group the index stays open from one entry to the next. Another writer changing the
// index in between, by appending to it or by replacing it with a new snapshot, must not send
// the group's later lines to a file nobody reads any more: the file alone (as another process
// reads it) holds every entry of both. The other writer is a forked child, which must not
// share the group's lock either.
TEST_F(UrlCacheGroup, AnotherWriterBetweenAGroupsEntriesLosesNothing) {
  struct Case {
    const char* name;
    int otherAdds;  // of three addresses, again and again
  } cases[] = {
      {"the other appends", 3},
      {"the other writes a new snapshot", 1100},  // more changes than the 1024 a journal holds
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::IsolatedHome home;
    {
      UrlCacheWriteGroup group;
      // The first makes the index, the second appends to it: the group now holds it open.
      for (int i : {0, 1})
        ASSERT_TRUE(AddUrlCacheEntry(UrlOf(i), BodyOf(i).data(), BodyOf(i).size(), nullptr));
      pid_t pid = ::fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        UrlCacheWriteGroup other;
        for (int i = 0; i < c.otherAdds; ++i) {
          const std::string url = "http://o/m" + std::to_string(i % 3) + ".swf";
          if (!AddUrlCacheEntry(url, "FWSo", 4, nullptr)) _exit(1);
        }
        _exit(other.Commit() ? 0 : 2);
      }
      int status = 0;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      ASSERT_TRUE(AddUrlCacheEntry(UrlOf(2), BodyOf(2).data(), BodyOf(2).size(), nullptr));
      ASSERT_TRUE(group.Commit());
    }
    std::string snapshot;
    const std::string text = test::ReadFile(UrlCacheDirectory() + "/index");
    EXPECT_EQ(inet_detail::ReadUrlCacheIndexText(text, &snapshot), 6u);
    for (int i : {0, 1, 2}) EXPECT_NE(snapshot.find(UrlOf(i)), std::string::npos) << i;
    EXPECT_NE(snapshot.find("http://o/m0.swf"), std::string::npos);
    for (int i : {0, 1, 2}) EXPECT_EQ(CachedBody(UrlOf(i)), BodyOf(i));
  }
}

TEST_F(UrlCacheGroup, IndexFileIsCheckedOncePerLookupScope) {
  ASSERT_TRUE(AddUrlCacheEntry("http://h/a.swf", "FWSa", 4, nullptr));
  auto addInChild = [](const char* url) {
    pid_t pid = ::fork();
    if (pid == 0) _exit(AddUrlCacheEntry(url, "FWSb", 4, nullptr) ? 0 : 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
  };
  {
    UrlCacheLookupScope scope;
    EXPECT_EQ(CachedBody("http://h/a.swf"), "FWSa");
    std::size_t loads = UrlCacheIndexLoadCount();
    ASSERT_TRUE(addInChild("http://h/b.swf"));
    // Within the scope the copy stands: no second look at the file.
    EXPECT_EQ(CachedBody("http://h/b.swf"), "");
    EXPECT_EQ(CachedBody("http://h/a.swf"), "FWSa");
    EXPECT_EQ(UrlCacheIndexLoadCount(), loads);
    {
      UrlCacheLookupScope nested;  // a frame's scan inside the page's
      EXPECT_EQ(CachedBody("http://h/b.swf"), "");
    }
  }
  // The next scope, and any call outside one, sees the change.
  {
    UrlCacheLookupScope scope;
    EXPECT_EQ(CachedBody("http://h/b.swf"), "FWSb");
  }
  ASSERT_TRUE(addInChild("http://h/c.swf"));
  EXPECT_EQ(CachedBody("http://h/c.swf"), "FWSb");
}

// A scope that found nothing to look in answers later misses without the lock; what this
// process (any thread of it) adds meanwhile must still be found, from an empty cache and from one
// with entries.
TEST_F(UrlCacheGroup, ThisProcesssWritesAreFoundWithinAScope) {
  // An empty cache, one with entries, and one with entries but none of a local file (whose
  // look-ups a scope answers without making a key).
  for (const std::string prefix : {"http://e/", "http://n/", "file:///l/"}) {
    SCOPED_TRACE(prefix);
    if (prefix == "http://n/") {
      ASSERT_TRUE(AddUrlCacheEntry(prefix + "first.swf", "FWSa", 4, nullptr));
    }
    UrlCacheLookupScope scope;
    EXPECT_EQ(CachedBody(prefix + "same.swf"), "");
    ASSERT_TRUE(AddUrlCacheEntry(prefix + "same.swf", "FWSs", 4, nullptr));
    EXPECT_EQ(CachedBody(prefix + "same.swf"), "FWSs");
    EXPECT_EQ(CachedBody(prefix + "other.swf"), "");
    std::thread writer([&] { AddUrlCacheEntry(prefix + "other.swf", "FWSo", 4, nullptr); });
    writer.join();
    EXPECT_EQ(CachedBody(prefix + "other.swf"), "FWSo");
  }
}

}  // namespace
}  // namespace trovex

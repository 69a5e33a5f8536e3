#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "platform/inet/inet.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

namespace fs = std::filesystem;

// A looked-up entry, through the two-call protocol the scanner uses.
struct Found {
  bool ok = false;
  DWORD error = 0;
  std::string url, local;
  DWORD size = 0;
};

Found Lookup(const std::string& url) {
  Found f;
  DWORD size = 0;
  SetLastError(0);
  if (GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size)) {
    ADD_FAILURE() << "the size query succeeded";
    return f;
  }
  f.error = GetLastError();
  if (f.error != ERROR_INSUFFICIENT_BUFFER) return f;
  EXPECT_GT(size, 0u);
  std::vector<unsigned char> buf(size, 0);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  info->dwStructSize = 80;  // the 32-bit size callers set
  if (!GetUrlCacheEntryInfoA(url.c_str(), info, &size)) {
    f.error = GetLastError();
    return f;
  }
  f.ok = true;
  f.url = info->lpszSourceUrlName;
  f.local = info->lpszLocalFileName;
  f.size = info->dwSizeLow;
  return f;
}

std::string Add(const std::string& url, const std::string& data) {
  std::string local;
  EXPECT_TRUE(AddUrlCacheEntry(url, data.data(), data.size(), &local))
      << url << " error " << GetLastError();
  return local;
}

class UrlCache : public ::testing::Test {
 protected:
  std::string Root() const { return home_.cache() + "/kelvora-swf-trovex/urlcache"; }
  test::IsolatedHome home_;
};

TEST_F(UrlCache, AddedEntryIsFoundWithItsFileAndSize) {
  const std::string url = "http://www.example.com/swf/intro.swf";
  std::string local = Add(url, "FWS-movie-bytes");
  EXPECT_EQ(UrlCacheDirectory(), Root());
  EXPECT_EQ(local.rfind(Root() + "/", 0), 0u) << local;
  EXPECT_EQ(fs::path(local).filename(), "intro[1].swf");
  EXPECT_EQ(test::ReadFile(local), "FWS-movie-bytes");

  Found f = Lookup(url);
  ASSERT_TRUE(f.ok) << f.error;
  EXPECT_EQ(f.local, local);
  EXPECT_EQ(f.size, 15u);
  EXPECT_EQ(f.url, url);
  EXPECT_TRUE(GetUrlCacheEntryInfoA(url.c_str(), nullptr, nullptr));  // existence only
}

TEST_F(UrlCache, TwoCallProtocol) {
  const std::string url = "http://h/a.swf";
  Add(url, "abc");
  DWORD size = 0;
  EXPECT_FALSE(GetUrlCacheEntryInfoA(url.c_str(), nullptr, &size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  ASSERT_GT(size, sizeof(INTERNET_CACHE_ENTRY_INFOA));
  std::vector<unsigned char> buf(size, 0);
  auto* info = reinterpret_cast<INTERNET_CACHE_ENTRY_INFOA*>(buf.data());
  DWORD shortSize = size - 1;
  EXPECT_FALSE(GetUrlCacheEntryInfoA(url.c_str(), info, &shortSize));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(shortSize, size);
  ASSERT_TRUE(GetUrlCacheEntryInfoA(url.c_str(), info, &size));
  // Every string lies inside the caller's buffer.
  for (const char* p : {info->lpszSourceUrlName, info->lpszLocalFileName, info->lpszFileExtension}) {
    auto* b = reinterpret_cast<const unsigned char*>(p);
    EXPECT_GE(b, buf.data());
    EXPECT_LT(b, buf.data() + buf.size());
  }
  EXPECT_STREQ(info->lpszFileExtension, "swf");
  EXPECT_EQ(info->dwSizeHigh, 0u);
}

TEST_F(UrlCache, MissingEntriesAndBadArguments) {
  Found f = Lookup("http://h/none.swf");  // no cache folder at all
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.error, ERROR_FILE_NOT_FOUND);
  Add("http://h/a.swf", "x");
  f = Lookup("http://h/b.swf");
  EXPECT_EQ(f.error, ERROR_FILE_NOT_FOUND);

  DWORD size = 0;
  EXPECT_FALSE(GetUrlCacheEntryInfoA(nullptr, nullptr, &size));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(AddUrlCacheEntry("", "x", 1, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(AddUrlCacheEntry("http://h/x", nullptr, 5, nullptr));
  EXPECT_TRUE(AddUrlCacheEntry("http://h/empty.swf", nullptr, 0, nullptr));
  EXPECT_EQ(Lookup("http://h/empty.swf").size, 0u);
}

TEST_F(UrlCache, FileNamesFollowTheAddress) {
  struct Case {
    const char* url;
    const char* name;
  };
  const Case cases[] = {
      {"http://h/dir/movie.swf?ver=3", "movie[1].swf"},
      {"http://h/getmovie.php?id=7", "getmovie[1].php"},
      {"http://h/", "unnamed[1]"},
      {"http://h/noext", "noext[1]"},
      {"http://h/..hidden", "hidden[1]"},
      {"http://h/a:b*c.swf#frag", "a_b_c[1].swf"},
      {"http://h/x.tar.gz", "x.tar[1].gz"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fs::path(Add(c.url, "d")).filename().string(), c.name) << c.url;
  }
}

TEST_F(UrlCache, CounterIsTheFirstFreeOneInItsSubfolder) {
  std::map<std::string, std::set<std::string>> byFolder;
  for (int i = 0; i < 10; ++i) {
    fs::path local = Add("http://host" + std::to_string(i) + "/intro.swf", "d");
    EXPECT_EQ(local.parent_path().parent_path(), fs::path(Root()));
    byFolder[local.parent_path().filename()].insert(local.filename());
  }
  EXPECT_GE(byFolder.size(), 2u);  // spread over the subfolders
  for (const auto& [folder, names] : byFolder) {
    // intro[1].swf ... intro[k].swf with no gap in each subfolder.
    for (std::size_t n = 1; n <= names.size(); ++n)
      EXPECT_TRUE(names.count("intro[" + std::to_string(n) + "].swf")) << folder << " " << n;
  }
}

TEST_F(UrlCache, CachingAgainReplacesTheEntry) {
  const std::string url = "http://h/intro.swf";
  std::string first = Add(url, "old");
  std::string second = Add(url, "newer");
  Found f = Lookup(url);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.local, second);
  EXPECT_EQ(f.size, 5u);
  EXPECT_EQ(test::ReadFile(f.local), "newer");
  EXPECT_NE(first, second);
  EXPECT_FALSE(fs::exists(first)) << "the old copy is removed";
  EXPECT_TRUE(DeleteUrlCacheEntryA(url.c_str()));
  EXPECT_FALSE(fs::exists(second));
  EXPECT_EQ(Lookup(url).error, ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(DeleteUrlCacheEntryA(url.c_str()));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST_F(UrlCache, AddressesAreKeyedByTheirCanonicalForm) {
  Add("HTTP://H/dir/../intro.swf", "d");
  EXPECT_TRUE(Lookup("http://h/intro.swf").ok);
  EXPECT_TRUE(Lookup("http://h/./intro.swf").ok);
  EXPECT_FALSE(Lookup("http://h/INTRO.swf").ok);  // the path keeps its case
}

TEST_F(UrlCache, DamagedOrMissingIndexReadsAsEmpty) {
  Add("http://h/a.swf", "data");
  const std::string index = Root() + "/index";
  const std::string good = test::ReadFile(index);

  for (const std::string& junk : {std::string("garbage\x01\x02"), std::string(),
                                  std::string(100000, '\t'), good.substr(0, good.size() / 2)}) {
    home_.dir().WriteFile(index.substr(home_.dir().str().size() + 1), junk);
    EXPECT_EQ(Lookup("http://h/a.swf").error, ERROR_FILE_NOT_FOUND);
  }
  fs::remove(index);
  EXPECT_EQ(Lookup("http://h/a.swf").error, ERROR_FILE_NOT_FOUND);

  // Writing again gives a sound index.
  Add("http://h/b.swf", "bb");
  EXPECT_TRUE(Lookup("http://h/b.swf").ok);
}

TEST_F(UrlCache, DamagedLinesAreDroppedAndNothingPointsOutside) {
  Add("http://h/a.swf", "data");
  const std::string index = Root() + "/index";
  std::string text = test::ReadFile(index);
  text += "not a line\n";
  text += "4\t../../../etc/passwd\thttp://h/evil.swf\n";
  text += "4\t/etc/passwd\thttp://h/evil2.swf\n";
  text += "x\tABCDEFGH/a.swf\thttp://h/badsize.swf\n";
  home_.dir().WriteFile(index.substr(home_.dir().str().size() + 1), text);
  EXPECT_TRUE(Lookup("http://h/a.swf").ok);
  for (const char* u : {"http://h/evil.swf", "http://h/evil2.swf", "http://h/badsize.swf"})
    EXPECT_EQ(Lookup(u).error, ERROR_FILE_NOT_FOUND) << u;
}

TEST_F(UrlCache, EntryWhoseFileWentMissingIsNotFound) {
  std::string local = Add("http://h/a.swf", "data");
  fs::remove(local);
  EXPECT_EQ(Lookup("http://h/a.swf").error, ERROR_FILE_NOT_FOUND);
}

TEST_F(UrlCache, IndexIsReadAgainOnlyWhenItChanged) {
  for (int i = 0; i < 20; ++i) Add("http://h/m" + std::to_string(i) + ".swf", "d");
  Lookup("http://h/m0.swf");
  std::size_t loads = UrlCacheIndexLoadCount();
  for (int round = 0; round < 50; ++round)
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(Lookup("http://h/m" + std::to_string(i) + ".swf").ok);
  EXPECT_EQ(UrlCacheIndexLoadCount(), loads);

  Add("http://h/late.swf", "d");  // a writer replaced the index
  EXPECT_TRUE(Lookup("http://h/late.swf").ok);
  EXPECT_EQ(UrlCacheIndexLoadCount(), loads + 1);
}

TEST_F(UrlCache, ConcurrentWritersInTwoProcessesLoseNothing) {
  constexpr int kPerProcess = 40;
  std::vector<pid_t> children;
  for (int p = 0; p < 2; ++p) {
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int failures = 0;
      for (int i = 0; i < kPerProcess; ++i) {
        std::string url = "http://p" + std::to_string(p) + "/m" + std::to_string(i) + ".swf";
        std::string data(100 + i, 'x');
        if (!AddUrlCacheEntry(url, data.data(), data.size(), nullptr)) ++failures;
      }
      _exit(failures == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::set<std::string> files;
  for (int p = 0; p < 2; ++p) {
    for (int i = 0; i < kPerProcess; ++i) {
      std::string url = "http://p" + std::to_string(p) + "/m" + std::to_string(i) + ".swf";
      Found f = Lookup(url);
      ASSERT_TRUE(f.ok) << url;
      EXPECT_EQ(f.size, static_cast<DWORD>(100 + i)) << url;
      files.insert(f.local);
    }
  }
  EXPECT_EQ(files.size(), 2u * kPerProcess);  // no two entries share a file
}

TEST(UrlCacheLocation, FallsBackToHomeCache) {
  test::TempDir dir;
  test::ScopedEnv env;
  env.Set("HOME", dir.str());
  env.Unset("XDG_CACHE_HOME");
  EXPECT_EQ(UrlCacheDirectory(), dir.str() + "/.cache/kelvora-swf-trovex/urlcache");
  env.Set("XDG_CACHE_HOME", "relative/path");  // not absolute: ignored
  EXPECT_EQ(UrlCacheDirectory(), dir.str() + "/.cache/kelvora-swf-trovex/urlcache");
  env.Set("XDG_CACHE_HOME", dir.str() + "/xdg");
  EXPECT_EQ(UrlCacheDirectory(), dir.str() + "/xdg/kelvora-swf-trovex/urlcache");
}

}  // namespace
}  // namespace trovex

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <clocale>
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
      // What follows the last dot is the extension, even after leading dots.
      {"http://h/..hidden", "unnamed[1].hidden"},
      {"http://h/....swf", "unnamed[1].swf"},
      {"http://h/%E2%80%AEfws.exe.swf", "fws.exe[1].swf"},  // no bidi override in a name
      {"http://h/a%E2%80%8Bb%EF%BB%BF.swf", "ab[1].swf"},
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

// A page loaded twice caches the same body again: the entry keeps its file and name (a reader
// that listed it still finds it; no inode is made or freed) and becomes the newest; other
// bytes of the same size make a new file, and the old one goes only after the new entry.
TEST_F(UrlCache, CachingTheSameBodyAgainKeepsItsFile) {
  auto inode = [](const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
  };
  const std::string a = "http://h/a.html", b = "http://h/b.html";
  const std::string first = Add(a, "same body");
  const ino_t stored = inode(first);
  ASSERT_NE(stored, 0u);
  Add(b, "other one");
  const std::string again = Add(a, "same body");
  EXPECT_EQ(again, first);
  EXPECT_EQ(inode(again), stored) << "the file was made again";
  EXPECT_EQ(test::ReadFile(again), "same body");

  // Room for a third entry is made from b, now the oldest.
  SetUrlCacheLimits(18, kDefaultUrlCacheRunBytes);
  Add("http://h/c.html", "third one");
  SetUrlCacheLimits(kDefaultUrlCacheTotalBytes, kDefaultUrlCacheRunBytes);
  EXPECT_EQ(Lookup(a).local, again);
  EXPECT_EQ(Lookup(b).error, ERROR_FILE_NOT_FOUND);

  const std::string changed = Add(a, "SAME BODY");
  EXPECT_NE(inode(changed), stored);
  EXPECT_EQ(test::ReadFile(changed), "SAME BODY");
  EXPECT_FALSE(fs::exists(again));
  EXPECT_EQ(Lookup(a).local, changed);
}

TEST_F(UrlCache, AddressesAreKeyedByTheirCanonicalForm) {
  Add("HTTP://H/dir/../intro.swf", "d");
  EXPECT_TRUE(Lookup("http://h/intro.swf").ok);
  EXPECT_TRUE(Lookup("http://h/./intro.swf").ok);
  EXPECT_FALSE(Lookup("http://h/INTRO.swf").ok);  // the path keeps its case
}

// Switches the process locale for one scope.
class ScopedLocale {
 public:
  explicit ScopedLocale(const std::vector<const char*>& names)
      : saved_(std::setlocale(LC_ALL, nullptr)) {
    for (const char* n : names) {
      if (std::setlocale(LC_ALL, n)) {
        name_ = n;
        return;
      }
    }
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, saved_.c_str()); }
  bool ok() const { return !name_.empty(); }
  const std::string& name() const { return name_; }

 private:
  std::string saved_, name_;
};

const std::string kYing = "\xE5\xBD\xB1";        // 影 in UTF-8
const std::string kPian = "\xE7\x89\x87";        // 片
const std::string kBig5YingPian = "\xBCv\xA4\xF9";  // 影片 in Big5
const std::string kBig5Xu = "\xB3\x5C";          // 許 in Big5: its trail byte is "\"

// The scanner looks a movie up with the page's raw text, the page loader stores the address it
// fetched, %-escaped: both must reach one entry. Escapes of ASCII characters keep their meaning
// and are never merged with the characters.
TEST_F(UrlCache, SpellingsOfOneAddressShareOneEntry) {
  struct Case {
    std::string stored;
    std::vector<std::string> hits, misses;
  };
  const Case cases[] = {
      {"http://h/big5/%E5%BD%B1%E7%89%87.swf",
       {"http://h/big5/" + kYing + kPian + ".swf", "http://h/big5/%e5%bd%b1%e7%89%87.swf",
        "http://h/big5/%E5%bd%B1" + kPian + ".swf", "HTTP://H/x/../big5/" + kYing + kPian + ".swf"},
       {"http://h/big5/%E5%BD%B1.swf", "http://h/big5/" + kYing + ".swf"}},
      {"http://h/raw/" + kYing + kPian + ".swf", {"http://h/raw/%E5%BD%B1%E7%89%87.swf"}, {}},
      {"http://h/q.swf?name=%E5%BD%B1#" + kPian,
       {"http://h/q.swf?name=" + kYing + "#%E7%89%87", "http://h/q.swf?name=" + kYing},
       {"http://h/q.swf?name=" + kPian}},
      // A byte that is no UTF-8 keeps its escape; raw, it is escaped the same way.
      {"http://h/bad/%B5.swf", {"http://h/bad/%b5.swf", "http://h/bad/\xB5.swf"},
       {"http://h/bad/.swf"}},
      // Characters that may not stand in an address meet their escapes.
      {"http://h/my%20movie.swf", {"http://h/my movie.swf"}, {"http://h/my+movie.swf"}},
      {"http://h/<a>\"`.swf", {"http://h/%3Ca%3E%22%60.swf"}, {}},
      // Escapes of ASCII characters are not the characters.
      {"http://h/a%2Fb.swf", {}, {"http://h/a/b.swf"}},
      {"http://h/c.swf%3Fv=1", {}, {"http://h/c.swf?v=1"}},
      {"http://h/100%25.swf", {}, {"http://h/100%.swf"}},
      {"http://h/%41.swf", {}, {"http://h/A.swf"}},
      {"http://h/pct/%25E5%25BD%25B1.swf", {},
       {"http://h/pct/" + kYing + ".swf", "http://h/pct/%E5%BD%B1.swf"}},
  };
  // Under the C locale raw UTF-8 bytes are no text, yet they are escaped to the same key.
  for (const char* locale : {"C.UTF-8", "C"}) {
    test::IsolatedHome home;
    ScopedLocale use({locale});
    ASSERT_TRUE(use.ok()) << locale;
    for (const Case& c : cases) {
      std::string local = Add(c.stored, c.stored);
      for (const std::string& url : c.hits) {
        Found f = Lookup(url);
        EXPECT_TRUE(f.ok) << locale << ": " << url << " should find " << c.stored;
        EXPECT_EQ(f.local, local) << locale << ": " << url;
      }
      for (const std::string& url : c.misses)
        EXPECT_EQ(Lookup(url).error, ERROR_FILE_NOT_FOUND) << locale << ": " << url;
    }
    // A raw spelling written again replaces the escaped one's entry: one file, one entry.
    std::string again = Add("http://h/big5/" + kYing + kPian + ".swf", "newer");
    Found f = Lookup("http://h/big5/%E5%BD%B1%E7%89%87.swf");
    EXPECT_EQ(f.local, again) << locale;
    EXPECT_EQ(f.size, 5u);
    // The key reported is plain ASCII.
    EXPECT_EQ(f.url, "http://h/big5/%E5%BD%B1%E7%89%87.swf") << locale;
  }
}

TEST_F(UrlCache, FilesAreNamedInTheLocalesText) {
  struct Case {
    std::vector<const char*> locales;
    std::string url, name;  // the name in the locale's code page
  };
  const Case cases[] = {
      {{"C.UTF-8", "C.utf8"}, "http://h/%E5%BD%B1%E7%89%87.swf", kYing + kPian + "[1].swf"},
      {{"C.UTF-8", "C.utf8"}, "http://h/" + kYing + kPian + ".swf", kYing + kPian + "[1].swf"},
      {{"C.UTF-8", "C.utf8"}, "http://h/my%20movie.swf?x=%2F", "my movie[1].swf"},
      {{"C.UTF-8", "C.utf8"}, "http://h/a%2Fb%3A.swf", "a_b_[1].swf"},
      {{"C.UTF-8", "C.utf8"}, "http://h/x%B5y.swf", "x%B5y[1].swf"},
      {{"C.UTF-8", "C.utf8"}, "http://h/a%00b%0A.swf", "a_b_[1].swf"},
      {{"zh_TW.BIG5", "zh_TW.big5"}, "http://h/%E5%BD%B1%E7%89%87.swf", kBig5YingPian + "[1].swf"},
      {{"zh_TW.BIG5", "zh_TW.big5"}, "http://h/%E8%A8%B1.swf", kBig5Xu + "[1].swf"},
      {{"zh_TW.BIG5", "zh_TW.big5"}, "http://h/%C3%A9t%C3%A9.swf", "_t_[1].swf"},  // no é in Big5
  };
  for (const Case& c : cases) {
    test::IsolatedHome home;
    ScopedLocale use(c.locales);
    if (!use.ok()) {
      ADD_FAILURE() << c.locales.front() << " is not installed";
      continue;
    }
    EXPECT_EQ(fs::path(Add(c.url, "d")).filename().string(), c.name) << c.url;
  }
}

// The page loader, in any locale, stores the escaped UTF-8 address; a scanner under a Big5
// locale looks the movie up with the page's text converted to Big5.
TEST_F(UrlCache, Big5LookupsFindUtf8EscapedEntries) {
  const std::string escaped = "http://h/big5/%E5%BD%B1%E7%89%87.swf";
  std::string local;
  {
    ScopedLocale utf8({"C.UTF-8", "C.utf8"});
    ASSERT_TRUE(utf8.ok());
    local = Add(escaped, "FWS-ying");
    Add("http://h/%E8%A8%B1/m.swf", "FWS-xu");
  }
  ScopedLocale big5({"zh_TW.BIG5", "zh_TW.big5"});
  ASSERT_TRUE(big5.ok()) << "zh_TW.BIG5 is not installed";
  struct Case {
    std::string url;
    bool hit;
  };
  const Case cases[] = {
      {"http://h/big5/" + kBig5YingPian + ".swf", true},
      {escaped, true},
      {"http://h/big5/x/../" + kBig5YingPian + ".swf", true},
      // 許's trail byte is no separator, before or after the key is made.
      {"http://h/" + kBig5Xu + "/m.swf", true},
      {"http://h/" + kBig5Xu + "/../m.swf", false},
      // Big5 bytes escaped are other bytes than the UTF-8 the entry was stored with.
      {"http://h/big5/%BCv%A4%F9.swf", false},
      {"http://h/big5/" + kYing + kPian + ".swf", false},  // UTF-8 bytes read as Big5 text
  };
  for (const Case& c : cases) {
    Found f = Lookup(c.url);
    EXPECT_EQ(f.ok, c.hit) << c.url;
    if (c.hit && c.url.find("big5") != std::string::npos) {
      EXPECT_EQ(f.local, local) << c.url;
    }
  }
  // And back: a Big5 writer's raw address is found by a UTF-8 reader.
  Add("http://h/w/" + kBig5YingPian + ".swf", "FWS-w");
  ScopedLocale utf8({"C.UTF-8", "C.utf8"});
  EXPECT_TRUE(Lookup("http://h/w/" + kYing + kPian + ".swf").ok);
  EXPECT_TRUE(Lookup("http://h/w/%E5%BD%B1%E7%89%87.swf").ok);
}

// An index written before keys were normalised: browser entries were stored %-escaped, others
// with their raw text. Every entry is still found under each spelling; entries that now share
// a key are merged and the loser's file removed by the next writer.
TEST_F(UrlCache, EntriesOfAnOlderIndexAreStillFound) {
  ScopedLocale utf8({"C.UTF-8", "C.utf8"});
  ASSERT_TRUE(utf8.ok());
  const std::string rel = "cache/kelvora-swf-trovex/urlcache/";
  struct Old {
    std::string file, storedUrl;
    std::vector<std::string> lookups;
  };
  const Old old[] = {
      {"ABCDEFGH/%E5%BD%B1[1].swf", "http://h/%E5%BD%B1.swf",
       {"http://h/%E5%BD%B1.swf", "http://h/" + kYing + ".swf"}},
      {"ABCDEFGH/" + kPian + "[1].swf", "http://h/raw/" + kPian + ".swf",
       {"http://h/raw/" + kPian + ".swf", "http://h/raw/%E7%89%87.swf"}},
      {"ABCDEFGH/a b[1].swf", "http://h/a b.swf", {"http://h/a b.swf", "http://h/a%20b.swf"}},
      {"ABCDEFGH/plain[1].swf", "http://h/plain.swf", {"http://h/plain.swf"}},
      {"ABCDEFGH/frag[1].swf", "http://h/frag.swf#top",
       {"http://h/frag.swf", "http://h/frag.swf#other"}},
      {"ABCDEFGH/#only[1]", "#only", {}},  // nothing left to key: dropped
      {"ABCDEFGH/dup[1].swf", "http://h/dup/%E5%BD%B1.swf", {"http://h/dup/" + kYing + ".swf"}},
      {"ABCDEFGH/dup[2].swf", "http://h/dup/" + kYing + ".swf", {}},
  };
  auto field = [](std::string text) {  // the index writes "%" as "%25"
    for (std::size_t pos = 0; (pos = text.find('%', pos)) != std::string::npos; pos += 3)
      text.replace(pos, 1, "%25");
    return text;
  };
  std::string index = "TROVEX-URLCACHE 1\n";
  for (const Old& o : old) {
    home_.dir().WriteFile(rel + o.file, o.file);
    index += std::to_string(o.file.size()) + "\t" + field(o.file) + "\t" + field(o.storedUrl) +
             "\n";
  }
  home_.dir().WriteFile(rel + "index", index);

  for (const Old& o : old) {
    for (const std::string& url : o.lookups) {
      Found f = Lookup(url);
      ASSERT_TRUE(f.ok) << url;
      EXPECT_EQ(f.local, Root() + "/" + o.file) << url;
    }
  }
  Add("http://h/new.swf", "n");
  EXPECT_FALSE(fs::exists(Root() + "/ABCDEFGH/dup[2].swf")) << "the merged entry's file is removed";
  for (const Old& o : old) {
    for (const std::string& url : o.lookups)
      EXPECT_EQ(Lookup(url).local, Root() + "/" + o.file) << url;
  }
  // The rewritten index holds ASCII addresses only, in the same format.
  std::string text = test::ReadFile(Root() + "/index");
  EXPECT_EQ(text.rfind("TROVEX-URLCACHE 1\n", 0), 0u);
  std::size_t addressStart = text.find("\thttp://h/raw/");
  ASSERT_NE(addressStart, std::string::npos) << text;
  EXPECT_EQ(text.substr(addressStart, text.find('\n', addressStart) - addressStart),
            "\thttp://h/raw/%25E7%2589%2587.swf");
}

// Pages name movies with a "#fragment", the page loader stores them without: a fragment never
// reaches a server, so it names no other resource. An escaped "%23" is part of the path.
TEST_F(UrlCache, FragmentIsNoPartOfTheKey) {
  struct Case {
    std::string stored;
    std::vector<std::string> hits, misses;
  };
  const Case cases[] = {
      {"http://h/a.swf", {"http://h/a.swf#x", "http://h/a.swf#", "http://h/./a.swf#a#b"}, {}},
      {"http://h/b.swf#intro", {"http://h/b.swf", "http://h/b.swf#other"}, {}},
      {"http://h/q.php?id=1#top", {"http://h/q.php?id=1", "http://h/q.php?id=1#end"},
       {"http://h/q.php?id=2#top", "http://h/q.php#top"}},
      {"http://h/c%23d.swf", {"http://h/c%23d.swf#e"}, {"http://h/c.swf", "http://h/c#d.swf"}},
  };
  for (const Case& c : cases) {
    std::string local = Add(c.stored, c.stored);
    for (const std::string& url : c.hits) {
      Found f = Lookup(url);
      ASSERT_TRUE(f.ok) << url << " should find " << c.stored;
      EXPECT_EQ(f.local, local) << url;
      EXPECT_EQ(f.url.find('#'), std::string::npos) << f.url;
    }
    for (const std::string& url : c.misses)
      EXPECT_EQ(Lookup(url).error, ERROR_FILE_NOT_FOUND) << url << " found " << c.stored;
  }

  // One entry whatever the fragment: caching again replaces it, deleting removes it.
  std::string first = Lookup("http://h/a.swf").local;
  std::string second = Add("http://h/a.swf#y", "newer");
  EXPECT_FALSE(fs::exists(first));
  EXPECT_EQ(Lookup("http://h/a.swf").local, second);
  EXPECT_TRUE(DeleteUrlCacheEntryA("http://h/b.swf#gone"));
  EXPECT_EQ(Lookup("http://h/b.swf").error, ERROR_FILE_NOT_FOUND);

  // A fragment alone names nothing to store.
  EXPECT_FALSE(AddUrlCacheEntry("#only", "x", 1, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(Lookup("#only").error, ERROR_FILE_NOT_FOUND);
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

  // This process's own writes keep its copy current without reading the file again.
  Add("http://h/own.swf", "d");
  EXPECT_TRUE(Lookup("http://h/own.swf").ok);
  EXPECT_EQ(UrlCacheIndexLoadCount(), loads);

  pid_t pid = fork();  // another writer changed the index
  ASSERT_GE(pid, 0);
  if (pid == 0) _exit(AddUrlCacheEntry("http://h/late.swf", "d", 1, nullptr) ? 0 : 1);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
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

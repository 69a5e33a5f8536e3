#include "scan/movie_address.h"

#include <gtest/gtest.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/inet/inet.h"
#include "tests/scan/scan_test_util.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

using test::IsolatedHome;
using test::TempDir;

struct NameCase {
  const char* objectPath;
  const char* expected;
};

TEST(DeriveFileName, FromObjectPath) {
  TROVEX_REQUIRE_LOCALE(locale, "C.UTF-8");
  const NameCase cases[] = {NameCase{"/swf/intro.swf?ver=3", "intro.swf"},
                    NameCase{"/movie.v2.swf", "movie.swf"},
                    NameCase{"/getmovie.php?id=7", "getmovie.swf"},
                    NameCase{"/dir/", "unnamed.swf"},
                    NameCase{"/..hidden", "hidden.swf"},
                    NameCase{"/...", "unnamed.swf"},
                    NameCase{"/show.php?clip=/media/clip.flv", "clip.swf"},
                    NameCase{"noslash", "noslash.swf"},
                    NameCase{"/x/*:game.swf", "game.swf"},        // disallowed run skipped
                    NameCase{"/x/a<b.swf", "a.swf"},              // run ends at "<"
                    NameCase{"/x/\"q\".swf", "q.swf"},
                    NameCase{"/x/?", "unnamed.swf"},             // nothing usable: no "?" name
                    NameCase{"/x/?*|", "unnamed.swf"},
                    NameCase{"/x/\tintro.swf", "intro.swf"},     // control bytes never kept
                    NameCase{"/x/\xE8\xA8\xB1.swf", "\xE8\xA8\xB1.swf"},
                    // Escaped as the cache reads it, and cut as it cuts: one name in every mode.
                    NameCase{"/x/%E6%B8%AC%E8%A9%A6.swf", "\xE6\xB8\xAC\xE8\xA9\xA6.swf"},
                    NameCase{"/x/my%20clip.swf?v=%31", "my clip.swf"},
                    NameCase{"/x/a%2Fb.swf", "a.swf"},
                    NameCase{"/x/%FF.swf", "%FF.swf"}};
  for (const NameCase& c : cases)
    EXPECT_EQ(DeriveFileNameFromAddress(c.objectPath), c.expected) << "object path: " << c.objectPath;
}

TEST(DeriveFileName, LongNamesAreCutAsCacheNamesAre) {
  const std::string longName(300, 'a');
  EXPECT_EQ(DeriveFileNameFromAddress("/x/" + longName + ".swf"), std::string(64, 'a') + ".swf");
}

TEST(DeriveFileNameBig5, TrailBytesAreNeverTakenForSeparators) {
  TROVEX_REQUIRE_LOCALE(locale, "zh_TW.BIG5");
  const std::string xu = test::kBig5Xu, yi = test::kBig5Yi;
  // 許 ends in "\" and 弋 in "|": both characters are allowed, whole.
  EXPECT_EQ(DeriveFileNameFromAddress("/a/" + xu + ".swf"), xu + ".swf");
  EXPECT_EQ(DeriveFileNameFromAddress("/a/" + yi + xu + "?x=1"), yi + xu + ".swf");
  EXPECT_EQ(DeriveFileNameFromAddress("/a/|" + xu + ".v1.swf"), xu + ".swf");
}

// Every resolution runs with an empty browser cache of its own.
class ResolveTest : public testing::Test {
 protected:
  void SetUp() override {
    if (!locale_.ok()) GTEST_SKIP() << "no C.UTF-8 locale";
  }
  test::ScopedLocale locale_{"C.UTF-8"};
  IsolatedHome home_;
};

struct AddressCase {
  const char* root;
  const char* directory;
  const char* reference;
  const char* address;  // "" = not listed
  const char* fileName;
};

TEST_F(ResolveTest, MakesTheReferenceAbsoluteAndCanonical) {
  const AddressCase cases[] = {
        AddressCase{"http://h", "http://h/dir/", "/swf/intro.swf", "http://h/swf/intro.swf", "intro.swf"},
        AddressCase{"http://h:8080", "http://h:8080/dir/", "/a.swf", "http://h:8080/a.swf", "a.swf"},
        AddressCase{"http://h", "http://h/dir/", "intro.swf", "http://h/dir/intro.swf", "intro.swf"},
        AddressCase{"http://h", "http://h/dir/", "../media/intro.swf", "http://h/media/intro.swf", "intro.swf"},
        AddressCase{"http://h", "http://h/dir/", "https://o/x/a.swf?v=1", "https://o/x/a.swf?v=1", "a.swf"},
        // Protocol-relative references take the page's scheme.
        AddressCase{"http://h", "http://h/dir/", "//cdn.example/m/a.swf", "http://cdn.example/m/a.swf", "a.swf"},
        AddressCase{"https://h", "https://h/", "//cdn.example/a.swf", "https://cdn.example/a.swf", "a.swf"},
        // A full URL in the query does not make a relative reference absolute.
        AddressCase{"http://h", "http://h/dir/", "player.swf?u=http://x/y.flv", "http://h/dir/player.swf?u=http://x/y.flv",
                    "y.swf"},
        AddressCase{"http://h", "http://h/dir/", "", "", ""},
        AddressCase{"http://h", "http://h/dir/", "ftp://h/a.swf", "", ""},      // not cached: not listed
        AddressCase{"http://h", "", "intro.swf", "", ""},  // nothing to make it absolute
  };
  for (const AddressCase& c : cases) {
    SCOPED_TRACE(std::string("reference: ") + c.reference);
    SWFFileInfo record;
    std::string address = ResolveMovieAddress(c.root, c.directory, c.reference, record);
    EXPECT_EQ(address, c.address);
    if (address.empty()) continue;
    EXPECT_EQ(record.strURL, address);
    EXPECT_EQ(record.strFileName, c.fileName);
    EXPECT_EQ(record.strLocalFile, "");
    EXPECT_EQ(record.nSize, -1);
  }
}

// Names and addresses from hostile pages: file names lose Unicode format and bidi controls and
// keep their extension, and "%2e%2e" resolves as ".." so the cached bytes are the address's.
TEST_F(ResolveTest, HostileNamesAndAddresses) {
  const std::string rlo = "\xE2\x80\xAE", lrm = "\xE2\x80\x8E", zwj = "\xE2\x80\x8D";
  const std::string data = "FWS";
  ASSERT_TRUE(AddUrlCacheEntry("http://h/c/%E2%80%AEfws.exe.swf", data.data(), 3, nullptr));
  ASSERT_TRUE(AddUrlCacheEntry("http://h/c/....swf", data.data(), 3, nullptr));
  ASSERT_TRUE(AddUrlCacheEntry("http://h/b.swf", data.data(), 3, nullptr));
  TempDir local;
  local.WriteFile("x" + rlo + "fws.swf", "FWS");
  struct Case {
    std::string root, directory, reference;
    std::string address;  // "" : any
    bool cached;
  } cases[] = {
      {"http://h", "http://h/", "/c/%E2%80%AEfws.exe.swf", "", true},
      {"http://h", "http://h/", "/c/....swf", "http://h/c/....swf", true},
      {"http://h", "http://h/", "/d/" + rlo + "x" + lrm + zwj + ".swf", "", false},
      {"http://h", "http://h/", "/a/%2e%2e/b.swf", "http://h/b.swf", true},
      {"http://h", "http://h/", "/a/%2E%2e/b.swf", "http://h/b.swf", true},
      {"http://h", "http://h/", "/a/.%2e/b.swf", "http://h/b.swf", true},
      {"http://h", "http://h/", "/a/%2e./b.swf", "http://h/b.swf", true},
      {"http://h", "http://h/", "/a/x/%2e%2e/%2e%2e/b.swf", "http://h/b.swf", true},
      {"http://h", "http://h/", "/a/%2e/../b.swf", "http://h/b.swf", true},
      {"http://h", "http://h/a/", "%2e%2e/b.swf", "http://h/b.swf", true},
      {"file://", "file://" + local.str() + "/", "x" + rlo + "fws.swf", "", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reference);
    SWFFileInfo record;
    std::string address = ResolveMovieAddress(c.root, c.directory, c.reference, record);
    ASSERT_FALSE(address.empty());
    if (!c.address.empty()) {
      EXPECT_EQ(address, c.address);
    }
    EXPECT_EQ(record.strFileName.find(rlo), std::string::npos) << record.strFileName;
    EXPECT_EQ(record.strFileName.find(lrm), std::string::npos) << record.strFileName;
    EXPECT_EQ(record.strFileName.find(zwj), std::string::npos) << record.strFileName;
    const std::string& name = record.strFileName;
    ASSERT_GE(name.size(), 5u);
    EXPECT_EQ(name.substr(name.size() - 4), ".swf") << name;
    if (c.cached) {
      EXPECT_FALSE(record.strLocalFile.empty());
    }
  }
}

TEST_F(ResolveTest, EmptyReferenceLeavesTheRecordUntouched) {
  SWFFileInfo record;
  record.strURL = "keep";
  EXPECT_EQ(ResolveMovieAddress("http://h", "http://h/", "", record), "");
  EXPECT_EQ(record.strURL, "keep");
}

TEST_F(ResolveTest, AddressLongerThanThePathBufferIsCanonicalisedOnRetry) {
  const std::string name(400, 'a');
  SWFFileInfo record;
  std::string address = ResolveMovieAddress("http://h", "http://h/d/x/", "../" + name + ".swf", record);
  EXPECT_EQ(address, "http://h/d/" + name + ".swf");
  // The name is cut as the cache cuts its file's name, so a save can write it.
  EXPECT_EQ(record.strFileName, std::string(64, 'a') + ".swf");
}

TEST_F(ResolveTest, CachedMovieGetsTheCacheFileItsNameAndSize) {
  const std::string data(1234, 'F');
  std::string cacheFile;
  ASSERT_TRUE(AddUrlCacheEntry("http://h/swf/intro.swf", data.data(), data.size(), &cacheFile));
  ASSERT_TRUE(AddUrlCacheEntry("ftp://h/pub/clip.swf", data.data(), 7, nullptr));

  SWFFileInfo cached;
  EXPECT_EQ(ResolveMovieAddress("http://h", "http://h/p/", "/swf/intro.swf", cached), "http://h/swf/intro.swf");
  EXPECT_EQ(cached.strURL, "http://h/swf/intro.swf");
  EXPECT_EQ(cached.strLocalFile, cacheFile);
  EXPECT_EQ(cached.strFileName, "intro.swf");
  EXPECT_EQ(std::filesystem::path(cacheFile).filename().string(), "intro[1].swf");
  EXPECT_EQ(cached.nSize, 1234);

  // An FTP movie is listed only from the cache.
  SWFFileInfo ftp;
  EXPECT_EQ(ResolveMovieAddress("http://h", "http://h/p/", "ftp://h/pub/clip.swf", ftp), "ftp://h/pub/clip.swf");
  EXPECT_EQ(ftp.nSize, 7);
  EXPECT_FALSE(ftp.strLocalFile.empty());

  // The same movie at another address is not in the cache: derived name, unknown size.
  SWFFileInfo other;
  EXPECT_EQ(ResolveMovieAddress("http://h", "http://h/p/", "/swf2/intro.swf", other), "http://h/swf2/intro.swf");
  EXPECT_EQ(other.strLocalFile, "");
  EXPECT_EQ(other.strFileName, "intro.swf");
  EXPECT_EQ(other.nSize, -1);
}

TEST_F(ResolveTest, FileAddressesUseTheUnescapedLocalFile) {
  TempDir dir;
  const std::string base = dir.str();
  dir.WriteFile("a b.swf", "12345");
  dir.WriteFile("a%20b.swf", "123");
  std::filesystem::create_directories(dir.path() / "folder.swf");
  ASSERT_EQ(::mkfifo((base + "/pipe.swf").c_str(), 0600), 0);
  // Sparse files: sizes past 2 and 4 GiB are kept whole, never wrapped or lost.
  dir.WriteFile("huge.swf", "");
  dir.WriteFile("wraps.swf", "");
  std::filesystem::resize_file(dir.path() / "huge.swf", 3ull << 30);
  std::filesystem::resize_file(dir.path() / "wraps.swf", (1ull << 32) + 5);

  struct Case {
    std::string reference, path;
    long long size;
  } cases[] = {
      {"a%20b.swf", base + "/a b.swf", 5},
      {"a%2520b.swf", base + "/a%20b.swf", 3},   // unescaped once only
      {"missing.swf", base + "/missing.swf", -1},  // listed, size unknown
      {"folder.swf", base + "/folder.swf", -1},    // a directory is no movie file
      {"pipe.swf", base + "/pipe.swf", -1},        // nor a FIFO, and measuring it never waits
      {"huge.swf", base + "/huge.swf", 3ll << 30},
      {"wraps.swf", base + "/wraps.swf", (1ll << 32) + 5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reference);
    SWFFileInfo record;
    std::string address = ResolveMovieAddress("file://", "file://" + base + "/", c.reference, record);
    EXPECT_EQ(address, "file://" + base + "/" + c.reference);
    EXPECT_EQ(record.strURL, c.path);
    EXPECT_EQ(record.strLocalFile, c.path);
    EXPECT_EQ(record.strFileName, std::filesystem::path(c.path).filename().string());
    EXPECT_EQ(record.nSize, c.size);
  }
}

TEST_F(ResolveTest, DeepLocalPathIsNotDropped) {
  TempDir dir;
  std::string relative;
  for (int i = 0; i < 12; ++i) relative += std::string(30, static_cast<char>('a' + i)) + "/";
  std::string file = dir.WriteFile(relative + "deep.swf", "xyz");
  ASSERT_GT(file.size(), 400u);
  SWFFileInfo record;
  std::string address = ResolveMovieAddress("file://", "file://" + dir.str() + "/" + relative, "deep.swf", record);
  EXPECT_FALSE(address.empty());
  EXPECT_EQ(record.strLocalFile, file);
  EXPECT_EQ(record.nSize, 3);
}

TEST_F(ResolveTest, LocalMoviesAreListedOnlyOnLocalPages) {
  TempDir dir;
  const std::string secret = dir.WriteFile("secret.txt", "password");
  const std::string fileUrl = "file://" + secret;
  struct Case {
    std::string root, directory, reference;
    bool local;  // listed with the local file
  } cases[] = {
      {"http://h", "http://h/p/", fileUrl, false},
      {"https://h", "https://h/", "FILE://" + secret, false},
      {"http://h", "http://h/p/", "file:" + secret, false},  // relative: an http address
      {"http://h", "http://h/p/", "//" + secret, false},     // protocol-relative stays http
      {"about:", "", fileUrl, false},
      {"file://", "file://" + dir.str() + "/", fileUrl, true},
      {"file://", "file://" + dir.str() + "/", "secret.txt", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.root + " -> " + c.reference);
    SWFFileInfo record;
    std::string address = ResolveMovieAddress(c.root, c.directory, c.reference, record);
    if (c.local) {
      EXPECT_EQ(address, fileUrl);
      EXPECT_EQ(record.strLocalFile, secret);
      EXPECT_EQ(record.nSize, 8);
    } else {
      EXPECT_FALSE(address.starts_with("file:")) << address;
      EXPECT_EQ(record.strLocalFile, "");
      EXPECT_EQ(record.nSize, -1);
    }
  }
}

// The size comes from the file's status, but only for a movie that could be read: a file the
// scanning user may not read keeps size -1, as when opening it failed.
TEST_F(ResolveTest, LocalSizeOnlyForFilesTheUserMayRead) {
  TempDir dir;
  ASSERT_EQ(::chmod(dir.str().c_str(), 0755), 0);
  struct Case {
    const char* name;
    mode_t mode;
    int ownerSize, otherSize;  // as the file's owner (not root), as another user
  } cases[] = {
      {"all.swf", 0644, 4, 4},
      {"owner.swf", 0600, 4, -1},
      {"group.swf", 0640, 4, -1},  // the other user is in no group of the file's
      {"others.swf", 0604, 4, 4},
      {"none.swf", 0000, -1, -1},
      {"others-not-owner.swf", 0044, -1, 4},
  };
  for (const Case& c : cases) {
    std::string path = dir.WriteFile(c.name, "FWS1");
    ASSERT_EQ(::chmod(path.c_str(), c.mode), 0);
  }
  auto sizeOf = [&dir](const char* name) {
    SWFFileInfo record;
    ResolveMovieAddress("file://", "file://" + dir.str() + "/", name, record);
    return record.nSize;
  };
  if (::geteuid() != 0) {
    for (const Case& c : cases) EXPECT_EQ(sizeOf(c.name), c.ownerSize) << c.name;
    return;
  }
  // As root every file is readable; another user is needed for the rest.
  for (const Case& c : cases) EXPECT_EQ(sizeOf(c.name), 4) << c.name;
  pid_t pid = ::fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) _exit(100);
    int wrong = 0;
    for (const Case& c : cases) wrong += sizeOf(c.name) != c.otherSize;
    _exit(wrong);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "files sized wrongly for another user (100: no such user)";
}

// Inside a scope sizes are read relative to a folder kept open: they must be what a plain
// look-up gives, across folders, for a folder that may be searched but not listed, for one that
// is missing, and after a file changed between two movies.
TEST_F(ResolveTest, SizesInsideAScopeAgreeWithPlainLookUps) {
  TempDir dir;
  std::filesystem::create_directories(dir.str() + "/a");
  std::filesystem::create_directories(dir.str() + "/searchonly");
  dir.WriteFile("a/one.swf", "FWS1");
  dir.WriteFile("b.swf", "FWS12");
  dir.WriteFile("searchonly/c.swf", "FWS123");
  ASSERT_EQ(::chmod((dir.str() + "/searchonly").c_str(), 0311), 0);
  const char* const kNames[] = {"a/one.swf", "b.swf", "a/one.swf", "searchonly/c.swf",
                                "gone/x.swf", "a/missing.swf", "a", "b.swf"};
  auto sizeOf = [&dir](const char* name) {
    SWFFileInfo record;
    ResolveMovieAddress("file://", "file://" + dir.str() + "/", name, record);
    return record.nSize;
  };
  std::vector<int> plain;
  for (const char* name : kNames) plain.push_back(sizeOf(name));
  EXPECT_EQ(plain[0], 4);
  EXPECT_EQ(plain[3], 6);
  EXPECT_EQ(plain[4], -1);
  {
    LocalSizeScope scope;
    for (std::size_t i = 0; i < std::size(kNames); ++i) EXPECT_EQ(sizeOf(kNames[i]), plain[i]) << kNames[i];
    dir.WriteFile("a/one.swf", "FWS1234567");
    EXPECT_EQ(sizeOf("a/one.swf"), 10);
  }
  ASSERT_EQ(::chmod((dir.str() + "/searchonly").c_str(), 0755), 0);
}

TEST(ResolveBig5, DoubleByteDirectoryOfALocalPageIsKeptWhole) {
  TROVEX_REQUIRE_LOCALE(locale, "zh_TW.BIG5");
  IsolatedHome home;
  TempDir dir;
  const std::string sub = test::kBig5Xu + test::kBig5Yi;
  std::string file = dir.WriteFile(sub + "/intro.swf", "0123456789");
  SWFFileInfo record;
  std::string address = ResolveMovieAddress("file://", "file://" + dir.str() + "/" + sub + "/", "intro.swf", record);
  EXPECT_EQ(address, "file://" + file);
  EXPECT_EQ(record.strURL, file);
  EXPECT_EQ(record.strFileName, "intro.swf");
  EXPECT_EQ(record.nSize, 10);
}

// A page's directory is canonicalised once, and plain references are appended to that form.
// Every directory and reference must resolve as the whole address canonicalised would.
void ExpectShortcutAgreesWithCanonicalising(const std::vector<std::string>& directories,
                                            const std::vector<std::string>& references) {
  for (const std::string& directory : directories) {
    const std::string root = directory.starts_with("file:") ? "file://" : "http://h";
    const MoviePage page(root, directory);
    MoviePage whole = page;
    whole.canonicalDirectory.clear();
    for (const std::string& reference : references) {
      SCOPED_TRACE("directory " + directory + ", reference " + reference);
      SWFFileInfo fast, slow;
      EXPECT_EQ(ResolveMovieAddress(page, reference, fast), ResolveMovieAddress(whole, reference, slow));
      EXPECT_EQ(fast.strURL, slow.strURL);
      EXPECT_EQ(fast.strLocalFile, slow.strLocalFile);
      EXPECT_EQ(fast.strFileName, slow.strFileName);
    }
  }
}

TEST_F(ResolveTest, PlainReferencesAppendedToTheCanonicalDirectoryAgreeWithCanonicalising) {
  const std::vector<std::string> references = {
      "a.swf", "movies/f0_1.swf", "A/B.SWF", "a//b.swf", "a/", "~u/@x;y=1,2+3!$&'()*.swf",
      // Not plain: canonicalised whole.
      "./a.swf", "../a.swf", ".hidden.swf", "a/.b/c.swf", "a/../b.swf", "a b.swf", "%2e%2e/a.swf",
      "%41.swf", "a.swf?x=../y", "a.swf#f", "x:y.swf", "a\\b.swf", "a\"b.swf", " a.swf", "/abs.swf",
      "//cdn/a.swf", "https://o/a.swf"};
  const std::vector<std::string> directories = {
      "http://h/dir/", "HTTP://WWW.Example.COM/Path/", "http://u:P@H:8080/a/", "http://h/a/./b/../c/",
      "http://h/%2e%2e/a/", "http://h\\a\\b/", "http://h/a#frag/", "http://h/a?q/", "https://h/",
      "http://h", "http://h/", " http://h/x/", "file:///tmp/x/", "file:///", "file://", "file://host/x/",
      "FILE:///tmp/Y/", "ftp://h/p/", "mailto:a/", "nonsense/", ""};
  ExpectShortcutAgreesWithCanonicalising(directories, references);
  // The shortcut is taken for the usual directories, and never where a name would join the host.
  EXPECT_EQ(MoviePage("http://h", "HTTP://WWW.Example.COM/Path/").canonicalDirectory, "http://www.example.com/Path/");
  EXPECT_EQ(MoviePage("file://", "file:///tmp/x/").canonicalDirectory, "file:///tmp/x/");
  EXPECT_EQ(MoviePage("file://", "file://").canonicalDirectory, "");
  EXPECT_EQ(MoviePage("http://h", "http://h").canonicalDirectory, "");
  EXPECT_EQ(MoviePage("http://h", "file:///tmp/x/").canonicalDirectory, "");  // not its to name
}

TEST(ResolveBig5, PlainReferencesAppendedToADoubleByteDirectoryAgreeWithCanonicalising) {
  TROVEX_REQUIRE_LOCALE(locale, "zh_TW.BIG5");
  IsolatedHome home;
  const std::string xu = test::kBig5Xu, yi = test::kBig5Yi;  // trail bytes "\" and "|"
  ExpectShortcutAgreesWithCanonicalising(
      {"http://h/" + xu + "/", "http://h/" + yi + xu + "/./", "file:///tmp/" + xu + "/", "http://" + xu + "/"},
      {"a.swf", "m/b.swf", "../c.swf", xu + ".swf", "a\\b.swf"});
}

TEST_F(ResolveTest, LookUpSourceOfNetworkAddresses) {
  struct Case {
    const char* address;
    bool listed;
    const char* name;
  } cases[] = {
      {"http://h/a/b.swf", true, "b.swf"},
      {"https://h/get.php?id=3", true, "get.swf"},
      {"https://h", true, "unnamed.swf"},
      {"gopher://h/a.swf", false, ""},
      {"ftp://h/a.swf", false, ""},
      {"no address", false, ""},
      {"http://h/x/%E6%B8%AC%E8%A9%A6.swf", true, "\xE6\xB8\xAC\xE8\xA9\xA6.swf"},
      {"http://h/x/movie.v2.SWF", true, "movie.swf"},
      {"http://h/x/a%3Fb.swf", true, "a.swf"},
      {"http://h/x/%2E%2E%2E", true, "unnamed.swf"},
  };
  const std::string longName(300, 'n');
  const std::string longAddress = "http://h/x/" + longName + ".swf";
  TROVEX_REQUIRE_LOCALE(locale, "C.UTF-8");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    SWFFileInfo record;
    EXPECT_EQ(LookUpMovieSource(c.address, record), c.listed);
    if (!c.listed) continue;
    EXPECT_EQ(record.strURL, c.address);
    EXPECT_EQ(record.strFileName, c.name);
    EXPECT_EQ(record.strLocalFile, "");
    EXPECT_EQ(record.nSize, -1);
    // The same movie out of the cache gets the same name, whatever the cache calls its file.
    ASSERT_TRUE(AddUrlCacheEntry(c.address, "FWS", 3, nullptr));
    SWFFileInfo cached;
    EXPECT_TRUE(LookUpMovieSource(c.address, cached));
    EXPECT_FALSE(cached.strLocalFile.empty());
    EXPECT_EQ(cached.strFileName, c.name);
  }
  // Cut alike: the cache cuts its own file name to the same length.
  for (bool cache : {false, true}) {
    SCOPED_TRACE(cache ? "cached" : "not cached");
    if (cache) ASSERT_TRUE(AddUrlCacheEntry(longAddress, "FWS", 3, nullptr));
    SWFFileInfo record;
    EXPECT_TRUE(LookUpMovieSource(longAddress, record));
    EXPECT_EQ(record.strLocalFile.empty(), !cache);
    EXPECT_EQ(record.strFileName, std::string(64, 'n') + ".swf");
  }
}

}  // namespace
}  // namespace trovex

#include "pageloader/url.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace trovex::browser {
namespace {

struct ResolveCase {
  const char* base;
  const char* reference;
  const char* expected;
};

class ResolveUrlTest : public ::testing::TestWithParam<ResolveCase> {};

TEST_P(ResolveUrlTest, Resolves) {
  const ResolveCase& c = GetParam();
  EXPECT_EQ(ResolveUrl(c.base, c.reference), c.expected) << c.base << " + " << c.reference;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ResolveUrlTest,
    ::testing::Values(
        ResolveCase{"http://h/dir/page.html", "movie.swf", "http://h/dir/movie.swf"},
        ResolveCase{"http://h/dir/page.html", "/swf/intro.swf", "http://h/swf/intro.swf"},
        ResolveCase{"http://h/dir/page.html", "../media/a.swf", "http://h/media/a.swf"},
        ResolveCase{"http://h/dir/page.html", "../../../a.swf", "http://h/a.swf"},
        ResolveCase{"http://h/dir/page.html", "./x/./y/../z.swf", "http://h/dir/x/z.swf"},
        ResolveCase{"http://h/dir/page.html", "//other:8080/x.swf", "http://other:8080/x.swf"},
        ResolveCase{"http://h/dir/page.html?q=1", "?v=2", "http://h/dir/page.html?v=2"},
        ResolveCase{"http://h/dir/page.html?q=1", "", "http://h/dir/page.html?q=1"},
        ResolveCase{"http://h/dir/page.html", "#top", "http://h/dir/page.html#top"},
        ResolveCase{"http://h/dir/page.php?from=/x/y", "m.swf", "http://h/dir/m.swf"},
        ResolveCase{"http://h", "m.swf", "http://h/m.swf"},
        ResolveCase{"http://h/a/", "https://Other.Example:443/X.swf", "https://other.example/X.swf"},
        ResolveCase{"http://h/a/", "HTTP://H:80/p", "http://h/p"},
        ResolveCase{"http://h/a/", "http://h:8080", "http://h:8080/"},
        ResolveCase{"http://h/a/b", "http:c.swf", "http://h/a/c.swf"},
        ResolveCase{"http://h/a/b", "  \t m\ty.sw\nf \n", "http://h/a/my.swf"},
        ResolveCase{"http://h/a/b", "my movie.swf", "http://h/a/my%20movie.swf"},
        ResolveCase{"http://h/a/b", "a%20b.swf", "http://h/a/a%20b.swf"},
        ResolveCase{"http://h/a/b", "\xE5\xBD\xB1.swf", "http://h/a/%E5%BD%B1.swf"},
        ResolveCase{"http://h/a/b", "x.swf?a b", "http://h/a/x.swf?a%20b"},
        ResolveCase{"http://h/a/b", "..\\up\\x.swf", "http://h/up/x.swf"},
        ResolveCase{"http://h/a/b", "x.swf?p=\\q", "http://h/a/x.swf?p=\\q"},
        ResolveCase{"file:///data/site/index.html", "sub/f.html", "file:///data/site/sub/f.html"},
        ResolveCase{"file:///data/site/index.html", "/etc/x", "file:///etc/x"},
        ResolveCase{"file:///data/site/index.html", "file://localhost/a/b", "file:///a/b"},
        ResolveCase{"about:blank", "x.html", ""},
        ResolveCase{"about:blank", "http://h/x", "http://h/x"},
        ResolveCase{"http://h/a/b", "javascript:void(0)", "javascript:void(0)"},
        ResolveCase{"", "x.html", ""}));

TEST(StripFragment, CutsAtHash) {
  EXPECT_EQ(StripFragment("http://h/p?q#f#g"), "http://h/p?q");
  EXPECT_EQ(StripFragment("http://h/p"), "http://h/p");
}

TEST(FileUrl, PathRoundTrip) {
  const char* paths[] = {"/data/plain.html", "/data/with space/a b.html", "/data/100%/x.html",
                         "/data/q?#.html", "/data/\xE5\xBD\xB1\xE7\x89\x87.html", "/data/a;b=c&d.html"};
  for (const char* path : paths) {
    std::string url = FilePathToUrl(path);
    EXPECT_EQ(url.rfind("file:///", 0), 0u) << url;
    // Nothing in the address may read as a query, a fragment or an escape of its own.
    EXPECT_EQ(url.find_first_of("?# "), std::string::npos) << url;
    std::string back;
    ASSERT_TRUE(FileUrlToPath(url, &back)) << url;
    EXPECT_EQ(back, path);
  }
  EXPECT_EQ(FilePathToUrl("/data/a b%.html"), "file:///data/a%20b%25.html");
}

TEST(FileUrl, ToPathEdgeCases) {
  struct Case {
    const char* url;
    bool ok;
    const char* path;
  } cases[] = {
      {"file:///a/b.html", true, "/a/b.html"},
      {"FILE://LocalHost/a/b.html", true, "/a/b.html"},
      {"file:/a/b.html", true, "/a/b.html"},
      {"file:///a/b.html?x=1#y", true, "/a/b.html"},
      {"file:///a/%2541.html", true, "/a/%41.html"},  // decoded once only
      {"file:///a/%zz.html", true, "/a/%zz.html"},
      {"file:///a/%00.html", false, ""},               // would truncate the path
      {"file://server/share/x", false, ""},
      {"http://h/x", false, ""},
      {"file://", false, ""},
  };
  for (const Case& c : cases) {
    std::string path = "untouched";
    EXPECT_EQ(FileUrlToPath(c.url, &path), c.ok) << c.url;
    if (c.ok) {
      EXPECT_EQ(path, c.path) << c.url;
    }
  }
}

TEST(AddressFromUserInput, PathsAndUrls) {
  std::string error;
  std::string cwd = std::filesystem::current_path().string();
  EXPECT_EQ(AddressFromUserInput("http://Example.COM/a/../b.html", &error), "http://example.com/b.html");
  EXPECT_EQ(AddressFromUserInput(" https://h/x ", &error), "https://h/x");
  EXPECT_EQ(AddressFromUserInput("/data/a b.html", &error), "file:///data/a%20b.html");
  EXPECT_EQ(AddressFromUserInput("file:///data/a%20b.html", &error), "file:///data/a%20b.html");
  EXPECT_EQ(AddressFromUserInput("/data/x/../y.html", &error), "file:///data/y.html");
  EXPECT_EQ(AddressFromUserInput("sub/p.html", &error), FilePathToUrl(cwd + "/sub/p.html"));
  // A colon in a file name is not a scheme.
  EXPECT_EQ(AddressFromUserInput("notes:2.html", &error), FilePathToUrl(cwd + "/notes:2.html"));

  for (const char* bad : {"", "   ", "ftp://h/x.html", "http://", "file://server/x"}) {
    error.clear();
    EXPECT_EQ(AddressFromUserInput(bad, &error), "") << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

}  // namespace
}  // namespace trovex::browser

// Path syntax in both styles, with the platform's documented edge cases for the Windows style
// and a double-byte code page.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "platform/fs/path.h"

namespace trovex {
namespace {

constexpr PathStyle W = PathStyle::Windows;
constexpr PathStyle P = PathStyle::Posix;

struct RootCase {
  PathStyle style;
  const char* path;
  BOOL root;
};

TEST(PathIsRoot, BothStyles) {
  const RootCase cases[] = {
      {W, "C:\\", TRUE},          {W, "c:\\", TRUE},
      {W, "C:", FALSE},           {W, "C:\\a", FALSE},
      {W, "\\", TRUE},            {W, "\\a", FALSE},
      {W, "\\\\", TRUE},          {W, "\\\\srv", TRUE},
      {W, "\\\\srv\\", FALSE},    {W, "\\\\srv\\share", TRUE},
      {W, "\\\\srv\\share\\", FALSE}, {W, "\\\\srv\\share\\x", FALSE},
      {W, "path", FALSE},         {W, "..\\path2", FALSE},
      {W, "", FALSE},             {W, "/", FALSE},
      {P, "/", TRUE},             {P, "//", FALSE},
      {P, "/a", FALSE},           {P, "", FALSE},
      {P, "C:\\", FALSE},         {P, "a/", FALSE},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PathIsRootA(c.path, c.style), c.root)
        << c.path << (c.style == W ? " (windows)" : " (posix)");
  }
  EXPECT_FALSE(PathIsRootA(nullptr, P));
}

struct StringCase {
  PathStyle style;
  const char* in;
  const char* out;
};

TEST(PathFindExtension, LastDotOfLastComponentWithoutSpaceAfterIt) {
  const StringCase cases[] = {
      {W, "C:\\m\\movie.swf", ".swf"},  {W, "C:\\m\\movie", ""},
      {W, "C:\\m.d\\movie", ""},        {W, "a.b.c", ".c"},
      {W, "x\\a.b[7]", ".b[7]"},        {W, "my clip.swf", ".swf"},
      {W, "clip.s wf", ""},             {W, "movie.", "."},
      {W, ".hidden", ".hidden"},        {W, "a.b/c", ".b/c"},
      {W, "", ""},
      {P, "/m/movie.swf", ".swf"},      {P, "/m.d/movie", ""},
      {P, "/m/a.b\\c", ".b\\c"},        {P, "/m/my clip.swf", ".swf"},
      {P, "/m/a.s wf", ""},             {P, "a.b.c", ".c"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(PathFindExtensionA(c.in, c.style), c.out) << c.in;
    EXPECT_EQ(PathExtensionOffset(c.in, c.style), std::strlen(c.in) - std::strlen(c.out)) << c.in;
  }
  char buffer[] = "/a/b.swf";
  EXPECT_EQ(PathFindExtensionA(buffer, P), buffer + 4);
  EXPECT_EQ(PathFindExtensionA(static_cast<const char*>(nullptr), P), nullptr);
}

TEST(PathStripPath, KeepsTheLastComponent) {
  const StringCase cases[] = {
      {W, "C:\\dir\\file.txt", "file.txt"}, {W, "C:\\dir\\", "dir\\"},
      {W, "C:\\", "C:\\"},                  {W, "C:file", "file"},
      {W, "\\\\srv\\share", "share"},       {W, "file", "file"},
      {W, "a/b", "b"},                      {W, "", ""},
      {P, "/dir/file.swf", "file.swf"},     {P, "/dir/", "dir/"},
      {P, "/", "/"},                        {P, "file", "file"},
      {P, "/a\\b", "a\\b"},                 {P, "/a:b", "a:b"},
  };
  for (const auto& c : cases) {
    char buffer[MAX_PATH];
    std::strcpy(buffer, c.in);
    PathStripPathA(buffer, c.style);
    EXPECT_STREQ(buffer, c.out) << c.in;
    EXPECT_EQ(PathStripPath(c.in, c.style), c.out) << c.in;
  }
}

struct RemoveCase {
  PathStyle style;
  const char* in;
  const char* out;
  BOOL removed;
};

TEST(PathRemoveFileSpec, RootsKeepTheirSeparator) {
  const RemoveCase cases[] = {
      {W, "C:\\TEST\\sample.txt", "C:\\TEST", TRUE},
      {W, "C:\\path1", "C:\\", TRUE},
      {W, "C:\\path1\\", "C:\\path1", TRUE},
      {W, "C:\\", "C:\\", FALSE},
      {W, "C:", "C:", FALSE},
      {W, "C:file", "C:", TRUE},
      {W, "\\path1", "\\", TRUE},
      {W, "\\\\path1\\path2\\path3", "\\\\path1\\path2", TRUE},
      {W, "\\\\srv", "\\\\", TRUE},
      {W, "\\\\", "\\\\", FALSE},
      {W, "file", "", TRUE},
      {W, "", "", FALSE},
      {P, "/a/b", "/a", TRUE},
      {P, "/a", "/", TRUE},
      {P, "/a/", "/a", TRUE},
      {P, "/", "/", FALSE},
      {P, "a/b", "a", TRUE},
      {P, "file", "", TRUE},
      {P, "/a\\b", "/", TRUE},
  };
  for (const auto& c : cases) {
    char buffer[MAX_PATH];
    std::strcpy(buffer, c.in);
    EXPECT_EQ(PathRemoveFileSpecA(buffer, c.style), c.removed) << c.in;
    EXPECT_STREQ(buffer, c.out) << c.in;
    EXPECT_EQ(PathRemoveFileSpec(c.in, c.style), c.out) << c.in;
  }
}

// Under Big5, 0x5C ("\") is also a trail byte: 許 is B3 5C and 功 is A5 5C.
class Big5Paths : public testing::Test {
 protected:
  void SetUp() override {
    old_ = std::setlocale(LC_CTYPE, nullptr);
    if (!std::setlocale(LC_CTYPE, "zh_TW.BIG5")) GTEST_SKIP() << "zh_TW.BIG5 locale missing";
  }
  void TearDown() override { std::setlocale(LC_CTYPE, old_.c_str()); }
  std::string old_;
};

TEST_F(Big5Paths, TrailByteIsNeverASeparator) {
  const std::string xu = "\xB3\x5C";    // 許
  const std::string gong = "\xA5\x5C";  // 功
  std::string win = "C:\\" + xu + "\\" + gong + ".swf";
  EXPECT_EQ(PathStripPath(win, W), gong + ".swf");
  EXPECT_EQ(PathRemoveFileSpec(win, W), "C:\\" + xu);
  EXPECT_EQ(PathRemoveFileSpec("C:\\" + xu, W), "C:\\");
  EXPECT_STREQ(PathFindExtensionA((xu + ".a" + gong).c_str(), W), (".a" + gong).c_str());
  // A space-like or separator-like trail byte does not hide the extension.
  EXPECT_EQ(PathExtensionOffset("C:\\a.b" + xu, W), 4u);
  EXPECT_TRUE(PathIsRootA(("\\\\" + xu + "\\" + gong).c_str(), W));
  EXPECT_FALSE(PathIsRootA(("\\\\" + xu + "\\" + gong + "\\").c_str(), W));
  // POSIX style: "\" is not a separator anyway, but "/" after a double-byte character is.
  EXPECT_EQ(PathStripPath("/" + xu + "/" + gong, P), gong);
  EXPECT_EQ(PathRemoveFileSpec("/" + xu + "/" + gong, P), "/" + xu);
}

}  // namespace
}  // namespace trovex

// The toolkit boundary over the shared code-page core: what reaches the screen and what comes
// back, in a double-byte code page and in UTF-8.
#include "framework/wx_text.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/temp_env.h"

namespace trovex {
namespace {

TEST(WxText, Big5TextCrossesTheToolkitBoundaryBothWays) {
  test::LocaleSwitch big5({"zh_TW.big5", "zh_TW.BIG5"});
  if (!big5.ok()) GTEST_SKIP() << "zh_TW.big5 is not installed";
  struct Case {
    std::string ansi;
    wxString wide;
  } toWx[] = {
      {"\xB3\x5C\xA5\x5C", wxString::FromUTF8("許功")},  // trail bytes "\"
      {"C:\\a", "C:\\a"},
      {"\xFF\xFE", wxString::FromUTF8("\xC3\xBF\xC3\xBE")},  // no Big5, no UTF-8: read as Latin-1
      {"\xE8\xA8\xB1", wxString::FromUTF8("許")},             // no Big5 but UTF-8: read as UTF-8
      {"", ""},
  };
  for (const Case& c : toWx) EXPECT_EQ(ToWx(c.ansi), c.wide) << c.ansi;

  struct Back {
    wxString wide;
    std::string ansi;
  } fromWx[] = {
      {wxString::FromUTF8("許功/文"), "\xB3\x5C\xA5\x5C/\xA4\xE5"},
      {wxString::FromUTF8("a\xF0\x9F\x98\x80z"), "a?z"},  // no Big5 character for it
      {wxString(wxUniChar(0xD800)) + "x", "?x"},           // a lone surrogate stays one "?"
      {"", ""},
  };
  for (const Back& b : fromWx) EXPECT_EQ(FromWx(b.wide), b.ansi) << b.wide.utf8_string();
}

TEST(WxText, Utf8TextPassesUnchanged) {
  test::LocaleSwitch utf8({"C.UTF-8", "C.utf8"});
  if (!utf8.ok()) GTEST_SKIP() << "C.UTF-8 is not available";
  const std::string text = "儲存 a/b \xF0\x9F\x98\x80";
  EXPECT_EQ(FromWx(ToWx(text)), text);
}

}  // namespace
}  // namespace trovex

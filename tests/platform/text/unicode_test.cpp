#include "platform/text/unicode.h"

#include <gtest/gtest.h>

#include <string>

namespace trovex {
namespace {

std::u16string Units(std::initializer_list<char16_t> units) { return std::u16string(units); }

TEST(Unicode, Utf16ToUtf8) {
  struct Case {
    std::u16string utf16;
    std::string utf8;
  };
  const Case cases[] = {
      {u"movie.swf", "movie.swf"},
      {u"\u007F\u0080", "\x7F\xC2\x80"},                      // 1 -> 2 bytes
      {u"\u07FF\u0800", "\xDF\xBF\xE0\xA0\x80"},              // 2 -> 3 bytes
      {u"\u8A31\uFFFF", "\xE8\xA8\xB1\xEF\xBF\xBF"},
      {u"\U00010000\U0010FFFF", "\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"},  // surrogate pairs
      {std::u16string(u"a\0b", 3), std::string("a\0b", 3)},
      {Units({0xD800, u'x'}), "\xEF\xBF\xBDx"},               // high without its low
      {Units({u'x', 0xDBFF}), "x\xEF\xBF\xBD"},               // high at the end
      {Units({0xDC00, 0xD800}), "\xEF\xBF\xBD\xEF\xBF\xBD"},  // the pair reversed
      {Units({0xD83D, 0xD83D, 0xDE00}), "\xEF\xBF\xBD\xF0\x9F\x98\x80"},
      {u"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
}

TEST(Unicode, Utf8ToUtf16ReplacesEachByteThatStartsNoCharacter) {
  struct Case {
    std::string utf8;
    std::u16string utf16;
  };
  const Case cases[] = {
      {"\xE8\xA8\xB1\xE5\x8A\x9F.swf", u"\u8A31\u529F.swf"},
      {"\xF0\x9F\x98\x80", u"\U0001F600"},
      {"a\xFF" "b", u"a\uFFFDb"},
      {"\x80", u"\uFFFD"},                                  // a lone continuation byte
      {"\xC0\xAF", u"\uFFFD\uFFFD"},                        // overlong "/"
      {"\xE0\x80\xAF", u"\uFFFD\uFFFD\uFFFD"},              // overlong, 3 bytes
      {"\xF0\x80\x80\xAF", u"\uFFFD\uFFFD\uFFFD\uFFFD"},    // overlong, 4 bytes
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},    // past U+10FFFF
      {"\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},              // an encoded surrogate
      {"\xE8\xA8", u"\uFFFD\uFFFD"},                        // cut short at the end
      {"\xE8" "A", u"\uFFFDA"},                             // cut short by ASCII
      {std::string("\0", 1), std::u16string(1, u'\0')},
  };
  for (const auto& c : cases) EXPECT_EQ(Utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
}

TEST(Unicode, EveryCodePointSurvivesBothWays) {
  for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
    if (IsSurrogate(cp)) continue;
    std::u16string wide;
    AppendUtf16(wide, cp);
    std::string utf8 = Utf16ToUtf8(wide);
    char32_t back = 0;
    ASSERT_EQ(DecodeUtf8(utf8, 0, &back), utf8.size()) << std::hex << static_cast<unsigned>(cp);
    ASSERT_EQ(back, cp);
    ASSERT_EQ(Utf8ToUtf16(utf8), wide) << std::hex << static_cast<unsigned>(cp);
  }
}

TEST(Unicode, DecodersReportLengthsAtAnyPosition) {
  const std::string utf8 = "a\xE8\xA8\xB1\xF0\x9F\x98\x80\xFF";
  struct Case8 {
    std::size_t pos, len;
    char32_t cp;
  };
  for (const Case8& c : {Case8{0, 1, U'a'}, Case8{1, 3, 0x8A31}, Case8{2, 0, 0},
                         Case8{4, 4, 0x1F600}, Case8{8, 0, 0}, Case8{9, 0, 0}, Case8{50, 0, 0}}) {
    char32_t cp = 0;
    EXPECT_EQ(DecodeUtf8(utf8, c.pos, &cp), c.len) << c.pos;
    if (c.len) {
      EXPECT_EQ(cp, c.cp) << c.pos;
    }
  }

  const std::u16string utf16 = Units({u'a', 0xD83D, 0xDE00, 0xDE00, 0xD800});
  struct Case16 {
    std::size_t pos, len;
    char32_t cp;
  };
  for (const Case16& c : {Case16{0, 1, U'a'}, Case16{1, 2, 0x1F600}, Case16{2, 1, 0xDE00},
                          Case16{3, 1, 0xDE00}, Case16{4, 1, 0xD800}, Case16{5, 0, 0}}) {
    char32_t cp = 0;
    EXPECT_EQ(DecodeUtf16(utf16, c.pos, &cp), c.len) << c.pos;
    if (c.len) {
      EXPECT_EQ(cp, c.cp) << c.pos;
    }
  }
}

}  // namespace
}  // namespace trovex

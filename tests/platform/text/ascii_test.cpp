#include "platform/text/ascii.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace trovex {
namespace {

using namespace std::string_literals;

TEST(Ascii, CaseTouchesOnlyAsciiLetters) {
  // "É" in UTF-8 and its neighbours of the letters must not change.
  const std::string text = "File:\xC3\x89xZ@[`{";
  EXPECT_EQ(AsciiToLower(text), "file:\xC3\x89xz@[`{");
  EXPECT_EQ(AsciiToUpper(text), "FILE:\xC3\x89XZ@[`{");
  EXPECT_EQ(AsciiLower(u'Q'), u'q');
  EXPECT_EQ(AsciiLower(u'\u0130'), u'\u0130');  // no locale rule folds a non-ASCII letter
}

TEST(Ascii, NoCaseComparisons) {
  struct Case {
    std::string_view s, ascii;
    bool equal, startsWith;
  } cases[] = {
      {"GetSWFFile", "getswffile", true, true},
      {"FILE:///x", "file:", false, true},
      {"fil", "file:", false, false},
      {"", "", true, true},
      {"content-type", "Content-Type", true, true},
      {"content_type", "content-type", false, false},
      {"\xC3\x89", "\xC3\xA9", false, false},  // bytes above 0x7F compare as they are
      {"@", "`", false, false},                // neighbours of the letters do not fold
  };
  for (const Case& c : cases) {
    EXPECT_EQ(AsciiEqualsNoCase(c.s, c.ascii), c.equal) << c.s << " / " << c.ascii;
    EXPECT_EQ(AsciiStartsWithNoCase(c.s, c.ascii), c.startsWith) << c.s << " / " << c.ascii;
  }
  EXPECT_TRUE(AsciiEqualsNoCase(std::u16string_view(u"GETSWFFILE"), "GetSWFFile"));
  EXPECT_FALSE(AsciiEqualsNoCase(std::u16string_view(u"GetSWFFil\u0115"), "GetSWFFile"));
}

TEST(Ascii, TrimRemovesOnlyTheSetAtTheEnds) {
  struct Case {
    std::string_view in, set, out;
  } cases[] = {
      {" \t text/html \r\n\f", kAsciiBlanks, "text/html"},
      {"a b", kAsciiBlanks, "a b"},
      {" \t ", kAsciiBlanks, ""},
      {"", kAsciiBlanks, ""},
      {"\v x \v", kAsciiBlanks, "\v x \v"},  // a vertical tab is no HTML blank
      {"\r\n value \r", " \t", "\r\n value \r"},
      {" #note\r", " \t\r", "#note"},
  };
  for (const Case& c : cases) EXPECT_EQ(AsciiTrim(c.in, c.set), c.out) << c.in;
}

TEST(Ascii, HexDigitsAndNumbers) {
  struct Case {
    char32_t c;
    int value;
  } digits[] = {{'0', 0}, {'9', 9}, {'a', 10}, {'f', 15}, {'A', 10}, {'F', 15}, {'g', -1},
                {'G', -1}, {'/', -1}, {':', -1}, {'@', -1}, {'`', -1}, {U'\uFF10', -1}};
  for (const Case& d : digits) {
    EXPECT_EQ(HexDigitValue(d.c), d.value) << static_cast<unsigned>(d.c);
    if (d.c < 0x80) {
      EXPECT_EQ(HexDigitValue(static_cast<char>(d.c)), d.value);
    }
  }
  EXPECT_EQ(HexDigitValue(static_cast<char>(0xB0)), -1);  // a high byte is no digit

  struct Number {
    std::string_view text;
    bool ok;
    std::uint32_t value;
  } numbers[] = {{"0", true, 0},           {"fF", true, 255},      {"E19ADC6E", true, 0xE19ADC6E},
                 {"FFFFFFFF", true, ~0u},  {"", false, 0},         {"123456789", false, 0},
                 {"12 4", false, 0},       {"-1", false, 0},       {"0x10", false, 0}};
  for (const Number& n : numbers) {
    std::uint32_t v = 77;
    EXPECT_EQ(ParseHexUint32(n.text, &v), n.ok) << n.text;
    EXPECT_EQ(v, n.ok ? n.value : 77u) << n.text;
  }
}

TEST(Ascii, EscapesAreUpperCaseAndDecodeOnce) {
  std::string out;
  for (unsigned char c : {0x00, 0x0A, 0x25, 0x7F, 0xAB, 0xFF}) AppendPercentEscape(out, c);
  EXPECT_EQ(out, "%00%0A%25%7F%AB%FF");
  out.clear();
  AppendHexByte(out, 0xAB, HexCase::kLower);
  EXPECT_EQ(out, "ab");

  struct Case {
    std::string_view in;
    std::string decoded, keepNul;
    bool noNulOk;
  } cases[] = {
      {"a%20b", "a b", "a b", true},
      {"%2541", "%41", "%41", true},  // once: an escaped "%" does not start a new escape
      {"%e4%B8%AD", "\xE4\xB8\xAD", "\xE4\xB8\xAD", true},
      {"100%", "100%", "100%", true},
      {"%4", "%4", "%4", true},
      {"%zz%", "%zz%", "%zz%", true},
      {"%%41", "%A", "%A", true},
      {"a%00b", "a\0b"s, "a%00b", false},
      {"", "", "", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PercentDecode(c.in), c.decoded) << c.in;
    EXPECT_EQ(PercentDecode(c.in, EscapedNul::kKeep), c.keepNul) << c.in;
    std::string path = "untouched";
    EXPECT_EQ(PercentDecodeNoNul(c.in, &path), c.noNulOk) << c.in;
    EXPECT_EQ(path, c.noNulOk ? c.decoded : "untouched") << c.in;
  }
  EXPECT_EQ(EscapedByteAt(std::u16string_view(u"x%4A"), 1), 0x4A);
  EXPECT_EQ(EscapedByteAt(std::u16string_view(u"%4\uFF21"), 0), -1);
  EXPECT_EQ(EscapedByteAt(std::string_view("%4"), 0), -1);
}

TEST(Ascii, PercentEncodeEscapesWhatTheCallerNames) {
  const std::string text = "a b\"<>`%\x7F\xE4/~";
  EXPECT_EQ(PercentEncode(text, IsUnsafeInAddress), "a%20b%22%3C%3E%60%%7F%E4/~");
  EXPECT_EQ(PercentEncode(text, [](unsigned char c) { return c == '%'; }), "a b\"<>`%25\x7F\xE4/~");
  EXPECT_EQ(PercentEncode("", IsUnsafeInAddress), "");
}

// The plain run is found eight bytes at a time: a byte above 0x7F at every place of a word and
// of the bytes after the last whole word must end it there.
TEST(AsciiPrefixLength, EndsAtTheFirstByteAbove7F) {
  for (std::size_t size = 0; size <= 20; ++size) {
    const std::string plain(size, 'a');
    EXPECT_EQ(AsciiPrefixLength(plain), size);
    for (std::size_t at = 0; at < size; ++at) {
      for (char high : {'\x80', '\xFF'}) {
        std::string s = plain;
        s[at] = high;
        EXPECT_EQ(AsciiPrefixLength(s), at) << size << " " << at;
      }
    }
  }
  EXPECT_EQ(AsciiPrefixLength(std::string_view("ab\0cd\x7F", 6)), 6u);
}

}  // namespace
}  // namespace trovex

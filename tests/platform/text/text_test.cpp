#include "platform/text/text.h"
#include "platform/com/com.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <langinfo.h>
#include <utility>
#include <algorithm>
#include <string>
#include <vector>

namespace trovex {
namespace {

// Big5 characters whose trail byte is an ASCII character.
const std::string kXu = "\xB3\x5C";    // 許, trail "\"
const std::string kGong = "\xA5\x5C";  // 功, trail "\"
const std::string kGai = "\xBB\x5C";   // 蓋, trail "\"
const std::string kYi = "\xA4\x41";    // 乙, trail "A"
const std::string kWu = "\xA4\x61";    // 兀, trail "a"
const std::string kShi = "\xA5\x40";   // 世, trail "@"

// Switches the process locale for one test and restores it afterwards.
class LocaleTest : public ::testing::Test {
 protected:
  bool Use(std::initializer_list<const char*> names) {
    saved_ = std::setlocale(LC_ALL, nullptr);
    for (const char* n : names)
      if (std::setlocale(LC_ALL, n)) return true;
    return false;
  }
  void TearDown() override {
    if (!saved_.empty()) std::setlocale(LC_ALL, saved_.c_str());
  }

 private:
  std::string saved_;
};

class Utf8Text : public LocaleTest {
 protected:
  void SetUp() override {
    if (!Use({"C.UTF-8", "C.utf8", "en_US.UTF-8"})) GTEST_SKIP() << "no UTF-8 locale";
  }
};

class Big5Text : public LocaleTest {
 protected:
  void SetUp() override {
    if (!Use({"zh_TW.BIG5", "zh_TW.big5", "zh_TW"}) || CurrentCodePage() != "BIG5")
      GTEST_SKIP() << "locale zh_TW.BIG5 is not installed";
  }
};

// ---- UTF-8 ------------------------------------------------------------------------------

TEST_F(Utf8Text, CharacterLengths) {
  struct Case {
    std::string s;
    std::size_t len;
  };
  const Case cases[] = {
      {"a", 1},
      {"\xC3\xA9", 2},              // é
      {"\xE8\xA8\xB1", 3},          // 許
      {"\xF0\x9F\x98\x80", 4},
      {"\xE8\xA8", 1},              // cut short: one byte at a time
      {"\xFF", 1},                  // invalid
      {std::string(1, '\0'), 1},
  };
  for (const auto& c : cases) EXPECT_EQ(MbCharLen(c.s, 0), c.len) << c.s;
  EXPECT_EQ(MbCharLen("a", 1), 0u);
  EXPECT_EQ(MbCharCount("a\xE8\xA8\xB1\xFF" "b"), 4u);
  std::string s = "x\xE8\xA8\xB1y";
  EXPECT_EQ(MbNextChar(s, 1), 4u);
  EXPECT_EQ(MbPrevChar(s, 4), 1u);
  EXPECT_TRUE(MbIsCharBoundary(s, 4));
  EXPECT_FALSE(MbIsCharBoundary(s, 2));
}

TEST_F(Utf8Text, SearchesStepWholeCharacters) {
  const std::string s = "a/\xE8\xA8\xB1/b.swf";
  EXPECT_EQ(MbFind(s, '/'), 1u);
  EXPECT_EQ(MbFind(s, '/', 2), 5u);
  EXPECT_EQ(MbReverseFind(s, '/'), 5u);
  EXPECT_EQ(MbReverseFind(s, '\\'), std::string::npos);
  EXPECT_EQ(MbFindSubstring(s, "\xE8\xA8\xB1"), 2u);
  EXPECT_EQ(MbFindSubstring(s, "\xA8\xB1"), std::string::npos);  // inside a character
  EXPECT_EQ(MbFindSubstring(s, ".swf"), 7u);
  EXPECT_EQ(MbFindSubstring(s, ""), 0u);
  EXPECT_EQ(MbFindSubstring(s, "", 3), 5u);  // 3 is inside 許: the next boundary
  EXPECT_EQ(MbFindOneOf(s, "?#."), 7u);
}

TEST_F(Utf8Text, TrimmingKeepsCharactersWhole) {
  struct Case {
    std::string in, set, right, left;
  };
  const Case cases[] = {
      {"  intro.swf  ", " ", "  intro.swf", "intro.swf  "},
      {"\tintro.swf ", " ", "\tintro.swf", "\tintro.swf "},  // only the given set
      {"\xE8\xA8\xB1", "\xB1", "\xE8\xA8\xB1", "\xE8\xA8\xB1"},  // not a trailing byte
      {"ab\xE8\xA8\xB1\xE8\xA8\xB1", "\xE8\xA8\xB1", "ab", "ab\xE8\xA8\xB1\xE8\xA8\xB1"},
      {"   ", " ", "", ""},
      {"", " ", "", ""},
  };
  for (const auto& c : cases) {
    std::string r = c.in, l = c.in;
    MbTrimRight(r, c.set);
    MbTrimLeft(l, c.set);
    EXPECT_EQ(r, c.right) << c.in;
    EXPECT_EQ(l, c.left) << c.in;
  }
  std::string both = "  x  ";
  MbTrim(both, " ");
  EXPECT_EQ(both, "x");
}

// Bytes above 0x7F that stand alone (invalid UTF-8, or any byte of a single-byte code page)
// are characters of their own and never members of an ASCII set.
TEST(TextLocales, HighSingleBytesAreNeverInAnAsciiSet) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  for (const char* locale : {"C", "C.UTF-8"}) {
    if (!std::setlocale(LC_ALL, locale)) continue;
    std::string s = " \xA0x\xFF ";
    MbTrim(s, " \t");
    EXPECT_EQ(s, "\xA0x\xFF") << locale;
    EXPECT_EQ(MbFindOneOf("a\xE9\xFF/b", "/?"), 3u) << locale;
    EXPECT_EQ(MbFindOneOf("a\xE9\xFF", "/?"), std::string::npos) << locale;
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST_F(Utf8Text, CaseFoldsSingleByteLettersOnly) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  };
  const Case cases[] = {
      {".SWF", ".swf", 0},
      {"application/X-Shockwave-Flash", "application/x-shockwave-flash", 0},
      {"\xC3\x89", "\xC3\xA9", -1},  // É vs é: multibyte, compared by bytes
      {"a", "B", -1},
      {"abc", "abcd", -1},
      {"b", "A", 1},
      {"", "", 0},
  };
  for (const auto& c : cases) {
    int r = MbCompareNoCase(c.a, c.b);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " vs " << c.b;
  }
  EXPECT_EQ(MbToUpper("clsid:d27cdb6e-\xC3\xA9"), "CLSID:D27CDB6E-\xC3\xA9");
  EXPECT_EQ(MbToLower("A\xC3\x89"), "a\xC3\x89");
}

TEST_F(Utf8Text, Utf16ToAnsi) {
  EXPECT_EQ(Utf16ToAnsi(u"\u8A31\u529F.swf"), "\xE8\xA8\xB1\xE5\x8A\x9F.swf");
  EXPECT_EQ(Utf16ToAnsi(u"\U0001F600"), "\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToAnsi(std::u16string(1, char16_t(0xD800)) + u"x"), "?x");  // unpaired high
  EXPECT_EQ(Utf16ToAnsi(u"x" + std::u16string(1, char16_t(0xDC00))), "x?");  // unpaired low
  EXPECT_EQ(Utf16ToAnsi(std::u16string(u"a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(Utf16ToAnsi(u""), "");
  EXPECT_EQ(BstrToAnsi(nullptr), "");
  BStr empty = BStr::Attach(SysAllocStringLen(nullptr, 0));
  EXPECT_EQ(BstrToAnsi(empty.Get()), "");
  BStr b(u"movie.swf");
  EXPECT_EQ(BstrToAnsi(b.Get()), "movie.swf");
}

TEST_F(Utf8Text, AnsiToUtf16) {
  EXPECT_EQ(AnsiToUtf16("\xE8\xA8\xB1.swf"), u"\u8A31.swf");
  EXPECT_EQ(AnsiToUtf16("a\xFF" "b"), u"a\uFFFDb");   // one U+FFFD per bad byte
  EXPECT_EQ(AnsiToUtf16("\xE8\xA8"), u"\uFFFD\uFFFD");
  EXPECT_EQ(AnsiToUtf16(""), u"");
  std::u16string out = u"unchanged";
  EXPECT_FALSE(TryAnsiToUtf16("a\xFF", &out));
  EXPECT_EQ(out, u"unchanged");
  EXPECT_TRUE(TryAnsiToUtf16("\xF0\x9F\x98\x80", &out));
  EXPECT_EQ(out, u"\U0001F600");
  BStr b = BStr::Attach(AnsiToBstr("\xE8\xA8\xB1"));
  EXPECT_EQ(BstrToU16(b.Get()), u"\u8A31");
  EXPECT_EQ(AnsiToUtf8("\xE8\xA8\xB1.swf"), "\xE8\xA8\xB1.swf");
  EXPECT_EQ(AnsiToUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
  std::string utf8 = "unchanged";
  EXPECT_FALSE(TryAnsiToUtf8("a\xFF", &utf8));
  EXPECT_EQ(utf8, "unchanged");
}

// ---- Big5 ---------------------------------------------------------------------------------

TEST_F(Big5Text, TrailBytesNeverMatchSingleByteCharacters) {
  const std::string name = kXu + kGong + kGai;  // every trail byte is "\"
  EXPECT_EQ(MbCharLen(name, 0), 2u);
  EXPECT_EQ(MbCharCount(name), 3u);
  EXPECT_EQ(MbFind(name, '\\'), std::string::npos);
  EXPECT_EQ(MbReverseFind(name, '\\'), std::string::npos);
  EXPECT_EQ(MbFindSubstring(name, "\\"), std::string::npos);

  const std::string path = "C:\\dir\\" + kXu + ".swf";
  EXPECT_EQ(MbReverseFind(path, '\\'), 6u);  // the real separator, not 許's trail
  EXPECT_EQ(MbFind(kYi, 'A'), std::string::npos);
  EXPECT_EQ(MbFind(kWu, 'a'), std::string::npos);
  EXPECT_EQ(MbFind(kShi, '@'), std::string::npos);
  EXPECT_EQ(MbFindOneOf(kShi + "@", "@"), 2u);
  EXPECT_EQ(MbFindSubstring(kXu + kGong, "\x5C\xA5"), std::string::npos);  // across characters
  EXPECT_EQ(MbFindSubstring(kXu + kGong, kGong), 2u);
  // A single-byte character found after double-byte ones lands at the right offset.
  EXPECT_EQ(MbFind(kXu + "/" + kGong + "/", '/', 3), 5u);
}

TEST_F(Big5Text, TrimmingNeverSplitsADoubleByteCharacter) {
  struct Case {
    std::string in, set, right, left;
  };
  const Case cases[] = {
      {kXu, "\\", kXu, kXu},
      {kXu + "\\", "\\", kXu, kXu + "\\"},
      {"\\\\" + kXu, "\\", "\\\\" + kXu, kXu},
      {kYi, "A", kYi, kYi},
      {" " + kGai + " ", " ", " " + kGai, kGai + " "},
  };
  for (const auto& c : cases) {
    std::string r = c.in, l = c.in;
    MbTrimRight(r, c.set);
    MbTrimLeft(l, c.set);
    EXPECT_EQ(r, c.right);
    EXPECT_EQ(l, c.left);
  }
}

TEST_F(Big5Text, CaseChangesLeaveTrailBytesAlone) {
  EXPECT_EQ(MbToUpper(kWu + "a.swf"), kWu + "A.SWF");
  EXPECT_EQ(MbToLower(kYi + "A.SWF"), kYi + "a.swf");
  EXPECT_NE(MbCompareNoCase(kWu, kYi), 0);  // 兀 and 乙 differ only in a trail byte's case
  EXPECT_EQ(MbCompareNoCase(kXu + ".SWF", kXu + ".swf"), 0);
  // The last four bytes of a name ending in a double-byte character are not ".swf".
  EXPECT_NE(MbCompareNoCase(std::string("a.sw") + kWu, "a.swf"), 0);
}

TEST_F(Big5Text, Conversions) {
  EXPECT_EQ(Utf16ToAnsi(u"\u8A31\u529F\u84CB"), kXu + kGong + kGai);
  EXPECT_EQ(Utf16ToAnsi(u"a\U0001F600b"), "a?b");  // not in the code page
  EXPECT_EQ(AnsiToUtf16(kXu + kGong + kGai + ".swf"), u"\u8A31\u529F\u84CB.swf");
  EXPECT_EQ(AnsiToUtf16("\xFF" "a"), u"\uFFFDa");
  EXPECT_EQ(AnsiToUtf16("a\xB3"), u"a\uFFFD");  // a lead byte without its trail
  EXPECT_EQ(AnsiToUtf8(kXu + ".swf"), "\xE8\xA8\xB1.swf");
  EXPECT_EQ(AnsiToUtf8("\xFF" "a"), "\xEF\xBF\xBD" "a");
}

// The program's own texts: converted where the code page has the characters, kept as UTF-8
// under UTF-8 and plain ASCII, "?" for a character the code page lacks.
TEST(TextLocales, OwnUtf8TextsFollowTheCodePage) {
  const std::string xuGong = "\xE8\xA8\xB1\xE5\x8A\x9F";  // 許功 in UTF-8
  const std::string eAcute = "\xC3\xA9";                   // é, which Big5 lacks
  std::string saved = std::setlocale(LC_ALL, nullptr);
  std::setlocale(LC_ALL, "C");
  EXPECT_TRUE(CodePageKeepsUtf8());
  EXPECT_EQ(Utf8TextToAnsi(xuGong + "%s"), xuGong + "%s");
  if (std::setlocale(LC_ALL, "C.UTF-8")) {
    EXPECT_TRUE(CodePageKeepsUtf8());
    EXPECT_EQ(Utf8TextToAnsi(xuGong + eAcute), xuGong + eAcute);
  }
  if (std::setlocale(LC_ALL, "zh_TW.BIG5")) {
    EXPECT_FALSE(CodePageKeepsUtf8());
    EXPECT_EQ(Utf8TextToAnsi(xuGong + "\n"), kXu + kGong + "\n");
    EXPECT_EQ(Utf8TextToAnsi("a" + eAcute + "b"), "a?b");
    EXPECT_EQ(Utf8TextToAnsi(""), "");
  } else {
    ADD_FAILURE() << "zh_TW.BIG5 is not installed";
  }
  std::setlocale(LC_ALL, saved.c_str());
}

// A program started under the C locale still reads and writes UTF-8; a user's locale stays.
TEST(TextLocales, ProgramLocaleTurnsPlainAsciiIntoUtf8) {
  const char* old = std::getenv("LC_ALL");
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  const std::string oldValue = old ? old : "";
  for (const auto& [env, codeset] : {std::pair{"C", "UTF-8"}, std::pair{"zh_TW.BIG5", "BIG5"}}) {
    setenv("LC_ALL", env, 1);
    SetUpProgramLocale();
    EXPECT_STREQ(nl_langinfo(CODESET), codeset) << env;
  }
  if (old) setenv("LC_ALL", oldValue.c_str(), 1); else unsetenv("LC_ALL");
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(TextLocales, ConverterFollowsALocaleChange) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "C.UTF-8")) GTEST_SKIP() << "no C.UTF-8";
  EXPECT_EQ(Utf16ToAnsi(u"\u8A31"), "\xE8\xA8\xB1");
  if (std::setlocale(LC_ALL, "zh_TW.BIG5")) {
    EXPECT_EQ(Utf16ToAnsi(u"\u8A31"), kXu);
    EXPECT_EQ(AnsiToUtf16(kXu), u"\u8A31");
  }
  std::setlocale(LC_ALL, "C");
  EXPECT_EQ(Utf16ToAnsi(u"a\u8A31"), "a?");
  std::setlocale(LC_ALL, saved.c_str());
}

}  // namespace
}  // namespace trovex

namespace trovex {
namespace {

// What the searches must answer, found the slow way: a walk over whole characters.
std::size_t WalkFind(std::string_view s, std::string_view set, std::size_t start, bool last) {
  std::size_t found = std::string::npos;
  for (std::size_t i = 0; i < s.size(); i += MbCharLen(s, i)) {
    if (i < start || MbCharLen(s, i) != 1 || set.find(s[i]) == std::string_view::npos) continue;
    if (!last) return i;
    found = i;
  }
  return found;
}

// Calls check(text) for each text under each of C, C.UTF-8 and Big5 that is installed, and
// puts the process locale back; how many locales were tried.
template <class Check>
int ForEachLocaleAndText(const std::vector<std::string>& texts, Check check) {
  const std::string saved = std::setlocale(LC_ALL, nullptr);
  int tried = 0;
  for (const char* locale : {"C", "C.UTF-8", "zh_TW.BIG5"}) {
    if (!std::setlocale(LC_ALL, locale)) continue;
    ++tried;
    for (const std::string& s : texts) {
      SCOPED_TRACE(std::string(locale) + ": " + s);
      check(s);
    }
  }
  std::setlocale(LC_ALL, saved.c_str());
  return tried;
}

// Searches of long text skip plain ASCII eight bytes at a time and find members with memchr:
// a byte above 0x7F at any place within or after a word, a Big5 trail byte that looks like a
// member, and sets too large for memchr must still give the character walk's answers.
TEST(TextLocales, SearchesOfLongTextAgreeWithTheCharacterWalk) {
  const std::string plain = "http://www.example.com/a/long/path/to/";
  std::vector<std::string> texts;
  for (std::size_t at : {0u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 31u}) {
    for (const std::string& odd : {std::string("\xB3\\"), std::string("\xA4\x40"), std::string("\xE8\xA8\xB1"), std::string("\xFF")}) {
      std::string t = plain;
      t.insert(at, odd);
      texts.push_back(t + "movie.swf?x=1#top");
      texts.push_back(t + "movie.swf");
    }
  }
  texts.push_back(plain + plain + "?");
  const int localesTried = ForEachLocaleAndText(texts, [](const std::string& s) {
    for (std::size_t start : {0u, 1u, 8u, 9u, 20u, 200u}) {
      for (std::string_view set : {"?#", "\\", "?#\\/", "@", "abcdefg\\"})
        EXPECT_EQ(MbFindOneOf(s, set, start), WalkFind(s, set, start, false)) << set << " from " << start;
    }
    // When it says so, every ASCII byte is a character of its own.
    bool asciiWhole = true;
    for (std::size_t i = 0; i < s.size(); ++i)
      if (static_cast<unsigned char>(s[i]) < 0x80 && WalkFind(s, std::string_view(&s[i], 1), i, false) != i)
        asciiWhole = false;
    EXPECT_TRUE(!MbAsciiBytesAreChars(s) || asciiWhole);
  });
  EXPECT_GT(localesTried, 0);
}

// The byte-wise answers taken where ASCII bytes are whole characters agree with the walk in
// every code page, on ASCII, on mixed and on broken text.
TEST(TextLocales, FastSearchesAgreeWithTheCharacterWalk) {
  const std::vector<std::string> texts = {
      "http://h/dir/movie.swf?x=1#top", "a/\xE8\xA8\xB1/b.swf", "\xE8/\xA8\\.x\xFF?",
      kXu + "/" + kGong + "\\" + kYi + "A" + kShi + "@.swf", "\xA4" "A\\\xB3", "", "////"};
  const int localesTried = ForEachLocaleAndText(texts, [](const std::string& s) {
    for (char ch : {'/', '\\', 'A', '@', '.', '?'}) {
      for (std::size_t start : {0u, 1u, 3u}) EXPECT_EQ(MbFind(s, ch, start), WalkFind(s, {&ch, 1}, start, false));
      EXPECT_EQ(MbReverseFind(s, ch), WalkFind(s, {&ch, 1}, 0, true));
    }
    for (std::size_t start : {0u, 1u, 2u, 3u, 40u}) {
      EXPECT_EQ(MbFindOneOf(s, "?#\\", start), WalkFind(s, "?#\\", start, false)) << start;
      EXPECT_EQ(MbFindOneOf(s, "/@", start), WalkFind(s, "/@", start, false)) << start;
    }
    EXPECT_EQ(MbFindSubstring(s, "/"), WalkFind(s, "/", 0, false));
    std::string replaced = s, expected = s;
    MbReplaceChar(replaced, '\\', '/');
    for (std::size_t i = 0; i < expected.size(); i += MbCharLen(expected, i))
      if (expected[i] == '\\' && MbCharLen(expected, i) == 1) expected[i] = '/';
    EXPECT_EQ(replaced, expected);
    std::string trimmed = "/." + s + "./", walked = trimmed;
    MbTrim(trimmed, "./");
    std::size_t begin = 0, end = 0;
    while (begin < walked.size() && MbCharLen(walked, begin) == 1 && (walked[begin] == '.' || walked[begin] == '/'))
      ++begin;
    for (std::size_t i = begin; i < walked.size(); i += MbCharLen(walked, i))
      if (!(MbCharLen(walked, i) == 1 && (walked[i] == '.' || walked[i] == '/'))) end = i + MbCharLen(walked, i);
    EXPECT_EQ(trimmed, walked.substr(begin, std::max(end, begin) - begin));
    EXPECT_EQ(AnsiToUtf16("plain ASCII"), u"plain ASCII");
    EXPECT_EQ(Utf16ToAnsi(u"plain ASCII"), "plain ASCII");
  });
  EXPECT_GE(localesTried, 2);
}

TEST_F(Big5Text, ReplacingABackslashLeavesTrailBytesAlone) {
  std::string path = "dir\\" + kXu + "\\" + kGong;
  MbReplaceChar(path, '\\', '/');
  EXPECT_EQ(path, "dir/" + kXu + "/" + kGong);
  EXPECT_EQ(MbCompareNoCase("ABC" + kYi, "abc" + kYi), 0);
  EXPECT_LT(MbCompareNoCase("abc", "ABD"), 0);
  EXPECT_GT(MbCompareNoCase("abcd", "ABC"), 0);
}

}  // namespace
}  // namespace trovex

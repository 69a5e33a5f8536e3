#include "platform/text/text.h"

#include <langinfo.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <clocale>
#include <cstdlib>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <limits>

#include "platform/text/ascii.h"
#include "platform/text/codepage.h"
#include "platform/text/unicode.h"

namespace trovex {

// ---- stepping -------------------------------------------------------------------------

std::size_t MbCharLen(std::string_view s, std::size_t pos) {
  if (pos >= s.size()) return 0;
  // At a character boundary a byte below 0x80 is a character of its own in every
  // ASCII-compatible code page a locale can have; only lead bytes need the C library.
  if (static_cast<unsigned char>(s[pos]) < 0x80 || MB_CUR_MAX == 1) return 1;
  std::mbstate_t state{};
  std::size_t n = std::mbrlen(s.data() + pos, s.size() - pos, &state);
  if (n == 0 || n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2)) return 1;
  return n;
}

std::size_t MbNextChar(std::string_view s, std::size_t pos) {
  if (pos >= s.size()) return s.size();
  return pos + MbCharLen(s, pos);
}

std::size_t MbPrevChar(std::string_view s, std::size_t pos) {
  if (pos > s.size()) pos = s.size();
  std::size_t prev = 0, i = 0;
  while (i < pos) {
    prev = i;
    i += MbCharLen(s, i);
  }
  return prev;
}

std::size_t MbCharCount(std::string_view s) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < s.size(); i += MbCharLen(s, i)) ++count;
  return count;
}

bool MbIsCharBoundary(std::string_view s, std::size_t pos) {
  if (pos > s.size()) return false;
  std::size_t i = 0;
  while (i < pos) i += MbCharLen(s, i);
  return i == pos;
}

// ---- searching ------------------------------------------------------------------------

namespace {

// Position of the first byte above 0x7F in s[from, to), or `to`.
std::size_t FirstHighByte(std::string_view s, std::size_t from, std::size_t to) {
  return from + AsciiPrefixLength(s.substr(from, to - from));
}

}  // namespace

bool MbAsciiBytesAreChars(std::string_view s) {
  if (AsciiPrefixLength(s) == s.size() || MB_CUR_MAX == 1) return true;
  return std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;
}

namespace {

bool IsAscii(std::string_view s) { return AsciiPrefixLength(s) == s.size(); }

bool AsciiBytesAreChars(std::string_view s) { return MbAsciiBytesAreChars(s); }

bool IsAsciiChar(char ch) { return static_cast<unsigned char>(ch) < 0x80; }

// True when the members of an ASCII `set` may be looked for byte by byte in `s`.
bool BytewiseSearch(std::string_view s, std::string_view set) { return IsAscii(set) && AsciiBytesAreChars(s); }

}  // namespace

std::size_t MbFind(std::string_view s, char ch, std::size_t start) {
  if (IsAsciiChar(ch) && AsciiBytesAreChars(s)) return s.find(ch, start);
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = MbCharLen(s, i);
    if (i >= start && len == 1 && s[i] == ch) return i;
    i += len;
  }
  return std::string::npos;
}

std::size_t MbReverseFind(std::string_view s, char ch) {
  if (IsAsciiChar(ch) && AsciiBytesAreChars(s)) return s.rfind(ch);
  std::size_t found = std::string::npos;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = MbCharLen(s, i);
    if (len == 1 && s[i] == ch) found = i;
    i += len;
  }
  return found;
}

std::size_t MbFindSubstring(std::string_view s, std::string_view sub, std::size_t start) {
  if (start > s.size()) return std::string::npos;
  // An ASCII needle starts and ends on character boundaries wherever it occurs.
  if (!sub.empty() && IsAscii(sub) && AsciiBytesAreChars(s)) return s.find(sub, start);
  for (std::size_t i = 0; i <= s.size();) {
    if (i >= start && s.size() - i >= sub.size() && s.compare(i, sub.size(), sub) == 0) {
      // The match must end on a character boundary too: "A" must not match the lead of "AB"
      // when a code page made "AB" one character.
      std::size_t end = i;
      while (end < i + sub.size()) end += MbCharLen(s, end);
      if (end == i + sub.size()) return i;
    }
    if (i == s.size()) break;
    i += MbCharLen(s, i);
  }
  return std::string::npos;
}

void MbReplaceChar(std::string& s, char from, char to) {
  if (IsAsciiChar(from) && AsciiBytesAreChars(s)) {
    std::replace(s.begin(), s.end(), from, to);
    return;
  }
  for (std::size_t i = 0; i < s.size(); i = MbNextChar(s, i))
    if (s[i] == from && MbCharLen(s, i) == 1) s[i] = to;
}

namespace {

// A character set for the searches and trims below. Sets of ASCII characters only (the
// usual case: blanks, separators) answer from a table; any other set is searched character
// by character, so a trail byte never matches a single-byte member.
class CharSet {
 public:
  explicit CharSet(std::string_view set) : set_(set) {
    for (unsigned char c : set) {
      if (c >= 0x80) {
        ascii_ = false;
        return;
      }
      table_[c] = true;
    }
  }

  // True when the character s[pos, pos+len) is one of the set's characters.
  bool Contains(std::string_view s, std::size_t pos, std::size_t len) const {
    if (ascii_) return len == 1 && table_[static_cast<unsigned char>(s[pos])];
    for (std::size_t j = 0; j < set_.size();) {
      std::size_t l = MbCharLen(set_, j);
      if (l == len && set_.compare(j, l, s.substr(pos, len)) == 0) return true;
      j += l;
    }
    return false;
  }
 private:
  std::string_view set_;
  bool ascii_ = true;
  bool table_[256] = {};
};

}  // namespace

std::size_t MbFindOneOf(std::string_view s, std::string_view set, std::size_t start) {
  if (IsAscii(set)) {
    // A bit per ASCII byte: one test a byte instead of a search of the set.
    std::uint64_t bits[2] = {0, 0};
    for (unsigned char c : set) bits[c >> 6] |= std::uint64_t{1} << (c & 63);
    auto member = [&bits](unsigned char c) { return c < 0x80 && (bits[c >> 6] >> (c & 63) & 1); };
    // Up to the first byte above 0x7F the text is plain ASCII, so the usual address takes one
    // pass. A member found there is a character of its own unless an earlier byte, before
    // `start`, leads a double-byte character.
    std::size_t i = start;
    if (i < s.size()) {
      // The first member byte (found by memchr for the usual small set), then the first byte
      // above 0x7F before it: where a byte-by-byte walk would have stopped.
      std::size_t memberAt = s.size();
      if (set.size() <= 4) {
        for (char c : set)
          if (const void* p = std::memchr(s.data() + i, c, memberAt - i))
            memberAt = static_cast<std::size_t>(static_cast<const char*>(p) - s.data());
      } else {
        memberAt = i;
        while (memberAt < s.size() && !member(static_cast<unsigned char>(s[memberAt]))) ++memberAt;
      }
      i = FirstHighByte(s, i, memberAt);
    }
    if (i >= s.size()) return std::string::npos;
    bool plainBefore = start == 0 || AsciiBytesAreChars(s.substr(0, start));
    if (member(static_cast<unsigned char>(s[i])) && plainBefore) return i;
    if (plainBefore && AsciiBytesAreChars(s)) {
      for (; i < s.size(); ++i)
        if (member(static_cast<unsigned char>(s[i]))) return i;
      return std::string::npos;
    }
  }
  const CharSet members(set);
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = MbCharLen(s, i);
    if (i >= start && members.Contains(s, i, len)) return i;
    i += len;
  }
  return std::string::npos;
}

void MbTrimRight(std::string& s, std::string_view set) {
  if (BytewiseSearch(s, set)) {
    std::size_t last = s.find_last_not_of(set);
    s.erase(last == std::string::npos ? 0 : last + 1);
    return;
  }
  const CharSet members(set);
  // The end of the last character that is not in the set.
  std::size_t keep = 0;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = MbCharLen(s, i);
    if (!members.Contains(s, i, len)) keep = i + len;
    i += len;
  }
  s.erase(keep);
}

void MbTrimLeft(std::string& s, std::string_view set) {
  if (BytewiseSearch(s, set)) {
    s.erase(0, std::min(s.find_first_not_of(set), s.size()));
    return;
  }
  const CharSet members(set);
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t len = MbCharLen(s, i);
    if (!members.Contains(s, i, len)) break;
    i += len;
  }
  s.erase(0, i);
}

void MbTrim(std::string& s, std::string_view set) {
  MbTrimRight(s, set);
  MbTrimLeft(s, set);
}

// ---- case -----------------------------------------------------------------------------

int MbCompareNoCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) {
    for (std::size_t k = 0; k < a.size() && k < b.size(); ++k) {
      int ca = std::tolower(static_cast<unsigned char>(a[k]));
      int cb = std::tolower(static_cast<unsigned char>(b[k]));
      if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  std::size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    std::size_t la = MbCharLen(a, i), lb = MbCharLen(b, j);
    if (la == 1 && lb == 1) {
      int ca = std::tolower(static_cast<unsigned char>(a[i]));
      int cb = std::tolower(static_cast<unsigned char>(b[j]));
      if (ca != cb) return ca < cb ? -1 : 1;
    } else {
      std::size_t n = la < lb ? la : lb;
      int c = std::memcmp(a.data() + i, b.data() + j, n);
      if (c != 0) return c < 0 ? -1 : 1;
      if (la != lb) return la < lb ? -1 : 1;
    }
    i += la;
    j += lb;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

namespace {

template <int (*Fold)(int)>
void FoldSingleBytes(std::string& s) {
  if (IsAscii(s)) {
    for (char& c : s) c = static_cast<char>(Fold(static_cast<unsigned char>(c)));
    return;
  }
  for (std::size_t i = 0; i < s.size();) {
    std::size_t len = MbCharLen(s, i);
    if (len == 1) s[i] = static_cast<char>(Fold(static_cast<unsigned char>(s[i])));
    i += len;
  }
}

int Upper(int c) { return std::toupper(c); }
int Lower(int c) { return std::tolower(c); }

}  // namespace

void MbMakeUpper(std::string& s) { FoldSingleBytes<Upper>(s); }
void MbMakeLower(std::string& s) { FoldSingleBytes<Lower>(s); }

std::string MbToUpper(std::string s) {
  MbMakeUpper(s);
  return s;
}

std::string MbToLower(std::string s) {
  MbMakeLower(s);
  return s;
}

// ---- conversions ----------------------------------------------------------------------

void SetUpProgramLocale() {
  std::setlocale(LC_ALL, "");
  if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");
}

std::string CurrentCodePage() {
  const char* cs = nl_langinfo(CODESET);
  return cs && *cs ? cs : "ANSI_X3.4-1968";
}

bool CodePageKeepsUtf8() {
  std::string cp = CurrentCodePage();
  return cp == "UTF-8" || cp == "ANSI_X3.4-1968";
}

namespace {

void PutLe32(std::string& out, char32_t cp) {
  for (int k = 0; k < 4; ++k) out.push_back(static_cast<char>((cp >> (8 * k)) & 0xFF));
}

char32_t GetLe32(const unsigned char* p) {
  return static_cast<char32_t>(p[0]) | static_cast<char32_t>(p[1]) << 8 |
         static_cast<char32_t>(p[2]) << 16 | static_cast<char32_t>(p[3]) << 24;
}

}  // namespace

std::string Utf16ToAnsi(std::u16string_view text) {
  if (text.empty()) return {};
  // ASCII is itself in every code page a locale can have.
  if (std::all_of(text.begin(), text.end(), [](char16_t c) { return c < 0x80; }))
    return std::string(text.begin(), text.end());
  // Code points as UTF-32; an unpaired surrogate is a "?" already.
  std::string utf32;
  utf32.reserve(text.size() * 4);
  for (std::size_t i = 0; i < text.size();) {
    char32_t c;
    i += DecodeUtf16(text, i, &c);
    PutLe32(utf32, IsSurrogate(c) ? U'?' : c);
  }
  std::string out;
  bool ok = ConvertCodePage(utf32, "UTF-32LE", CurrentCodePage(), out,
                            [](std::size_t, bool, std::string& to) {
                              to.push_back('?');
                              return std::size_t{4};
                            });
  if (!ok) {
    // No converter for this code page: keep ASCII, "?" for the rest, as a code page without
    // those characters would.
    out.clear();
    for (std::size_t i = 0; i + 3 < utf32.size(); i += 4) {
      char32_t c = GetLe32(reinterpret_cast<const unsigned char*>(utf32.data() + i));
      out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
  }
  return out;
}

namespace {

bool ConvertFromAnsi(std::string_view text, std::u16string* out, bool strict) {
  if (IsAscii(text)) {
    out->assign(text.begin(), text.end());
    return true;
  }
  std::string utf32;
  bool bad = false;
  bool ok = ConvertCodePage(text, CurrentCodePage(), "UTF-32LE", utf32,
                            [&bad](std::size_t, bool, std::string& to) {
                              bad = true;
                              PutLe32(to, 0xFFFD);
                              return std::size_t{1};
                            });
  if (!ok) {
    utf32.clear();
    bad = false;
    for (unsigned char c : text) {
      if (c >= 0x80) bad = true;
      PutLe32(utf32, c < 0x80 ? c : 0xFFFD);
    }
  }
  if (strict && bad) return false;
  std::u16string result;
  result.reserve(utf32.size() / 4);
  for (std::size_t i = 0; i + 3 < utf32.size(); i += 4)
    AppendUtf16(result, GetLe32(reinterpret_cast<const unsigned char*>(utf32.data() + i)));
  *out = std::move(result);
  return true;
}

}  // namespace

std::u16string AnsiToUtf16(std::string_view text) {
  std::u16string out;
  if (!text.empty()) ConvertFromAnsi(text, &out, false);
  return out;
}

bool TryAnsiToUtf16(std::string_view text, std::u16string* out) {
  if (!out) return false;
  if (text.empty()) {
    out->clear();
    return true;
  }
  return ConvertFromAnsi(text, out, true);
}

bool TryAnsiToUtf8(std::string_view ansi, std::string* utf8) {
  if (!utf8) return false;
  const bool ascii = std::all_of(ansi.begin(), ansi.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  if (ascii || (CodePageKeepsUtf8() && IsUtf8(ansi))) {
    *utf8 = ansi;
    return true;
  }
  std::u16string wide;
  if (!TryAnsiToUtf16(ansi, &wide)) return false;
  *utf8 = Utf16ToUtf8(wide);
  return true;
}

std::string AnsiToUtf8(std::string_view ansi) {
  std::string utf8;
  if (!TryAnsiToUtf8(ansi, &utf8)) utf8 = Utf16ToUtf8(AnsiToUtf16(ansi));
  return utf8;
}

std::string Utf8TextToAnsi(std::string_view utf8) {
  if (CodePageKeepsUtf8()) return std::string(utf8);
  return Utf16ToAnsi(Utf8ToUtf16(utf8));
}

}  // namespace trovex

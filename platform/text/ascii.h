// ASCII-only helpers for protocol text (addresses, header and attribute names, charset labels,
// registry data): case, blanks, hex digits and %XX escapes. Bytes and code units above 0x7F
// pass through untouched, so these never depend on the locale and never split a multibyte
// character; for the application's own text use the Mb* functions of text.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace trovex {

// Blanks as HTML and most protocols know them.
inline constexpr std::string_view kAsciiBlanks = " \t\n\r\f";
// White space as the C library's isspace knows it: what user-typed names are trimmed of.
inline constexpr std::string_view kWhiteSpace = " \t\n\v\f\r";

template <class Char>
constexpr Char AsciiLower(Char c) {
  return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}
template <class Char>
constexpr Char AsciiUpper(Char c) {
  return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}
// How many bytes at the start of `s` are below 0x80; eight bytes at a time, as addresses and
// paths are long and almost always plain ASCII.
std::size_t AsciiPrefixLength(std::string_view s);

std::string AsciiToLower(std::string_view s);
std::string AsciiToUpper(std::string_view s);

constexpr bool IsAsciiDigit(char c) { return c >= '0' && c <= '9'; }
constexpr bool IsAsciiAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
constexpr bool IsAsciiBlank(char c) { return kAsciiBlanks.find(c) != std::string_view::npos; }

// Case-insensitive comparisons of ASCII letters; `ascii` is plain ASCII, `s` may be any code
// units (a UTF-16 name from a dispatch call too).
template <class Char>
bool AsciiStartsWithNoCase(std::basic_string_view<Char> s, std::string_view ascii) {
  if (s.size() < ascii.size()) return false;
  for (std::size_t i = 0; i < ascii.size(); ++i)
    if (AsciiLower(s[i]) != static_cast<Char>(AsciiLower(ascii[i]))) return false;
  return true;
}
inline bool AsciiStartsWithNoCase(std::string_view s, std::string_view ascii) {
  return AsciiStartsWithNoCase<char>(s, ascii);
}
template <class Char>
bool AsciiEqualsNoCase(std::basic_string_view<Char> s, std::string_view ascii) {
  return s.size() == ascii.size() && AsciiStartsWithNoCase(s, ascii);
}
inline bool AsciiEqualsNoCase(std::string_view a, std::string_view b) { return AsciiEqualsNoCase<char>(a, b); }

// `s` without the members of `set` at either end.
std::string_view AsciiTrim(std::string_view s, std::string_view set = kAsciiBlanks);

// 0..15 for a hex digit of either case, -1 for anything else.
template <class Char>
constexpr int HexDigitValue(Char c) {
  if (c >= Char('0') && c <= Char('9')) return static_cast<int>(c - Char('0'));
  if (c >= Char('a') && c <= Char('f')) return static_cast<int>(c - Char('a')) + 10;
  if (c >= Char('A') && c <= Char('F')) return static_cast<int>(c - Char('A')) + 10;
  return -1;
}

// The value of `digits`, 1 to 8 hex digits and nothing else; false (*value untouched) otherwise.
bool ParseHexUint32(std::string_view digits, std::uint32_t* value);

enum class HexCase { kUpper, kLower };
// Two hex digits of the byte.
void AppendHexByte(std::string& out, unsigned char c, HexCase letters = HexCase::kUpper);
// "%XX", upper-case digits, as addresses are escaped.
void AppendPercentEscape(std::string& out, unsigned char c);

// The bytes an address never holds bare: controls, space, DEL, non-ASCII and " < > `.
constexpr bool IsUnsafeInAddress(unsigned char c) {
  return c <= 0x20 || c >= 0x7F || c == '"' || c == '<' || c == '>' || c == '`';
}
// Each byte for which `escape(byte)` holds becomes "%XX"; the others stay. What is escaped
// differs by purpose (an address, a WinInet flag set, a field of an index file), so the
// caller says.
template <class Escape>
std::string PercentEncode(std::string_view text, Escape escape) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (escape(c))
      AppendPercentEscape(out, c);
    else
      out += ch;
  }
  return out;
}

// The byte of a well-formed "%XX" at s[pos] (both digits present); -1 otherwise.
template <class Char>
constexpr int EscapedByteAt(std::basic_string_view<Char> s, std::size_t pos) {
  if (s.size() < 3 || pos > s.size() - 3 || s[pos] != Char('%')) return -1;
  const int hi = HexDigitValue(s[pos + 1]), lo = HexDigitValue(s[pos + 2]);
  return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
}

// What PercentDecode does with "%00": decode it to a NUL byte, or leave the escape as it is
// (a NUL would cut the text short where it is handed on as a C string).
enum class EscapedNul { kDecode, kKeep };
// Every well-formed %XX becomes its byte, once; a lone or malformed "%" stays.
std::string PercentDecode(std::string_view text, EscapedNul nul = EscapedNul::kDecode);
// As PercentDecode, but refuses (false, *out untouched) text that escapes a NUL byte.
bool PercentDecodeNoNul(std::string_view text, std::string* out);

}  // namespace trovex

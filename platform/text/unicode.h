// UTF-8 and UTF-16, independent of the locale: for text that is UTF-8 or UTF-16 by definition
// (the document model's strings, escaped addresses), never for the thread's code page (see
// text.h for that).
//
// Malformed input never stops a conversion and never turns into a character it is not: an
// unpaired surrogate, and each byte that does not start a well-formed UTF-8 character, become
// U+FFFD. Well-formed UTF-8 is the shortest form, no surrogate, at most U+10FFFF, so an
// overlong "/" cannot slip past a check for "/".
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace trovex {

inline constexpr char32_t kReplacementChar = 0xFFFD;

inline constexpr bool IsSurrogate(char32_t c) { return c >= 0xD800 && c <= 0xDFFF; }

// Invisible characters that change how text shows (bidi overrides and marks, joiners, the
// byte-order mark, tags...): Unicode's format characters (Cf). A file name holding one can pass
// for another name ("x<U+202E>fws.exe" shows as "xexe.swf").
inline constexpr bool IsFormatControl(char32_t c) {
  return c == 0x00AD || (c >= 0x0600 && c <= 0x0605) || c == 0x061C || c == 0x06DD ||
         c == 0x070F || c == 0x08E2 || c == 0x180E || (c >= 0x200B && c <= 0x200F) ||
         (c >= 0x202A && c <= 0x202E) || (c >= 0x2060 && c <= 0x2064) ||
         (c >= 0x2066 && c <= 0x206F) || c == 0xFEFF || (c >= 0xFFF9 && c <= 0xFFFB) ||
         c == 0x110BD || c == 0x110CD || (c >= 0x13430 && c <= 0x1343F) ||
         (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A) || c == 0xE0001 ||
         (c >= 0xE0020 && c <= 0xE007F);
}

// The character at `pos` of UTF-16 text, in *cp, and the units it takes (2 for a surrogate
// pair, else 1; 0 when pos >= size). An unpaired surrogate comes back as itself, one unit,
// for the caller to replace as its target wants (IsSurrogate tells).
std::size_t DecodeUtf16(std::u16string_view s, std::size_t pos, char32_t* cp);

// The well-formed UTF-8 character at `pos`, in *cp, and its length in bytes; 0 when the bytes
// there are not one (or pos >= size).
std::size_t DecodeUtf8(std::string_view s, std::size_t pos, char32_t* cp);

// Append one code point (at most U+10FFFF, not a surrogate).
void AppendUtf8(std::string& out, char32_t cp);
void AppendUtf16(std::u16string& out, char32_t cp);

// Whether every byte of s belongs to a well-formed UTF-8 sequence.
bool IsUtf8(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace trovex

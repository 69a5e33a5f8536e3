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

std::string Utf16ToUtf8(std::u16string_view text);
std::u16string Utf8ToUtf16(std::string_view text);

}  // namespace trovex

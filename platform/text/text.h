// Multibyte-aware operations on the application's strings: std::string holding text in the
// code page of the calling thread's LC_CTYPE locale (UTF-8 normally; double-byte code pages
// such as Big5 work too). Characters are stepped with the C library (mbrlen), so a trail byte
// of a double-byte character never matches a single-byte character like "/", "\" or ".".
//
// Conventions: positions and lengths are byte offsets; std::string::npos means "not found".
// A byte that does not start a valid character (invalid, or a truncated sequence at the end)
// counts as one single-byte character. A NUL byte is a one-byte character.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/base/types.h"

namespace trovex {

// Bytes taken by the character that starts at `pos` (1..MB_CUR_MAX); 0 when pos >= size.
std::size_t MbCharLen(std::string_view s, std::size_t pos);
// Offset of the character after the one at `pos` (s.size() at most).
std::size_t MbNextChar(std::string_view s, std::size_t pos);
// Offset of the character that ends just before `pos` (0 when pos == 0). Walks from the
// start, as a double-byte code page cannot be stepped backwards reliably.
std::size_t MbPrevChar(std::string_view s, std::size_t pos);
// Number of characters.
std::size_t MbCharCount(std::string_view s);
// True when `pos` is the start of a character (or the end of the string).
bool MbIsCharBoundary(std::string_view s, std::size_t pos);

// First / last character equal to the single-byte character `ch`, at or after `start`.
// Trail bytes of double-byte characters never match.
std::size_t MbFind(std::string_view s, char ch, std::size_t start = 0);
std::size_t MbReverseFind(std::string_view s, char ch);
// First occurrence of `sub` that starts on a character boundary at or after `start`; `sub`
// must also end on a character boundary of `s`. An empty `sub` is found at `start`.
std::size_t MbFindSubstring(std::string_view s, std::string_view sub, std::size_t start = 0);
// True when no byte below 0x80 of `s` can be part of a longer character, so ASCII searches
// may look at bytes alone: always in single-byte code pages and UTF-8 (whose continuation
// bytes are all above 0x7F), in double-byte code pages such as Big5 only for pure ASCII text.
bool MbAsciiBytesAreChars(std::string_view s);
// Replaces each single-byte character `from` by `to`; trail bytes are never touched.
void MbReplaceChar(std::string& s, char from, char to);
// First character of `s` (at or after `start`) that is one of the characters of `set`.
std::size_t MbFindOneOf(std::string_view s, std::string_view set, std::size_t start = 0);

// Remove every character of `set` (whole characters; multibyte ones allowed) from the end /
// the start. A double-byte character is never split.
void MbTrimRight(std::string& s, std::string_view set);
void MbTrimLeft(std::string& s, std::string_view set);
void MbTrim(std::string& s, std::string_view set);  // right, then left

// Compares character by character; single-byte characters are folded with tolower() of the
// locale, multibyte characters compare by their bytes. <0, 0, >0 like strcmp (bytes unsigned).
int MbCompareNoCase(std::string_view a, std::string_view b);
// Upper / lower case of the single-byte characters only; lead and trail bytes of multibyte
// characters are never touched.
void MbMakeUpper(std::string& s);
void MbMakeLower(std::string& s);
std::string MbToUpper(std::string s);
std::string MbToLower(std::string s);

// A program's first call: the user's locale, and where that is plain ASCII (the C locale)
// UTF-8 for the character type, as today's systems and terminals are.
void SetUpProgramLocale();

// The name of the thread's code page as iconv knows it ("UTF-8", "BIG5", "ANSI_X3.4-1968").
std::string CurrentCodePage();
// True when the thread's code page is UTF-8 or plain ASCII (the C locale). The program's own
// texts are UTF-8 and stay so there: ASCII holds no Chinese, and UTF-8 still reads on most
// terminals.
bool CodePageKeepsUtf8();
// The program's own UTF-8 texts (string table, messages) in the thread's code page: unchanged
// where CodePageKeepsUtf8(), elsewhere a character the code page lacks becomes "?".
std::string Utf8TextToAnsi(std::string_view utf8);

// UTF-16 -> the thread's code page, like WideCharToMultiByte(CP_THREAD_ACP, 0, ...): a
// character the code page cannot hold, and an unpaired surrogate, become "?". Stops at the
// given length (embedded NULs are kept).
std::string Utf16ToAnsi(std::u16string_view text);

// The thread's code page -> UTF-16, like MultiByteToWideChar(CP_THREAD_ACP, 0, ...): each
// byte that does not start a valid character becomes U+FFFD (one per byte), so the length of
// the result never hides a lost byte.
std::u16string AnsiToUtf16(std::string_view text);
// As above but refuses (false, *out untouched) when any byte is invalid.
bool TryAnsiToUtf16(std::string_view text, std::u16string* out);

// The thread's code page -> UTF-8; text that is UTF-8 already where CodePageKeepsUtf8() passes
// unchanged. The first refuses (false, *utf8 untouched) when a byte is not text there; the
// second turns each such byte into U+FFFD.
bool TryAnsiToUtf8(std::string_view ansi, std::string* utf8);
std::string AnsiToUtf8(std::string_view ansi);

}  // namespace trovex

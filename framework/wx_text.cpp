#include "framework/wx_text.h"

#include <cctype>

#include "platform/text/text.h"
#include "res/strings.h"
#include "platform/text/unicode.h"

namespace trovex {

wxString ResStringToWx(unsigned id) {
  const std::string text = LoadResStringUtf8(id);
  return wxString::FromUTF8(text.c_str(), text.size());
}

wxString ToWx(const std::string& text) {
  if (text.empty()) return wxString();
  if (!CodePageKeepsUtf8()) {
    // Up to the first NUL, as a C string would be read.
    std::string utf8;
    if (TryAnsiToUtf8(text.c_str(), &utf8) && !utf8.empty()) return wxString::FromUTF8(utf8);
  }
  wxString s = wxString::FromUTF8(text.c_str(), text.size());
  if (!s.empty()) return s;
  return wxString(text.c_str(), wxConvISO8859_1, text.size());
}

std::string FromWx(const wxString& text) {
  if (CodePageKeepsUtf8()) {
    wxScopedCharBuffer utf8 = text.utf8_str();
    return std::string(utf8.data(), utf8.length());
  }
  std::u16string wide;
  wide.reserve(text.length());
  for (wxUniChar ch : text) {
    const char32_t c = ch.GetValue();
    // A lone surrogate stays one "?": it must not pair up with its neighbour here.
    AppendUtf16(wide, IsSurrogate(c) || c > 0x10FFFF ? U'?' : c);
  }
  return Utf16ToAnsi(wide);
}

}  // namespace trovex

namespace trovex {

wxString LabelWithMnemonic(const wxString& text) {
  const size_t n = text.length();
  if (text.Find('&') != wxNOT_FOUND || n < 3 || text[n - 1] != ')' || text[n - 3] != '(') return text;
  const wxUniChar key = text[n - 2];
  if (!key.IsAscii() || !std::isalnum(static_cast<unsigned char>(key.GetValue()))) return text;
  return text.Left(n - 2) + "&" + text.Right(2);
}

}  // namespace trovex

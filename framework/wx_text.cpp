#include "framework/wx_text.h"

#include <cctype>
#include <cwchar>

#include "platform/text/text.h"
#include "res/strings.h"

namespace trovex {

wxString ResStringToWx(unsigned id) {
  const std::string text = LoadResStringUtf8(id);
  return wxString::FromUTF8(text.c_str(), text.size());
}

wxString ToWx(const std::string& text) {
  if (text.empty()) return wxString();
  if (!CodePageKeepsUtf8()) {
    wxString s(text.c_str(), wxConvLibc);
    if (!s.empty()) return s;
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
  std::string out;
  std::mbstate_t state{};
  char buf[MB_LEN_MAX];
  for (wxUniChar ch : text) {
    size_t n = std::wcrtomb(buf, static_cast<wchar_t>(ch.GetValue()), &state);
    if (n == static_cast<size_t>(-1)) {
      out += '?';
      state = std::mbstate_t{};
    } else {
      out.append(buf, n);
    }
  }
  return out;
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

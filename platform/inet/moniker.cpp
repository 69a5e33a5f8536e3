// The URL moniker parser, for the two actions the scanner uses on file: addresses.
#include <cstring>
#include <string>

#include "platform/inet/inet.h"
#include "platform/inet/url_parse.h"
#include "platform/text/text.h"

namespace trovex {

namespace {

char16_t LowerAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c; }

bool StartsWithNoCase(std::u16string_view s, std::u16string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (LowerAscii(s[i]) != LowerAscii(prefix[i])) return false;
  return true;
}

// The local path of a file: URL, still escaped; false for anything else.
bool PathFromFileUrl(std::u16string_view url, std::u16string* path) {
  if (!StartsWithNoCase(url, u"file:")) return false;
  std::u16string_view rest = url.substr(5);
  if (rest.substr(0, 3) == u"///") {
    rest.remove_prefix(2);
  } else if (StartsWithNoCase(rest, u"//localhost/")) {
    rest.remove_prefix(11);
  } else if (rest.substr(0, 2) == u"//" || rest.empty() || rest[0] != u'/') {
    return false;  // another machine's file, or a relative file: address
  }
  std::size_t cut = rest.find_first_of(u"?#");
  if (cut != std::u16string_view::npos) rest = rest.substr(0, cut);
  *path = std::u16string(rest);
  return true;
}

int HexDigit16(char16_t c) { return c < 0x80 ? inet_detail::HexDigit(static_cast<char>(c)) : -1; }

// Decodes %XX escapes once. Consecutive escapes are decoded together as bytes of the thread's
// code page, so an escaped double-byte or UTF-8 character comes back whole; bytes that are not
// valid text there, and "%00", stay escaped rather than turning into lost or cut-off text.
std::u16string Unescape(std::u16string_view in) {
  std::u16string out;
  std::size_t i = 0;
  while (i < in.size()) {
    if (in[i] != u'%') {
      out.push_back(in[i++]);
      continue;
    }
    std::string bytes;
    std::size_t j = i;
    while (j + 2 < in.size() && in[j] == u'%') {
      int hi = HexDigit16(in[j + 1]), lo = HexDigit16(in[j + 2]);
      if (hi < 0 || lo < 0 || (hi == 0 && lo == 0)) break;
      bytes.push_back(static_cast<char>(hi * 16 + lo));
      j += 3;
    }
    if (bytes.empty()) {
      out.push_back(in[i++]);  // a lone "%" or "%00"
      continue;
    }
    // Character by character: a valid one is decoded, the bytes of an invalid one stay as
    // their escapes.
    for (std::size_t k = 0; k < bytes.size();) {
      std::size_t len = MbCharLen(bytes, k);
      std::u16string decoded;
      if (TryAnsiToUtf16(std::string_view(bytes).substr(k, len), &decoded))
        out += decoded;
      else
        out.append(in.substr(i + 3 * k, 3 * len));
      k += len;
    }
    i = j;
  }
  return out;
}

}  // namespace

HRESULT CoInternetParseUrl(const OLECHAR* url, PARSEACTION action, DWORD /*flags*/, OLECHAR* result,
                           DWORD cchResult, DWORD* pcchResult, DWORD /*reserved*/) {
  if (!url) return E_INVALIDARG;
  if (!pcchResult) return E_POINTER;
  std::u16string_view in(url);
  std::u16string out;
  switch (action) {
    case PARSE_PATH_FROM_URL:
      if (!PathFromFileUrl(in, &out)) return E_INVALIDARG;
      break;
    case PARSE_UNESCAPE:
      out = Unescape(in);
      break;
    default:
      return E_NOTIMPL;
  }
  if (!result || cchResult < out.size() + 1) {
    *pcchResult = static_cast<DWORD>(out.size() + 1);
    return E_POINTER;
  }
  std::memcpy(result, out.c_str(), (out.size() + 1) * sizeof(OLECHAR));
  *pcchResult = static_cast<DWORD>(out.size());
  return S_OK;
}

}  // namespace trovex

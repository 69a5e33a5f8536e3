// The URL moniker parser, for the two actions the scanner uses on file: addresses.
#include <cstring>
#include <string>

#include "platform/inet/inet.h"
#include "platform/inet/url_parse.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"

namespace trovex {

namespace {

// The same rules for UTF-16 text and for plain ASCII bytes, which need no conversion.
// `prefix` is ASCII; `noCase` compares letters regardless of case.
template <class Char>
bool StartsWith(std::basic_string_view<Char> s, std::string_view prefix, bool noCase) {
  if (noCase) return AsciiStartsWithNoCase(s, prefix);
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (s[i] != static_cast<Char>(prefix[i])) return false;
  return true;
}

// The local path of a file: URL, still escaped; false for anything else.
template <class Char>
bool PathFromFileUrl(std::basic_string_view<Char> url, std::basic_string<Char>* path) {
  if (!StartsWith(url, "file:", true)) return false;
  std::basic_string_view<Char> rest = url.substr(5);
  if (StartsWith(rest, "///", false)) {
    rest.remove_prefix(2);
  } else if (StartsWith(rest, "//localhost/", true)) {
    rest.remove_prefix(11);
  } else if (StartsWith(rest, "//", false) || rest.empty() || rest[0] != '/') {
    return false;  // another machine's file, or a relative file: address
  }
  std::size_t cut = 0;
  while (cut < rest.size() && rest[cut] != '?' && rest[cut] != '#') ++cut;
  *path = std::basic_string<Char>(rest.substr(0, cut));
  return true;
}

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
    // Not PercentDecode: runs of escapes are gathered to be read as characters below.
    for (int byte; (byte = EscapedByteAt(in, j)) > 0; j += 3) bytes.push_back(static_cast<char>(byte));
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

bool PlainFilePathFromUrl(std::string_view url, bool* local, std::string* path) {
  if (url.find('%') != std::string_view::npos || AsciiPrefixLength(url) != url.size()) return false;
  *local = PathFromFileUrl<char>(url, path);
  return true;
}

HRESULT CoInternetParseUrl(const OLECHAR* url, PARSEACTION action, DWORD /*flags*/, OLECHAR* result,
                           DWORD cchResult, DWORD* pcchResult, DWORD /*reserved*/) {
  if (!url) return E_INVALIDARG;
  if (!pcchResult) return E_POINTER;
  std::u16string_view in(url);
  std::u16string out;
  switch (action) {
    case PARSE_PATH_FROM_URL:
      if (!PathFromFileUrl<char16_t>(in, &out)) return E_INVALIDARG;
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

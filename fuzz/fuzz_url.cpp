// The URL functions on arbitrary text: cracking (every buffer mode), composing again from the
// parts, canonicalising with each flag set (and the check of addresses already canonical), the
// framework parser, file: paths and the cache key.
// The first byte picks flags; the rest is the address.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_env.h"
#include "platform/inet/inet.h"
#include "platform/inet/url_parse.h"
#include "platform/text/unicode.h"

using namespace trovex;

namespace {

void Crack(const std::string& url, DWORD flags, bool pointers) {
  char scheme[64], host[128], user[64], password[64], path[512], extra[512];
  URL_COMPONENTSA uc;
  std::memset(&uc, 0, sizeof uc);
  uc.dwStructSize = sizeof uc;
  if (pointers) {
    uc.dwSchemeLength = uc.dwHostNameLength = uc.dwUserNameLength = uc.dwPasswordLength = 1;
    uc.dwUrlPathLength = uc.dwExtraInfoLength = 1;
  } else {
    uc.lpszScheme = scheme;
    uc.dwSchemeLength = sizeof scheme;
    uc.lpszHostName = host;
    uc.dwHostNameLength = sizeof host;
    uc.lpszUserName = user;
    uc.dwUserNameLength = sizeof user;
    uc.lpszPassword = password;
    uc.dwPasswordLength = sizeof password;
    uc.lpszUrlPath = path;
    uc.dwUrlPathLength = sizeof path;
    uc.lpszExtraInfo = extra;
    uc.dwExtraInfoLength = sizeof extra;
  }
  if (!InternetCrackUrlA(url.c_str(), static_cast<DWORD>(url.size()), flags, &uc)) return;
  if (pointers) {
    // Every part points into the address.
    for (auto [p, n] : {std::pair{uc.lpszScheme, uc.dwSchemeLength}, {uc.lpszHostName, uc.dwHostNameLength},
                        {uc.lpszUrlPath, uc.dwUrlPathLength}, {uc.lpszExtraInfo, uc.dwExtraInfoLength}})
      if (p && (p < url.c_str() || p + n > url.c_str() + url.size())) __builtin_trap();
    return;
  }
  char composed[2048];
  DWORD length = sizeof composed;
  InternetCreateUrlA(&uc, 0, composed, &length);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  if (size == 0) return 0;
  const std::uint8_t mode = data[0];
  std::string url(reinterpret_cast<const char*>(data + 1), size - 1);
  std::string text = url.substr(0, url.find('\0'));

  Crack(text, (mode & 1) ? ICU_DECODE : 0, (mode & 2) != 0);

  static const DWORD kFlags[] = {ICU_NO_ENCODE, 0, ICU_DECODE | ICU_NO_ENCODE, ICU_NO_META,
                                 ICU_ENCODE_SPACES_ONLY, ICU_ENCODE_PERCENT};
  DWORD flags = kFlags[(mode >> 2) % (sizeof kFlags / sizeof kFlags[0])];
  DWORD length = 0;
  if (!InternetCanonicalizeUrlA(text.c_str(), nullptr, &length, flags) &&
      GetLastError() == ERROR_INSUFFICIENT_BUFFER) {
    std::vector<char> buffer(length);
    DWORD given = length;
    if (!InternetCanonicalizeUrlA(text.c_str(), buffer.data(), &given, flags) || given + 1 != length)
      __builtin_trap();  // the size asked for must be enough, and exact
  }

  // An address taken as its own canonical form (keyed without canonicalising) must be one.
  if (inet_detail::IsItsOwnCanonicalForm(text)) {
    std::string canonical;
    if (CanonicalizeUrl(text, ICU_NO_ENCODE, &canonical) && canonical != text) __builtin_trap();
  }

  DWORD service;
  std::string server, object;
  INTERNET_PORT port;
  AfxParseURL(text.c_str(), service, server, object, port);

  std::u16string wide = Utf8ToUtf16(text);
  for (PARSEACTION action : {PARSE_PATH_FROM_URL, PARSE_UNESCAPE}) {
    OLECHAR out[300];
    DWORD written = 0;
    HRESULT hr = CoInternetParseUrl(wide.c_str(), action, 0, out, 300, &written, 0);
    if (hr == S_OK && written >= 300) __builtin_trap();
  }

  // The cache key, through a look-up in an empty cache.
  DWORD needed = 0;
  if (!text.empty()) GetUrlCacheEntryInfoA(text.c_str(), nullptr, &needed);
  return 0;
}

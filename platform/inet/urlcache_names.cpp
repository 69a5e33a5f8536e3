#include "platform/inet/urlcache_names.h"

#include <algorithm>
#include <cstring>

#include "platform/inet/inet.h"
#include "platform/inet/url_parse.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"
#include "platform/text/unicode.h"

namespace trovex {
namespace {

constexpr std::size_t kMaxExtBytes = 16;

void AppendEscape(std::u16string& out, unsigned char c) {
  std::string text;
  AppendPercentEscape(text, c);
  out.append(text.begin(), text.end());
}

// Characters a cache file name may not hold become "_"; trail bytes are left alone.
std::string SanitizeName(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    std::size_t len = MbCharLen(text, i);
    if (len == 1) {
      unsigned char c = static_cast<unsigned char>(text[i]);
      out += (c < 0x20 || c == 0x7F || std::strchr("\\/:*?\"<>|[]", c)) ? '_' : text[i];
    } else {
      out.append(text.substr(i, len));
    }
    i += len;
  }
  return out;
}

}  // namespace

std::string UrlSegmentText(std::string_view segment) {
  std::string raw = PercentDecode(segment);
  std::u16string wide;
  for (std::size_t i = 0; i < raw.size();) {
    char32_t cp;
    std::size_t len = DecodeUtf8(raw, i, &cp);
    if (len == 0) {
      AppendEscape(wide, static_cast<unsigned char>(raw[i]));
      ++i;
      continue;
    }
    if (!IsFormatControl(cp)) AppendUtf16(wide, cp);  // never in a name a user will see
    i += len;
  }
  return Utf16ToAnsi(wide);
}

void CutFileNameToBytes(std::string& s, std::size_t max) {
  if (s.size() <= max) return;
  std::size_t keep = 0;
  for (std::size_t i = 0; i < s.size();) {
    std::size_t next = MbNextChar(s, i);
    if (next > max) break;
    keep = next;
    i = next;
  }
  s.erase(keep);
}

namespace urlcache {

// Name and extension of the key's last path segment (query and fragment removed), as text of
// the thread's code page: escapes are decoded for the name, UTF-8 becomes the locale's
// characters (those it lacks end as "_"), and a byte that is no UTF-8 stays "%XX".
void NameParts(std::string_view key, std::string* name, std::string* ext) {
  inet_detail::UrlParts parts;
  std::string_view path = key;
  if (inet_detail::SplitUrl(key, &parts) == ERROR_SUCCESS) {
    path = parts.path;
  } else {
    std::size_t cut = std::min(path.find('?'), path.find('#'));  // keys are ASCII
    if (cut != std::string::npos) path = path.substr(0, cut);
  }
  std::size_t slash = path.rfind('/');
  if (slash != std::string::npos) path.remove_prefix(slash + 1);
  std::string segment = UrlSegmentText(path);
  // The extension first, so that "....swf" keeps it.
  std::size_t dot = MbReverseFind(segment, '.');
  if (dot != std::string::npos) {
    *ext = SanitizeName(std::string_view(segment).substr(dot + 1));
    segment.erase(dot);
  } else {
    ext->clear();
  }
  MbTrimLeft(segment, ".");
  *name = SanitizeName(segment);
  MbTrimRight(*name, ".");
  CutFileNameToBytes(*name, kMaxFileNameBytes);
  CutFileNameToBytes(*ext, kMaxExtBytes);
  if (name->empty()) *name = "unnamed";
}

std::string CounterName(const std::string& name, const std::string& ext, unsigned n) {
  std::string file = name + "[" + std::to_string(n) + "]";
  if (!ext.empty()) file += "." + ext;
  return file;
}

namespace {

// What the canonicaliser makes of `url` (the address itself when it makes nothing).
std::string Canonicalized(const std::string& url) {
  DWORD saved = GetLastError();
  std::string canonical;
  // Up to the first NUL, as the C string the cache's callers hand over.
  const bool made = CanonicalizeUrl(std::string_view(url.c_str()), ICU_NO_ENCODE, &canonical);
  SetLastError(saved);
  return made && !canonical.empty() ? canonical : url;
}

}  // namespace

// The canonical form of `url` (the address itself when it has none).
std::string CanonicalForm(const std::string& url) {
  return inet_detail::IsItsOwnCanonicalForm(url) ? url : Canonicalized(url);
}

// The key under which an address is stored and looked up: the address's text taken from the
// thread's code page to UTF-8, then every byte that may not stand in an address as it is (the
// non-ASCII bytes, controls, space, quote, angle brackets, backquote) %-escaped and the escapes
// of non-ASCII bytes written with upper-case digits. Raw and escaped spellings of the same
// bytes thus meet, and the key is plain ASCII whatever the locale. Escapes of the other ASCII
// characters are never touched: "%2F" is not "/", nor "%3F" "?", nor "%25" "%".
// A byte that is not text in the code page is taken as it is and escaped.
// A "#fragment" is no part of the key: it is never sent to a server, so it cannot name another
// resource, and the page loader stores addresses without it while pages name movies with it.
std::string AddressKey(std::string_view address) {
  // The usual address has nothing to escape: its key is the address up to its fragment.
  if (std::all_of(address.begin(), address.end(), [](char c) {
        return c != '%' && !IsUnsafeInAddress(static_cast<unsigned char>(c));
      }))
    return std::string(address.substr(0, address.find('#')));
  std::string utf8;
  bool ascii = std::all_of(address.begin(), address.end(),
                           [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  std::u16string wide;
  if (ascii) {
    utf8 = address;
  } else if (TryAnsiToUtf16(address, &wide)) {
    utf8 = Utf16ToUtf8(wide);
  } else {
    // Character by character, so that one stray byte keeps the rest readable.
    for (std::size_t i = 0; i < address.size();) {
      std::size_t len = MbCharLen(address, i);
      std::string_view ch = address.substr(i, len);
      if (len == 1 && static_cast<unsigned char>(ch[0]) < 0x80) {
        utf8 += ch;
      } else if (TryAnsiToUtf16(ch, &wide)) {
        utf8 += Utf16ToUtf8(wide);
      } else {
        for (char byte : ch) AppendPercentEscape(utf8, static_cast<unsigned char>(byte));
      }
      i += len;
    }
  }

  std::string key;
  key.reserve(utf8.size());
  for (std::size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (const int escaped = EscapedByteAt(std::string_view(utf8), i); escaped >= 0x80) {
      AppendPercentEscape(key, static_cast<unsigned char>(escaped));
      i += 2;
      continue;
    }
    if (IsUnsafeInAddress(c))
      AppendPercentEscape(key, c);
    else
      key += static_cast<char>(c);
  }
  // Cut in the key, which is ASCII: no trail byte of the caller's code page can pass for "#".
  std::size_t hash = key.find('#');
  if (hash != std::string::npos) key.erase(hash);
  return key;
}

std::string CacheKey(const std::string& url) {
  if (inet_detail::IsItsOwnCanonicalForm(url)) return AddressKey(url);
  return AddressKey(Canonicalized(url));
}

}  // namespace urlcache
}  // namespace trovex

// Cracking, composing and canonicalising URLs the way WinInet does for the cases the system
// meets: http(s), ftp, gopher and file addresses, with ANSI text that may hold double-byte
// characters (every search steps whole characters).
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/inet/inet.h"
#include "platform/inet/url_parse.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"

namespace trovex {

namespace inet_detail {

namespace {

struct SchemeInfo {
  const char* name;
  INTERNET_SCHEME scheme;
  INTERNET_PORT port;
};

constexpr SchemeInfo kSchemes[] = {
    {"ftp", INTERNET_SCHEME_FTP, INTERNET_DEFAULT_FTP_PORT},
    {"gopher", INTERNET_SCHEME_GOPHER, 0},  // WinInet reports no default port for gopher
    {"http", INTERNET_SCHEME_HTTP, INTERNET_DEFAULT_HTTP_PORT},
    {"https", INTERNET_SCHEME_HTTPS, INTERNET_DEFAULT_HTTPS_PORT},
    {"file", INTERNET_SCHEME_FILE, 0},
    {"news", INTERNET_SCHEME_NEWS, 0},
    {"mailto", INTERNET_SCHEME_MAILTO, 0},
    {"socks", INTERNET_SCHEME_SOCKS, 0},
    {"javascript", INTERNET_SCHEME_JAVASCRIPT, 0},
    {"vbscript", INTERNET_SCHEME_VBSCRIPT, 0},
    {"res", INTERNET_SCHEME_RES, 0},
};

bool IsSchemeChar(char c, bool first) {
  unsigned char u = static_cast<unsigned char>(c);
  if (u >= 0x80) return false;
  if ((u | 0x20) >= 'a' && (u | 0x20) <= 'z') return true;
  return !first && ((u >= '0' && u <= '9') || c == '+' || c == '-' || c == '.');
}

// A dot segment starts right after a "/" with "." or "%2e"; without either a path keeps its
// segments.
bool MayHaveDotSegments(std::string_view path) {
  return path.find("/.") != std::string_view::npos || path.find("/%2") != std::string_view::npos;
}

bool EndsHostAtBackslash(INTERNET_SCHEME scheme) {
  return scheme == INTERNET_SCHEME_HTTP || scheme == INTERNET_SCHEME_HTTPS ||
         scheme == INTERNET_SCHEME_FTP;
}

}  // namespace

INTERNET_SCHEME SchemeFromName(std::string_view name) {
  // The usual ASCII name is folded here; any other goes through the locale's case rules.
  bool ascii = true;
  for (char c : name) ascii = ascii && static_cast<unsigned char>(c) < 0x80;
  auto same = [ascii](std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (!ascii) return MbCompareNoCase(a, b) == 0;
    for (std::size_t i = 0; i < a.size(); ++i)
      if (AsciiLower(a[i]) != b[i]) return false;
    return true;
  };
  for (const auto& s : kSchemes)
    if (same(name, s.name)) return s.scheme;
  return INTERNET_SCHEME_UNKNOWN;
}

const char* SchemeName(INTERNET_SCHEME scheme) {
  for (const auto& s : kSchemes)
    if (s.scheme == scheme) return s.name;
  return nullptr;
}

INTERNET_PORT DefaultPort(INTERNET_SCHEME scheme) {
  for (const auto& s : kSchemes)
    if (s.scheme == scheme) return s.port;
  return 0;
}

bool IsHierarchical(INTERNET_SCHEME scheme) {
  switch (scheme) {
    case INTERNET_SCHEME_FTP:
    case INTERNET_SCHEME_GOPHER:
    case INTERNET_SCHEME_HTTP:
    case INTERNET_SCHEME_HTTPS:
    case INTERNET_SCHEME_FILE:
    case INTERNET_SCHEME_RES:
      return true;
    default:
      return false;
  }
}

DWORD SplitUrl(std::string_view url, UrlParts* p) {
  *p = UrlParts{};
  // Scheme: letters, digits, "+", "-", "." up to the first ":".
  std::size_t colon = 0;
  while (colon < url.size() && IsSchemeChar(url[colon], colon == 0)) ++colon;
  if (colon == 0 || colon >= url.size() || url[colon] != ':')
    return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
  p->scheme = url.substr(0, colon);
  p->nScheme = SchemeFromName(p->scheme);

  std::size_t pos = colon + 1;
  std::size_t pathStart = pos;
  if (url.substr(pos, 2) == "//") {
    p->hasAuthority = true;
    std::size_t authStart = pos + 2;
    // Web addresses end their host at "\" as at "/": old pages write "http://host\a.swf".
    std::size_t authEnd = MbFindOneOf(url, EndsHostAtBackslash(p->nScheme) ? "/?#\\" : "/?#",
                                      authStart);
    if (authEnd == std::string::npos) authEnd = url.size();
    std::string_view auth = url.substr(authStart, authEnd - authStart);
    pathStart = authEnd;

    // user[:password]@ ends at the last "@" of the authority.
    std::size_t at = MbReverseFind(auth, '@');
    std::string_view hostPort = auth;
    if (at != std::string::npos) {
      std::string_view userInfo = auth.substr(0, at);
      hostPort = auth.substr(at + 1);
      std::size_t pc = MbFind(userInfo, ':');
      p->hasUser = true;
      if (pc != std::string::npos) {
        p->user = userInfo.substr(0, pc);
        p->password = userInfo.substr(pc + 1);
        p->hasPassword = true;
      } else {
        p->user = userInfo;
      }
    }
    // host[:port]; a bracketed IPv6 literal keeps its colons.
    std::size_t portColon = std::string::npos;
    if (!hostPort.empty() && hostPort[0] == '[') {
      std::size_t close = MbFind(hostPort, ']');
      if (close == std::string::npos) return ERROR_INTERNET_INVALID_URL;
      if (close + 1 < hostPort.size()) {
        if (hostPort[close + 1] != ':') return ERROR_INTERNET_INVALID_URL;
        portColon = close + 1;
      }
    } else {
      portColon = MbReverseFind(hostPort, ':');
    }
    if (portColon != std::string::npos) {
      p->host = hostPort.substr(0, portColon);
      p->portText = hostPort.substr(portColon + 1);
      if (!p->portText.empty()) {
        unsigned long value = 0;
        for (char c : p->portText) {
          if (c < '0' || c > '9') return ERROR_INTERNET_INVALID_URL;
          value = value * 10 + static_cast<unsigned>(c - '0');
          if (value > 65535) return ERROR_INTERNET_INVALID_URL;
        }
        p->hasPort = true;
        p->port = static_cast<INTERNET_PORT>(value);
      }
    } else {
      p->host = hostPort;
    }
  }
  if (!p->hasPort) p->port = DefaultPort(p->nScheme);

  std::size_t extraStart = MbFindOneOf(url, "?#", pathStart);
  if (extraStart == std::string::npos) extraStart = url.size();
  p->path = url.substr(pathStart, extraStart - pathStart);
  p->extra = url.substr(extraStart);
  return ERROR_SUCCESS;
}

bool IsItsOwnCanonicalForm(std::string_view url) {
  for (char c : url) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7F || c == '\\') return false;
  }
  std::size_t colon = 0;
  while (colon < url.size() && IsSchemeChar(url[colon], colon == 0)) {
    if (url[colon] >= 'A' && url[colon] <= 'Z') return false;
    ++colon;
  }
  if (colon == 0 || colon >= url.size() || url[colon] != ':') return true;  // fails: no scheme
  std::size_t pos = colon + 1;
  if (url.substr(pos, 2) == "//") {
    for (pos += 2; pos < url.size() && url[pos] != '/' && url[pos] != '?' && url[pos] != '#'; ++pos)
      if (url[pos] >= 'A' && url[pos] <= 'Z') return false;  // the host is folded
    const std::string_view scheme = url.substr(0, colon);  // lower case by now
    const bool web = scheme == "http" || scheme == "https" || scheme == "ftp" || scheme == "gopher";
    if (web && (pos == url.size() || url[pos] != '/')) return false;  // gets "/" as its path
  }
  // No dot segment in the path, which ends at the query or fragment.
  const std::size_t pathEnd = std::min(url.find('?', pos), url.find('#', pos));
  return !MayHaveDotSegments(url.substr(pos, pathEnd - pos));  // npos: to the end
}

}  // namespace inet_detail

using namespace inet_detail;

namespace {

bool StructSizeOk(DWORD size) {
  return size == URL_COMPONENTSA_SIZE_32 || size == sizeof(URL_COMPONENTSA);
}

struct Slot {
  char** ptr;
  DWORD* len;
  std::string_view value;  // the text in the URL
  bool present;            // false: the component does not occur at all
};

}  // namespace

BOOL InternetCrackUrlA(const char* url, DWORD length, DWORD flags, URL_COMPONENTSA* uc) {
  if (!url || !uc || !StructSizeOk(uc->dwStructSize)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // An explicit length never reaches past the terminator.
  std::string_view text(url, length ? strnlen(url, length) : std::strlen(url));
  UrlParts parts;
  if (DWORD err = SplitUrl(text, &parts)) {
    SetLastError(err);
    return FALSE;
  }

  Slot slots[] = {
      {&uc->lpszScheme, &uc->dwSchemeLength, parts.scheme, true},
      // A file: address has no host to hand out; other schemes give an empty one.
      {&uc->lpszHostName, &uc->dwHostNameLength, parts.host,
       parts.nScheme != INTERNET_SCHEME_FILE || !parts.host.empty()},
      {&uc->lpszUserName, &uc->dwUserNameLength, parts.user, parts.hasUser},
      {&uc->lpszPassword, &uc->dwPasswordLength, parts.password, parts.hasPassword},
      // Without a request for the extra info, the path keeps the query and fragment.
      {&uc->lpszUrlPath, &uc->dwUrlPathLength,
       uc->dwExtraInfoLength ? parts.path
                             : std::string_view(parts.path.data(), parts.path.size() + parts.extra.size()),
       true},
      {&uc->lpszExtraInfo, &uc->dwExtraInfoLength, parts.extra, !parts.extra.empty()},
  };

  // Check every caller buffer first so that a failure leaves none half-written.
  std::string decoded[6];
  bool tooSmall = false;
  for (int i = 0; i < 6; ++i) {
    Slot& s = slots[i];
    if (!*s.ptr || *s.len == 0) continue;
    decoded[i] = (flags & ICU_DECODE) && i >= 2 ? PercentDecode(s.value, EscapedNul::kKeep) : std::string(s.value);
    if (decoded[i].size() + 1 > *s.len) {
      *s.len = static_cast<DWORD>(decoded[i].size() + 1);
      tooSmall = true;
    }
  }
  if (tooSmall) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  for (int i = 0; i < 6; ++i) {
    Slot& s = slots[i];
    if (*s.ptr && *s.len) {
      std::memcpy(*s.ptr, decoded[i].data(), decoded[i].size());
      (*s.ptr)[decoded[i].size()] = '\0';
      *s.len = static_cast<DWORD>(decoded[i].size());
    } else if (*s.len) {
      // Pointer into the caller's URL.
      if (s.present) {
        // A part the address does not spell out (the host of "about:blank") points to where
        // it would stand, after the scheme.
        std::size_t at = s.value.data() ? static_cast<std::size_t>(s.value.data() - text.data())
                                        : parts.scheme.size() + 1;
        *s.ptr = const_cast<char*>(url + at);
        *s.len = static_cast<DWORD>(s.value.size());
      } else {
        *s.ptr = nullptr;
        *s.len = 0;
      }
    }
  }
  uc->nScheme = parts.nScheme;
  uc->nPort = parts.port;
  return TRUE;
}

namespace {

// A component given to InternetCreateUrlA: its length member, or up to the terminator.
std::string_view Component(const char* p, DWORD len) {
  if (!p) return {};
  return len ? std::string_view(p, len) : std::string_view(p);
}

}  // namespace

BOOL InternetCreateUrlA(const URL_COMPONENTSA* uc, DWORD /*flags*/, char* buffer, DWORD* length) {
  if (!uc || !length || !StructSizeOk(uc->dwStructSize)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string scheme(Component(uc->lpszScheme, uc->dwSchemeLength));
  INTERNET_SCHEME nScheme;
  if (!scheme.empty()) {
    nScheme = SchemeFromName(scheme);  // the text wins over nScheme
  } else {
    nScheme = uc->nScheme == INTERNET_SCHEME_DEFAULT ? INTERNET_SCHEME_HTTP : uc->nScheme;
    const char* name = SchemeName(nScheme);
    if (!name) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    scheme = name;
  }
  std::string_view host = Component(uc->lpszHostName, uc->dwHostNameLength);
  bool hasUser = uc->lpszUserName != nullptr;
  bool hasPassword = uc->lpszPassword != nullptr;
  std::string_view user = Component(uc->lpszUserName, uc->dwUserNameLength);
  std::string_view password = Component(uc->lpszPassword, uc->dwPasswordLength);
  if (hasPassword && !hasUser) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }

  std::string url = scheme + ":";
  if (!host.empty() || IsHierarchical(nScheme)) {
    url += "//";
    if (hasUser && !(user.empty() && (!hasPassword || password.empty()))) {
      url += user;
      if (hasPassword) {
        url += ":";
        url += password;
      }
      url += "@";
    }
    url += host;
    if (!host.empty() && uc->nPort != 0 && uc->nPort != DefaultPort(nScheme)) {
      url += ":";
      url += std::to_string(uc->nPort);
    }
  }
  url += Component(uc->lpszUrlPath, uc->dwUrlPathLength);
  url += Component(uc->lpszExtraInfo, uc->dwExtraInfoLength);

  if (!buffer || *length < url.size() + 1) {
    *length = static_cast<DWORD>(url.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, url.c_str(), url.size() + 1);
  *length = static_cast<DWORD>(url.size());
  return TRUE;
}

namespace {

// A segment spelling "." or ".." with "%2e" escapes: a server decodes it to the same file.
bool IsDotSegment(std::string_view seg, std::size_t dots) {
  std::size_t count = 0;
  for (std::size_t i = 0; i < seg.size(); ++count) {
    if (seg[i] == '.') {
      ++i;
    } else if (seg.size() - i >= 3 && seg[i] == '%' && seg[i + 1] == '2' &&
               (seg[i + 2] == 'e' || seg[i + 2] == 'E')) {
      i += 3;
    } else {
      return false;
    }
  }
  return count == dots;
}

// "." and ".." segments of an absolute path; a ".." at the root stays at the root.
std::string RemoveDotSegments(std::string_view path) {
  std::vector<std::string_view> out;
  bool trailingSlash = false;
  std::size_t pos = 1;  // path[0] == '/'
  while (pos <= path.size()) {
    std::size_t end = MbFind(path, '/', pos);
    if (end == std::string::npos) end = path.size();
    std::string_view seg = path.substr(pos, end - pos);
    bool last = end == path.size();
    if (IsDotSegment(seg, 1)) {
      trailingSlash = last;
    } else if (IsDotSegment(seg, 2)) {
      if (!out.empty()) out.pop_back();
      trailingSlash = last;
    } else {
      out.push_back(seg);
      trailingSlash = false;
    }
    pos = end + 1;
  }
  std::string result;
  for (std::size_t i = 0; i < out.size(); ++i) {
    result += '/';
    result += out[i];
  }
  if (trailingSlash || result.empty()) result += '/';
  return result;
}

bool IsUnsafe(unsigned char c, DWORD flags) {
  if (flags & ICU_ENCODE_SPACES_ONLY) return c == ' ';
  if (c <= 0x20 || c >= 0x7F) return true;
  if (c == '%') return (flags & ICU_ENCODE_PERCENT) != 0;
  return std::strchr("<>\"{}|^`", c) != nullptr;
}

std::string Encode(std::string_view text, DWORD flags) {
  return PercentEncode(text, [flags](unsigned char c) { return IsUnsafe(c, flags); });
}

// ERROR_SUCCESS and the canonical form, or an error.
DWORD Canonicalize(std::string_view input, DWORD flags, std::string* result) {
  // Leading and trailing blanks and control characters are dropped (never trail bytes). Most
  // addresses need neither that nor decoding and are read where they stand.
  std::string owned;
  std::string_view url = input;
  static const std::string kBlanks = [] {
    std::string s;
    for (int c = 1; c <= 0x20; ++c) s.push_back(static_cast<char>(c));
    return s;
  }();
  auto blank = [](char c) { return c != 0 && static_cast<unsigned char>(c) <= 0x20; };
  if (!url.empty() && (blank(url.front()) || blank(url.back()))) {
    owned.assign(url);
    MbTrim(owned, kBlanks);
    url = owned;
  }
  if (flags & ICU_DECODE) {
    owned = PercentDecode(url, EscapedNul::kKeep);
    url = owned;
  }

  UrlParts parts;
  if (SplitUrl(url, &parts) != ERROR_SUCCESS) return ERROR_INTERNET_INVALID_URL;

  std::string out;
  out.reserve(url.size() + 1);
  out = parts.scheme;
  MbMakeLower(out);
  out += ':';
  if (parts.hasAuthority) {
    out += "//";
    if (parts.hasUser) {
      out += parts.user;
      if (parts.hasPassword) {
        out += ':';
        out += parts.password;
      }
      out += '@';
    }
    const std::string_view host = parts.host;
    if (std::all_of(host.begin(), host.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
      for (char c : host) out += AsciiLower(c);  // host names fold by ASCII rules in every locale
    } else {
      out += MbToLower(std::string(host));
    }
    // The port stays exactly as written (":80" included).
    std::size_t hostEnd = parts.host.data() + parts.host.size() - url.data();
    std::size_t pathStart = parts.path.data() - url.data();
    out.append(url, hostEnd, pathStart - hostEnd);
  }
  bool webScheme = parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS ||
                   parts.nScheme == INTERNET_SCHEME_FTP || parts.nScheme == INTERNET_SCHEME_GOPHER;
  // The path is copied only when one of the steps below changes it.
  std::string changed;
  std::string_view path = parts.path;
  if (webScheme) {
    // "\" is a separator in web addresses; a trail byte 0x5C is not touched.
    if (path.find('\\') != std::string_view::npos) {
      changed.assign(path);
      MbReplaceChar(changed, '\\', '/');
      path = changed;
    }
    if (parts.hasAuthority && path.empty()) path = "/";
  }
  if (!(flags & ICU_NO_META) && !path.empty() && path[0] == '/' && MayHaveDotSegments(path)) {
    changed = RemoveDotSegments(path);
    path = changed;
  }
  if (!(flags & ICU_NO_ENCODE)) {
    changed = Encode(path, flags);
    path = changed;
  }
  out += path;
  out += parts.extra;
  *result = std::move(out);
  return ERROR_SUCCESS;
}

}  // namespace

bool CanonicalizeUrl(std::string_view url, DWORD flags, std::string* result) {
  if (DWORD err = Canonicalize(url.substr(0, url.find('\0')), flags, result)) {
    SetLastError(err);
    return false;
  }
  return true;
}

BOOL InternetCanonicalizeUrlA(const char* url, char* buffer, DWORD* length, DWORD flags) {
  if (!url || !length) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string result;
  if (DWORD err = Canonicalize(url, flags, &result)) {
    SetLastError(err);
    return FALSE;
  }
  if (!buffer || *length < result.size() + 1) {
    *length = static_cast<DWORD>(result.size() + 1);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(buffer, result.c_str(), result.size() + 1);
  *length = static_cast<DWORD>(result.size());
  return TRUE;
}

BOOL AfxParseURL(const char* url, DWORD& serviceType, std::string& server, std::string& object,
                 INTERNET_PORT& port) {
  serviceType = AFX_INET_SERVICE_UNK;
  server.clear();
  object.clear();
  port = 0;
  if (!url) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string_view text(url);
  // Only an address that names its scheme with "://" is a URL here; "intro.swf" or
  // "host/x.swf" are not.
  if (MbFindSubstring(text, "://") == std::string::npos) {
    SetLastError(ERROR_INTERNET_UNRECOGNIZED_SCHEME);
    return FALSE;
  }
  UrlParts parts;
  if (DWORD err = SplitUrl(text, &parts)) {
    SetLastError(err);
    return FALSE;
  }
  if (!parts.hasAuthority) {
    SetLastError(ERROR_INTERNET_INVALID_URL);
    return FALSE;
  }
  switch (parts.nScheme) {
    case INTERNET_SCHEME_FTP: serviceType = AFX_INET_SERVICE_FTP; break;
    case INTERNET_SCHEME_GOPHER: serviceType = AFX_INET_SERVICE_GOPHER; break;
    case INTERNET_SCHEME_HTTP: serviceType = AFX_INET_SERVICE_HTTP; break;
    case INTERNET_SCHEME_HTTPS: serviceType = AFX_INET_SERVICE_HTTPS; break;
    case INTERNET_SCHEME_FILE: serviceType = AFX_INET_SERVICE_FILE; break;
    case INTERNET_SCHEME_MAILTO: serviceType = AFX_INET_SERVICE_MAILTO; break;
    case INTERNET_SCHEME_NEWS: serviceType = AFX_INET_SERVICE_NEWS; break;
    default: serviceType = AFX_INET_SERVICE_UNK; break;
  }
  server = parts.host;
  port = parts.port;
  // The object is what a request names: path and query; the fragment stays in the browser.
  std::string_view query = parts.extra;
  if (!query.empty() && query[0] == '#') query = {};
  std::size_t hash = MbFind(query, '#');
  if (hash != std::string::npos) query = query.substr(0, hash);
  object = parts.path.empty() ? std::string("/") : std::string(parts.path);
  object += query;
  return TRUE;
}

}  // namespace trovex

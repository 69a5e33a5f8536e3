// Resolving a reference against an absolute address, as browsers do: the one resolver of the
// tree (the browser's pages, frames and movies, and the download session's redirects).
#include "platform/inet/url_resolve.h"

#include <vector>

#include "platform/text/ascii.h"

namespace trovex {
namespace {

// Length of "scheme:" at the start of s (0 when there is none).
std::size_t SchemeLength(std::string_view s) {
  if (s.empty() || !IsAsciiAlpha(s[0])) return 0;
  for (std::size_t i = 1; i < s.size(); ++i) {
    char c = s[i];
    if (c == ':') return i + 1;
    if (!IsAsciiAlpha(c) && !IsAsciiDigit(c) && c != '+' && c != '-' && c != '.') return 0;
  }
  return 0;
}

bool IsSpecial(std::string_view scheme) {
  return scheme == "http" || scheme == "https" || scheme == "file";
}

struct Parts {
  std::string scheme;  // lower case, without ":"
  bool hasAuthority = false;
  std::string authority;
  std::string path;
  bool hasQuery = false;
  std::string query;
  bool hasFragment = false;
  std::string fragment;
};

// Splits what follows "scheme:" (or a whole relative reference).
void SplitRest(std::string_view s, Parts* p) {
  std::size_t hash = s.find('#');
  if (hash != std::string_view::npos) {
    p->hasFragment = true;
    p->fragment = std::string(s.substr(hash + 1));
    s = s.substr(0, hash);
  }
  std::size_t q = s.find('?');
  if (q != std::string_view::npos) {
    p->hasQuery = true;
    p->query = std::string(s.substr(q + 1));
    s = s.substr(0, q);
  }
  if (s.size() >= 2 && s[0] == '/' && s[1] == '/') {
    p->hasAuthority = true;
    s.remove_prefix(2);
    std::size_t slash = s.find('/');
    p->authority = std::string(s.substr(0, slash));
    s = slash == std::string_view::npos ? std::string_view() : s.substr(slash);
  }
  p->path = std::string(s);
}

// RFC 3986, 5.2.4.
std::string RemoveDotSegments(std::string_view in) {
  std::vector<std::string_view> out;
  bool absolute = !in.empty() && in[0] == '/';
  std::size_t pos = absolute ? 1 : 0;
  bool trailingSlash = false;
  while (pos <= in.size()) {
    std::size_t next = in.find('/', pos);
    std::string_view seg = in.substr(pos, next == std::string_view::npos ? std::string_view::npos : next - pos);
    bool last = next == std::string_view::npos;
    if (seg == ".") {
      trailingSlash = true;
    } else if (seg == "..") {
      if (!out.empty()) out.pop_back();
      trailingSlash = true;
    } else {
      out.push_back(seg);
      trailingSlash = false;
    }
    if (last) break;
    pos = next + 1;
  }
  std::string result = absolute ? "/" : "";
  for (std::size_t i = 0; i < out.size(); ++i) {
    if (i) result += '/';
    result += out[i];
  }
  if (trailingSlash && !result.empty() && result.back() != '/') result += '/';
  return result;
}

// Escapes what may not stand in an address; existing escapes stay as they are.
std::string EscapeUnsafe(std::string_view s, std::string_view extra) {
  return PercentEncode(s, [extra](unsigned char c) {
    return IsUnsafeInAddress(c) || extra.find(static_cast<char>(c)) != std::string_view::npos;
  });
}

std::string NormaliseAuthority(std::string_view scheme, std::string_view authority) {
  std::string userinfo;
  std::size_t at = authority.rfind('@');
  if (at != std::string_view::npos) {
    userinfo = std::string(authority.substr(0, at + 1));
    authority.remove_prefix(at + 1);
  }
  std::string_view host = authority;
  std::string_view port;
  std::size_t colon = authority.rfind(':');
  std::size_t bracket = authority.rfind(']');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || colon > bracket)) {
    host = authority.substr(0, colon);
    port = authority.substr(colon + 1);
  }
  while (port.size() > 1 && port[0] == '0') port.remove_prefix(1);
  std::string out = EscapeUnsafe(userinfo, "");
  std::string lowerHost = AsciiToLower(host);
  if (scheme == "file" && lowerHost == "localhost") lowerHost.clear();
  out += EscapeUnsafe(lowerHost, "");
  bool defaultPort = (scheme == "http" && port == "80") || (scheme == "https" && port == "443");
  if (!port.empty() && !defaultPort) {
    out += ':';
    out += port;
  }
  return out;
}

std::string Compose(const Parts& p) {
  std::string out = p.scheme + ":";
  if (p.hasAuthority) out += "//" + NormaliseAuthority(p.scheme, p.authority);
  std::string path = p.path;
  if (IsSpecial(p.scheme) || p.hasAuthority) path = RemoveDotSegments(path);
  if (p.hasAuthority && !path.empty() && path[0] != '/') path.insert(0, "/");
  if (p.hasAuthority && path.empty() && IsSpecial(p.scheme)) path = "/";
  out += EscapeUnsafe(path, "{}");
  if (p.hasQuery) out += "?" + EscapeUnsafe(p.query, IsSpecial(p.scheme) ? "'" : "");
  if (p.hasFragment) out += "#" + EscapeUnsafe(p.fragment, "");
  return out;
}

// "\" is a "/" before the query in special addresses.
void BackslashesToSlashes(std::string& s) {
  for (char& c : s) {
    if (c == '?' || c == '#') break;
    if (c == '\\') c = '/';
  }
}

std::string ParseAbsolute(const std::string& url) {
  std::size_t n = SchemeLength(url);
  Parts p;
  p.scheme = AsciiToLower(std::string_view(url).substr(0, n - 1));
  std::string rest = url.substr(n);
  if (IsSpecial(p.scheme)) {
    BackslashesToSlashes(rest);
    if (p.scheme != "file") {
      // "http:/host/x" and "http:host" still name a host.
      std::size_t slashes = 0;
      while (slashes < rest.size() && rest[slashes] == '/') ++slashes;
      rest = "//" + rest.substr(slashes);
    }
  }
  SplitRest(rest, &p);
  if (p.scheme == "file" && !p.hasAuthority) {
    p.hasAuthority = true;  // "file:/p" is "file:///p"
  }
  if ((p.scheme == "http" || p.scheme == "https") && p.authority.empty()) return "";
  return Compose(p);
}

}  // namespace

std::string CleanUrlReference(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  std::string out;
  out.reserve(s.size());
  for (char c : s)
    if (c != '\t' && c != '\n' && c != '\r') out += c;
  return out;
}

std::string UrlScheme(std::string_view url) {
  std::size_t n = SchemeLength(url);
  return n ? AsciiToLower(url.substr(0, n - 1)) : std::string();
}

std::string ResolveUrl(std::string_view base, std::string_view reference) {
  std::string ref = CleanUrlReference(reference);
  std::string baseScheme = UrlScheme(base);
  std::size_t schemeLen = SchemeLength(ref);
  if (schemeLen) {
    std::string scheme = AsciiToLower(std::string_view(ref).substr(0, schemeLen - 1));
    // "http:page.html" on an http page is relative, as browsers read it.
    bool relativeSameScheme = IsSpecial(scheme) && scheme == baseScheme && scheme != "file" &&
                              (ref.size() == schemeLen || (ref[schemeLen] != '/' && ref[schemeLen] != '\\'));
    if (!relativeSameScheme) return ParseAbsolute(ref);
    ref.erase(0, schemeLen);
  }
  if (baseScheme.empty()) return "";
  std::string baseText(base);
  Parts b;
  b.scheme = baseScheme;
  std::string baseRest = baseText.substr(SchemeLength(baseText));
  if (IsSpecial(baseScheme)) BackslashesToSlashes(baseRest);
  SplitRest(baseRest, &b);
  if (IsSpecial(baseScheme)) BackslashesToSlashes(ref);
  // Only hierarchical bases can take relative references; a bare fragment works on any.
  bool hierarchical = b.hasAuthority || (!b.path.empty() && b.path[0] == '/');
  if (!hierarchical && !(ref.empty() || ref[0] == '#')) return "";

  Parts r;
  SplitRest(ref, &r);
  Parts t;
  t.scheme = b.scheme;
  if (r.hasAuthority) {
    t.hasAuthority = true;
    t.authority = r.authority;
    t.path = r.path;
    t.hasQuery = r.hasQuery;
    t.query = r.query;
  } else {
    t.hasAuthority = b.hasAuthority;
    t.authority = b.authority;
    if (r.path.empty()) {
      t.path = b.path;
      t.hasQuery = r.hasQuery || b.hasQuery;
      t.query = r.hasQuery ? r.query : b.query;
    } else {
      if (r.path[0] == '/') {
        t.path = r.path;
      } else if (b.hasAuthority && b.path.empty()) {
        t.path = "/" + r.path;
      } else {
        std::size_t slash = b.path.rfind('/');
        t.path = (slash == std::string::npos ? std::string() : b.path.substr(0, slash + 1)) + r.path;
      }
      t.hasQuery = r.hasQuery;
      t.query = r.query;
    }
  }
  t.hasFragment = r.hasFragment;
  t.fragment = r.fragment;
  return Compose(t);
}

}  // namespace trovex

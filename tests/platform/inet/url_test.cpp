#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

#include "platform/inet/inet.h"
#include "platform/inet/url_parse.h"

namespace trovex {
namespace {

// ---- InternetCrackUrlA ---------------------------------------------------------------------

struct Cracked {
  char scheme[260], host[260], user[260], password[260], path[260], extra[260];
  URL_COMPONENTSA uc;
  Cracked() {
    std::memset(this, 0, sizeof *this);
    uc.dwStructSize = sizeof uc;
    uc.lpszScheme = scheme;
    uc.dwSchemeLength = 260;
    uc.lpszHostName = host;
    uc.dwHostNameLength = 260;
    uc.lpszUserName = user;
    uc.dwUserNameLength = 260;
    uc.lpszPassword = password;
    uc.dwPasswordLength = 260;
    uc.lpszUrlPath = path;
    uc.dwUrlPathLength = 260;
    uc.lpszExtraInfo = extra;
    uc.dwExtraInfoLength = 260;
  }
};

// The site-root caller's record: zeroed, the 32-bit size 60, only scheme and host buffers.
struct SiteRootRecord {
  char scheme[260] = "", host[260] = "";
  URL_COMPONENTSA uc;
  SiteRootRecord() {
    std::memset(&uc, 0, sizeof uc);
    uc.dwStructSize = 60;
    uc.lpszScheme = scheme;
    uc.dwSchemeLength = 260;
    uc.lpszHostName = host;
    uc.dwHostNameLength = 260;
  }
  SiteRootRecord(const SiteRootRecord&) = delete;
  SiteRootRecord& operator=(const SiteRootRecord&) = delete;
};

TEST(InternetCrackUrlA, SplitsIntoComponents) {
  struct Case {
    const char* url;
    const char* scheme;
    INTERNET_SCHEME nScheme;
    const char* host;
    INTERNET_PORT port;
    const char* user;
    const char* password;
    const char* path;
    const char* extra;
  };
  const Case cases[] = {
      {"http://www.example.com/site/about#hi", "http", INTERNET_SCHEME_HTTP, "www.example.com", 80,
       "", "", "/site/about", "#hi"},
      {"http://www.example.com/script.php?arg=1", "http", INTERNET_SCHEME_HTTP, "www.example.com",
       80, "", "", "/script.php", "?arg=1"},
      {"http://www.example.com?test=123", "http", INTERNET_SCHEME_HTTP, "www.example.com", 80, "",
       "", "", "?test=123"},
      {"http://h/a.php;v=1", "http", INTERNET_SCHEME_HTTP, "h", 80, "", "", "/a.php;v=1", ""},
      {"HtTp://h/x", "HtTp", INTERNET_SCHEME_HTTP, "h", 80, "", "", "/x", ""},
      {"https://h/x.swf", "https", INTERNET_SCHEME_HTTPS, "h", 443, "", "", "/x.swf", ""},
      {"https://h:8443/x.swf", "https", INTERNET_SCHEME_HTTPS, "h", 8443, "", "", "/x.swf", ""},
      {"http://h:65535", "http", INTERNET_SCHEME_HTTP, "h", 65535, "", "", "", ""},
      {"ftp://me:secret@h/pub/x.swf", "ftp", INTERNET_SCHEME_FTP, "h", 21, "me", "secret",
       "/pub/x.swf", ""},
      {"gopher://h/x", "gopher", INTERNET_SCHEME_GOPHER, "h", 0, "", "", "/x", ""},
      {"file:///home/u/a.swf", "file", INTERNET_SCHEME_FILE, "", 0, "", "", "/home/u/a.swf", ""},
      {"file://localhost/a.swf", "file", INTERNET_SCHEME_FILE, "localhost", 0, "", "", "/a.swf", ""},
      {"fide:///x", "fide", INTERNET_SCHEME_UNKNOWN, "", 0, "", "", "/x", ""},
      {"about:blank", "about", INTERNET_SCHEME_UNKNOWN, "", 0, "", "", "blank", ""},
      {"http://[::1]:8080/x", "http", INTERNET_SCHEME_HTTP, "[::1]", 8080, "", "", "/x", ""},
      {"http://h/\xB3\x5C.swf", "http", INTERNET_SCHEME_HTTP, "h", 80, "", "", "/\xB3\x5C.swf", ""},
  };
  for (const auto& c : cases) {
    Cracked r;
    ASSERT_TRUE(InternetCrackUrlA(c.url, 0, 0, &r.uc)) << c.url << " error " << GetLastError();
    EXPECT_STREQ(r.scheme, c.scheme) << c.url;
    EXPECT_EQ(r.uc.dwSchemeLength, std::strlen(c.scheme)) << c.url;
    EXPECT_EQ(r.uc.nScheme, c.nScheme) << c.url;
    EXPECT_STREQ(r.host, c.host) << c.url;
    EXPECT_EQ(r.uc.dwHostNameLength, std::strlen(c.host)) << c.url;
    EXPECT_EQ(r.uc.nPort, c.port) << c.url;
    EXPECT_STREQ(r.user, c.user) << c.url;
    EXPECT_STREQ(r.password, c.password) << c.url;
    EXPECT_STREQ(r.path, c.path) << c.url;
    EXPECT_EQ(r.uc.dwUrlPathLength, std::strlen(c.path)) << c.url;
    EXPECT_STREQ(r.extra, c.extra) << c.url;
  }
}

TEST(InternetCrackUrlA, FailuresCarryWinInetCodes) {
  struct Case {
    const char* url;
    DWORD error;
  };
  const Case cases[] = {
      {"www.example.com", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
      {"../intro.swf", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
      {"/swf/intro.swf", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
      {"", ERROR_INTERNET_UNRECOGNIZED_SCHEME},
      {"http://h:65536/", ERROR_INTERNET_INVALID_URL},
      {"http://h:8a/", ERROR_INTERNET_INVALID_URL},
      {"http://[::1/", ERROR_INTERNET_INVALID_URL},
  };
  for (const auto& c : cases) {
    Cracked r;
    SetLastError(0);
    EXPECT_FALSE(InternetCrackUrlA(c.url, 0, 0, &r.uc)) << c.url;
    EXPECT_EQ(GetLastError(), c.error) << c.url;
  }
  Cracked r;
  EXPECT_FALSE(InternetCrackUrlA(nullptr, 0, 0, &r.uc));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(InternetCrackUrlA("http://h/", 0, 0, nullptr));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(InternetCrackUrlA, StructSizeOf32BitLayoutAndOnlyRequestedBuffers) {
  SiteRootRecord record;
  URL_COMPONENTSA& uc = record.uc;
  const char* url = "http://www.example.com:8080/dir/page.html?q=1";
  ASSERT_TRUE(InternetCrackUrlA(url, std::strlen(url), 0, &uc));
  EXPECT_STREQ(record.scheme, "http");
  EXPECT_STREQ(record.host, "www.example.com");
  EXPECT_EQ(uc.nPort, 8080);
  EXPECT_EQ(uc.lpszUrlPath, nullptr);  // not asked for: left alone
  EXPECT_EQ(uc.dwUrlPathLength, 0u);

  for (DWORD size : {DWORD{0}, DWORD{59}, DWORD{61}}) {
    uc.dwStructSize = size;
    EXPECT_FALSE(InternetCrackUrlA(url, 0, 0, &uc)) << size;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  }
}

TEST(InternetCrackUrlA, PointerModeAndLength) {
  const char* url = "http://h/x.swf?v=1TRAILING";
  URL_COMPONENTSA uc;
  std::memset(&uc, 0, sizeof uc);
  uc.dwStructSize = sizeof uc;
  uc.dwHostNameLength = uc.dwUrlPathLength = uc.dwExtraInfoLength = uc.dwUserNameLength = 1;
  ASSERT_TRUE(InternetCrackUrlA(url, 18, 0, &uc));  // the length cuts "TRAILING" off
  EXPECT_EQ(uc.lpszHostName, url + 7);
  EXPECT_EQ(uc.dwHostNameLength, 1u);
  EXPECT_EQ(uc.lpszUrlPath, url + 8);
  EXPECT_EQ(uc.dwUrlPathLength, 6u);
  EXPECT_EQ(std::string(uc.lpszExtraInfo, uc.dwExtraInfoLength), "?v=1");
  EXPECT_EQ(uc.lpszUserName, nullptr);  // no user in the address
  EXPECT_EQ(uc.dwUserNameLength, 0u);

  std::memset(&uc, 0, sizeof uc);
  uc.dwStructSize = sizeof uc;
  uc.dwHostNameLength = 1;
  ASSERT_TRUE(InternetCrackUrlA("file:///x.swf", 0, 0, &uc));
  EXPECT_EQ(uc.lpszHostName, nullptr);  // a file: address has no host
}

TEST(InternetCrackUrlA, ComponentLongerThanItsBufferFailsWithoutWriting) {
  char scheme[4] = "", host[260] = "unchanged";
  URL_COMPONENTSA uc;
  std::memset(&uc, 0, sizeof uc);
  uc.dwStructSize = sizeof uc;
  uc.lpszScheme = scheme;
  uc.dwSchemeLength = sizeof scheme;  // "http" needs 5 with its terminator
  uc.lpszHostName = host;
  uc.dwHostNameLength = sizeof host;
  EXPECT_FALSE(InternetCrackUrlA("http://h/", 0, 0, &uc));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(uc.dwSchemeLength, 5u);
  EXPECT_STREQ(host, "unchanged");
}

TEST(InternetCrackUrlA, DecodeFlagUnescapesCopiedPathOnly) {
  Cracked r;
  ASSERT_TRUE(InternetCrackUrlA("http://h/a%20b.swf", 0, ICU_DECODE, &r.uc));
  EXPECT_STREQ(r.path, "/a b.swf");
}

// ---- InternetCreateUrlA --------------------------------------------------------------------

std::string Create(URL_COMPONENTSA uc) {
  char buf[260];
  DWORD len = sizeof buf;
  if (!InternetCreateUrlA(&uc, 0, buf, &len)) return "<error " + std::to_string(GetLastError()) + ">";
  EXPECT_EQ(len, std::strlen(buf));
  return buf;
}

URL_COMPONENTSA Parts(const char* scheme, const char* host, INTERNET_PORT port,
                      const char* path = nullptr) {
  URL_COMPONENTSA uc;
  std::memset(&uc, 0, sizeof uc);
  uc.dwStructSize = 60;
  uc.lpszScheme = const_cast<char*>(scheme);
  uc.lpszHostName = const_cast<char*>(host);
  uc.nPort = port;
  uc.lpszUrlPath = const_cast<char*>(path);
  return uc;
}

TEST(InternetCreateUrlA, ComposesAndLeavesOutDefaultPorts) {
  struct Case {
    URL_COMPONENTSA uc;
    const char* expected;
  };
  URL_COMPONENTSA withUser = Parts("ftp", "h", 21, "/pub");
  withUser.lpszUserName = const_cast<char*>("me");
  withUser.lpszPassword = const_cast<char*>("pw");
  URL_COMPONENTSA byNumber = Parts(nullptr, "h", 443, "/");
  byNumber.nScheme = INTERNET_SCHEME_HTTPS;
  URL_COMPONENTSA withExtra = Parts("http", "h", 80, "/a.php");
  withExtra.lpszExtraInfo = const_cast<char*>("?x=1");
  URL_COMPONENTSA lengths = Parts("httpXXX", "hostXXX", 80, "/pathXXX");
  lengths.dwSchemeLength = 4;
  lengths.dwHostNameLength = 4;
  lengths.dwUrlPathLength = 5;
  const Case cases[] = {
      {Parts("http", "www.example.com", 80), "http://www.example.com"},
      {Parts("http", "www.example.com", 8080), "http://www.example.com:8080"},
      {Parts("https", "h", 443), "https://h"},
      {Parts("https", "h", 80), "https://h:80"},
      {Parts("http", "h", 0, "/x.swf"), "http://h/x.swf"},
      {Parts("file", "", 0), "file://"},
      {Parts("file", nullptr, 0), "file://"},
      {Parts("about", nullptr, 0, "blank"), "about:blank"},
      {withUser, "ftp://me:pw@h/pub"},
      {byNumber, "https://h/"},
      {withExtra, "http://h/a.php?x=1"},
      {lengths, "http://host/path"},
  };
  for (const auto& c : cases) EXPECT_EQ(Create(c.uc), c.expected);
  // The root-relative reference appended to a local page's root.
  EXPECT_EQ(Create(Parts("file", "", 0)) + "/x.swf", "file:///x.swf");
}

TEST(InternetCreateUrlA, SiteRootRoundTrip) {
  const char* pages[][2] = {
      {"http://www.example.com/dir/page.html", "http://www.example.com"},
      {"https://www.example.com:8443/a/b?c=/d", "https://www.example.com:8443"},
      {"http://h:80/x", "http://h"},
      {"file:///home/u/page.html", "file://"},
  };
  for (const auto& p : pages) {
    SiteRootRecord record;
    ASSERT_TRUE(InternetCrackUrlA(p[0], std::strlen(p[0]), 0, &record.uc)) << p[0];
    EXPECT_EQ(Create(record.uc), p[1]) << p[0];
  }
}

TEST(InternetCreateUrlA, BufferProtocolAndBadInput) {
  URL_COMPONENTSA uc = Parts("http", "www.example.com", 80, "/x.swf");
  const std::string expected = "http://www.example.com/x.swf";
  DWORD len = 0;
  EXPECT_FALSE(InternetCreateUrlA(&uc, 0, nullptr, &len));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(len, expected.size() + 1);  // terminator included

  std::string buf(expected.size() + 1, 'X');
  len = static_cast<DWORD>(expected.size());  // one short
  EXPECT_FALSE(InternetCreateUrlA(&uc, 0, buf.data(), &len));
  EXPECT_EQ(len, expected.size() + 1);
  EXPECT_EQ(buf, std::string(expected.size() + 1, 'X'));  // nothing written
  ASSERT_TRUE(InternetCreateUrlA(&uc, 0, buf.data(), &len));
  EXPECT_EQ(len, expected.size());
  EXPECT_STREQ(buf.c_str(), expected.c_str());

  URL_COMPONENTSA noUser = Parts("http", "h", 80);
  noUser.lpszPassword = const_cast<char*>("pw");
  len = 260;
  char out[260];
  EXPECT_FALSE(InternetCreateUrlA(&noUser, 0, out, &len));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(InternetCreateUrlA(nullptr, 0, out, &len));
  EXPECT_FALSE(InternetCreateUrlA(&uc, 0, out, nullptr));
  URL_COMPONENTSA zero;
  std::memset(&zero, 0, sizeof zero);
  EXPECT_FALSE(InternetCreateUrlA(&zero, 0, out, &len));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

// ---- InternetCanonicalizeUrlA --------------------------------------------------------------

std::string Canon(const std::string& url, DWORD flags = ICU_NO_ENCODE) {
  char buf[1024];
  DWORD len = sizeof buf;
  if (!InternetCanonicalizeUrlA(url.c_str(), buf, &len, flags))
    return "<error " + std::to_string(GetLastError()) + ">";
  EXPECT_EQ(len, std::strlen(buf));
  return buf;
}

TEST(InternetCanonicalizeUrlA, DotSegmentsSchemeAndHost) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"http://h/a/./b/../c.swf", "http://h/a/c.swf"},
      {"http://h/dir/../media/intro.swf", "http://h/media/intro.swf"},
      {"http://h/../../x.swf", "http://h/x.swf"},  // never above the root
      {"http://h/a/b/..", "http://h/a/"},
      {"http://h/a/.", "http://h/a/"},
      {"http://h/a/...b/..c", "http://h/a/...b/..c"},
      {"http://h/a/b.swf?p=/x/../y#/./z", "http://h/a/b.swf?p=/x/../y#/./z"},
      {"http://h/a/b.swf#../c", "http://h/a/b.swf#../c"},
      {"HTTP://WWW.Example.COM/Dir/A.SWF", "http://www.example.com/Dir/A.SWF"},
      {"http://WWW.\xE8\xA8\xB1.COM/A", "http://www.\xE8\xA8\xB1.com/A"},  // a multibyte host
      {"http://U:P@H.COM:80/A", "http://U:P@h.com:80/A"},  // only the host is folded
      {"\thttp://H/a\\b/../c.swf", "http://h/a/c.swf"},
      {"http://h:8080/a/../b", "http://h:8080/b"},
      {"http://h", "http://h/"},
      {"http://h?x=1", "http://h/?x=1"},
      {"http://h/dir\\..\\x.swf", "http://h/x.swf"},
      {"  http://h/x.swf \r\n", "http://h/x.swf"},
      {"http://h//swf/intro.swf", "http://h//swf/intro.swf"},  // "//" reference on a root
      {"file:///home/u/../a.swf", "file:///home/a.swf"},
      {"file:///home/u/a\\b.swf", "file:///home/u/a\\b.swf"},  // a Linux name may hold "\"
      {"http://h/a%20b/%2e%2e/c.swf", "http://h/c.swf"},  // an escaped ".." is still ".."
      {"http://h/a b.swf", "http://h/a b.swf"},
      {"http://h/\xE8\xA8\xB1.swf", "http://h/\xE8\xA8\xB1.swf"},  // non-ASCII bytes kept
  };
  for (const auto& c : cases) EXPECT_EQ(Canon(c.in), c.out) << c.in;
}

TEST(InternetCanonicalizeUrlA, Flags) {
  const std::string src = "http://www.example.org/%27/ /./>/#>  ";
  struct Case {
    DWORD flags;
    const char* out;
  };
  const Case cases[] = {
      {0, "http://www.example.org/%27/%20/%3E/#>"},
      {ICU_NO_ENCODE, "http://www.example.org/%27/ />/#>"},
      {ICU_NO_META, "http://www.example.org/%27/%20/./%3E/#>"},
      {ICU_DECODE, "http://www.example.org/'/%20/%3E/#>"},
      {ICU_ENCODE_PERCENT, "http://www.example.org/%2527/%20/%3E/#>"},
      {ICU_ENCODE_SPACES_ONLY, "http://www.example.org/%27/%20/>/#>"},
  };
  for (const auto& c : cases) EXPECT_EQ(Canon(src, c.flags), c.out) << std::hex << c.flags;
  EXPECT_EQ(Canon("http://h/a/../b", ICU_NO_META | ICU_NO_ENCODE), "http://h/a/../b");
  EXPECT_EQ(Canon("http://h/\xE8\xA8\xB1", 0), "http://h/%E8%A8%B1");
}

TEST(InternetCanonicalizeUrlA, AddressWithoutSchemeFails) {
  for (const char* url : {"intro.swf", "/swf/intro.swf", "//h/x.swf", ""}) {
    EXPECT_EQ(Canon(url), "<error 12005>") << url;
  }
}

TEST(InternetCanonicalizeUrlA, TwoCallBufferProtocol) {
  const std::string url = "http://h/" + std::string(300, 'a') + "/../x.swf";
  const std::string expected = "http://h/x.swf";
  // Too small: the size needed, terminator included.
  std::string buf(8, '\0');
  DWORD len = 8;
  EXPECT_FALSE(InternetCanonicalizeUrlA(url.c_str(), buf.data(), &len, ICU_NO_ENCODE));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  EXPECT_EQ(len, expected.size() + 1);
  // The caller allocates the reported size + 1 and passes the reported size: it fits.
  buf.assign(len + 1, '\0');
  ASSERT_TRUE(InternetCanonicalizeUrlA(url.c_str(), buf.data(), &len, ICU_NO_ENCODE));
  EXPECT_EQ(len, expected.size());
  EXPECT_STREQ(buf.c_str(), expected.c_str());
  // Exactly the length without room for the terminator is too small.
  len = static_cast<DWORD>(expected.size());
  EXPECT_FALSE(InternetCanonicalizeUrlA(url.c_str(), buf.data(), &len, ICU_NO_ENCODE));

  // A 260-byte result does not fit a 260-byte buffer; the retry with 261 does.
  const std::string longUrl = "http://h/" + std::string(260 - 9, 'b');
  ASSERT_EQ(longUrl.size(), 260u);
  std::string b260(261, '\0');
  len = 260;
  EXPECT_FALSE(InternetCanonicalizeUrlA(longUrl.c_str(), b260.data(), &len, ICU_NO_ENCODE));
  EXPECT_EQ(len, 261u);
  std::string b262(262, '\0');
  EXPECT_TRUE(InternetCanonicalizeUrlA(longUrl.c_str(), b262.data(), &len, ICU_NO_ENCODE));
  EXPECT_EQ(len, 260u);
  EXPECT_EQ(std::string(b262.c_str()), longUrl);

  EXPECT_FALSE(InternetCanonicalizeUrlA(url.c_str(), buf.data(), nullptr, 0));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
}

TEST(InternetCanonicalizeUrlA, Big5TrailBytesAreNotSeparators) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  if (!std::setlocale(LC_ALL, "zh_TW.BIG5")) GTEST_SKIP() << "zh_TW.BIG5 missing";
  const std::string xu = "\xB3\x5C", gong = "\xA5\x5C";
  // 許's trail byte is "\": it must neither become "/" nor start a ".." step.
  EXPECT_EQ(Canon("http://h/dir/" + xu + ".swf"), "http://h/dir/" + xu + ".swf");
  EXPECT_EQ(Canon("http://h/" + xu + "/../" + gong + ".swf"), "http://h/" + gong + ".swf");
  EXPECT_EQ(Canon("http://h/a/" + xu + "..\\b.swf"), "http://h/a/" + xu + "../b.swf");
  EXPECT_EQ(Canon("file:///home/" + xu + "/./x.swf"), "file:///home/" + xu + "/x.swf");
  std::setlocale(LC_ALL, saved.c_str());
}

// ---- AfxParseURL ---------------------------------------------------------------------------

// The URL cache keys addresses that are already canonical, the usual ones, without
// canonicalising them again. Whatever the check lets through must canonicalise to itself (or
// not at all); the usual canonical addresses must get through.
TEST(InternetCanonicalizeUrlA, AddressesTakenAsTheirOwnCanonicalFormAre) {
  const char* schemes[] = {"http:", "HTTP:", "https:", "ftp:", "gopher:", "file:", "mailto:", "x-y.z:", "", "1a:"};
  const char* authorities[] = {"", "//", "//h", "//H", "//u:P@h", "//h:80", "//h:", "//h:99999", "//[::1]:8",
                               "//[::1", "//h\\x"};
  const char* paths[] = {"", "/", "/a/b.swf", "/a/./b", "/a/../b", "/%2e%2e/b", "/.hidden", "/a%2Fb", "\\a",
                         "/a b", "/\x7F", "/\xA4\x7C", "a/b", "/A/B.SWF"};
  const char* extras[] = {"", "?x=/./y", "#f", "?Q#F", "? "};
  int taken = 0;
  for (const char* scheme : schemes)
    for (const char* authority : authorities)
      for (const char* path : paths)
        for (const char* extra : extras) {
          const std::string url = std::string(scheme) + authority + path + extra;
          if (!inet_detail::IsItsOwnCanonicalForm(url)) continue;
          ++taken;
          std::string canonical;
          if (CanonicalizeUrl(url, ICU_NO_ENCODE, &canonical)) {
            EXPECT_EQ(canonical, url);
          }
        }
  EXPECT_GT(taken, 100);
  for (const char* usual : {"http://h/a/b.swf", "https://www.example.com:8080/p/q.swf?x=1#f", "file:///tmp/M/a.swf",
                            "file://host/x", "ftp://u:p@h/pub/", "mailto:someone"})
    EXPECT_TRUE(inet_detail::IsItsOwnCanonicalForm(usual)) << usual;
}

TEST(AfxParseURL, ServiceTypesServersAndObjects) {
  struct Case {
    const char* url;
    DWORD type;
    const char* server;
    const char* object;
    INTERNET_PORT port;
  };
  const Case cases[] = {
      {"http://www.example.com/dir/a.swf", AFX_INET_SERVICE_HTTP, "www.example.com", "/dir/a.swf", 80},
      {"https://h:8443/a.swf?x=1#f", AFX_INET_SERVICE_HTTPS, "h", "/a.swf?x=1", 8443},
      {"http://h", AFX_INET_SERVICE_HTTP, "h", "/", 80},
      {"http://h?x=1", AFX_INET_SERVICE_HTTP, "h", "/?x=1", 80},
      {"http://h/getmovie.php?id=7", AFX_INET_SERVICE_HTTP, "h", "/getmovie.php?id=7", 80},
      {"ftp://h/pub/x.swf", AFX_INET_SERVICE_FTP, "h", "/pub/x.swf", 21},
      {"gopher://h/x", AFX_INET_SERVICE_GOPHER, "h", "/x", 0},
      {"file:///home/x.swf", AFX_INET_SERVICE_FILE, "", "/home/x.swf", 0},
      {"foo://h/x", AFX_INET_SERVICE_UNK, "h", "/x", 0},
  };
  for (const auto& c : cases) {
    DWORD type = 0;
    std::string server = "old", object = "old";
    INTERNET_PORT port = 1;
    ASSERT_TRUE(AfxParseURL(c.url, type, server, object, port)) << c.url;
    EXPECT_EQ(type, c.type) << c.url;
    EXPECT_EQ(server, c.server) << c.url;
    EXPECT_EQ(object, c.object) << c.url;
    EXPECT_EQ(port, c.port) << c.url;
  }
  EXPECT_EQ(AFX_INET_SERVICE_HTTPS, 4107u);
}

TEST(AfxParseURL, AddressesWithoutSchemeFail) {
  for (const char* url : {"intro.swf", "/swf/intro.swf", "www.example.com/x.swf", "mailto:a@b",
                          "http://h:99999/x", ""}) {
    DWORD type = 0;
    std::string server, object;
    INTERNET_PORT port = 0;
    EXPECT_FALSE(AfxParseURL(url, type, server, object, port)) << url;
    EXPECT_NE(type, AFX_INET_SERVICE_HTTP) << url;
  }
}

}  // namespace
}  // namespace trovex

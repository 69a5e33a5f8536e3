// Addresses that old pages write with "\" after the host, and the path a caller gets when it
// does not ask for the query separately.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/inet/inet.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

struct Parts {
  std::string host, path, extra;
};

Parts Crack(const char* url, bool askExtra) {
  char host[260] = "", path[260] = "", extra[260] = "";
  URL_COMPONENTSA uc;
  std::memset(&uc, 0, sizeof uc);
  uc.dwStructSize = sizeof uc;
  uc.lpszHostName = host;
  uc.dwHostNameLength = sizeof host;
  uc.lpszUrlPath = path;
  uc.dwUrlPathLength = sizeof path;
  if (askExtra) {
    uc.lpszExtraInfo = extra;
    uc.dwExtraInfoLength = sizeof extra;
  }
  EXPECT_TRUE(InternetCrackUrlA(url, 0, 0, &uc)) << url << " error " << GetLastError();
  return {host, path, extra};
}

std::string Canon(const char* url) {
  char buf[520];
  DWORD len = sizeof buf;
  if (!InternetCanonicalizeUrlA(url, buf, &len, ICU_NO_ENCODE)) return "<error>";
  return std::string(buf, len);
}

TEST(BackslashAfterHost, EndsTheHostInWebSchemesOnly) {
  struct Case {
    const char* url;
    const char* host;       // cracked
    const char* canonical;  // ICU_NO_ENCODE
  };
  const Case cases[] = {
      {"http://www.example.org\\tests/../#x", "www.example.org", "http://www.example.org/#x"},
      {"http://host\\movies\\a.swf", "host", "http://host/movies/a.swf"},
      {"https://host:8443\\a.swf", "host", "https://host:8443/a.swf"},
      {"ftp://u:p@host\\pub\\a.swf", "host", "ftp://u:p@host/pub/a.swf"},
      {"HTTP://Host\\A.swf?x=\\y", "Host", "http://host/A.swf?x=\\y"},
      // A file: address keeps "\" in its path (a Linux name may hold it) and in its host.
      {"file://server\\share/a.swf", "server\\share", "file://server\\share/a.swf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Crack(c.url, true).host, c.host) << c.url;
    EXPECT_EQ(Canon(c.url), c.canonical) << c.url;
  }

  DWORD service = 0;
  std::string server, object;
  INTERNET_PORT port = 0;
  ASSERT_TRUE(AfxParseURL("http://host\\movies\\a.swf", service, server, object, port));
  EXPECT_EQ(server, "host");
  EXPECT_EQ(port, 80);
}

TEST(BackslashAfterHost, CacheFindsTheEntryStoredUnderTheSlashSpelling) {
  test::IsolatedHome home;
  const std::string data = "FWS";
  ASSERT_TRUE(AddUrlCacheEntry("http://host/movies/a.swf", data.data(), data.size(), nullptr));
  DWORD size = 0;
  EXPECT_FALSE(GetUrlCacheEntryInfoA("http://host\\movies\\a.swf", nullptr, &size));
  EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER) << "the \\ spelling found no entry";
}

TEST(InternetCrackUrlA, PathKeepsTheQueryWhenExtraInfoIsNotAsked) {
  struct Case {
    const char* url;
    bool askExtra;
    const char* path;
    const char* extra;
  };
  const Case cases[] = {
      {"http://h/script.php?arg=1", false, "/script.php?arg=1", ""},
      {"http://h/script.php?arg=1", true, "/script.php", "?arg=1"},
      {"http://h/a.swf?v=2#top", false, "/a.swf?v=2#top", ""},
      {"http://h/a.swf#top", true, "/a.swf", "#top"},
      {"http://h?x=1", false, "?x=1", ""},
      {"http://h/plain.swf", false, "/plain.swf", ""},
  };
  for (const auto& c : cases) {
    Parts p = Crack(c.url, c.askExtra);
    EXPECT_EQ(p.path, c.path) << c.url;
    EXPECT_EQ(p.extra, c.extra) << c.url;
  }
}

// Found by fuzzing: the host of an address without "//" pointed nowhere in pointer mode.
TEST(InternetCrackUrlA, PointerModeOnAddressesWithoutAuthority) {
  for (const char* url : {"about:blank", "javascript:alert(1)", "mailto:a@b", "http:x.swf"}) {
    URL_COMPONENTSA uc;
    std::memset(&uc, 0, sizeof uc);
    uc.dwStructSize = sizeof uc;
    uc.dwHostNameLength = uc.dwUrlPathLength = uc.dwExtraInfoLength = 1;
    ASSERT_TRUE(InternetCrackUrlA(url, 0, 0, &uc)) << url;
    const char* end = url + std::strlen(url);
    EXPECT_EQ(uc.dwHostNameLength, 0u) << url;
    EXPECT_TRUE(uc.lpszHostName >= url && uc.lpszHostName <= end) << url;
    EXPECT_TRUE(uc.lpszUrlPath >= url && uc.lpszUrlPath + uc.dwUrlPathLength <= end) << url;
  }
}

TEST(InternetCanonicalizeUrlA, EscapedDotSegmentsAreDotSegments) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"file:///srv/site/%2e%2e/a.swf", "file:///srv/a.swf"},
      {"file:///srv/site/%2E%2e/a.swf", "file:///srv/a.swf"},
      {"file:///srv/site/.%2e/a.swf", "file:///srv/a.swf"},
      {"file:///srv/site/%2e./a.swf", "file:///srv/a.swf"},
      {"http://h/a/%2e/b.swf", "http://h/a/b.swf"},
      {"http://h/a/b/%2e%2e", "http://h/a/"},
      // Not dot segments: more dots, other escapes, a half escape.
      {"http://h/a/%2e%2e%2e/b", "http://h/a/%2e%2e%2e/b"},
      {"http://h/a/%2f%2e/b", "http://h/a/%2f%2e/b"},
      {"http://h/a/%2/b", "http://h/a/%2/b"},
  };
  for (const auto& c : cases) EXPECT_EQ(Canon(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace trovex

#include <gtest/gtest.h>

#include <clocale>
#include <string>

#include "platform/inet/inet.h"
#include "platform/text/text.h"

namespace trovex {
namespace {

// Runs one action with a 260-character buffer, as the scanner does.
HRESULT Parse(const std::u16string& in, PARSEACTION action, std::u16string* out) {
  OLECHAR buf[260];
  DWORD len = 0;
  HRESULT hr = CoInternetParseUrl(in.c_str(), action, 0, buf, 260, &len, 0);
  if (hr == S_OK) {
    *out = buf;
    EXPECT_EQ(len, out->size());
  }
  return hr;
}

TEST(CoInternetParseUrl, PathFromFileUrl) {
  struct Case {
    const char16_t* url;
    HRESULT hr;
    const char16_t* path;
  };
  const Case cases[] = {
      {u"file:///home/u/a.swf", S_OK, u"/home/u/a.swf"},
      {u"file://localhost/home/a.swf", S_OK, u"/home/a.swf"},
      {u"FILE:///x.swf", S_OK, u"/x.swf"},
      {u"file:/x.swf", S_OK, u"/x.swf"},
      {u"file:///a%2520b.swf", S_OK, u"/a%2520b.swf"},  // still escaped
      {u"file:///x.swf?v=1#top", S_OK, u"/x.swf"},
      {u"http://h/x.swf", E_INVALIDARG, nullptr},
      {u"file://server/share/x.swf", E_INVALIDARG, nullptr},  // another machine
      {u"file:x.swf", E_INVALIDARG, nullptr},
      {u"/home/x.swf", E_INVALIDARG, nullptr},
      {u"", E_INVALIDARG, nullptr},
  };
  for (const auto& c : cases) {
    std::u16string out;
    EXPECT_EQ(Parse(c.url, PARSE_PATH_FROM_URL, &out), c.hr) << Utf16ToAnsi(c.url);
    if (c.path) {
      EXPECT_EQ(out, c.path);
    }
  }
}

TEST(CoInternetParseUrl, UnescapeDecodesOnceAndNeverCutsThePath) {
  struct Case {
    const char16_t* in;
    const char16_t* out;
  };
  const Case cases[] = {
      {u"/a%20b.swf", u"/a b.swf"},
      {u"/a%2520b.swf", u"/a%20b.swf"},   // once only
      {u"/a%00b.swf", u"/a%00b.swf"},     // a NUL would cut the path: left escaped
      {u"/a%zzb%4", u"/a%zzb%4"},         // malformed escapes stay
      {u"/%41%42", u"/AB"},
      {u"/%2e%2E/x", u"/../x"},
      {u"/no-escapes", u"/no-escapes"},
  };
  for (const auto& c : cases) {
    std::u16string out;
    ASSERT_EQ(Parse(c.in, PARSE_UNESCAPE, &out), S_OK);
    EXPECT_EQ(out, c.out);
  }
}

TEST(CoInternetParseUrl, ScannerChainGivesTheOnceDecodedPath) {
  std::u16string path, unescaped;
  ASSERT_EQ(Parse(u"file:///movies/a%2520b.swf", PARSE_PATH_FROM_URL, &path), S_OK);
  ASSERT_EQ(Parse(path, PARSE_UNESCAPE, &unescaped), S_OK);
  EXPECT_EQ(unescaped, u"/movies/a%20b.swf");
  ASSERT_EQ(Parse(u"file:///movies/a%20b.swf", PARSE_PATH_FROM_URL, &path), S_OK);
  ASSERT_EQ(Parse(path, PARSE_UNESCAPE, &unescaped), S_OK);
  EXPECT_EQ(unescaped, u"/movies/a b.swf");
}

TEST(CoInternetParseUrl, EscapedMultibyteTextFollowsTheCodePage) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  if (std::setlocale(LC_ALL, "C.UTF-8")) {
    std::u16string out;
    ASSERT_EQ(Parse(u"/%E8%A8%B1.swf", PARSE_UNESCAPE, &out), S_OK);
    EXPECT_EQ(out, u"/\u8A31.swf");
    ASSERT_EQ(Parse(u"/%FF%E8%A8%B1", PARSE_UNESCAPE, &out), S_OK);
    EXPECT_EQ(out, u"/%FF\u8A31");  // the invalid byte stays escaped, the rest decodes
  }
  if (std::setlocale(LC_ALL, "zh_TW.BIG5")) {
    std::u16string out;
    ASSERT_EQ(Parse(u"/%B3%5C.swf", PARSE_UNESCAPE, &out), S_OK);
    EXPECT_EQ(out, u"/\u8A31.swf");
    EXPECT_EQ(Utf16ToAnsi(out), "/\xB3\x5C.swf");
  }
  std::setlocale(LC_ALL, saved.c_str());
}

TEST(CoInternetParseUrl, BufferProtocolAndBadArguments) {
  const std::u16string url = u"file:///home/u/intro.swf";
  OLECHAR small[4];
  DWORD len = 0;
  EXPECT_EQ(CoInternetParseUrl(url.c_str(), PARSE_PATH_FROM_URL, 0, small, 4, &len, 0), E_POINTER);
  EXPECT_EQ(len, 18u);  // "/home/u/intro.swf" + terminator
  OLECHAR exact[18];
  EXPECT_EQ(CoInternetParseUrl(url.c_str(), PARSE_PATH_FROM_URL, 0, exact, 18, &len, 0), S_OK);
  EXPECT_EQ(len, 17u);
  EXPECT_EQ(std::u16string(exact), u"/home/u/intro.swf");
  EXPECT_EQ(CoInternetParseUrl(url.c_str(), PARSE_PATH_FROM_URL, 0, exact, 17, &len, 0), E_POINTER);

  EXPECT_EQ(CoInternetParseUrl(nullptr, PARSE_UNESCAPE, 0, exact, 18, &len, 0), E_INVALIDARG);
  EXPECT_EQ(CoInternetParseUrl(url.c_str(), PARSE_UNESCAPE, 0, exact, 18, nullptr, 0), E_POINTER);
  EXPECT_EQ(CoInternetParseUrl(url.c_str(), PARSE_CANONICALIZE, 0, exact, 18, &len, 0), E_NOTIMPL);
}

// The shortcuts the scanner takes for plain addresses give what the long way gives.
TEST(CoInternetParseUrl, PlainAddressShortcutAgreesWithTheParser) {
  const char* const kAddresses[] = {
      "file:///movies/intro.swf", "FILE:///movies/intro.swf?x=1#top", "file://localhost/a/b.swf",
      "File://LocalHost/a/b.swf", "file://server/share/a.swf", "file:relative.swf", "file:/a.swf",
      "file:", "file:///", "http://host/a.swf", "fil", "", "file:///a b/c#d?e",
  };
  for (const char* address : kAddresses) {
    SCOPED_TRACE(address);
    bool local = true;
    std::string fast;
    ASSERT_TRUE(PlainFilePathFromUrl(address, &local, &fast));
    std::u16string path, unescaped;
    bool parsed = Parse(AnsiToUtf16(address), PARSE_PATH_FROM_URL, &path) == S_OK;
    EXPECT_EQ(local, parsed);
    if (!parsed) continue;
    ASSERT_EQ(Parse(path, PARSE_UNESCAPE, &unescaped), S_OK);
    EXPECT_EQ(fast, Utf16ToAnsi(unescaped));
  }
  // Escapes and non-ASCII text take the long way.
  bool local = false;
  std::string path;
  EXPECT_FALSE(PlainFilePathFromUrl("file:///a%20b.swf", &local, &path));
  EXPECT_FALSE(PlainFilePathFromUrl("file:///\xB3\x5C.swf", &local, &path));
}

TEST(CoInternetParseUrl, CanonicalFormWithoutABufferAgrees) {
  const char* const kAddresses[] = {
      "http://Host/a/./b/../c.swf", "  http://h/a b.swf  ", "file:///x/%2e%2E/y.swf", "HTTP://H:80",
      "http://h\\a\\b.swf?q=/./#f", "noscheme.swf", "ftp://u:p@H/x/..", "http://h//a/.",
  };
  for (const char* address : kAddresses) {
    SCOPED_TRACE(address);
    char buffer[512];
    DWORD length = sizeof buffer;
    bool ok = InternetCanonicalizeUrlA(address, buffer, &length, ICU_NO_ENCODE);
    std::string result;
    EXPECT_EQ(CanonicalizeUrl(address, ICU_NO_ENCODE, &result), ok);
    if (ok) {
      EXPECT_EQ(result, std::string(buffer, length));
    }
  }
  std::string result;
  ASSERT_TRUE(CanonicalizeUrl(std::string_view("http://h/a\0b", 12), ICU_NO_ENCODE, &result));
  EXPECT_EQ(result, "http://h/a");
}

}  // namespace
}  // namespace trovex

// The one cookie jar: requests send what it holds for their address and keep what servers set.
#include "platform/inet/cookie_jar.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/inet/http_transport.h"
#include "tests/support/http_server.h"
#include "tests/support/temp_env.h"

namespace trovex::inet {
namespace {

// Fetches `url` with the jar; the body.
std::string Get(const std::string& url) {
  HttpTransfer t{TransferPolicy{}};
  EXPECT_EQ(t.Start(url), 0u);
  EXPECT_EQ(t.WaitForHeaders(), 0u);
  std::string body;
  char buffer[4096];
  for (long n; (n = t.Read(buffer, sizeof buffer)) > 0;) body.append(buffer, static_cast<std::size_t>(n));
  return body;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class CookieJarTest : public ::testing::Test {
 protected:
  void SetUp() override {
    env_.Set("HOME", home_.str());
    env_.Set("XDG_DATA_HOME", home_.str() + "/data");
    server_.Handle("/echo", [](const test::HttpRequest& r, test::HttpConnection& c) {
      auto it = r.headers.find("cookie");
      std::string agent = r.headers.count("user-agent") ? r.headers.at("user-agent") : "";
      c.Write(test::HttpResponseText(200, (it == r.headers.end() ? "" : it->second) + "|" + agent));
    });
  }
  test::TempDir home_;
  test::ScopedEnv env_;
  test::TestHttpServer server_;
};

TEST_F(CookieJarTest, RequestsSendTheJarsCookiesForTheirAddressOnly) {
  const std::string jar = CookieJarPath();
  EXPECT_EQ(jar, home_.str() + "/data/kelvora-swf-trovex/cookies.txt");
  home_.WriteFile("data/kelvora-swf-trovex/cookies.txt",
                  "# Netscape HTTP Cookie File\n"
                  "127.0.0.1\tFALSE\t/\tFALSE\t0\tsession\tyes\tNone\n"
                  "#HttpOnly_127.0.0.1\tFALSE\t/\tFALSE\t4102444800\tsecret\ts3\n"
                  "other.test\tFALSE\t/\tFALSE\t0\tforeign\tno\n"
                  "127.0.0.1\tFALSE\t/elsewhere\tFALSE\t0\tpathed\tno\n"
                  "garbage line\n");
  std::string body = Get(server_.Url("/echo"));
  std::string cookies = body.substr(0, body.find('|'));
  EXPECT_NE(cookies.find("session=yes"), std::string::npos) << cookies;
  EXPECT_NE(cookies.find("secret=s3"), std::string::npos) << cookies;
  EXPECT_EQ(cookies.find("foreign"), std::string::npos) << cookies;
  EXPECT_EQ(cookies.find("pathed"), std::string::npos) << cookies;
  EXPECT_EQ(body.substr(body.find('|') + 1), kUserAgent);
}

TEST_F(CookieJarTest, AProcessOwnJarReplacesTheSharedOneOnlyWhenAbsolute) {
  home_.WriteFile("own.txt", "127.0.0.1\tFALSE\t/\tFALSE\t0\town\tyes\n");
  home_.WriteFile("data/kelvora-swf-trovex/cookies.txt", "127.0.0.1\tFALSE\t/\tFALSE\t0\tshared\tyes\n");
  env_.Set("TROVEX_COOKIE_JAR", "own.txt");  // relative: would depend on the working folder
  EXPECT_EQ(CookieJarPath(), home_.str() + "/data/kelvora-swf-trovex/cookies.txt");
  env_.Set("TROVEX_COOKIE_JAR", home_.str() + "/own.txt");
  EXPECT_EQ(CookieJarPath(), home_.str() + "/own.txt");
  std::string body = Get(server_.Url("/echo"));
  EXPECT_EQ(body.substr(0, body.find('|')), "own=yes");
}

TEST_F(CookieJarTest, WhatTheServerSetsIsKeptForTheNextRequest) {
  server_.Reply("/login", 200, "ok", {"Set-Cookie: token=abc; Path=/", "Set-Cookie: gone=1; Max-Age=0"});
  home_.WriteFile("data/kelvora-swf-trovex/cookies.txt",
                  "127.0.0.1\tFALSE\t/\tFALSE\t0\ttoken\told\n"
                  "127.0.0.1\tFALSE\t/\tFALSE\t0\tkeep\tme\n");
  EXPECT_EQ(Get(server_.Url("/login")), "ok");
  std::string text = ReadAll(CookieJarPath());
  EXPECT_NE(text.find("\ttoken\tabc"), std::string::npos) << text;
  EXPECT_EQ(text.find("\ttoken\told"), std::string::npos) << text;
  EXPECT_NE(text.find("\tkeep\tme"), std::string::npos) << text;
  EXPECT_EQ(text.find("gone"), std::string::npos) << text;
  std::string body = Get(server_.Url("/echo"));
  EXPECT_NE(body.find("token=abc"), std::string::npos) << body;
}

TEST_F(CookieJarTest, MergeReplacesByDomainPathAndNameAndDropsExpired) {
  const std::string jar = home_.str() + "/j/cookies.txt";
  ASSERT_EQ(MergeIntoCookieJar(jar, {"a.test\tFALSE\t/\tFALSE\t0\tn\t1", "a.test\tFALSE\t/x\tFALSE\t0\tn\t2"}), 0);
  ASSERT_EQ(MergeIntoCookieJar(jar, {"a.test\tFALSE\t/\tFALSE\t0\tn\t3", "a.test\tFALSE\t/x\tFALSE\t1\tn\t2",
                                     "not a cookie"}), 0);
  std::vector<std::string> lines = ReadCookieJar(jar);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "a.test\tFALSE\t/\tFALSE\t0\tn\t3");
}

}  // namespace
}  // namespace trovex::inet

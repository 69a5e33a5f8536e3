// A hostile server cannot hold the browser: each fetch has an overall limit and a page load a
// budget shared by all its fetches, each ending with a message that says which.
#include "pageloader/fetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/error/error.h"
#include "platform/inet/network_source.h"
#include "tests/support/fake_page_source.h"
#include "tests/support/http_server.h"

namespace trovex::browser {
namespace {

using namespace std::chrono_literals;
using test::HttpConnection;
using test::HttpRequest;
using test::HttpResponseText;

TEST(FetchLimits, DrippingAndSilentServersEndWithAClearMessage) {
  test::TestHttpServer server;
  // Two bytes a second: never slow enough for the stall limit.
  server.Handle("/drip.html", [](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 100000"}));
    while (c.Write("<p") && c.Sleep(500)) {
    }
  });
  server.Reply("/ok.html", 200, "<p>ok</p>");
  auto spent = std::make_shared<FetchBudget>(1s);
  spent->Deadline();
  struct Case {
    const char* name;
    const char* path;
    long totalSeconds;
    std::shared_ptr<FetchBudget> budget;
    bool fetched;
    std::string errorStart;
  } cases[] = {
      {"per-fetch limit", "/drip.html", 1, nullptr, false, "超過 1 秒："},
      {"budget runs out mid-fetch", "/drip.html", 30, std::make_shared<FetchBudget>(1s), false,
       "載入頁面的 1 秒在抓取 "},
      {"budget already used up", "/ok.html", 30, spent, false, "載入頁面的 1 秒已經用完；沒有抓取"},
      {"within both", "/ok.html", 30, std::make_shared<FetchBudget>(30s), true, ""},
  };
  std::this_thread::sleep_for(1100ms);  // `spent` is past its deadline
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FetchLimits limits;
    limits.nTotalSeconds = c.totalSeconds;
    limits.budget = c.budget;
    auto start = std::chrono::steady_clock::now();
    FetchResult r = Fetch(server.Url(c.path), limits);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
    EXPECT_EQ(r.bFetched, c.fetched);
    EXPECT_EQ(r.strError.substr(0, c.errorStart.size()), c.errorStart) << r.strError;
    if (c.fetched) {
      EXPECT_EQ(r.strBody, "<p>ok</p>");
    }
  }
}

// Pages from a source (an archive): its redirects followed as the transport's, at most 20 and
// to the web only; what it lacks is its reason, or the network's page behind it; damage stays.
TEST(FetchLimits, SourcesAnswerAsTheNetworkDoes) {
  test::TestHttpServer server;
  server.Reply("/live.html", 200, "live page", {"Content-Type: text/html"});
  server.Reply("/damaged.html", 200, "live page");
  const std::string base = "http://archived.example/";
  auto archive = std::make_shared<test::FakePageSource>();
  archive->Reply(base + "page.html", 200, "archived page");
  archive->Reply(base + "gone.html", 404, "no page");
  for (int i = 1; i <= 21; ++i)
    archive->Redirect(base + "r" + std::to_string(i), i == 21 ? base + "page.html" : base + "r" + std::to_string(i + 1));
  archive->Redirect(base + "ftp", "ftp://archived.example/page.html");
  archive->Fail(server.Url("/damaged.html"), ERROR_INVALID_DATA, "damaged record");
  inet::NetworkSource network;
  auto both = std::make_shared<inet::FallbackSource>(*archive, network);
  struct Case {
    std::string url;
    std::shared_ptr<inet::PageSource> source;
    bool fetched;
    long status;
    std::string bodyOrError;  // the body, or the start of the error
    std::string finalUrl;
  } cases[] = {
      {base + "page.html", archive, true, 200, "archived page", base + "page.html"},
      {base + "gone.html", archive, true, 404, "no page", base + "gone.html"},
      {base + "r2", archive, true, 200, "archived page", base + "page.html"},
      {base + "r1", archive, false, 0, "more than 20 redirects from " + base + "r1", ""},
      {base + "ftp", archive, false, 0, "redirected to an address that is not http or https", ""},
      {server.Url("/live.html"), archive, false, 0, "not archived: " + server.Url("/live.html"), ""},
      {server.Url("/live.html"), both, true, 200, "live page", server.Url("/live.html")},
      {server.Url("/damaged.html"), both, false, 0, "damaged record", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.url);
    FetchLimits limits;
    limits.source = c.source;
    const FetchResult r = Fetch(c.url, limits);
    ASSERT_EQ(r.bFetched, c.fetched) << r.strError;
    if (!c.fetched) {
      EXPECT_EQ(r.strError.rfind(c.bodyOrError, 0), 0u) << r.strError;
      continue;
    }
    EXPECT_EQ(r.nStatus, c.status);
    EXPECT_EQ(r.strBody, c.bodyOrError);
    EXPECT_EQ(r.strURL, c.finalUrl);
    EXPECT_EQ(r.strContentType, "text/html");
  }
  EXPECT_EQ(server.CountRequests("/live.html"), 1);
  EXPECT_EQ(server.CountRequests("/damaged.html"), 0);
  // The network behind an archive keeps the fetch's time limit: a dripping server ends.
  server.Handle("/drip.html", [](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 100000"}));
    while (c.Write("<p") && c.Sleep(500)) {
    }
  });
  FetchLimits limits{.nTotalSeconds = 1, .source = both};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(Fetch(server.Url("/drip.html"), limits).bFetched);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace
}  // namespace trovex::browser

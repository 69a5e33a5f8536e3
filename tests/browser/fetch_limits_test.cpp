// A hostile server cannot hold the browser: each fetch has an overall limit and a page load a
// budget shared by all its fetches, each ending with a message that says which.
#include "pageloader/fetch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

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
      {"per-fetch limit", "/drip.html", 1, nullptr, false, "took longer than 1 s: "},
      {"budget runs out mid-fetch", "/drip.html", 30, std::make_shared<FetchBudget>(1s), false,
       "the page load's 1 s ran out while fetching "},
      {"budget already used up", "/ok.html", 30, spent, false, "the page load's 1 s are used up"},
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

}  // namespace
}  // namespace trovex::browser

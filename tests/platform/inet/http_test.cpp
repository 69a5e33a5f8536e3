// The HTTP classes against a scripted server on 127.0.0.1: statuses, headers, bodies in all
// their shapes, and every way a request can fail, with WinInet's numbers.
#include "platform/inet/http.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include "platform/inet/test_seam.h"
#include "tests/support/http_server.h"

namespace trovex {
namespace {

using namespace std::chrono_literals;
using test::HttpConnection;
using test::HttpRequest;
using test::HttpResponseText;
using test::TestHttpServer;

struct Outcome {
  DWORD error = 0;       // of the exception, 0 when none
  DWORD status = 0;
  bool hasLength = false;
  std::string length;
  std::string location;
  std::string body;
};

// GET through session, connection and request, the body in 1024-byte reads.
Outcome Get(CInternetSession& session, const std::string& server, INTERNET_PORT port,
            const std::string& object, bool secure = false) {
  Outcome o;
  try {
    auto connection = session.GetHttpConnection(server, secure ? INTERNET_FLAG_SECURE : 0, port);
    auto file = connection->OpenRequest("GET", object, nullptr, 1, nullptr, nullptr,
                                        INTERNET_FLAG_EXISTING_CONNECT);
    file->SendRequest();
    file->QueryInfoStatusCode(o.status);
    o.hasLength = file->QueryInfo(HTTP_QUERY_CONTENT_LENGTH, o.length);
    file->QueryInfo(HTTP_QUERY_LOCATION, o.location);
    char buffer[1024];
    while (UINT n = file->Read(buffer, sizeof buffer)) {
      EXPECT_LE(n, sizeof buffer);
      o.body.append(buffer, n);
    }
    file->Close();
  } catch (const CInternetException& e) {
    o.error = e.m_dwError;
  }
  return o;
}

std::string Pattern(std::size_t size) {
  std::string s(size, '\0');
  for (std::size_t i = 0; i < size; ++i) s[i] = static_cast<char>((i * 31 + i / 1021) & 0xFF);
  return s;
}

TEST(HttpClasses, ResponsesArriveWithTheirStatusHeadersAndBody) {
  TestHttpServer server;
  const std::string big = Pattern(3 << 20);
  server.Reply("/ok", 200, "hello");
  server.Reply("/empty", 200, "");
  server.Reply("/chunked", 200, "chunked body", {"Transfer-Encoding: chunked"});
  server.Reply("/missing", 404, "no such movie");
  server.Reply("/broken", 500, "oops");
  server.Redirect("/moved", 302, "/ok");
  server.Reply("/big", 200, big);
  struct Case {
    const char* object;
    DWORD status;
    bool hasLength;
    std::string length;
    std::string location;
    std::string body;
  } cases[] = {
      {"/ok", 200, true, "5", "", "hello"},
      {"/empty", 200, true, "0", "", ""},
      {"/chunked", 200, false, "", "", "chunked body"},
      {"/missing", 404, true, "13", "", "no such movie"},
      {"/broken", 500, true, "4", "", "oops"},
      // Redirects are the caller's to follow.
      {"/moved", 302, true, "0", "/ok", ""},
      {"/big", 200, true, std::to_string(big.size()), "", big},
  };
  CInternetSession session;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.object);
    Outcome o = Get(session, "127.0.0.1", static_cast<INTERNET_PORT>(server.Port()), c.object);
    EXPECT_EQ(o.error, 0u);
    EXPECT_EQ(o.status, c.status);
    EXPECT_EQ(o.hasLength, c.hasLength);
    EXPECT_EQ(o.length, c.length);
    EXPECT_EQ(o.location, c.location);
    EXPECT_TRUE(o.body == c.body) << o.body.size() << " bytes";
  }
}

TEST(HttpClasses, FailuresRaiseWinInetNumbers) {
  TestHttpServer server;
  TestHttpServer tls(true);
  server.Handle("/short", [](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "only part", {"Content-Length: 100"}));
  });
  server.Handle("/reset", [](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, std::string(5000, 'x'), {"Content-Length: 100000"}));
    c.Sleep(100);
    c.Reset();
  });
  server.Handle("/silent", [](const HttpRequest&, HttpConnection& c) { c.Sleep(10000); });
  server.Handle("/stalls", [](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "abc", {"Content-Length: 10"}));
    c.Sleep(10000);
  });
  tls.Reply("/ok", 200, "secure");
  // A port where nothing listens.
  INTERNET_PORT closed;
  {
    TestHttpServer gone;
    closed = static_cast<INTERNET_PORT>(gone.Port());
  }
  struct Case {
    const char* name;
    INTERNET_PORT port;
    const char* object;
    bool secure;
    DWORD error;
  } cases[] = {
      {"body shorter than announced", static_cast<INTERNET_PORT>(server.Port()), "/short", false,
       ERROR_INTERNET_CONNECTION_ABORTED},
      {"reset mid-body", static_cast<INTERNET_PORT>(server.Port()), "/reset", false,
       ERROR_INTERNET_CONNECTION_RESET},
      {"silent before the headers", static_cast<INTERNET_PORT>(server.Port()), "/silent", false,
       ERROR_INTERNET_TIMEOUT},
      {"silent in the body", static_cast<INTERNET_PORT>(server.Port()), "/stalls", false,
       ERROR_INTERNET_TIMEOUT},
      {"nobody listening", closed, "/", false, ERROR_INTERNET_CANNOT_CONNECT},
      // The system's authorities do not know the test CA.
      {"untrusted certificate", static_cast<INTERNET_PORT>(tls.Port()), "/ok", true, 12045},
  };
  CInternetSession session;
  session.policy().stallSeconds = 1;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    auto start = std::chrono::steady_clock::now();
    Outcome o = Get(session, "127.0.0.1", c.port, c.object, c.secure);
    EXPECT_EQ(o.error, c.error);
    // Well before the silent server's 10 s are over. The library judges a stall by its speed
    // averaged over the last seconds, so a stall after a few body bytes ends after about 4 s,
    // and later still on a loaded machine or under the sanitizers.
    EXPECT_LT(std::chrono::steady_clock::now() - start, 8s);
  }
}

TEST(HttpClasses, TrustedTestAuthorityGivesHttps) {
  TestHttpServer tls(true);
  tls.Reply("/ok", 200, "secure");
  auto seam = std::make_optional<inet::ScopedInetTestSeam>(inet::InetTestSettings{test::TestCertificates::Get().caFile});
  CInternetSession session;
  Outcome byIp = Get(session, "127.0.0.1", static_cast<INTERNET_PORT>(tls.Port()), "/ok", true);
  Outcome byName = Get(session, "localhost", static_cast<INTERNET_PORT>(tls.Port()), "/ok", true);
  seam.reset();
  EXPECT_EQ(byIp.error, 0u);
  EXPECT_EQ(byIp.body, "secure");
  EXPECT_EQ(byName.body, "secure");
}

// A stop must not wait for the network: neither for the headers nor inside the body.
TEST(HttpClasses, AbortFlagEndsAWaitingRequestAtOnce) {
  TestHttpServer server;
  server.Handle("/silent", [](const HttpRequest&, HttpConnection& c) { c.Sleep(10000); });
  server.Handle("/slow", [](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 1000"}));
    c.Sleep(10000);
  });
  for (const char* object : {"/silent", "/slow"}) {
    SCOPED_TRACE(object);
    std::atomic<bool> stop{false};
    CInternetSession session;
    session.policy().abort = &stop;
    std::thread stopper([&] {
      std::this_thread::sleep_for(300ms);
      stop = true;
    });
    auto start = std::chrono::steady_clock::now();
    Outcome o = Get(session, "127.0.0.1", static_cast<INTERNET_PORT>(server.Port()), object);
    auto took = std::chrono::steady_clock::now() - start;
    stopper.join();
    EXPECT_EQ(o.error, ERROR_INTERNET_OPERATION_CANCELLED);
    EXPECT_LT(took, 1s);
  }
}

// A server that drips bytes never trips the stall limit; the overall limit still ends it.
TEST(HttpTransport, DeadlineEndsADrippingBody) {
  TestHttpServer server;
  server.Handle("/drip", [](const HttpRequest&, HttpConnection& c) {
    c.Write(HttpResponseText(200, "", {"Content-Length: 100000"}));
    while (c.Write("x") && c.Sleep(50)) {
    }
  });
  inet::TransferPolicy policy;
  policy.deadline = std::chrono::steady_clock::now() + 700ms;
  inet::HttpTransfer transfer(policy);
  ASSERT_EQ(transfer.Start(server.Url("/drip")), 0u);
  EXPECT_EQ(transfer.WaitForHeaders(), 0u);
  char buffer[1024];
  long n = 0;
  while ((n = transfer.Read(buffer, sizeof buffer)) > 0) {
  }
  EXPECT_EQ(n, -1);
  EXPECT_EQ(transfer.error(), ERROR_INTERNET_TIMEOUT);
  EXPECT_NE(transfer.errorDetail().find(server.Url("/drip")), std::string::npos);
  EXPECT_GT(transfer.bytesReceived(), 0u);
}

}  // namespace
}  // namespace trovex

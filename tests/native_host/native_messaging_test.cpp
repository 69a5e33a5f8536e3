// The host's side of native messaging: framing read from a pipe, and the checks a request
// passes before anything is built from it.
#include "native_host/native_messaging.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <thread>

namespace trovex::nativehost {
namespace {

std::string Length(std::uint32_t n) {
  std::string out(4, '\0');
  std::memcpy(out.data(), &n, 4);
  return out;
}

std::string Framed(const std::string& body) { return Length(static_cast<std::uint32_t>(body.size())) + body; }

// Reads from a pipe holding `bytes`; the writing end stays open when `keepOpen` (a browser
// that stalls) and is closed otherwise.
ReadResult ReadFrom(const std::string& bytes, bool keepOpen = false, std::size_t cap = 100) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  EXPECT_EQ(write(fds[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  if (!keepOpen) close(fds[1]);
  ReadResult r = ReadMessage(fds[0], cap, 300);
  close(fds[0]);
  if (keepOpen) close(fds[1]);
  return r;
}

TEST(NativeMessagingFraming, EachStreamReadsAsExpected) {
  struct Case {
    const char* name;
    std::string bytes;
    bool keepOpen;
    ReadStatus status;
    std::string body;
    const char* errorPart;
  } cases[] = {
      {"nothing: the browser closed", "", false, ReadStatus::kEnd, "", ""},
      {"short length", std::string("\x05\x00", 2), false, ReadStatus::kBroken, "", "2 of 4 bytes"},
      {"length beyond the cap", Length(101) + std::string(101, 'x'), false, ReadStatus::kBroken, "",
       "101 bytes, more than the 100"},
      {"huge length", Length(0xFFFFFFFFu), false, ReadStatus::kBroken, "", "more than"},
      {"truncated body", Length(10) + "{\"a\":", false, ReadStatus::kBroken, "", "after 5 of 10 bytes"},
      {"stalled body", Length(10) + "{\"a\":", true, ReadStatus::kBroken, "", "nothing more came"},
      {"whole message", Framed("{\"a\":1}"), false, ReadStatus::kMessage, "{\"a\":1}", ""},
      {"message at the cap", Framed(std::string(100, ' ')), false, ReadStatus::kMessage, std::string(100, ' '), ""},
      {"empty message", Length(0), false, ReadStatus::kMessage, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ReadResult r = ReadFrom(c.bytes, c.keepOpen);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.body, c.body);
    EXPECT_NE(r.error.find(c.errorPart), std::string::npos) << r.error;
  }
}

TEST(NativeMessagingFraming, MessagesFollowEachOtherAndAnswersAreFramed) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_TRUE(WriteMessage(fds[1], "{\"first\":1}"));
  ASSERT_TRUE(WriteMessage(fds[1], "[2]"));
  close(fds[1]);
  EXPECT_EQ(ReadMessage(fds[0]).body, "{\"first\":1}");
  EXPECT_EQ(ReadMessage(fds[0]).body, "[2]");
  EXPECT_EQ(ReadMessage(fds[0]).status, ReadStatus::kEnd);
  close(fds[0]);
  // Browsers refuse answers beyond 1 MiB: such an answer is never written.
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_FALSE(WriteMessage(fds[1], std::string(kMaxAnswerBytes + 1, ' ')));
  close(fds[1]);
  EXPECT_EQ(ReadMessage(fds[0]).status, ReadStatus::kEnd);
  close(fds[0]);
}

TEST(NativeMessagingRequest, EachBodyIsAcceptedOrRefusedWithItsReason) {
  const std::string snapshot = R"("snapshot":{"version":1,"frames":{"url":"http://a/","objects":[],"embeds":[],"frames":[]}})";
  std::string deep(1000, '[');
  deep += std::string(1000, ']');
  struct Case {
    const char* name;
    std::string body;
    const char* errorPart;  // null: accepted
    bool raise = false;     // a request to raise the open dialog
  } cases[] = {
      {"accepted", "{\"version\":1," + snapshot + "}", nullptr},
      {"accepted with cookies", "{\"version\":1," + snapshot + ",\"cookies\":\"# Netscape HTTP Cookie File\\n\"}", nullptr},
      {"empty", "", "not JSON"},
      {"not JSON", "{version:1}", "not JSON"},
      {"invalid UTF-8", "{\"version\":1," + snapshot + ",\"cookies\":\"\xC3\x28\"}", "not JSON"},
      {"lone surrogate escape", "{\"version\":1," + snapshot + ",\"cookies\":\"\\uD800\"}", "not JSON"},
      {"trailing garbage", "{\"version\":1," + snapshot + "} x", "not JSON"},
      {"array", "[1]", "not a JSON object"},
      {"deep nesting", "{\"version\":1,\"snapshot\":{\"x\":" + deep + "}}", "nested deeper"},
      {"version missing", "{" + snapshot + "}", "version: missing"},
      {"version 2", "{\"version\":2," + snapshot + "}", "version: 2 is not supported"},
      {"version as text", "{\"version\":\"1\"," + snapshot + "}", "is not supported"},
      {"version 1.5", "{\"version\":1.5," + snapshot + "}", "is not supported"},
      {"unknown field", "{\"version\":1," + snapshot + ",\"frame\":3}", "unknown field \"frame\""},
      {"snapshot missing", "{\"version\":1}", "snapshot: missing"},
      {"snapshot as text", "{\"version\":1,\"snapshot\":\"{}\"}", "snapshot: an object expected"},
      {"cookies as list", "{\"version\":1," + snapshot + ",\"cookies\":[]}", "cookies: a Mozilla-format jar"},
      // A bad line costs that cookie only, never the request.
      {"malformed cookie", "{\"version\":1," + snapshot + ",\"cookies\":\"# x\\na\\tb\\n\"}", nullptr},
      {"raise", "{\"version\":1,\"raise\":true}", "unknown field \"raise\"", true},
      {"raise false", "{\"version\":1,\"raise\":false}", "unknown field \"raise\""},
      {"raise of version 2", "{\"version\":2,\"raise\":true}", "unknown field \"raise\""},
      {"raise with a snapshot", "{\"version\":1,\"raise\":true," + snapshot + "}", "unknown field \"raise\""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Request r;
    std::string error;
    bool ok = ParseRequest(c.body, &r, &error);
    EXPECT_EQ(IsRaiseRequest(c.body), c.raise);
    if (!c.errorPart) {
      EXPECT_TRUE(ok) << error;
      EXPECT_NE(r.strSnapshot.find("\"frames\""), std::string::npos);
    } else {
      EXPECT_FALSE(ok);
      EXPECT_NE(error.find(c.errorPart), std::string::npos) << error;
    }
  }
}

TEST(NativeMessagingRequest, CookieJarKeepsItsCookieLinesOnly) {
  Request r;
  std::string error;
  // Browsers keep nameless cookies; those and any other bad line are skipped and noted.
  ASSERT_TRUE(ParseRequest(
      "{\"version\":1,\"snapshot\":{},\"cookies\":\"# Netscape HTTP Cookie File\\r\\n\\n"
      "127.0.0.1\\tFALSE\\t/\\tFALSE\\t0\\tsid\\tabc\\r\\n"
      "127.0.0.1\\tFALSE\\t/\\tFALSE\\t0\\t\\tnameless\\n"
      "a\\tb\\n"
      "#HttpOnly_.example.test\\tTRUE\\t/m\\tTRUE\\t4102444800\\tkey\\t\\n\"}",
      &r, &error))
      << error;
  ASSERT_EQ(r.cookieLines.size(), 2u);
  EXPECT_EQ(r.cookieLines[0], "127.0.0.1\tFALSE\t/\tFALSE\t0\tsid\tabc");
  EXPECT_EQ(r.cookieLines[1], "#HttpOnly_.example.test\tTRUE\t/m\tTRUE\t4102444800\tkey\t");
  ASSERT_EQ(r.skipped.size(), 2u);
  EXPECT_NE(r.skipped[0].find("line 4"), std::string::npos) << r.skipped[0];
  EXPECT_NE(r.skipped[1].find("line 5"), std::string::npos) << r.skipped[1];
}

TEST(NativeMessagingRequest, CookieLinesAreCheckedFieldByField) {
  struct Case {
    const char* line;
    bool ok;
  } cases[] = {
      {"a.test\tFALSE\t/\tFALSE\t0\tn\tv", true},
      {"#HttpOnly_a.test\tTRUE\t/p\tTRUE\t1700000000\tn\t", true},
      {"a.test\tFALSE\t/\tFALSE\t0\tn", false},              // six fields
      {"a.test\tFALSE\t/\tFALSE\t0\tn\tv\tx", false},        // eight
      {"\tFALSE\t/\tFALSE\t0\tn\tv", false},                 // no domain
      {"a.test\tFALSE\t/\tFALSE\t0\t\tv", false},            // no name
      {"a.test\tyes\t/\tFALSE\t0\tn\tv", false},             // flag
      {"a.test\tFALSE\tp\tFALSE\t0\tn\tv", false},           // path not absolute
      {"a.test\tFALSE\t/\tFALSE\t-1\tn\tv", false},          // expiry
      {"a.test\tFALSE\t/\tFALSE\t99999999999999999999\tn\tv", false},
      {"a.test\tFALSE\t/\tFALSE\t0\tn\tv\x01", false},       // control character
      {"#a.test\tFALSE\t/\tFALSE\t0\tn\tv", false},          // a comment is no cookie
  };
  for (const Case& c : cases) EXPECT_EQ(IsCookieLine(c.line), c.ok) << c.line;
}

TEST(NativeMessagingAnswer, AnswersCarryTheVersionAndSurviveBadText) {
  EXPECT_EQ(AnswerResult(0), "{\"result\":0,\"version\":1}");
  std::string error = AnswerError("壞\xFF");
  EXPECT_NE(error.find("\"error\":\"壞"), std::string::npos) << error;
  EXPECT_NE(error.find("\"version\":1"), std::string::npos);
}

}  // namespace
}  // namespace trovex::nativehost

#include "platform/text/codepage.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace trovex {
namespace {

// Records where the conversion met bad input and marks it in the output.
struct Recorder {
  std::vector<std::pair<std::size_t, bool>> calls;
  std::size_t skip = 1;
  CodePageFallback Fallback() {
    return [this](std::size_t pos, bool truncated, std::string& out) {
      calls.emplace_back(pos, truncated);
      out += '#';
      return skip;
    };
  }
};

TEST(ConvertCodePage, ConvertsAndReportsEachBadSequenceWhereItStarts) {
  struct Case {
    const char* from;
    const char* to;
    std::string in, out;
    std::vector<std::pair<std::size_t, bool>> bad;
  } cases[] = {
      {"BIG5", "UTF-8", "\xB3\x5C\xA5\x5C", "\xE8\xA8\xB1\xE5\x8A\x9F", {}},  // 許功
      {"UTF-8", "BIG5", "\xE8\xA8\xB1/", "\xB3\x5C/", {}},
      {"UTF-8", "UTF-16LE", "A\xC3\xA9", std::string("A\0\xE9\0", 4), {}},
      {"UTF-8", "UTF-8", "a\xFF" "b\xC3", "a#b#", {{1, false}, {3, true}}},
      {"BIG5", "UTF-8", "x\xFF\xFFy", "x##y", {{1, false}, {2, false}}},
      // 中 has no Latin-1 byte; skipping one byte leaves its trail bytes, each bad on its own.
      {"UTF-8", "ISO-8859-1", "\xE4\xB8\xAD!", "###!", {{0, false}, {1, false}, {2, false}}},
      {"UTF-8", "UTF-8", "", "", {}},
  };
  for (const Case& c : cases) {
    Recorder r;
    std::string out = "";
    ASSERT_TRUE(ConvertCodePage(c.in, c.from, c.to, out, r.Fallback())) << c.from << "->" << c.to;
    EXPECT_EQ(out, c.out) << c.from << "->" << c.to << " " << c.in;
    EXPECT_EQ(r.calls, c.bad) << c.in;
  }
}

TEST(ConvertCodePage, FallbackDecidesHowMuchToSkip) {
  Recorder r;
  r.skip = 100;  // past the end: the rest is given up
  std::string out = "kept:";
  ASSERT_TRUE(ConvertCodePage("ab\xFF" "cd", "UTF-8", "UTF-8", out, r.Fallback()));
  EXPECT_EQ(out, "kept:ab#");
}

TEST(ConvertCodePage, UnknownCodePageLeavesTheOutputAsItWas) {
  Recorder r;
  std::string out = "before";
  EXPECT_FALSE(ConvertCodePage("text", "NO-SUCH-CHARSET", "UTF-8", out, r.Fallback()));
  EXPECT_FALSE(ConvertCodePage("text", "UTF-8", "NO-SUCH-CHARSET", out, r.Fallback()));
  EXPECT_EQ(out, "before");
  EXPECT_TRUE(r.calls.empty());
}

TEST(ConvertCodePage, AReusedConverterStartsFreshAndThreadsDoNotShareOne) {
  // A stateful encoding left in its shifted state must not leak into the next conversion.
  std::string first, second;
  ASSERT_TRUE(ConvertCodePage("\xE4\xB8\xAD", "UTF-8", "ISO-2022-JP", first, Recorder().Fallback()));
  ASSERT_TRUE(ConvertCodePage("A", "UTF-8", "ISO-2022-JP", second, Recorder().Fallback()));
  EXPECT_EQ(first.back(), 'B');  // shifted back to ASCII at the end
  EXPECT_EQ(second, "A");

  std::vector<std::thread> threads;
  std::vector<std::string> results(4);
  for (std::size_t t = 0; t < results.size(); ++t)
    threads.emplace_back([&results, t] {
      for (int i = 0; i < 200; ++i) {
        std::string out;
        ConvertCodePage("\xB3\x5C", "BIG5", "UTF-8", out, [](std::size_t, bool, std::string&) { return 1; });
        if (out != "\xE8\xA8\xB1") results[t] = out;
      }
    });
  for (std::thread& th : threads) th.join();
  for (const std::string& r : results) EXPECT_EQ(r, "");
}

}  // namespace
}  // namespace trovex

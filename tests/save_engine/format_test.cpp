// Grouped numbers and the size and date texts.
#include <gtest/gtest.h>

#include <ctime>
#include <string>

#include "platform/error/error.h"
#include "platform/fs/file.h"
#include "platform/text/text.h"
#include "save_engine/format.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

struct GroupCase {
  double value;
  int decimals;
  const char* text;
};

TEST(FormatGroupedNumber, CommasBetweenGroupsOfThree) {
  const GroupCase cases[] = {
      {0, 0, "0"},           {999, 0, "999"},           {1000, 0, "1,000"},
      {1263616, 0, "1,263,616"}, {123456789, 0, "123,456,789"},
      {1234.5678, 2, "1,234.57"}, {12.5, 1, "12.5"},     {-1234567, 0, "-1,234,567"},
      {-999, 0, "-999"},     {100000, 0, "100,000"},    {1e15, 0, "1,000,000,000,000,000"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatGroupedNumber(c.value, c.decimals), c.text) << c.text;
}

struct SizeCase {
  std::int64_t bytes;
  const char* text;
};

TEST(FileSizeText, KilobytesRoundedHalfUp) {
  const SizeCase cases[] = {
      {-1, "? KB"},          {-5000, "? KB"},
      {0, "0 KB"},           {1, "1 KB"},           {511, "1 KB"},
      {512, "1 KB"},         {1023, "1 KB"},        {1535, "1 KB"},
      {1536, "2 KB"},        {1024 * 1000, "1,000 KB"},
      {std::int64_t{1263616} * 1024, "1,263,616 KB"},
      {std::int64_t{5} << 40, "5,368,709,120 KB"},  // beyond 32 bits
  };
  for (const auto& c : cases) EXPECT_EQ(FileSizeText(c.bytes), c.text) << c.bytes;
}

TEST(FileDateText, LocalTimeFormat) {
  {
    test::ScopedEnv env;
    env.Set("TZ", "UTC");
    tzset();
    EXPECT_EQ(FileDateText(0), "1970-01-01, 00:00:00");
    EXPECT_EQ(FileDateText(1700000000), "2023-11-14, 22:13:20");
    env.Set("TZ", "Asia/Taipei");
    tzset();
    EXPECT_EQ(FileDateText(1700000000), "2023-11-15, 06:13:20");
  }
  tzset();
}

}  // namespace
}  // namespace trovex

namespace trovex {
namespace {

TEST(GetFileExceptionMessage, CauseTextWithThePath) {
  const std::pair<CFileException, const char*> cases[] = {
      {CFileException(CFileException::accessDenied, 5, "/m/a.swf"), "存取 /m/a.swf 遭受拒絕。"},
      {CFileException(CFileException::diskFull, 112, "/m/b.swf"), "存取 /m/b.swf 時磁碟已滿。"},
      {CFileException(99, 1, "/m/c.swf"), "存取 /m/c.swf 時發生未知的錯誤。"},
  };
  for (const auto& [e, text] : cases) EXPECT_EQ(GetFileExceptionMessage(e), text);
}

}  // namespace
}  // namespace trovex

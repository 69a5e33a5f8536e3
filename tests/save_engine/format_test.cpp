// The system error texts, grouped numbers and the size and date texts.
#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <ctime>
#include <string>

#include "platform/error/error.h"
#include "platform/fs/file.h"
#include "platform/text/text.h"
#include "save_engine/format.h"
#include "tests/support/temp_env.h"

namespace trovex {
namespace {

std::string ErrorText(DWORD code, std::size_t size = 255) {
  std::string buffer(size, 'X');
  SetLastError(code);
  FormatSystemError(buffer.data(), size);
  return std::string(buffer.c_str());
}

TEST(FormatSystemError, OwnTextForEveryCodeTheSystemMeets) {
  const DWORD codes[] = {
      // files, folders, disks
      2, 3, 4, 5, 6, 8, 14, 17, 19, 32, 33, 38, 39, 80, 87, 112, 122, 123, 145, 183, 206, 267,
      1117,
      // registry
      1010, 1011, 1012, 1013, 1015, 1018,
      // internet
      12002, 12005, 12006, 12007, 12017, 12028, 12029, 12030, 12031, 12037, 12038, 12152, 12156,
  };
  for (DWORD code : codes) {
    std::string text = ErrorText(code);
    EXPECT_FALSE(text.empty()) << code;
    EXPECT_EQ(text.find('('), std::string::npos) << code << ": " << text;
    EXPECT_LT(text.size(), 255u) << code;
    EXPECT_NE(text.back(), '\n') << code;
  }
  EXPECT_EQ(ErrorText(267), "目錄名稱無效。");
  EXPECT_NE(ErrorText(2), ErrorText(3));
}

TEST(FormatSystemError, UnknownCodeOrShortBufferGivesTheNumber) {
  EXPECT_EQ(ErrorText(4242), "(4242)");
  EXPECT_EQ(ErrorText(0xFFFFFFFFu), "(-1)");
  // "目錄名稱無效。" takes 21 bytes in UTF-8: a buffer of 21 cannot hold it with its zero.
  EXPECT_EQ(ErrorText(267, 22), "目錄名稱無效。");
  EXPECT_EQ(ErrorText(267, 21), "(267)");
  EXPECT_EQ(ErrorText(267, 4), "(26");  // cut to the buffer
  // The whole buffer is cleared, nothing of the old content shows after the text.
  char buffer[32];
  std::memset(buffer, 'Z', sizeof buffer);
  SetLastError(4242);
  FormatSystemError(buffer, sizeof buffer);
  for (std::size_t i = std::strlen(buffer); i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '\0');
}

TEST(FormatSystemError, TextIsInTheLocaleCodePage) {
  std::string old = std::setlocale(LC_CTYPE, nullptr);
  if (!std::setlocale(LC_CTYPE, "zh_TW.BIG5")) GTEST_SKIP() << "zh_TW.BIG5 locale missing";
  std::string text = ErrorText(267);
  std::setlocale(LC_CTYPE, old.c_str());
  // 目錄名稱無效。 in Big5: 7 double-byte characters.
  EXPECT_EQ(text, "\xA5\xD8\xBF\xFD\xA6\x57\xBA\xD9\xB5\x4C\xAE\xC4\xA1\x43");
}

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

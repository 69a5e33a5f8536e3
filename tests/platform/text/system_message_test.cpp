// The system's error texts in the locale's code page.
#include "platform/text/system_message.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>

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

}  // namespace
}  // namespace trovex

// The system's message table: a text for every code the platform layers report.
#include "platform/error/message_table.h"

#include <gtest/gtest.h>

#include <string_view>

namespace trovex {
namespace {

// Well-formed UTF-8 (no overlong forms, surrogates or values past U+10FFFF).
bool IsUtf8(std::string_view s) {
  for (std::size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    int n = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (n < 0 || i + n >= s.size()) return false;
    char32_t cp = n == 0 ? c : c & (0x3F >> n);
    for (int k = 1; k <= n; ++k) {
      const unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n + 1;
  }
  return true;
}

TEST(MessageTable, EveryCodeTheErrorLayerNamesHasOneCleanText) {
  const DWORD codes[] = {
      ERROR_SUCCESS, ERROR_INVALID_FUNCTION, ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND,
      ERROR_TOO_MANY_OPEN_FILES, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_NOT_ENOUGH_MEMORY,
      ERROR_INVALID_DATA, ERROR_OUTOFMEMORY, ERROR_NOT_SAME_DEVICE, ERROR_WRITE_PROTECT,
      ERROR_SHARING_VIOLATION, ERROR_LOCK_VIOLATION, ERROR_HANDLE_EOF, ERROR_HANDLE_DISK_FULL,
      ERROR_NOT_SUPPORTED, ERROR_FILE_EXISTS, ERROR_INVALID_PARAMETER, ERROR_BROKEN_PIPE,
      ERROR_DISK_FULL, ERROR_INSUFFICIENT_BUFFER, ERROR_INVALID_NAME, ERROR_DIR_NOT_EMPTY,
      ERROR_BUSY, ERROR_ALREADY_EXISTS, ERROR_FILENAME_EXCED_RANGE, ERROR_MORE_DATA,
      ERROR_NO_MORE_ITEMS, ERROR_DIRECTORY, ERROR_OPERATION_ABORTED, ERROR_BADKEY, ERROR_CANTOPEN,
      ERROR_CANTREAD, ERROR_CANTWRITE, ERROR_REGISTRY_CORRUPT, ERROR_KEY_DELETED, ERROR_IO_DEVICE,
      ERROR_TIMEOUT, ERROR_INTERNET_OUT_OF_HANDLES, ERROR_INTERNET_TIMEOUT,
      ERROR_INTERNET_EXTENDED_ERROR, ERROR_INTERNET_INTERNAL_ERROR, ERROR_INTERNET_INVALID_URL,
      ERROR_INTERNET_UNRECOGNIZED_SCHEME, ERROR_INTERNET_NAME_NOT_RESOLVED,
      ERROR_INTERNET_INVALID_OPERATION, ERROR_INTERNET_OPERATION_CANCELLED,
      ERROR_INTERNET_INCORRECT_HANDLE_TYPE, ERROR_INTERNET_CANNOT_CONNECT,
      ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_CONNECTION_RESET,
      ERROR_INTERNET_SEC_CERT_DATE_INVALID, ERROR_INTERNET_SEC_CERT_CN_INVALID,
      ERROR_INTERNET_SEC_CERT_ERRORS, ERROR_INTERNET_SEC_CERT_NO_REV,
      ERROR_INTERNET_SEC_CERT_REV_FAILED, ERROR_INTERNET_SEC_INVALID_CERT,
      ERROR_INTERNET_SEC_CERT_REVOKED, ERROR_HTTP_HEADER_NOT_FOUND,
      ERROR_HTTP_INVALID_SERVER_RESPONSE, ERROR_HTTP_INVALID_QUERY_REQUEST,
      ERROR_HTTP_REDIRECT_FAILED, ERROR_INTERNET_DECODING_FAILED,
  };
  for (DWORD code : codes) {
    const char* text = SystemMessageUtf8(code);
    ASSERT_NE(text, nullptr) << code;
    const std::string_view view(text);
    EXPECT_FALSE(view.empty()) << code;
    EXPECT_TRUE(IsUtf8(view)) << code;
    EXPECT_EQ(view.find_first_of("\r\n"), std::string_view::npos) << code;
  }
  EXPECT_STREQ(SystemMessageUtf8(ERROR_DIRECTORY), "目錄名稱無效。");
  EXPECT_STRNE(SystemMessageUtf8(ERROR_FILE_NOT_FOUND), SystemMessageUtf8(ERROR_PATH_NOT_FOUND));
}

TEST(MessageTable, EveryCodeAnErrnoBecomesHasAText) {
  // What a failing system call reports must never reach the user as a bare number.
  for (int err = 0; err < 140; ++err) {
    const DWORD code = Win32ErrorFromErrno(err);
    EXPECT_NE(SystemMessageUtf8(code), nullptr) << "errno " << err << " -> " << code;
  }
}

TEST(MessageTable, CodesWithoutATextGiveNone) {
  for (DWORD code : {DWORD{4242}, DWORD{0xFFFFFFFFu}, DWORD{12000}, DWORD{999999}})
    EXPECT_EQ(SystemMessageUtf8(code), nullptr) << code;
}

}  // namespace
}  // namespace trovex

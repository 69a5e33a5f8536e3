#include "save_engine/format.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/error/error.h"
#include "platform/fs/file.h"
#include "platform/text/res_text.h"
#include "platform/text/text.h"
#include "res/messages.h"

namespace trovex {

std::string SystemMessageText(DWORD code) {
  const char* utf8 = SystemMessageUtf8(code);
  if (utf8 == nullptr) return {};
  std::string text = Utf8TextToAnsi(utf8);
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  return text;
}

void FormatSystemError(char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  std::memset(buffer, 0, size);
  DWORD code = GetLastError();
  std::string text = SystemMessageText(code);
  if (!text.empty() && text.size() < size) {
    std::memcpy(buffer, text.data(), text.size());
    return;
  }
  std::snprintf(buffer, size, "(%d)", static_cast<int>(code));
}

std::string FormatGroupedNumber(double value, int nDecimals) {
  if (nDecimals < 0) nDecimals = 0;
  if (nDecimals > 20) nDecimals = 20;
  char format[16];
  std::snprintf(format, sizeof format, "%%.%df", nDecimals);
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, format, value);
  std::string text = buffer;
  std::size_t begin = text.find_first_of("0123456789");
  if (begin == std::string::npos) return text;  // inf, nan
  std::size_t end = begin;
  while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
  for (std::size_t pos = end; pos > begin + 3;) {
    pos -= 3;
    text.insert(pos, 1, ',');
  }
  return text;
}

std::string GetFileExceptionMessage(const CFileException& e) {
  unsigned id = e.GetErrorStringId();
  if (!HasResString(id)) id = e.genericException + 61856u;
  return FormatString1(id, e.m_strFileName);
}

std::string FileSizeText(std::int64_t size) {
  if (size < 0) size = 0;
  std::int64_t kb = size / 1024 + (size % 1024 >= 512 ? 1 : 0);
  if (kb == 0 && size > 0) kb = 1;
  return FormatGroupedNumber(static_cast<double>(kb), 0) + " KB";
}

std::string FileDateText(std::time_t time) {
  struct tm local;
  if (localtime_r(&time, &local) == nullptr) return {};
  char buffer[128];
  std::size_t n = std::strftime(buffer, sizeof buffer, "%Y-%m-%d, %H:%M:%S", &local);
  return std::string(buffer, n);
}

}  // namespace trovex

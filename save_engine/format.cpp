#include "save_engine/format.h"

#include <cstdio>

#include "platform/fs/file.h"
#include "platform/text/res_text.h"
#include "res/strings.h"

namespace trovex {

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
  if (size < 0) return "? KB";
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

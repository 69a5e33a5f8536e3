#include "platform/text/system_message.h"

#include <cstdio>
#include <cstring>

#include "platform/error/message_table.h"
#include "platform/text/text.h"

namespace trovex {

std::string SystemMessageText(DWORD code) {
  const char* utf8 = SystemMessageUtf8(code);
  if (utf8 == nullptr) return {};
  std::string text = Utf8TextToAnsi(utf8);
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  return text;
}

std::string SystemErrorText(DWORD code) {
  std::string text = SystemMessageText(code);
  return text.empty() ? "(" + std::to_string(code) + ")" : text;
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

}  // namespace trovex

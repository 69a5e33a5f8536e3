#include "platform/text/res_text.h"

#include <cstdio>

#include "platform/text/text.h"

namespace trovex {

std::string LoadResString(unsigned id) { return Utf8TextToAnsi(LoadResStringUtf8(id)); }

std::string FormatString1(unsigned id, const std::string& arg) {
  std::string text = LoadResString(id);
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '1') {
      out += arg;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string VFormatResString(unsigned id, va_list args) { return VFormatText(LoadResString(id), args); }

std::string FormatResString(unsigned id, ...) {
  va_list args;
  va_start(args, id);
  std::string out = VFormatResString(id, args);
  va_end(args);
  return out;
}

int PrintProgramVersion(const char* program) {
  const std::string line = std::string(program) + " " + ProductVersion() + " (" + LoadResString(IDS_APP_TITLE) + ")\n";
  return std::fputs(line.c_str(), stdout) >= 0 && std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace trovex

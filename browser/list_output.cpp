#include "browser/list_output.h"

#include "browser/charset.h"
#include "platform/text/ascii.h"
#include "platform/text/text.h"

namespace trovex::browser {

std::string ListField(const std::string& ansi) {
  std::string codePage = CurrentCodePage();
  std::string utf8 = codePage == "UTF-8" ? ansi : DecodeToUtf8(ansi, codePage);
  std::string out;
  out.reserve(utf8.size());
  for (char ch : utf8) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '\\') {
      out += "\\\\";  // so that "\t" in a name cannot pass for an escaped tab
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\x";
      AppendHexByte(out, c, HexCase::kLower);
    } else {
      out += ch;
    }
  }
  return out;
}

std::string FormatMovieList(const SWFFileList& list) {
  std::string out;
  for (const auto& [key, info] : list) {
    out += ListField(info.strURL) + '\t' + ListField(info.strLocalFile) + '\t' +
           ListField(info.strFileName) + '\t' + std::to_string(info.nSize) + '\n';
  }
  return out;
}

}  // namespace trovex::browser

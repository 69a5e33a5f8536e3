#include "browser/charset.h"

#include <iconv.h>

#include <cerrno>
#include <utility>

namespace trovex::browser {
namespace {

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

std::string LowerTrimmed(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  std::string out(s);
  for (char& c : out) c = Lower(c);
  return out;
}

bool StartsWithNoCase(std::string_view s, std::size_t pos, std::string_view prefix) {
  if (pos + prefix.size() > s.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (Lower(s[pos + i]) != prefix[i]) return false;
  return true;
}

// Whether iconv decodes printable ASCII in this charset as ASCII. Browsers refuse the others
// for pages (UTF-7, EBCDIC...): markup hidden in them ("+ADw-embed") would be seen by us alone.
bool IconvDecodesAsciiAsAscii(const std::string& name) {
  iconv_t cd = iconv_open("UTF-8", name.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return false;
  std::string probe = "\t\n\r";
  for (char c = 0x20; c < 0x7F; ++c) probe += c;
  probe += "+ADw-";
  char out[256];
  char* in = probe.data();
  std::size_t inLeft = probe.size();
  char* o = out;
  std::size_t oLeft = sizeof out;
  std::size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
  if (rc != static_cast<std::size_t>(-1)) rc = iconv(cd, nullptr, nullptr, &o, &oLeft);
  iconv_close(cd);
  return rc != static_cast<std::size_t>(-1) && inLeft == 0 &&
         std::string_view(out, static_cast<std::size_t>(o - out)) == probe;
}

struct Alias {
  const char* label;
  const char* name;
};
// Labels pages use, mapped the way browsers map them.
constexpr Alias kAliases[] = {
    {"utf-8", "UTF-8"}, {"utf8", "UTF-8"}, {"unicode-1-1-utf-8", "UTF-8"},
    {"x-unicode20utf8", "UTF-8"},
    {"us-ascii", "WINDOWS-1252"}, {"ascii", "WINDOWS-1252"}, {"ansi_x3.4-1968", "WINDOWS-1252"},
    {"iso-8859-1", "WINDOWS-1252"}, {"iso8859-1", "WINDOWS-1252"}, {"iso_8859-1", "WINDOWS-1252"},
    {"iso88591", "WINDOWS-1252"}, {"latin1", "WINDOWS-1252"}, {"l1", "WINDOWS-1252"},
    {"cp1252", "WINDOWS-1252"}, {"windows-1252", "WINDOWS-1252"}, {"x-cp1252", "WINDOWS-1252"},
    {"cp819", "WINDOWS-1252"}, {"ibm819", "WINDOWS-1252"}, {"csisolatin1", "WINDOWS-1252"},
    {"big5", "BIG5-HKSCS"}, {"big5-hkscs", "BIG5-HKSCS"}, {"cn-big5", "BIG5-HKSCS"},
    {"csbig5", "BIG5-HKSCS"}, {"x-x-big5", "BIG5-HKSCS"}, {"cp950", "BIG5-HKSCS"},
    {"gbk", "GB18030"}, {"gb2312", "GB18030"}, {"gb_2312", "GB18030"}, {"gb_2312-80", "GB18030"},
    {"chinese", "GB18030"}, {"csgb2312", "GB18030"}, {"x-gbk", "GB18030"}, {"cp936", "GB18030"},
    {"gb18030", "GB18030"},
    {"shift_jis", "CP932"}, {"shift-jis", "CP932"}, {"sjis", "CP932"}, {"x-sjis", "CP932"},
    {"ms932", "CP932"}, {"ms_kanji", "CP932"}, {"windows-31j", "CP932"}, {"csshiftjis", "CP932"},
    {"euc-jp", "EUC-JP"}, {"x-euc-jp", "EUC-JP"},
    {"euc-kr", "CP949"}, {"ks_c_5601-1987", "CP949"}, {"windows-949", "CP949"},
    {"korean", "CP949"},
    {"utf-16", "UTF-16LE"}, {"utf-16le", "UTF-16LE"}, {"utf-16be", "UTF-16BE"},
};

// Reads one attribute of a tag at `pos` (after "<name"); false at the tag's end.
bool NextAttribute(std::string_view s, std::size_t& pos, std::string* name, std::string* value) {
  while (pos < s.size() && (IsSpace(s[pos]) || s[pos] == '/')) ++pos;
  if (pos >= s.size() || s[pos] == '>') return false;
  name->clear();
  value->clear();
  while (pos < s.size() && !IsSpace(s[pos]) && s[pos] != '=' && s[pos] != '>' &&
         !(s[pos] == '/' && !name->empty()))
    *name += Lower(s[pos++]);
  while (pos < s.size() && IsSpace(s[pos])) ++pos;
  if (pos >= s.size() || s[pos] != '=') return true;
  ++pos;
  while (pos < s.size() && IsSpace(s[pos])) ++pos;
  if (pos < s.size() && (s[pos] == '"' || s[pos] == '\'')) {
    char quote = s[pos++];
    std::size_t end = s.find(quote, pos);
    if (end == std::string_view::npos) end = s.size();
    *value = std::string(s.substr(pos, end - pos));
    pos = end + 1;
  } else {
    while (pos < s.size() && !IsSpace(s[pos]) && s[pos] != '>') *value += s[pos++];
  }
  return true;
}

// The charset named in a content="text/html; charset=..." value.
std::string CharsetFromContent(std::string_view content) {
  std::size_t pos = 0;
  while (pos < content.size()) {
    std::size_t at = std::string_view::npos;
    for (std::size_t i = pos; i + 7 <= content.size(); ++i)
      if (StartsWithNoCase(content, i, "charset")) {
        at = i;
        break;
      }
    if (at == std::string_view::npos) return "";
    pos = at + 7;
    while (pos < content.size() && IsSpace(content[pos])) ++pos;
    if (pos >= content.size() || content[pos] != '=') continue;
    ++pos;
    while (pos < content.size() && IsSpace(content[pos])) ++pos;
    if (pos >= content.size()) return "";
    if (content[pos] == '"' || content[pos] == '\'') {
      char quote = content[pos++];
      std::size_t end = content.find(quote, pos);
      if (end == std::string_view::npos) return "";
      return std::string(content.substr(pos, end - pos));
    }
    std::size_t end = pos;
    while (end < content.size() && !IsSpace(content[end]) && content[end] != ';') ++end;
    return std::string(content.substr(pos, end - pos));
  }
  return "";
}

}  // namespace

std::string CharsetFromLabel(std::string_view label) {
  std::string l = LowerTrimmed(label);
  if (l.empty()) return "";
  for (const Alias& a : kAliases)
    if (l == a.label) return a.name;
  std::string upper = l;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  // Anything else iconv decodes (windows-1251, koi8-r, iso-8859-7...) is taken as named, when
  // it keeps ASCII as ASCII; a label with option syntax is never handed to iconv.
  if (upper.find('/') != std::string::npos) return "";
  return IconvDecodesAsciiAsAscii(upper) ? upper : "";
}

std::string CharsetLabelFromContentType(std::string_view contentType) {
  std::size_t semi = contentType.find(';');
  if (semi == std::string_view::npos) return "";
  return CharsetFromContent(contentType.substr(semi + 1));
}

std::string PrescanMetaCharset(std::string_view body, std::size_t limit) {
  std::string_view s = body.substr(0, limit);
  std::size_t pos = 0;
  std::string name, value;
  while (pos < s.size()) {
    if (s.compare(pos, 4, "<!--") == 0) {
      std::size_t end = s.find("-->", pos + 2);
      if (end == std::string_view::npos) return "";
      pos = end + 3;
    } else if (StartsWithNoCase(s, pos, "<meta") && pos + 5 < s.size() &&
               (IsSpace(s[pos + 5]) || s[pos + 5] == '/')) {
      pos += 5;
      bool pragma = false;
      std::string charset, fromContent;
      while (NextAttribute(s, pos, &name, &value)) {
        if (name == "http-equiv" && LowerTrimmed(value) == "content-type") pragma = true;
        else if (name == "content" && fromContent.empty()) fromContent = CharsetFromContent(value);
        else if (name == "charset" && charset.empty()) charset = value;
      }
      if (charset.empty() && pragma) charset = fromContent;
      if (!charset.empty()) return LowerTrimmed(charset);
      ++pos;
    } else if (s[pos] == '<' && pos + 1 < s.size() &&
               (IsAlpha(s[pos + 1]) ||
                (s[pos + 1] == '/' && pos + 2 < s.size() && IsAlpha(s[pos + 2])))) {
      pos += 2;
      while (pos < s.size() && !IsSpace(s[pos]) && s[pos] != '>') ++pos;
      while (NextAttribute(s, pos, &name, &value)) {
      }
      ++pos;
    } else if (s.compare(pos, 2, "<!") == 0 || s.compare(pos, 2, "</") == 0 ||
               s.compare(pos, 2, "<?") == 0) {
      std::size_t end = s.find('>', pos);
      if (end == std::string_view::npos) return "";
      pos = end + 1;
    } else {
      ++pos;
    }
  }
  return "";
}

std::string DecodeToUtf8(std::string_view body, const std::string& charset) {
  if (charset == "UTF-8" && body.substr(0, 3) == "\xEF\xBB\xBF") body.remove_prefix(3);
  if (charset == "UTF-16LE" && body.substr(0, 2) == "\xFF\xFE") body.remove_prefix(2);
  if (charset == "UTF-16BE" && body.substr(0, 2) == "\xFE\xFF") body.remove_prefix(2);
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  iconv_t cd = iconv_open("UTF-8", charset.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) cd = iconv_open("UTF-8", "WINDOWS-1252");
  std::string out;
  out.reserve(body.size() + body.size() / 4 + 16);
  char buffer[16384];
  char* in = const_cast<char*>(body.data());
  std::size_t inLeft = body.size();
  while (inLeft > 0) {
    char* o = buffer;
    std::size_t oLeft = sizeof buffer;
    std::size_t rc = iconv(cd, &in, &inLeft, &o, &oLeft);
    int err = errno;
    out.append(buffer, o - buffer);
    if (rc != static_cast<std::size_t>(-1)) break;
    if (err == E2BIG) continue;
    // An undecodable byte, or a sequence cut off at the end: one replacement, then go on.
    out += kReplacement;
    if (err == EINVAL) break;
    ++in;
    --inLeft;
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  iconv_close(cd);
  return out;
}

DecodedPage DecodePage(std::string_view body, std::string_view contentType) {
  DecodedPage page;
  if (body.substr(0, 3) == "\xEF\xBB\xBF") {
    page.strCharset = "UTF-8";
  } else if (body.substr(0, 2) == "\xFF\xFE") {
    page.strCharset = "UTF-16LE";
  } else if (body.substr(0, 2) == "\xFE\xFF") {
    page.strCharset = "UTF-16BE";
  } else {
    page.strCharset = CharsetFromLabel(CharsetLabelFromContentType(contentType));
    if (page.strCharset.empty()) {
      page.bFromMetaOrDefault = true;
      page.strCharset = CharsetFromLabel(PrescanMetaCharset(body));
      // A page cannot declare itself UTF-16 in its own (ASCII-readable) bytes.
      if (page.strCharset.rfind("UTF-16", 0) == 0) page.strCharset = "UTF-8";
      if (page.strCharset.empty()) page.strCharset = "WINDOWS-1252";
    }
  }
  page.strUtf8 = DecodeToUtf8(body, page.strCharset);
  return page;
}

}  // namespace trovex::browser

#include "pageloader/charset.h"

#include <utility>

#include "platform/text/ascii.h"
#include "platform/text/codepage.h"

namespace trovex::browser {
namespace {

std::string LowerTrimmed(std::string_view s) { return AsciiToLower(AsciiTrim(s)); }

bool StartsWithNoCase(std::string_view s, std::size_t pos, std::string_view prefix) {
  return pos <= s.size() && AsciiStartsWithNoCase(s.substr(pos), prefix);
}

// Whether iconv decodes printable ASCII in this charset as ASCII. Browsers refuse the others
// for pages (UTF-7, EBCDIC...): markup hidden in them ("+ADw-embed") would be seen by us alone.
bool IconvDecodesAsciiAsAscii(const std::string& name) {
  std::string probe = "\t\n\r";
  for (char c = 0x20; c < 0x7F; ++c) probe += c;
  probe += "+ADw-";
  std::string out;
  bool bad = false;
  const bool ok = ConvertCodePage(probe, name, "UTF-8", out, [&bad, &probe](std::size_t, bool, std::string&) {
    bad = true;
    return probe.size();
  });
  return ok && !bad && out == probe;
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
  while (pos < s.size() && (IsAsciiBlank(s[pos]) || s[pos] == '/')) ++pos;
  if (pos >= s.size() || s[pos] == '>') return false;
  name->clear();
  value->clear();
  while (pos < s.size() && !IsAsciiBlank(s[pos]) && s[pos] != '=' && s[pos] != '>' &&
         !(s[pos] == '/' && !name->empty()))
    *name += AsciiLower(s[pos++]);
  while (pos < s.size() && IsAsciiBlank(s[pos])) ++pos;
  if (pos >= s.size() || s[pos] != '=') return true;
  ++pos;
  while (pos < s.size() && IsAsciiBlank(s[pos])) ++pos;
  if (pos < s.size() && (s[pos] == '"' || s[pos] == '\'')) {
    char quote = s[pos++];
    std::size_t end = s.find(quote, pos);
    if (end == std::string_view::npos) end = s.size();
    *value = std::string(s.substr(pos, end - pos));
    pos = end + 1;
  } else {
    while (pos < s.size() && !IsAsciiBlank(s[pos]) && s[pos] != '>') *value += s[pos++];
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
    while (pos < content.size() && IsAsciiBlank(content[pos])) ++pos;
    if (pos >= content.size() || content[pos] != '=') continue;
    ++pos;
    while (pos < content.size() && IsAsciiBlank(content[pos])) ++pos;
    if (pos >= content.size()) return "";
    if (content[pos] == '"' || content[pos] == '\'') {
      char quote = content[pos++];
      std::size_t end = content.find(quote, pos);
      if (end == std::string_view::npos) return "";
      return std::string(content.substr(pos, end - pos));
    }
    std::size_t end = pos;
    while (end < content.size() && !IsAsciiBlank(content[end]) && content[end] != ';') ++end;
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
  std::string upper = AsciiToUpper(l);
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
               (IsAsciiBlank(s[pos + 5]) || s[pos + 5] == '/')) {
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
               (IsAsciiAlpha(s[pos + 1]) ||
                (s[pos + 1] == '/' && pos + 2 < s.size() && IsAsciiAlpha(s[pos + 2])))) {
      pos += 2;
      while (pos < s.size() && !IsAsciiBlank(s[pos]) && s[pos] != '>') ++pos;
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
  std::string out;
  out.reserve(body.size() + body.size() / 4 + 16);
  // These two keep every ASCII byte as it is, and an ASCII byte always starts a character in
  // them, so the ASCII run a page starts with (most often all of it) needs no converter.
  if (charset == "UTF-8" || charset == "WINDOWS-1252") {
    const std::size_t ascii = AsciiPrefixLength(body);
    out.append(body.substr(0, ascii));
    body.remove_prefix(ascii);
    if (body.empty()) return out;
  }
  // An undecodable byte: one replacement, then go on; a sequence cut off at the end: one
  // replacement for all of it.
  const CodePageFallback replace = [&body](std::size_t pos, bool truncated, std::string& to) {
    to += "\xEF\xBF\xBD";
    return truncated ? body.size() - pos : 1;
  };
  if (!ConvertCodePage(body, charset, "UTF-8", out, replace))
    ConvertCodePage(body, "WINDOWS-1252", "UTF-8", out, replace);
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

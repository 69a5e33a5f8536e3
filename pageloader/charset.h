// The character set of a page and its decoding to UTF-8 (iconv).
#pragma once

#include <string>
#include <string_view>

namespace trovex::browser {

// The iconv name for a charset label as pages write it ("big5", "latin1", "x-sjis"...), ""
// when the label is unknown or iconv cannot decode it. Labels are matched ignoring case and
// surrounding spaces; "iso-8859-1" and "us-ascii" mean windows-1252, as in browsers.
std::string CharsetFromLabel(std::string_view label);

// The charset parameter of a Content-Type header value, "" when there is none.
std::string CharsetLabelFromContentType(std::string_view contentType);

// The label of the first <meta charset> or <meta http-equiv="content-type" content="...">
// found in the first bytes of the page, "" when there is none.
std::string PrescanMetaCharset(std::string_view body, std::size_t limit = 1024);

struct DecodedPage {
  std::string strUtf8;
  std::string strCharset;  // the iconv name used
  bool bFromMetaOrDefault = false;  // true when neither a BOM nor the HTTP header decided
};

// Decodes the page: a byte order mark first, then the HTTP header's charset, then the
// <meta> prescan, else windows-1252. Bytes the charset cannot decode become U+FFFD.
DecodedPage DecodePage(std::string_view body, std::string_view contentType);

// Decodes `body` from the iconv charset `charset` (after removing a BOM of that charset).
std::string DecodeToUtf8(std::string_view body, const std::string& charset);

}  // namespace trovex::browser

#include "platform/text/unicode.h"

namespace trovex {

std::size_t DecodeUtf16(std::u16string_view s, std::size_t pos, char32_t* cp) {
  if (pos >= s.size()) return 0;
  char32_t c = s[pos];
  if (c >= 0xD800 && c <= 0xDBFF && pos + 1 < s.size() && s[pos + 1] >= 0xDC00 &&
      s[pos + 1] <= 0xDFFF) {
    *cp = 0x10000 + ((c - 0xD800) << 10) + (s[pos + 1] - 0xDC00);
    return 2;
  }
  *cp = c;
  return 1;
}

std::size_t DecodeUtf8(std::string_view s, std::size_t pos, char32_t* cp) {
  if (pos >= s.size()) return 0;
  auto byte = [&s](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  unsigned char c = byte(pos);
  std::size_t len;
  char32_t value, min;
  if (c < 0x80) {
    *cp = c;
    return 1;
  } else if ((c & 0xE0) == 0xC0) {
    len = 2, value = c & 0x1F, min = 0x80;
  } else if ((c & 0xF0) == 0xE0) {
    len = 3, value = c & 0x0F, min = 0x800;
  } else if ((c & 0xF8) == 0xF0) {
    len = 4, value = c & 0x07, min = 0x10000;
  } else {
    return 0;
  }
  if (len > s.size() - pos) return 0;
  for (std::size_t k = 1; k < len; ++k) {
    if ((byte(pos + k) & 0xC0) != 0x80) return 0;
    value = value << 6 | (byte(pos + k) & 0x3F);
  }
  if (value < min || value > 0x10FFFF || IsSurrogate(value)) return 0;
  *cp = value;
  return len;
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char32_t c;
    i += DecodeUtf16(text, i, &c);
    AppendUtf8(out, IsSurrogate(c) ? kReplacementChar : c);
  }
  return out;
}

std::u16string Utf8ToUtf16(std::string_view text) {
  // ASCII, the usual attribute or address, widens byte by byte.
  std::size_t ascii = 0;
  while (ascii < text.size() && static_cast<unsigned char>(text[ascii]) < 0x80) ++ascii;
  std::u16string out(text.begin(), text.begin() + static_cast<std::ptrdiff_t>(ascii));
  if (ascii == text.size()) return out;
  out.reserve(text.size());
  for (std::size_t i = ascii; i < text.size();) {
    char32_t c;
    std::size_t len = DecodeUtf8(text, i, &c);
    if (len == 0) {
      c = kReplacementChar;
      len = 1;
    }
    AppendUtf16(out, c);
    i += len;
  }
  return out;
}

bool IsUtf8(std::string_view s) {
  char32_t cp;
  for (std::size_t i = 0; i < s.size();) {
    if (static_cast<unsigned char>(s[i]) < 0x80) {
      ++i;
      continue;
    }
    std::size_t len = DecodeUtf8(s, i, &cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

}  // namespace trovex

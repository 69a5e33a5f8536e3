#include "platform/text/ascii.h"

#include <cstring>
#include <utility>

namespace trovex {

std::size_t AsciiPrefixLength(std::string_view s) {
  std::size_t i = 0;
  for (; i + 8 <= s.size(); i += 8) {
    std::uint64_t word;
    std::memcpy(&word, s.data() + i, sizeof word);
    if (word & 0x8080808080808080ull) break;
  }
  while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80) ++i;
  return i;
}

std::string AsciiToLower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

std::string AsciiToUpper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiUpper(c);
  return out;
}

std::string_view AsciiTrim(std::string_view s, std::string_view set) {
  const std::size_t first = s.find_first_not_of(set);
  if (first == std::string_view::npos) return s.substr(s.size());
  return s.substr(first, s.find_last_not_of(set) - first + 1);
}

bool ParseHexUint32(std::string_view digits, std::uint32_t* value) {
  if (digits.empty() || digits.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : digits) {
    const int h = HexDigitValue(c);
    if (h < 0) return false;
    v = v << 4 | static_cast<std::uint32_t>(h);
  }
  *value = v;
  return true;
}

void AppendHexByte(std::string& out, unsigned char c, HexCase letters) {
  const char* digits = letters == HexCase::kUpper ? "0123456789ABCDEF" : "0123456789abcdef";
  out += digits[c >> 4];
  out += digits[c & 15];
}

void AppendPercentEscape(std::string& out, unsigned char c) {
  out += '%';
  AppendHexByte(out, c);
}

namespace {

// The one decoding loop; false when `refuseNul` met "%00".
bool Decode(std::string_view text, EscapedNul nul, bool refuseNul, std::string* out) {
  std::string result;
  result.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const int byte = EscapedByteAt(text, i);
    if (byte == 0 && refuseNul) return false;
    if (byte > 0 || (byte == 0 && nul == EscapedNul::kDecode)) {
      result.push_back(static_cast<char>(byte));
      i += 2;
      continue;
    }
    result.push_back(text[i]);
  }
  *out = std::move(result);
  return true;
}

}  // namespace

std::string PercentDecode(std::string_view text, EscapedNul nul) {
  std::string out;
  Decode(text, nul, false, &out);
  return out;
}

bool PercentDecodeNoNul(std::string_view text, std::string* out) {
  return Decode(text, EscapedNul::kKeep, true, out);
}

}  // namespace trovex

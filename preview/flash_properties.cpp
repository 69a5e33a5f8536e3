#include "preview/flash_properties.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <vector>

#include "platform/text/ascii.h"
#include "platform/text/unicode.h"

namespace trovex {
namespace {

constexpr std::uint8_t kStreamMagic[] = {0x67, 0x55, 0x66, 0x55};
constexpr std::uint32_t kStreamVersion = 0x300;
constexpr int kValueCount = 19;
enum : std::uint32_t { kTypeString = 8, kTypeBool = 11, kTypeBlock = 13 };

class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> d) : d_(d) {}
  bool U16(std::uint32_t& v) {
    if (d_.size() - at_ < 2) return false;
    v = d_[at_] | (std::uint32_t{d_[at_ + 1]} << 8);
    at_ += 2;
    return true;
  }
  bool U32(std::uint32_t& v) {
    std::uint32_t lo = 0, hi = 0;
    if (d_.size() - at_ < 4) return false;
    U16(lo);
    U16(hi);
    v = lo | (hi << 16);
    return true;
  }
  bool Bytes(std::size_t n, std::span<const std::uint8_t>& out) {
    if (d_.size() - at_ < n) return false;
    out = d_.subspan(at_, n);
    at_ += n;
    return true;
  }

 private:
  std::span<const std::uint8_t> d_;
  std::size_t at_ = 0;
};

struct Value {
  std::uint32_t type = 0;
  std::string text;  // strings, as UTF-8
  bool flag = false;
};

bool ReadValue(Reader& r, Value& v) {
  if (!r.U16(v.type)) return false;
  std::span<const std::uint8_t> bytes;
  switch (v.type) {
    case kTypeString: {
      std::uint32_t count;
      // The count includes a UTF-16 terminator, so it is even and at least 2.
      if (!r.U32(count) || count < 2 || count % 2 != 0 || !r.Bytes(count, bytes)) return false;
      std::u16string wide;
      for (std::size_t i = 0; i + 2 < count; i += 2) wide.push_back(char16_t(bytes[i] | (bytes[i + 1] << 8)));
      if (bytes[count - 2] != 0 || bytes[count - 1] != 0) return false;
      v.text = Utf16ToUtf8(wide);
      return true;
    }
    case kTypeBool: {
      std::uint32_t b;
      if (!r.U16(b)) return false;
      v.flag = b != 0;
      return true;
    }
    case kTypeBlock:
      return r.Bytes(16, bytes);
    default:
      return false;
  }
}

// Flash's spellings to the player's.
std::string PlayerScale(const std::string& scale) {
  const std::string s = AsciiToLower(scale);
  if (s == "noborder") return "noBorder";
  if (s == "exactfit") return "exactFit";
  if (s == "noscale") return "noScale";
  return "showAll";
}

std::string PlayerQuality(const std::string& quality) {
  const std::string q = AsciiToLower(quality);
  if (q == "low" || q == "medium" || q == "best") return q;
  if (q == "autolow") return "low";
  return "high";
}

std::string PlayerWMode(const std::string& wmode) {
  const std::string w = AsciiToLower(wmode);
  if (w == "opaque" || w == "transparent" || w == "direct" || w == "gpu") return w;
  return "window";
}

bool IsColor(const std::string& c) {
  if (c.size() != 7 || c[0] != '#') return false;
  for (std::size_t i = 1; i < 7; ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(c[i]))) return false;
  }
  return true;
}

}  // namespace

std::optional<FlashProperties> ParseFlashInitData(std::span<const std::uint8_t> data) {
  Reader r(data);
  std::uint32_t keyLength, version, width, height;
  std::span<const std::uint8_t> key, magic;
  if (!r.U32(keyLength) || !r.Bytes(keyLength, key)) return std::nullopt;
  if (!r.Bytes(4, magic) || !std::equal(magic.begin(), magic.end(), kStreamMagic)) return std::nullopt;
  if (!r.U32(version) || version != kStreamVersion) return std::nullopt;
  if (!r.U32(width) || !r.U32(height)) return std::nullopt;

  std::vector<Value> v(kValueCount);
  for (Value& value : v) {
    if (!ReadValue(r, value)) return std::nullopt;
  }
  // Each slot has the type the control writes there; anything else is not its stream.
  constexpr std::uint32_t kTypes[kValueCount] = {8, 8, 8, 8, 11, 11, 8, 8, 11, 8, 8, 8, 11, 11, 8, 8, 8, 13, 11};
  for (int i = 0; i < kValueCount; ++i) {
    if (v[i].type != kTypes[i]) return std::nullopt;
  }

  FlashProperties p;
  p.nWidthHimetric = static_cast<int>(width);
  p.nHeightHimetric = static_cast<int>(height);
  p.strMovie = v[0].text.empty() ? v[1].text : v[0].text;
  p.strBase = v[2].text;
  p.strWMode = v[3].text;
  p.bPlay = v[4].flag;
  p.bLoop = v[5].flag;
  p.strQuality = v[6].text;
  p.strSAlign = v[7].text;
  p.bMenu = v[8].flag;
  p.strFlashVars = v[9].text;
  p.strAllowScriptAccess = v[10].text;
  p.strScale = v[11].text;
  p.bDeviceFont = v[12].flag;
  p.strBGColor = v[14].text;
  return p;
}

std::string JsonString(const std::string& utf8) {
  const std::u16string wide = Utf8ToUtf16(utf8);
  std::string out = "\"";
  char buf[8];
  for (char16_t c : wide) {
    if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F && c != u'<' && c != u'>' && c != u'&') {
      out += static_cast<char>(c);
    } else {
      // Escaping the rest keeps U+2028 and "</script>" harmless inside a page.
      std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned>(c));
      out += buf;
    }
  }
  return out + "\"";
}

std::string PlayerConfigJson(const FlashProperties& p) {
  std::string json = "{";
  json += "\"autoplay\":" + std::string(p.bPlay ? "\"on\"" : "\"off\"");
  json += ",\"quality\":" + JsonString(PlayerQuality(p.strQuality));
  json += ",\"scale\":" + JsonString(PlayerScale(p.strScale));
  json += ",\"wmode\":" + JsonString(PlayerWMode(p.strWMode));
  if (!p.strSAlign.empty()) json += ",\"salign\":" + JsonString(p.strSAlign);
  if (IsColor(p.strBGColor)) json += ",\"backgroundColor\":" + JsonString(p.strBGColor);
  json += ",\"contextMenu\":" + std::string(p.bMenu ? "\"on\"" : "\"off\"");
  json += ",\"menu\":" + std::string(p.bMenu ? "true" : "false");
  // A preview never reaches out: no network, no page script, no pop-ups, no splash screens.
  json += ",\"allowNetworking\":\"none\",\"allowScriptAccess\":false,\"openUrlMode\":\"deny\"";
  json += ",\"splashScreen\":false,\"unmuteOverlay\":\"hidden\",\"showSwfDownload\":false";
  json += ",\"preferredRenderer\":\"canvas\"";
  json += ",\"warnOnUnsupportedContent\":false,\"upgradeToHttps\":false,\"letterbox\":\"off\"";
  if (!p.strFlashVars.empty()) json += ",\"parameters\":" + JsonString(p.strFlashVars);
  return json + "}";
}

}  // namespace trovex

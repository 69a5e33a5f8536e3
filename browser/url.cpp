#include "browser/url.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace trovex::browser {
namespace {

bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
std::string LowerAscii(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
void AppendEscaped(std::string& out, unsigned char c) {
  static const char kHex[] = "0123456789ABCDEF";
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

}  // namespace

std::string StripFragment(std::string_view url) {
  return std::string(url.substr(0, url.find('#')));
}

std::string FilePathToUrl(std::string_view absolutePath) {
  static constexpr std::string_view kSafe = "-._~/!$&'()*+,;=:@";
  std::string out = "file://";
  for (char ch : absolutePath) {
    auto c = static_cast<unsigned char>(ch);
    if (IsAlpha(ch) || IsDigit(ch) || (c < 0x80 && kSafe.find(ch) != std::string_view::npos))
      out += ch;
    else
      AppendEscaped(out, c);
  }
  return out;
}

bool FileUrlToPath(std::string_view url, std::string* path) {
  if (UrlScheme(url) != "file") return false;
  std::string_view rest = url.substr(5);
  rest = rest.substr(0, rest.find_first_of("?#"));
  if (rest.size() >= 2 && rest[0] == '/' && rest[1] == '/') {
    rest.remove_prefix(2);
    std::size_t slash = rest.find('/');
    std::string host = LowerAscii(rest.substr(0, slash));
    if (!host.empty() && host != "localhost") return false;
    if (slash == std::string_view::npos) return false;
    rest.remove_prefix(slash);
  }
  if (rest.empty() || rest[0] != '/') return false;
  std::string out;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    if (rest[i] == '%' && i + 2 < rest.size() && HexValue(rest[i + 1]) >= 0 &&
        HexValue(rest[i + 2]) >= 0) {
      char c = static_cast<char>(HexValue(rest[i + 1]) * 16 + HexValue(rest[i + 2]));
      if (c == '\0') return false;
      out += c;
      i += 2;
    } else {
      out += rest[i];
    }
  }
  *path = out;
  return true;
}

std::string AddressFromUserInput(std::string_view input, std::string* error) {
  std::string text = CleanUrlReference(input);
  if (text.empty()) {
    *error = "no page given";
    return "";
  }
  std::string scheme = UrlScheme(text);
  if (scheme == "http" || scheme == "https") {
    std::string url = ResolveUrl("", text);  // the address itself, made standard
    if (url.empty()) *error = "not a valid address: " + text;
    return url;
  }
  std::string path;
  if (scheme == "file") {
    if (!FileUrlToPath(text, &path)) {
      *error = "not a local file address: " + text;
      return "";
    }
  } else if (!scheme.empty() && text.compare(scheme.size() + 1, 2, "//") == 0) {
    *error = "unsupported address scheme \"" + scheme + "\": " + text;
    return "";
  } else {
    path = std::string(input);
  }
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) {
    *error = "cannot make an absolute path of " + path + ": " + ec.message();
    return "";
  }
  return FilePathToUrl(p.lexically_normal().string());
}

}  // namespace trovex::browser

#include "pageloader/url.h"

#include <filesystem>
#include <system_error>

#include "platform/text/ascii.h"
#include "platform/text/res_text.h"
#include "res/strings.h"

namespace trovex::browser {

std::string StripFragment(std::string_view url) {
  return std::string(url.substr(0, url.find('#')));
}

std::string FilePathToUrl(std::string_view absolutePath) {
  static constexpr std::string_view kSafe = "-._~/!$&'()*+,;=:@";
  return "file://" + PercentEncode(absolutePath, [](unsigned char c) {
    const char ch = static_cast<char>(c);
    return !(IsAsciiAlpha(ch) || IsAsciiDigit(ch) || (c < 0x80 && kSafe.find(ch) != std::string_view::npos));
  });
}

bool FileUrlToPath(std::string_view url, std::string* path) {
  if (UrlScheme(url) != "file") return false;
  std::string_view rest = url.substr(5);
  rest = rest.substr(0, rest.find_first_of("?#"));
  if (rest.size() >= 2 && rest[0] == '/' && rest[1] == '/') {
    rest.remove_prefix(2);
    std::size_t slash = rest.find('/');
    std::string host = AsciiToLower(rest.substr(0, slash));
    if (!host.empty() && host != "localhost") return false;
    if (slash == std::string_view::npos) return false;
    rest.remove_prefix(slash);
  }
  if (rest.empty() || rest[0] != '/') return false;
  // An escaped NUL would cut the path short where it is handed on.
  return PercentDecodeNoNul(rest, path);
}

std::string AddressFromUserInput(std::string_view input, std::string* error) {
  std::string text = CleanUrlReference(input);
  if (text.empty()) {
    *error = LoadResString(IDS_TROVEX_BROWSER_NO_PAGE);
    return "";
  }
  std::string scheme = UrlScheme(text);
  if (scheme == "http" || scheme == "https") {
    std::string url = ResolveUrl("", text);  // the address itself, made standard
    if (url.empty()) *error = FormatResString(IDS_TROVEX_LOADER_NOT_VALID_ADDRESS, text.c_str());
    return url;
  }
  std::string path;
  if (scheme == "file") {
    if (!FileUrlToPath(text, &path)) {
      *error = FormatResString(IDS_TROVEX_LOADER_NOT_LOCAL_FILE, text.c_str());
      return "";
    }
  } else if (!scheme.empty() && text.compare(scheme.size() + 1, 2, "//") == 0) {
    *error = FormatResString(IDS_TROVEX_LOADER_UNSUPPORTED_SCHEME, scheme.c_str(), text.c_str());
    return "";
  } else {
    path = std::string(input);
  }
  std::error_code ec;
  std::filesystem::path p = std::filesystem::absolute(path, ec);
  if (ec) {
    *error = FormatResString(IDS_TROVEX_LOADER_NO_ABSOLUTE_PATH, path.c_str(), ec.message().c_str());
    return "";
  }
  return FilePathToUrl(p.lexically_normal().string());
}

}  // namespace trovex::browser

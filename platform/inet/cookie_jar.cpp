#include "platform/inet/cookie_jar.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <map>
#include <string_view>

#include "platform/fs/atomic_file.h"
#include "platform/fs/file_lock.h"
#include "platform/fs/posix_io.h"

namespace trovex::inet {
namespace {

constexpr std::size_t kMaxJarBytes = std::size_t{16} << 20;
constexpr std::string_view kHttpOnly = "#HttpOnly_";


// domain, path and name: what makes a cookie the same cookie. Empty for a malformed line.
// The web view's jar adds an eighth field (SameSite); the first seven are the format.
std::string Key(std::string_view line) {
  std::vector<std::string_view> f = CookieLineFields(line);
  if (f.size() < 7) return {};
  return std::string(f[0]) + '\t' + std::string(f[2]) + '\t' + std::string(f[5]);
}

bool Expired(std::string_view line, std::time_t now) {
  std::vector<std::string_view> f = CookieLineFields(line);
  if (f.size() < 7) return true;
  long long expires = 0;
  for (char c : f[4]) {
    if (c < '0' || c > '9') return false;
    expires = expires * 10 + (c - '0');
    if (expires > (1LL << 40)) return false;
  }
  return expires != 0 && expires < now;  // 0: a session cookie
}

std::vector<std::string> CookieLines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    start = end + 1;
    if (line.empty() || (line[0] == '#' && line.compare(0, kHttpOnly.size(), kHttpOnly) != 0)) continue;
    if (!Key(line).empty()) out.push_back(std::move(line));
  }
  return out;
}

}  // namespace

std::vector<std::string_view> CookieLineFields(std::string_view line) {
  if (line.substr(0, kHttpOnly.size()) == kHttpOnly) line.remove_prefix(kHttpOnly.size());
  std::vector<std::string_view> out;
  for (std::size_t start = 0;;) {
    std::size_t tab = line.find('\t', start);
    out.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return out;
}

std::string CookieJarPath() {
  if (const char* own = std::getenv("TROVEX_COOKIE_JAR"); own && own[0] == '/') return own;
  return posix::XdgFolder("XDG_DATA_HOME", ".local/share") + "/kelvora-swf-trovex/cookies.txt";
}

std::vector<std::string> ReadCookieJar(const std::string& path) {
  std::string text;
  if (posix::ReadRegularFile(path, kMaxJarBytes, &text) != 0) return {};
  std::vector<std::string> lines = CookieLines(text);
  for (std::string& line : lines) {  // the seven fields only: readers refuse more
    std::size_t tab = 0;
    for (int i = 0; i < 7 && tab != std::string::npos; ++i) tab = line.find('\t', tab + (i ? 1 : 0));
    if (tab != std::string::npos) line.erase(tab);
  }
  return lines;
}

int MergeIntoCookieJar(const std::string& path, const std::vector<std::string>& lines) {
  std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (int e = posix::MakeFolders(path.substr(0, slash))) return e;
  }
  posix::FileLock lock;
  if (int e = lock.Acquire(path + ".lock")) return e;
  std::string text;
  int e = posix::ReadRegularFile(path, kMaxJarBytes, &text);
  if (e != 0 && e != ENOENT) return e;
  std::vector<std::string> jar = CookieLines(text);
  std::map<std::string, std::size_t> where;
  for (std::size_t i = 0; i < jar.size(); ++i) where[Key(jar[i])] = i;
  const std::time_t now = std::time(nullptr);
  for (const std::string& line : lines) {
    std::string key = Key(line);
    if (key.empty()) continue;
    if (auto it = where.find(key); it != where.end()) {
      jar[it->second] = line;
    } else {
      where[key] = jar.size();
      jar.push_back(line);
    }
  }
  std::string out = "# Netscape HTTP Cookie File\n";
  for (const std::string& line : jar)
    if (!Expired(line, now)) out += line + "\n";
  return posix::ReplaceFileContents(path, out.data(), out.size(), 0600);
}

}  // namespace trovex::inet

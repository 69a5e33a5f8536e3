#include "platform/inet/cookie_jar.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
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

bool IsSession(std::string_view line);
bool IsOwnJar(const std::string& path);

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
  posix::ReadRegularFile(path, kMaxJarBytes, &text);
  std::vector<std::string> lines = CookieLines(text);
  // Session lines in the shared jar were left by a process that is gone: their session ended.
  if (!IsOwnJar(path))
    lines.erase(std::remove_if(lines.begin(), lines.end(), [](const std::string& l) { return IsSession(l); }),
                lines.end());
  const std::string sessionJar = SessionCookieJarPath(false);
  if (!sessionJar.empty() && sessionJar != path) {
    std::string own;
    posix::ReadRegularFile(sessionJar, kMaxJarBytes, &own);
    for (std::string& line : CookieLines(own)) lines.push_back(std::move(line));
  }
  for (std::string& line : lines) {  // the seven fields only: readers refuse more
    std::size_t tab = 0;
    for (int i = 0; i < 7 && tab != std::string::npos; ++i) tab = line.find('\t', tab + (i ? 1 : 0));
    if (tab != std::string::npos) line.erase(tab);
  }
  return lines;
}

namespace {

bool IsSession(std::string_view line) {
  std::vector<std::string_view> f = CookieLineFields(line);
  return f.size() >= 7 && f[4] == "0";
}

// A jar given to this process by its starter (the native host's) holds whatever it was given.
bool IsOwnJar(const std::string& path) {
  const char* own = std::getenv("TROVEX_COOKIE_JAR");
  return own && own[0] == '/' && path == own;
}

// Under the jar file's lock: `puts` replace or join the lines of their key, `drops` remove
// theirs, and with `dropSession` session lines left by processes that are gone are dropped.
int UpdateJarFile(const std::string& path, const std::vector<std::string>& puts,
                  const std::vector<std::string>& drops, bool dropSession) {
  std::size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    if (int e = posix::MakeFolders(path.substr(0, slash))) return e;
  }
  posix::FileLock lock;
  if (int e = lock.Acquire(path + ".lock")) return e;
  std::string text;
  int e = posix::ReadRegularFile(path, kMaxJarBytes, &text);
  if (e != 0 && e != ENOENT) return e;
  if (e == ENOENT && puts.empty()) return 0;
  std::vector<std::string> jar = CookieLines(text);
  std::map<std::string, std::size_t> where;
  for (std::size_t i = 0; i < jar.size(); ++i) where[Key(jar[i])] = i;
  std::vector<bool> gone(jar.size(), false);
  for (const std::string& line : drops)
    if (auto it = where.find(Key(line)); it != where.end()) gone[it->second] = true;
  for (const std::string& line : puts) {
    std::string key = Key(line);
    if (key.empty()) continue;
    if (auto it = where.find(key); it != where.end()) {
      jar[it->second] = line;
      gone[it->second] = false;
    } else {
      where[key] = jar.size();
      jar.push_back(line);
      gone.push_back(false);
    }
  }
  const std::time_t now = std::time(nullptr);
  std::string out = "# Netscape HTTP Cookie File\n";
  for (std::size_t i = 0; i < jar.size(); ++i)
    if (!gone[i] && !Expired(jar[i], now) && !(dropSession && IsSession(jar[i]))) out += jar[i] + "\n";
  return posix::ReplaceFileContents(path, out.data(), out.size(), 0600);
}

// The folder the session jars of running processes live in.
std::string SessionFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const char* tmp = std::getenv("TMPDIR");
  return runtime && runtime[0] == '/' ? runtime : (tmp && tmp[0] == '/' ? tmp : "/tmp");
}

constexpr std::string_view kSessionPrefix = "trovex-session-";

// The process a session folder "trovex-session-<pid>-XXXXXX" belongs to; 0 if none.
pid_t SessionOwner(std::string_view name) {
  if (name.substr(0, kSessionPrefix.size()) != kSessionPrefix) return 0;
  name.remove_prefix(kSessionPrefix.size());
  long long pid = 0;
  std::size_t i = 0;
  for (; i < name.size() && name[i] >= '0' && name[i] <= '9' && pid < (1LL << 31); ++i) pid = pid * 10 + (name[i] - '0');
  return i > 0 && i < name.size() && name[i] == '-' ? static_cast<pid_t>(pid) : 0;
}

void RemoveSessionFolder(const std::string& dir) {
  ::unlink((dir + "/cookies.txt").c_str());
  ::unlink((dir + "/cookies.txt.lock").c_str());
  ::rmdir(dir.c_str());
}

std::string& CreatedSessionFolder() {
  static std::string dir;
  return dir;
}

void RemoveOwnSessionFolder() {
  if (!CreatedSessionFolder().empty()) RemoveSessionFolder(CreatedSessionFolder());
}

// Session folders of processes that were killed before they could remove theirs.
void SweepDeadSessions(const std::string& base) {
  DIR* listing = ::opendir(base.c_str());
  if (!listing) return;
  std::vector<std::string> dead;
  while (dirent* d = ::readdir(listing)) {
    pid_t pid = SessionOwner(d->d_name);
    if (pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH) dead.push_back(base + "/" + d->d_name);
  }
  ::closedir(listing);
  for (const std::string& dir : dead) RemoveSessionFolder(dir);
}

}  // namespace

std::string SessionCookieJarPath(bool create) {
  // Shared through the environment by every copy of this code in the process (the browser
  // and the module it loads), and by no other process: the folder names its owner.
  const char* given = std::getenv("TROVEX_SESSION_JAR");
  if (given && given[0] == '/') {
    std::string path = given;
    std::size_t slash = path.rfind('/');
    std::size_t start = path.rfind('/', slash - 1);
    if (slash != std::string::npos && start != std::string::npos &&
        SessionOwner(std::string_view(path).substr(start + 1, slash - start - 1)) == ::getpid())
      return path;
  }
  if (!create) return {};
  const std::string base = SessionFolder();
  SweepDeadSessions(base);
  std::string pattern = base + "/" + std::string(kSessionPrefix) + std::to_string(::getpid()) + "-XXXXXX";
  if (!::mkdtemp(pattern.data())) return {};
  CreatedSessionFolder() = pattern;
  std::atexit(RemoveOwnSessionFolder);
  const std::string path = pattern + "/cookies.txt";
  ::setenv("TROVEX_SESSION_JAR", path.c_str(), 1);
  return path;
}

int MergeCookieStoreIntoJar(const std::string& store, const std::string& path) {
  std::vector<std::string> lines = ReadCookieJar(store);
  return lines.empty() ? 0 : MergeIntoCookieJar(path, lines);
}

int MergeIntoCookieJar(const std::string& path, const std::vector<std::string>& lines) {
  std::vector<std::string> persistent, session;
  for (const std::string& line : lines) (IsSession(line) ? session : persistent).push_back(line);
  const bool own = IsOwnJar(path);
  // A session cookie replaces a kept one of its name, and the other way round.
  if (int e = UpdateJarFile(path, persistent, own ? std::vector<std::string>{} : session, !own)) return e;
  if (own) {
    if (session.empty()) return 0;
    return UpdateJarFile(path, session, {}, false);
  }
  const std::string sessionJar = SessionCookieJarPath(!session.empty());
  if (sessionJar.empty()) return session.empty() ? 0 : EACCES;
  return UpdateJarFile(sessionJar, session, persistent, false);
}

}  // namespace trovex::inet

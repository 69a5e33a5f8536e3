#include "browser/command_line.h"
#include "platform/text/res_text.h"
#include "res/strings.h"
#include "browser/view_cookies.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include "platform/inet/cookie_jar.h"

namespace trovex::browser {
namespace {

// Addresses whose cookies are asked for at one click: the movies of a huge page share a few.
constexpr std::size_t kMaxCookieAddresses = 64;

std::string ViewCookieStore() {
  const std::string jar = inet::CookieJarPath();
  return jar.substr(0, jar.rfind('/') + 1) + "view-cookies.txt";
}

void MergeIntoJar(const std::vector<std::string>& lines) {
  if (int failed = inet::MergeIntoCookieJar(inet::CookieJarPath(), lines))
    Report(FormatResString(IDS_TROVEX_BROWSER_CANNOT_WRITE_JAR, std::strerror(failed)));
}

}  // namespace

void UseCookieJar(WebEngineView* view) {
  if (!view) return;
  const std::string store = ViewCookieStore();
  std::error_code ignored;
  std::filesystem::create_directories(std::filesystem::path(store).parent_path(), ignored);
  inet::MergeIntoCookieJar(store, inet::ReadCookieJar(inet::CookieJarPath()));
  UseCookieStore(view, store);
}

void ExportViewCookies() {
  if (int failed = inet::MergeCookieStoreIntoJar(ViewCookieStore(), inet::CookieJarPath()))
    Report(FormatResString(IDS_TROVEX_BROWSER_CANNOT_WRITE_JAR, std::strerror(failed)));
}

std::vector<std::string> SessionCookieLines(const std::vector<EngineCookie>& cookies) {
  std::vector<std::string> lines;
  for (const EngineCookie& c : cookies) {
    if (!c.bSession) continue;
    lines.push_back(std::string(c.bHttpOnly ? "#HttpOnly_" : "") + c.strDomain + "\t" +
                    (!c.strDomain.empty() && c.strDomain[0] == '.' ? "TRUE" : "FALSE") + "\t" + c.strPath + "\t" +
                    (c.bSecure ? "TRUE" : "FALSE") + "\t0\t" + c.strName + "\t" + c.strValue);
  }
  return lines;
}

void ImportSessionCookies(WebEngineView* view, std::vector<std::string> urls, std::function<void()> then) {
  // One address per folder: a cookie's path is a folder of the address or the address itself.
  std::vector<std::string> asked;
  std::set<std::string> folders;
  for (std::string& url : urls) {
    const std::string bare = url.substr(0, url.find_first_of("?#"));
    const std::string folder = bare.substr(0, bare.rfind('/') + 1);
    if (asked.size() < kMaxCookieAddresses && folders.insert(folder).second) asked.push_back(std::move(url));
  }
  struct Round {
    std::function<void()> then;
    std::size_t pending = 0;
    std::vector<std::string> lines;
  };
  auto round = std::make_shared<Round>();
  round->then = std::move(then);
  round->pending = asked.size();
  for (const std::string& url : asked) {
    const bool asking = RequestCookies(view, url, [round](std::vector<EngineCookie> cookies) {
      for (std::string& line : SessionCookieLines(cookies)) round->lines.push_back(std::move(line));
      if (--round->pending > 0) return;
      ExportViewCookies();
      if (!round->lines.empty()) MergeIntoJar(round->lines);
      round->then();
    });
    // The engine cannot answer (no view, or no cookie calls): go on without its session
    // cookies. That holds for every address alike, so it shows at the first.
    if (!asking) {
      round->then();
      return;
    }
  }
  if (asked.empty()) round->then();
}

}  // namespace trovex::browser

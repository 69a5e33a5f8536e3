#include "pageloader/player.h"

#include <set>
#include <string_view>

#include "pageloader/url.h"
#include "platform/error/error.h"
#include "platform/inet/inet.h"
#include "platform/text/res_text.h"
#include "res/strings.h"

namespace trovex::browser {
namespace {

using pagemodel::ElementData;
using pagemodel::ElementKind;

bool EndsWithNoCase(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && AsciiEqualsNoCase(s.substr(s.size() - tail.size()), tail);
}

bool IsFlashType(std::string_view type) {
  while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
  while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
  return AsciiEqualsNoCase(type, "application/x-shockwave-flash");
}

bool Cache(const std::string& url, const std::string& body, std::string* note) {
  std::string local;
  if (AddUrlCacheEntry(url, body.data(), body.size(), &local)) return true;
  *note = FormatResString(IDS_TROVEX_LOADER_CACHE_ENTRY_FAILED, url.c_str(), static_cast<unsigned long>(GetLastError()));
  return false;
}

}  // namespace

std::vector<std::string> MoviesPlayed(const pagemodel::PageData& page) {
  std::vector<std::string> references;
  for (std::size_t i : page.applets) {
    const ElementData& e = page.elements[i];
    const std::string* classid = e.Find("classid");
    if (e.kind != ElementKind::kObject || !classid || !pagemodel::IsFlashClassId(*classid)) continue;
    if (const std::string* movie = e.Movie()) references.push_back(*movie);
  }
  for (std::size_t i : page.embeds) {
    const ElementData& e = page.elements[i];
    const std::string* src = e.Find("src");
    if (e.bInFlashObject || !src) continue;
    const std::string* type = e.Find("type");
    // The address's path decides, as the server's answer for it would.
    std::string path = src->substr(0, src->find_first_of("?#"));
    while (!path.empty() && static_cast<unsigned char>(path.back()) <= 0x20) path.pop_back();
    if (EndsWithNoCase(path, ".swf") || (type && IsFlashType(*type))) references.push_back(*src);
  }
  std::vector<std::string> out;
  std::set<std::string> seen;
  for (const std::string& ref : references) {
    // The form the cache keys the address by, so the stored bytes are that address's.
    std::string url = UrlCacheCanonicalForm(StripFragment(ResolveUrl(page.strBaseURL, ref)));
    std::string scheme = UrlScheme(url);
    if ((scheme == "http" || scheme == "https") && seen.insert(url).second) out.push_back(url);
  }
  return out;
}

bool PlayMovie(const std::string& url, const FetchLimits& limits, std::string* note) {
  FetchResult r = Fetch(url, limits);
  if (!r.bFetched || !r.IsHttpSuccess()) {
    *note = FormatResString(IDS_TROVEX_LOADER_MOVIE_NOT_FETCHED,
                            (r.bFetched ? FormatResString(IDS_TROVEX_LOADER_HTTP_FOR, url.c_str(), static_cast<int>(r.nStatus)) : r.strError).c_str());
    return false;
  }
  // Under the address the page asked for, which the scanner looks up, and under the one a
  // redirect led to.
  if (!Cache(url, r.strBody, note)) return false;
  if (r.strURL != url) Cache(r.strURL, r.strBody, note);
  return true;
}

}  // namespace trovex::browser

// The loader of the page model: fetches a page and its frames into a session, bounding frame
// nesting the way browsers do, and plays the movies when asked to.
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "browser/browser.h"
#include "browser/session.h"
#include "browser/url.h"
#include "platform/inet/inet.h"

namespace trovex::browser {
namespace {

bool IsHttp(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

class Loader {
 public:
  Loader(Session& s, const LoadOptions& o, LoadStats& stats) : s_(s), o_(o), stats_(stats) {}

  // Fetches and parses one document and then its frames, depth first. -1 when nothing came.
  int Load(const std::string& url, int parent, int depth, std::string* error) {
    FetchResult r = Fetch(url, o_.pageLimits);
    if (!r.bFetched) {
      *error = r.strError;
      return -1;
    }
    if (parent >= 0 && IsAncestor(parent, StripFragment(r.strURL))) {
      *error = "redirected to a page that contains it: " + r.strURL;
      ++stats_.nFramesRefused;
      return -1;
    }
    if (r.IsHttpSuccess()) Cache(r.strURL, r.strBody, &stats_.nPagesCached);
    if (r.IsHttp() && !r.IsHttpSuccess())
      stats_.notes.push_back("HTTP " + std::to_string(r.nStatus) + " for " + r.strURL);
    s_.pages.push_back(ParsePage(r.strURL, r.strBody, r.strContentType, &budget_));
    for (std::string& note : budget_.notes) {
      stats_.cuts.push_back(note);
      stats_.notes.push_back(std::move(note));
    }
    budget_.notes.clear();
    r.strBody.clear();
    int index = static_cast<int>(s_.pages.size()) - 1;
    PageData& page = s_.pages[index];
    page.strRequestedURL = url;
    page.nParent = parent;
    page.nDepth = depth;
    page.nStatus = r.nStatus;
    LoadFrames(index);
    if (o_.bPlugins) PlayMovies(index);
    return index;
  }

 private:
  bool IsAncestor(int page, const std::string& url) const {
    for (int p = page; p >= 0; p = s_.pages[p].nParent) {
      if (StripFragment(s_.pages[p].strURL) == url || StripFragment(s_.pages[p].strRequestedURL) == url)
        return true;
    }
    return false;
  }

  void Refuse(const std::string& why) {
    ++stats_.nFramesEmpty;
    ++stats_.nFramesRefused;
    stats_.notes.push_back(why);
  }

  void LoadFrames(int index) {
    for (std::size_t i : std::vector<std::size_t>(s_.pages[index].embeddings)) {
      if (!s_.pages[index].elements[i].IsFrame()) continue;
      s_.pages[index].elements[i].nFramePage = LoadFrame(index, i);
    }
  }

  int LoadFrame(int container, std::size_t element) {
    const PageData& page = s_.pages[container];
    const std::string* src = page.elements[element].Find("src");
    // No source, or an empty one, shows an empty document.
    bool blank = !src || src->find_first_not_of(" \t\r\n\f") == std::string::npos;
    std::string url = blank ? std::string() : ResolveUrl(page.strBaseURL, *src);
    blank = blank || url == "about:blank";
    int depth = page.nDepth + 1;
    if (framesRequested_ >= o_.nMaxFrames) {
      Refuse("more than " + std::to_string(o_.nMaxFrames) + " frames; not loaded: " + url);
      return -1;
    }
    if (depth > o_.nMaxDepth) {
      Refuse("frames nested deeper than " + std::to_string(o_.nMaxDepth) + "; not loaded: " + url);
      return -1;
    }
    ++framesRequested_;
    if (blank) {
      s_.pages.push_back(BlankPage());
      s_.pages.back().nParent = container;
      s_.pages.back().nDepth = depth;
      ++stats_.nFramesLoaded;
      return static_cast<int>(s_.pages.size()) - 1;
    }
    std::string scheme = UrlScheme(url);
    // A page from the network may not open local files in its frames.
    if (scheme == "file" && UrlScheme(page.strURL) != "file") {
      Refuse("a network page may not show a local file: " + url);
      return -1;
    }
    if (!IsHttp(scheme) && scheme != "file") {
      ++stats_.nFramesEmpty;
      stats_.notes.push_back("frame address not loaded: " + (url.empty() ? *src : url));
      return -1;
    }
    if (IsAncestor(container, StripFragment(url))) {
      Refuse("frame would load a page that contains it: " + url);
      return -1;
    }
    std::string error;
    int child = Load(url, container, depth, &error);
    if (child < 0) {
      ++stats_.nFramesEmpty;
      stats_.notes.push_back("frame not loaded: " + error);
    } else {
      ++stats_.nFramesLoaded;
    }
    return child;
  }

  // What a browser with the Flash player would fetch for this page.
  void PlayMovies(int index) {
    const PageData& page = s_.pages[index];
    std::vector<std::string> references;
    for (std::size_t i : page.applets) {
      const ElementData& e = page.elements[i];
      const std::string* classid = e.Find("classid");
      if (e.kind != ElementKind::kObject || !classid || !IsFlashClassId(*classid)) continue;
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
    for (const std::string& ref : references) {
      std::string url = StripFragment(ResolveUrl(page.strBaseURL, ref));
      if (!IsHttp(UrlScheme(url)) || !played_.insert(url).second) continue;
      FetchResult r = Fetch(url, o_.movieLimits);
      if (!r.bFetched || !r.IsHttpSuccess()) {
        ++stats_.nMoviesFailed;
        stats_.notes.push_back("movie not fetched: " +
                               (r.bFetched ? "HTTP " + std::to_string(r.nStatus) + " for " + url : r.strError));
        continue;
      }
      // Under the address the page asked for, which the scanner looks up, and under the one
      // a redirect led to.
      if (Cache(url, r.strBody, &stats_.nMoviesCached) && r.strURL != url) Cache(r.strURL, r.strBody, nullptr);
    }
  }

  static bool EndsWithNoCase(std::string_view s, std::string_view tail) {
    return s.size() >= tail.size() && EqualsNoCase(s.substr(s.size() - tail.size()), tail);
  }
  static bool IsFlashType(std::string_view type) {
    while (!type.empty() && type.back() == ' ') type.remove_suffix(1);
    while (!type.empty() && type.front() == ' ') type.remove_prefix(1);
    return EqualsNoCase(type, "application/x-shockwave-flash");
  }

  bool Cache(const std::string& url, const std::string& body, int* counter) {
    std::string local;
    if (!AddUrlCacheEntry(url, body.data(), body.size(), &local)) {
      stats_.notes.push_back("cannot write the URL cache entry of " + url + " (error " +
                             std::to_string(GetLastError()) + ")");
      return false;
    }
    if (counter) ++*counter;
    return true;
  }

  Session& s_;
  const LoadOptions& o_;
  LoadStats& stats_;
  int framesRequested_ = 0;
  PageBudget budget_;  // what all documents of this load may keep in memory
  std::set<std::string> played_;
};

}  // namespace

ComPtr<IWebBrowser2> LoadPage(const std::string& address, const LoadOptions& options,
                              std::string* error, LoadStats* stats) {
  LoadStats localStats;
  LoadStats& st = stats ? *stats : localStats;
  auto session = std::make_shared<Session>();
  // The movies played into the URL cache reach the disk together, once per page.
  UrlCacheWriteGroup cacheWrites;
  Loader loader(*session, options, st);
  std::string why;
  const int top = loader.Load(address, -1, 0, &why);
  if (!cacheWrites.Commit())
    st.notes.push_back("cannot sync the URL cache (error " + std::to_string(GetLastError()) + ")");
  if (top < 0) {
    if (error) *error = why;
    return nullptr;
  }
  st.nStatus = session->pages[top].nStatus;
  return GetBrowser(session, -1, -1);
}

}  // namespace trovex::browser

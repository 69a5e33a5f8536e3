// The loader of the page model: fetches a page and its frames into a session, bounding frame
// nesting the way browsers do, and plays the movies when asked to.
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "browser/browser.h"
#include "browser/page.h"
#include "browser/player.h"
#include "pagemodel/session.h"
#include "browser/url.h"
#include "platform/inet/inet.h"

namespace trovex::browser {

using pagemodel::GetBrowser;
using pagemodel::Session;

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

 public:
  // One line per limit that cut frames, for the list's reader (see LoadStats::cuts).
  void SumUpCuts() {
    for (const auto* cut : {&cutByCount_, &cutByDepth_}) {
      if (cut->count == 0) continue;
      std::string line = cut->limit + ": " + std::to_string(cut->count) + " not loaded";
      stats_.cuts.push_back(line);
      stats_.notes.push_back(std::move(line));
    }
  }

 private:
  // Frames a limit keeps out: counted, and the first few named (a page of 100,000 frames
  // would otherwise give as many lines).
  struct LimitCut {
    std::string limit;
    int count = 0;
  };
  static constexpr int kNamedCutsPerLimit = 20;
  void RefuseOverLimit(LimitCut* cut, const std::string& limit, const std::string& url) {
    cut->limit = limit;
    if (++cut->count <= kNamedCutsPerLimit) {
      Refuse(limit + "; not loaded: " + url);
    } else {
      ++stats_.nFramesEmpty;
      ++stats_.nFramesRefused;
    }
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
      RefuseOverLimit(&cutByCount_, "more than " + std::to_string(o_.nMaxFrames) + " frames", url);
      return -1;
    }
    if (depth > o_.nMaxDepth) {
      RefuseOverLimit(&cutByDepth_, "frames nested deeper than " + std::to_string(o_.nMaxDepth), url);
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
    for (const std::string& url : MoviesPlayed(s_.pages[index])) {
      if (!played_.insert(url).second) continue;
      std::string note;
      if (PlayMovie(url, o_.movieLimits, &note))
        ++stats_.nMoviesCached;
      else
        ++stats_.nMoviesFailed;
      if (!note.empty()) stats_.notes.push_back(note);
    }
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
  LimitCut cutByCount_, cutByDepth_;
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
  loader.SumUpCuts();
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

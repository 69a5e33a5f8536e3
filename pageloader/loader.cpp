// The loader of the page model: fetches a page and its frames into a session, bounding frame
// nesting the way browsers do, and plays the movies when asked to.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "pageloader/loader.h"
#include "pageloader/page.h"
#include "pageloader/player.h"
#include "pagemodel/session.h"
#include "pageloader/url.h"
#include "platform/inet/inet.h"
#include "platform/text/res_text.h"
#include "res/strings.h"

namespace trovex::browser {

using pagemodel::GetBrowser;
using pagemodel::Session;

namespace {

bool IsHttp(const std::string& scheme) { return scheme == "http" || scheme == "https"; }

// The threads that fetch (and parse) frames ahead of their turn, kept for the whole load: a
// thread for each fetch would pay its start, and its stack's release, every time.
template <typename Result>
class FetchPool {
 public:
  explicit FetchPool(int threads) : nThreads_(threads) {}
  ~FetchPool() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    jobCv_.notify_all();
    for (std::thread& t : threads_) t.join();
  }
  FetchPool(const FetchPool&) = delete;
  FetchPool& operator=(const FetchPool&) = delete;

  // Throws std::system_error when no thread could be started.
  std::future<Result> Submit(std::function<Result()> job) {
    std::packaged_task<Result()> task(std::move(job));
    std::future<Result> result = task.get_future();
    std::lock_guard<std::mutex> lock(mutex_);
    if (threads_.size() < static_cast<std::size_t>(nThreads_) && idle_ == 0) {
      try {
        threads_.emplace_back([this] { Run(); });
      } catch (const std::system_error&) {
        if (threads_.empty()) throw;  // the ones running take it
      }
    }
    jobs_.push_back(std::move(task));
    jobCv_.notify_one();
    return result;
  }

 private:
  void Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      ++idle_;
      jobCv_.wait(lock, [this] { return stop_ || !jobs_.empty(); });
      --idle_;
      if (stop_) return;
      std::packaged_task<Result()> task = std::move(jobs_.front());
      jobs_.pop_front();
      lock.unlock();
      task();
      lock.lock();
    }
  }

  const int nThreads_;
  std::mutex mutex_;
  std::condition_variable jobCv_;
  std::deque<std::packaged_task<Result()>> jobs_;
  int idle_ = 0;
  std::atomic<bool> stop_{false};
  std::vector<std::thread> threads_;
};

class Loader {
 public:
  Loader(Session& s, const LoadOptions& o, LoadStats& stats) : s_(s), o_(o), stats_(stats) {}

  // A frame's document fetched, and when small enough parsed, ahead of its turn.
  struct Ahead {
    FetchResult fetched;
    std::unique_ptr<ParsedAhead> parsed;
  };

  // Fetches and parses one document and then its frames, depth first. -1 when nothing came.
  // `ahead`: the document, when it was fetched ahead of its turn.
  int Load(const std::string& url, int parent, int depth, std::string* error, Ahead* ahead = nullptr) {
    FetchResult r = ahead ? std::move(ahead->fetched) : Fetch(url, o_.pageLimits);
    if (!r.bFetched) {
      *error = r.strError;
      return -1;
    }
    if (parent >= 0 && IsAncestor(parent, StripFragment(r.strURL))) {
      *error = FormatResString(IDS_TROVEX_LOADER_REDIRECT_TO_ANCESTOR, r.strURL.c_str());
      ++stats_.nFramesRefused;
      return -1;
    }
    if (r.IsHttpSuccess()) Cache(r.strURL, r.strBody, &stats_.nPagesCached);
    if (r.IsHttp() && !r.IsHttpSuccess())
      stats_.notes.push_back(FormatResString(IDS_TROVEX_LOADER_HTTP_FOR, r.strURL.c_str(), static_cast<int>(r.nStatus)));
    s_.pages.push_back(ParsePage(r.strURL, r.strBody, r.strContentType, &budget_,
                                 ahead ? ahead->parsed.get() : nullptr));
    if (ahead) ahead->parsed.reset();
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
      std::string line = FormatResString(IDS_TROVEX_LOADER_LIMIT_NOT_LOADED, cut->limit.c_str(), cut->count);
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
      Refuse(FormatResString(IDS_TROVEX_LOADER_LIMIT_NOT_LOADED_ONE, limit.c_str(), url.c_str()));
    } else {
      ++stats_.nFramesEmpty;
      ++stats_.nFramesRefused;
    }
  }

  // What becomes of one frame, settled in document order before any of the page's frames
  // loads, so that the frames to fetch can be fetched side by side.
  struct FramePlan {
    enum class Kind { kOverCount, kOverDepth, kBlank, kLocalFromNetwork, kNotLoadable, kAncestor, kFetch };
    Kind kind = Kind::kFetch;
    std::size_t element = 0;
    std::string url;
    std::string shown;  // the address as a note names it
    bool bNetwork = false;  // to be fetched from the network: it may be fetched ahead
    std::future<Ahead> ahead;
  };

  FramePlan PlanFrame(int container, std::size_t element) {
    const PageData& page = s_.pages[container];
    FramePlan plan;
    plan.element = element;
    const std::string* src = page.elements[element].Find("src");
    // No source, or an empty one, shows an empty document.
    bool blank = !src || src->find_first_not_of(" \t\r\n\f") == std::string::npos;
    plan.url = blank ? std::string() : ResolveUrl(page.strBaseURL, *src);
    plan.shown = plan.url.empty() && src ? *src : plan.url;
    blank = blank || plan.url == "about:blank";
    using Kind = FramePlan::Kind;
    // The page's frames take their places in the count before the frames of their frames.
    if (framesRequested_ >= o_.nMaxFrames) {
      plan.kind = Kind::kOverCount;
    } else if (page.nDepth + 1 > o_.nMaxDepth) {
      plan.kind = Kind::kOverDepth;
    } else {
      ++framesRequested_;
      std::string scheme = blank ? std::string() : UrlScheme(plan.url);
      if (blank)
        plan.kind = Kind::kBlank;
      else if (scheme == "file" && UrlScheme(page.strURL) != "file")  // a network page may not open local files
        plan.kind = Kind::kLocalFromNetwork;
      else if (!IsHttp(scheme) && scheme != "file")
        plan.kind = Kind::kNotLoadable;
      else if (IsAncestor(container, StripFragment(plan.url)))
        plan.kind = Kind::kAncestor;
    }
    return plan;
  }

  // Frames fetched ahead of their turn. A few at once, so that a small server is not flooded:
  // one that accepts slowly with a listen queue of five (Python's http.server) drops the
  // connections beyond it, and each dropped one waits a second for the retry. A few more may
  // wait, fetched, for their turn: a page's frames load before its later siblings, so the
  // siblings fetched ahead must not keep the frames of the page from being fetched ahead too.
  // Only bodies up to a size are parsed ahead: a parse tree takes many times its text.
  static constexpr int kAheadPerPage = 3;
  static constexpr int kFetchingAtOnce = 3;
  static constexpr int kAheadInAll = 6;
  static constexpr std::size_t kParseAheadBytes = 1u << 20;

  static Ahead FetchAndParse(const std::string& url, const FetchLimits& limits, const PageBudget& perDocument,
                             std::atomic<int>* fetching) {
    Ahead a;
    {
      struct Done {
        std::atomic<int>* fetching;
        ~Done() { fetching->fetch_sub(1); }
      } done{fetching};
      a.fetched = Fetch(url, limits);
    }
    if (a.fetched.bFetched && a.fetched.strBody.size() <= kParseAheadBytes)
      a.parsed = std::make_unique<ParsedAhead>(a.fetched.strBody, a.fetched.strContentType, perDocument);
    return a;
  }

  void FetchAhead(std::vector<FramePlan>& plans, std::size_t from) {
    int waiting = 0;
    for (std::size_t i = from; i < plans.size(); ++i) {
      FramePlan& plan = plans[i];
      if (!plan.bNetwork) continue;
      if (plan.ahead.valid()) {
        ++waiting;
        continue;
      }
      if (waiting >= kAheadPerPage || fetchesAhead_ >= kAheadInAll || fetching_ >= kFetchingAtOnce) return;
      PageBudget perDocument;
      perDocument.nTagsPerDocument = budget_.nTagsPerDocument;
      perDocument.nNestingDepth = budget_.nNestingDepth;
      ++fetching_;
      try {
        plan.ahead = pool_.Submit([url = plan.url, limits = o_.pageLimits, perDocument, fetching = &fetching_] {
          return FetchAndParse(url, limits, perDocument, fetching);
        });
      } catch (const std::system_error&) {
        --fetching_;
        return;  // no thread to be had: the frames are fetched in their turn
      }
      ++waiting;
      ++fetchesAhead_;
    }
  }

  void LoadFrames(int index) {
    std::vector<FramePlan> plans;
    for (std::size_t i : std::vector<std::size_t>(s_.pages[index].embeddings)) {
      if (s_.pages[index].elements[i].IsFrame()) plans.push_back(PlanFrame(index, i));
    }
    for (FramePlan& plan : plans) plan.bNetwork = plan.kind == FramePlan::Kind::kFetch && UrlScheme(plan.url) != "file";
    for (std::size_t k = 0; k < plans.size(); ++k) {
      FramePlan& plan = plans[k];
      // Fetches ahead that ended since the last look leave room for the next frames.
      if (plan.bNetwork && !plan.ahead.valid()) FetchAhead(plans, k);
      std::optional<Ahead> fetched;
      if (plan.ahead.valid()) {
        fetched = plan.ahead.get();
        --fetchesAhead_;
        FetchAhead(plans, k + 1);
      }
      s_.pages[index].elements[plan.element].nFramePage = LoadFrame(index, plan, fetched ? &*fetched : nullptr);
    }
  }

  int LoadFrame(int container, const FramePlan& plan, Ahead* fetched) {
    using Kind = FramePlan::Kind;
    const std::string& url = plan.url;
    const int depth = s_.pages[container].nDepth + 1;
    switch (plan.kind) {
      case Kind::kOverCount:
        RefuseOverLimit(&cutByCount_, FormatResString(IDS_TROVEX_LOADER_MORE_FRAMES, o_.nMaxFrames), url);
        return -1;
      case Kind::kOverDepth:
        RefuseOverLimit(&cutByDepth_, FormatResString(IDS_TROVEX_LOADER_FRAMES_TOO_DEEP, o_.nMaxDepth), url);
        return -1;
      case Kind::kBlank:
        s_.pages.push_back(BlankPage());
        s_.pages.back().nParent = container;
        s_.pages.back().nDepth = depth;
        ++stats_.nFramesLoaded;
        return static_cast<int>(s_.pages.size()) - 1;
      case Kind::kLocalFromNetwork:
        Refuse(FormatResString(IDS_TROVEX_LOADER_LOCAL_FROM_NETWORK, url.c_str()));
        return -1;
      case Kind::kNotLoadable:
        ++stats_.nFramesEmpty;
        stats_.notes.push_back(FormatResString(IDS_TROVEX_LOADER_FRAME_ADDRESS_NOT_LOADED, plan.shown.c_str()));
        return -1;
      case Kind::kAncestor:
        Refuse(FormatResString(IDS_TROVEX_LOADER_FRAME_CONTAINS_ITSELF, url.c_str()));
        return -1;
      case Kind::kFetch:
        break;
    }
    std::string error;
    int child = Load(url, container, depth, &error, fetched);
    if (child < 0) {
      ++stats_.nFramesEmpty;
      stats_.notes.push_back(FormatResString(IDS_TROVEX_LOADER_FRAME_NOT_LOADED, error.c_str()));
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
      stats_.notes.push_back(FormatResString(IDS_TROVEX_LOADER_CACHE_ENTRY_FAILED, url.c_str(), static_cast<unsigned long>(GetLastError())));
      return false;
    }
    if (counter) ++*counter;
    return true;
  }

  Session& s_;
  const LoadOptions& o_;
  LoadStats& stats_;
  int framesRequested_ = 0;
  int fetchesAhead_ = 0;  // fetches started ahead of their turn and not yet taken
  std::atomic<int> fetching_{0};  // of those, the ones still fetching
  LimitCut cutByCount_, cutByDepth_;
  PageBudget budget_;  // what all documents of this load may keep in memory
  std::set<std::string> played_;
  // Last, so that its threads end before what their fetches use goes.
  FetchPool<Ahead> pool_{kFetchingAtOnce};
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
    st.notes.push_back(FormatResString(IDS_TROVEX_LOADER_CACHE_SYNC_FAILED, static_cast<unsigned long>(GetLastError())));
  if (top < 0) {
    if (error) *error = why;
    return nullptr;
  }
  st.nStatus = session->pages[top].nStatus;
  return GetBrowser(session, -1, -1);
}

}  // namespace trovex::browser

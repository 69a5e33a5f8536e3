#include "browser/window_player.h"

#include "pageloader/player.h"

namespace trovex::browser {

std::vector<std::string> PlayedBy(const pagemodel::SessionPtr& session) {
  std::vector<std::string> urls;
  std::set<std::string> seen;
  for (const pagemodel::PageData& page : session->pages)
    for (std::string& url : MoviesPlayed(page))
      if (seen.insert(url).second) urls.push_back(std::move(url));
  return urls;
}

void WindowPlayer::Start(const pagemodel::SessionPtr& session) {
  std::vector<std::string> urls;
  for (std::string& url : PlayedBy(session))
    if (!played_.count(url)) urls.push_back(std::move(url));
  if (urls.empty()) return;
  Stop();
  stop_ = false;
  for (const std::string& url : urls) played_.insert(url);
  worker_ = std::thread([this, urls = std::move(urls)] {
    FetchLimits limits{.nMaxBytes = std::size_t{256} << 20};
    limits.abort = &stop_;
    for (const std::string& url : urls) {
      if (stop_) break;
      std::string note;
      PlayMovie(url, limits, &note);
    }
  });
}

void WindowPlayer::Stop() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
}

}  // namespace trovex::browser

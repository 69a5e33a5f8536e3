// Fetching one address as a browser does: http and https through the shared transport
// (redirects followed, the final address kept), file: addresses from the local disk.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/inet/page_source.h"

namespace trovex::browser {

// Time for a whole page load, shared by all of its fetches (the page, its frames, its
// movies): it starts with the first fetch, and once it is used up no further fetch starts
// and a running one ends. Frames are fetched side by side, so it may be asked from several
// threads at once.
class FetchBudget {
 public:
  explicit FetchBudget(std::chrono::seconds total) : total_(total) {}
  std::chrono::seconds total() const { return total_; }
  // Starts the clock on the first call.
  std::chrono::steady_clock::time_point Deadline();
  bool Exceeded() const;

 private:
  std::chrono::seconds total_;
  mutable std::mutex mutex_;
  std::optional<std::chrono::steady_clock::time_point> deadline_;
};

struct FetchLimits {
  long nConnectTimeoutSeconds = 15;
  // A transfer that moves less than nStallBytesPerSecond for this long is given up, so a
  // server that stops answering never blocks the browser.
  long nStallSeconds = 30;
  long nStallBytesPerSecond = 1;
  // Each fetch ends by then whatever the server does (one dripping a byte a second too).
  long nTotalSeconds = 300;
  std::size_t nMaxBytes = std::size_t{64} << 20;
  long nMaxRedirects = 20;  // pages; movies follow as many as a save does
  // The page load's budget, when there is one.
  std::shared_ptr<FetchBudget> budget{};
  // The fetch gives up soon after this is set (a window closing).
  const std::atomic<bool>* abort = nullptr;
  // Where http and https addresses come from (a web archive); null: the network.
  std::shared_ptr<inet::PageSource> source{};
};

struct FetchResult {
  bool bFetched = false;      // a response came (whatever its status) or the file was read
  std::string strURL;         // the final address, after redirects
  long nStatus = 0;           // HTTP status; 0 for local files
  std::string strContentType; // the response's Content-Type header
  std::string strBody;
  std::string strError;       // why nothing was fetched
  bool IsHttp() const { return nStatus != 0; }
  bool IsHttpSuccess() const { return nStatus >= 200 && nStatus < 300; }
};

// `url` is absolute. Other schemes than http, https and file are refused; a redirect may only
// lead to http or https, and at most nMaxRedirects are followed, whatever the source.
FetchResult Fetch(const std::string& url, const FetchLimits& limits = {});

}  // namespace trovex::browser

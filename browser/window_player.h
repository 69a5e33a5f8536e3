// The browser window's player role: the movies of the shown page's snapshot into the URL cache,
// as a browser with the Flash player fetches them, on a worker, one at a time, each address once
// per window.
#pragma once

#include <atomic>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "pagemodel/session.h"

namespace trovex::browser {

// The addresses the player fetches for every page of the session, each once, in page order.
std::vector<std::string> PlayedBy(const pagemodel::SessionPtr& session);

class WindowPlayer {
 public:
  WindowPlayer() = default;
  WindowPlayer(const WindowPlayer&) = delete;
  WindowPlayer& operator=(const WindowPlayer&) = delete;
  ~WindowPlayer() { Stop(); }

  // Fetches what the session plays and this window did not fetch yet; a run still going stops
  // first.
  void Start(const pagemodel::SessionPtr& session);
  // Stops the worker and waits for it.
  void Stop();

 private:
  std::thread worker_;
  std::atomic<bool> stop_{false};
  std::set<std::string> played_;
};

}  // namespace trovex::browser

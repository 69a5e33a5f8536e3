// A small HTTP/1.1 server on 127.0.0.1 for the browser's tests: fixed answers per path, each
// request logged. It runs on its own thread and closes every connection after one answer.
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace trovex::test {

struct HttpAnswer {
  int nStatus = 200;
  std::string strContentType = "text/html; charset=utf-8";
  std::string strBody;
  std::string strLocation;  // for redirects
};

class LoopbackServer {
 public:
  LoopbackServer();
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  int Port() const { return port_; }
  // "http://127.0.0.1:PORT" + path
  std::string Url(const std::string& path) const;

  // Answers for a path (with its query, as requested).
  void Set(const std::string& path, HttpAnswer answer);
  void Page(const std::string& path, const std::string& html,
            const std::string& contentType = "text/html; charset=utf-8");
  void Redirect(const std::string& path, const std::string& location, int status = 302);
  // Called for paths without a fixed answer; nullopt gives 404.
  void SetFallback(std::function<std::optional<HttpAnswer>(const std::string& path)> fallback);

  std::vector<std::string> Requests() const;
  int CountRequests(const std::string& path) const;

 private:
  void Run();
  void Serve(int fd);

  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::map<std::string, HttpAnswer> answers_;
  std::function<std::optional<HttpAnswer>(const std::string&)> fallback_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A port on 127.0.0.1 where nothing listens (bound, then closed).
int UnusedLoopbackPort();

}  // namespace trovex::test

#include "tests/support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

#include "tests/support/http_status.h"

namespace trovex::test {
namespace {

int BindLoopback(int* port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  int one = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    throw std::runtime_error("bind failed");
  }
  socklen_t len = sizeof addr;
  getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
  *port = ntohs(addr.sin_port);
  return fd;
}

}  // namespace

LoopbackServer::LoopbackServer() {
  listen_ = BindLoopback(&port_);
  if (listen(listen_, 64) != 0) {
    close(listen_);
    throw std::runtime_error("listen failed");
  }
  thread_ = std::thread([this] { Run(); });
}

LoopbackServer::~LoopbackServer() {
  stop_ = true;
  thread_.join();
  close(listen_);
}

std::string LoopbackServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void LoopbackServer::Set(const std::string& path, HttpAnswer answer) {
  std::lock_guard lock(mutex_);
  answers_[path] = std::move(answer);
}

void LoopbackServer::Page(const std::string& path, const std::string& html,
                          const std::string& contentType) {
  Set(path, HttpAnswer{200, contentType, html, ""});
}

void LoopbackServer::Redirect(const std::string& path, const std::string& location, int status) {
  Set(path, HttpAnswer{status, "text/html", "moved", location});
}

void LoopbackServer::SetFallback(std::function<std::optional<HttpAnswer>(const std::string&)> f) {
  std::lock_guard lock(mutex_);
  fallback_ = std::move(f);
}

std::vector<std::string> LoopbackServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

int LoopbackServer::CountRequests(const std::string& path) const {
  std::lock_guard lock(mutex_);
  int n = 0;
  for (const auto& r : requests_) n += r == path;
  return n;
}

void LoopbackServer::Run() {
  while (!stop_) {
    pollfd p{listen_, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    int fd = accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    Serve(fd);
    close(fd);
  }
}

void LoopbackServer::Serve(int fd) {
  std::string request;
  char buf[4096];
  while (request.find("\r\n\r\n") == std::string::npos && request.size() < 65536) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return;
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) return;
    request.append(buf, static_cast<std::size_t>(n));
  }
  std::size_t sp1 = request.find(' ');
  std::size_t sp2 = request.find(' ', sp1 + 1);
  if (sp1 == std::string::npos || sp2 == std::string::npos) return;
  std::string path = request.substr(sp1 + 1, sp2 - sp1 - 1);
  std::optional<HttpAnswer> answer;
  std::function<std::optional<HttpAnswer>(const std::string&)> fallback;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(path);
    if (auto it = answers_.find(path); it != answers_.end()) answer = it->second;
    fallback = fallback_;
  }
  if (!answer && fallback) answer = fallback(path);
  if (!answer) answer = HttpAnswer{404, "text/html", "<html><body>not found</body></html>", ""};
  std::string head = "HTTP/1.1 " + std::to_string(answer->nStatus) + " " + StatusReason(answer->nStatus) +
                     "\r\nContent-Length: " + std::to_string(answer->strBody.size()) +
                     "\r\nConnection: close\r\n";
  if (!answer->strContentType.empty()) head += "Content-Type: " + answer->strContentType + "\r\n";
  if (!answer->strLocation.empty()) head += "Location: " + answer->strLocation + "\r\n";
  std::string all = head + "\r\n" + answer->strBody;
  std::size_t sent = 0;
  while (sent < all.size()) {
    ssize_t n = send(fd, all.data() + sent, all.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return;
    sent += static_cast<std::size_t>(n);
  }
  shutdown(fd, SHUT_WR);
}

int UnusedLoopbackPort() {
  int port = 0;
  int fd = BindLoopback(&port);
  close(fd);
  return port;
}

}  // namespace trovex::test

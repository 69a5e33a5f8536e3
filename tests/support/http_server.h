// A scripted HTTP/1.1 server on 127.0.0.1 for tests of the transport and the download
// session: each path has a handler that writes raw bytes, waits, or drops the connection, so
// short bodies, silent servers, resets and chunked bodies can all be played. Optionally TLS,
// under a certificate authority made for the test run (openssl).
#pragma once

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace trovex::test {

// The test CA and a server certificate for 127.0.0.1 and localhost, made once per process.
struct TestCertificates {
  std::string caFile;    // PEM of the CA, to trust
  std::string certFile;  // the server's certificate
  std::string keyFile;
  static const TestCertificates& Get();
};

struct HttpRequest {
  std::string method;
  std::string target;  // path and query as sent
  std::string path;    // without the query
  std::map<std::string, std::string> headers;  // names lower case
};

class HttpConnection {
 public:
  virtual ~HttpConnection() = default;
  // False once the peer has gone or the server is stopping.
  virtual bool Write(const std::string& bytes) = 0;
  // Waits; false when the server is stopping (the handler should return).
  virtual bool Sleep(int milliseconds) = 0;
  // Drops the connection with a TCP reset.
  virtual void Reset() = 0;
};

using HttpHandler = std::function<void(const HttpRequest&, HttpConnection&)>;

// A complete response with Content-Length (or none when chunked is asked for) and
// "Connection: close".
std::string HttpResponseText(int status, const std::string& body,
                             const std::vector<std::string>& extraHeaders = {});

// `body` in a content coding ("gzip", "deflate", "br" or "zstd"), as a server that
// compresses on its own would send it.
std::string EncodeBody(const std::string& body, const std::string& coding);

class TestHttpServer {
 public:
  explicit TestHttpServer(bool tls = false);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  int Port() const { return port_; }
  // "http(s)://127.0.0.1:PORT" + path
  std::string Url(const std::string& path) const;

  void Handle(const std::string& path, HttpHandler handler);
  // Fixed answers.
  void Reply(const std::string& path, int status, const std::string& body,
             const std::vector<std::string>& extraHeaders = {});
  void Redirect(const std::string& path, int status, const std::string& location);

  int CountRequests(const std::string& path) const;

 private:
  void AcceptLoop();
  void Serve(int fd);

  bool tls_;
  void* sslContext_ = nullptr;
  int listen_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::map<std::string, HttpHandler> handlers_;
  std::map<std::string, int> counts_;
  std::vector<std::thread> workers_;
  std::thread acceptor_;
};

}  // namespace trovex::test

#include "tests/support/http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>
#include <brotli/encode.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>

#include "tests/support/http_status.h"
#include "tests/support/temp_env.h"

namespace trovex::test {

namespace {

void RunOrThrow(const std::string& command) {
  if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
    throw std::runtime_error("failed: " + command);
}

class Connection : public HttpConnection {
 public:
  Connection(int fd, SSL* ssl, const std::atomic<bool>& stop) : fd_(fd), ssl_(ssl), stop_(stop) {}
  ~Connection() override {
    if (ssl_) {
      if (!reset_) SSL_shutdown(ssl_);
      SSL_free(ssl_);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  bool Write(const std::string& bytes) override {
    if (fd_ < 0) return false;
    std::size_t done = 0;
    while (done < bytes.size()) {
      if (stop_) return false;
      long n = ssl_ ? SSL_write(ssl_, bytes.data() + done, static_cast<int>(bytes.size() - done))
                    : ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += static_cast<std::size_t>(n);
    }
    return true;
  }
  bool Sleep(int milliseconds) override {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
    while (std::chrono::steady_clock::now() < end) {
      if (stop_) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return !stop_;
  }
  void Reset() override {
    if (fd_ < 0) return;
    linger l{1, 0};
    ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    reset_ = true;
    if (ssl_) {
      SSL_free(ssl_);
      ssl_ = nullptr;
    }
    ::close(fd_);
    fd_ = -1;
  }
  // Reads the request head; false when none came.
  bool ReadRequest(HttpRequest* request) {
    std::string head;
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      if (stop_ || head.size() > 65536) return false;
      pollfd p{fd_, POLLIN, 0};
      if (!(ssl_ && SSL_pending(ssl_) > 0) && ::poll(&p, 1, 50) <= 0) continue;
      long n = ssl_ ? SSL_read(ssl_, buffer, sizeof buffer) : ::recv(fd_, buffer, sizeof buffer, 0);
      if (n <= 0) return false;
      head.append(buffer, static_cast<std::size_t>(n));
    }
    std::size_t lineEnd = head.find("\r\n");
    std::string first = head.substr(0, lineEnd);
    std::size_t a = first.find(' ');
    std::size_t b = first.find(' ', a + 1);
    if (a == std::string::npos || b == std::string::npos) return false;
    request->method = first.substr(0, a);
    request->target = first.substr(a + 1, b - a - 1);
    request->path = request->target.substr(0, request->target.find('?'));
    std::size_t pos = lineEnd + 2;
    while (pos < head.size()) {
      std::size_t end = head.find("\r\n", pos);
      if (end == pos || end == std::string::npos) break;
      std::string line = head.substr(pos, end - pos);
      if (std::size_t colon = line.find(':'); colon != std::string::npos) {
        std::string name = line.substr(0, colon);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        std::size_t v = line.find_first_not_of(' ', colon + 1);
        request->headers[name] = v == std::string::npos ? "" : line.substr(v);
      }
      pos = end + 2;
    }
    return true;
  }

 private:
  int fd_;
  SSL* ssl_;
  const std::atomic<bool>& stop_;
  bool reset_ = false;
};

}  // namespace

const TestCertificates& TestCertificates::Get() {
  static TempDir dir;
  static TestCertificates certs = [] {
    TestCertificates c;
    const std::string d = dir.str();
    c.caFile = d + "/ca.pem";
    c.certFile = d + "/server.pem";
    c.keyFile = d + "/server.key";
    dir.WriteFile("san.cnf", "subjectAltName=IP:127.0.0.1,DNS:localhost\n");
    RunOrThrow("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=trovex-test-ca -keyout " +
               d + "/ca.key -out " + c.caFile);
    RunOrThrow("openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout " + c.keyFile +
               " -out " + d + "/server.csr");
    RunOrThrow("openssl x509 -req -in " + d + "/server.csr -CA " + c.caFile + " -CAkey " + d +
               "/ca.key -CAcreateserial -days 2 -extfile " + d + "/san.cnf -out " + c.certFile);
    return c;
  }();
  return certs;
}

std::string HttpResponseText(int status, const std::string& body,
                             const std::vector<std::string>& extraHeaders) {
  std::string text = "HTTP/1.1 " + std::to_string(status) + " " + StatusReason(status) + "\r\n";
  bool chunked = false;
  bool lengthGiven = false;
  for (const std::string& h : extraHeaders) {
    text += h + "\r\n";
    if (h.rfind("Transfer-Encoding: chunked", 0) == 0) chunked = true;
    if (h.rfind("Content-Length:", 0) == 0) lengthGiven = true;
  }
  if (!chunked && !lengthGiven) text += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  text += "Connection: close\r\n\r\n";
  if (chunked) {
    char size[32];
    std::snprintf(size, sizeof size, "%zx\r\n", body.size());
    if (!body.empty()) text += size + body + "\r\n";
    text += "0\r\n\r\n";
  } else {
    text += body;
  }
  return text;
}

std::string EncodeBody(const std::string& body, const std::string& coding) {
  if (coding == "zstd") {
    std::string out(ZSTD_compressBound(body.size()), '\0');
    std::size_t n = ZSTD_compress(out.data(), out.size(), body.data(), body.size(), 3);
    if (ZSTD_isError(n)) throw std::runtime_error("zstd failed");
    out.resize(n);
    return out;
  }
  if (coding == "br") {
    std::size_t n = BrotliEncoderMaxCompressedSize(body.size()) + 64;
    std::string out(n, '\0');
    if (!BrotliEncoderCompress(BROTLI_DEFAULT_QUALITY, BROTLI_DEFAULT_WINDOW, BROTLI_MODE_GENERIC,
                               body.size(), reinterpret_cast<const uint8_t*>(body.data()), &n,
                               reinterpret_cast<uint8_t*>(out.data())))
      throw std::runtime_error("brotli failed");
    out.resize(n);
    return out;
  }
  // gzip wraps the stream in a gzip header, deflate in a zlib header.
  z_stream z{};
  if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, coding == "gzip" ? 31 : 15, 8,
                   Z_DEFAULT_STRATEGY) != Z_OK)
    throw std::runtime_error("zlib failed");
  std::string out(deflateBound(&z, body.size()), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
  z.avail_in = static_cast<uInt>(body.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

TestHttpServer::TestHttpServer(bool tls) : tls_(tls) {
  if (tls_) {
    const TestCertificates& certs = TestCertificates::Get();
    SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx || SSL_CTX_use_certificate_file(ctx, certs.certFile.c_str(), SSL_FILETYPE_PEM) != 1 ||
        SSL_CTX_use_PrivateKey_file(ctx, certs.keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
      throw std::runtime_error("cannot set up TLS for the test server");
    sslContext_ = ctx;
  }
  listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listen_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_, 64) != 0)
    throw std::runtime_error("cannot listen on 127.0.0.1");
  socklen_t len = sizeof addr;
  ::getsockname(listen_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

TestHttpServer::~TestHttpServer() {
  stop_ = true;
  acceptor_.join();
  for (std::thread& t : workers_) t.join();
  ::close(listen_);
  if (sslContext_) SSL_CTX_free(static_cast<SSL_CTX*>(sslContext_));
}

std::string TestHttpServer::Url(const std::string& path) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

void TestHttpServer::Handle(const std::string& path, HttpHandler handler) {
  std::lock_guard<std::mutex> lock(mutex_);
  handlers_[path] = std::move(handler);
}

void TestHttpServer::Reply(const std::string& path, int status, const std::string& body,
                           const std::vector<std::string>& extraHeaders) {
  std::string text = HttpResponseText(status, body, extraHeaders);
  Handle(path, [text](const HttpRequest&, HttpConnection& c) { c.Write(text); });
}

void TestHttpServer::Redirect(const std::string& path, int status, const std::string& location) {
  Reply(path, status, "", {"Location: " + location});
}

int TestHttpServer::CountRequests(const std::string& path) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = counts_.find(path);
  return it == counts_.end() ? 0 : it->second;
}

void TestHttpServer::AcceptLoop() {
  while (!stop_) {
    pollfd p{listen_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    workers_.emplace_back([this, fd] { Serve(fd); });
  }
}

void TestHttpServer::Serve(int fd) {
  SSL* ssl = nullptr;
  if (sslContext_) {
    ssl = SSL_new(static_cast<SSL_CTX*>(sslContext_));
    SSL_set_fd(ssl, fd);
    timeval tv{5, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    if (SSL_accept(ssl) != 1) {
      // The client refused our certificate, as some tests want.
      SSL_free(ssl);
      ::close(fd);
      return;
    }
  }
  Connection connection(fd, ssl, stop_);
  HttpRequest request;
  if (!connection.ReadRequest(&request)) return;
  HttpHandler handler;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++counts_[request.path];
    if (auto it = handlers_.find(request.path); it != handlers_.end()) handler = it->second;
  }
  if (handler)
    handler(request, connection);
  else
    connection.Write(HttpResponseText(404, "not found"));
}

}  // namespace trovex::test

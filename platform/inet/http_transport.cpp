#include "platform/inet/http_transport.h"

#include <curl/curl.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/error/error.h"
#include "platform/inet/cookie_jar.h"
#include "platform/inet/test_seam.h"
#include "platform/text/ascii.h"

namespace trovex::inet {

namespace {

// What the library hands over is kept until Read takes it; past this much the transfer is
// paused, so a fast server cannot fill memory while nobody reads.
constexpr std::size_t kMaxPending = 64 * 1024;

// The layer's test settings, set only by a test's seam object.
std::mutex g_seamMutex;
InetTestSettings g_seam;

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// Loopback addresses never go through a proxy, as in desktop browsers; other hosts follow the
// user's proxy settings (http_proxy, https_proxy, no_proxy), the "pre-configured" access.
std::string NoProxyList() {
  std::string list = "127.0.0.1,localhost,::1";
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    if (const char* v = std::getenv(name); v && *v) return std::string(v) + "," + list;
  }
  return list;
}

// Certificate problems by OpenSSL's verify result.
DWORD CertificateError(long verifyResult) {
  switch (verifyResult) {
    case 9:   // not yet valid
    case 10:  // expired
      return ERROR_INTERNET_SEC_CERT_DATE_INVALID;
    case 62:  // host name mismatch
      return ERROR_INTERNET_SEC_CERT_CN_INVALID;
    case 18: case 19: case 20: case 21:  // self-signed, unknown issuer
      return 12045;  // ERROR_INTERNET_INVALID_CA
    case 23:
      return ERROR_INTERNET_SEC_CERT_REVOKED;
    default:
      return ERROR_INTERNET_SEC_INVALID_CERT;
  }
}

DWORD WinInetError(CURLcode code, CURL* easy) {
  long osErrno = 0;
  switch (code) {
    case CURLE_OK: return ERROR_SUCCESS;
    case CURLE_OPERATION_TIMEDOUT: return ERROR_INTERNET_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY: return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT: return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_URL_MALFORMAT: return ERROR_INTERNET_INVALID_URL;
    case CURLE_UNSUPPORTED_PROTOCOL: return ERROR_INTERNET_UNRECOGNIZED_SCHEME;
    case CURLE_ABORTED_BY_CALLBACK: return ERROR_INTERNET_OPERATION_CANCELLED;
    case CURLE_TOO_MANY_REDIRECTS: return ERROR_HTTP_REDIRECT_FAILED;
    case CURLE_PARTIAL_FILE: return ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
      curl_easy_getinfo(easy, CURLINFO_OS_ERRNO, &osErrno);
      return osErrno == ECONNRESET ? ERROR_INTERNET_CONNECTION_RESET
                                   : ERROR_INTERNET_CONNECTION_ABORTED;
    case CURLE_GOT_NOTHING:
    case CURLE_WEIRD_SERVER_REPLY:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
    case CURLE_HTTP3:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
    case CURLE_BAD_CONTENT_ENCODING: return ERROR_INTERNET_DECODING_FAILED;
    case CURLE_PEER_FAILED_VERIFICATION: {
      long verify = 0;
      curl_easy_getinfo(easy, CURLINFO_SSL_VERIFYRESULT, &verify);
      return CertificateError(verify);
    }
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
      return ERROR_INTERNET_SEC_CERT_ERRORS;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_CIPHER:
      return 12157;  // ERROR_INTERNET_SECURITY_CHANNEL_ERROR
    case CURLE_OUT_OF_MEMORY: return ERROR_NOT_ENOUGH_MEMORY;
    default: return ERROR_INTERNET_INTERNAL_ERROR;
  }
}

}  // namespace

ScopedInetTestSeam::ScopedInetTestSeam(InetTestSettings settings) {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  previous_ = std::exchange(g_seam, std::move(settings));
}

ScopedInetTestSeam::~ScopedInetTestSeam() {
  std::lock_guard<std::mutex> lock(g_seamMutex);
  g_seam = std::move(previous_);
}

struct HttpTransfer::Impl {
  explicit Impl(TransferPolicy p) : policy(std::move(p)) {}
  ~Impl() {
    KeepCookies();
    if (multi && easy) curl_multi_remove_handle(multi, easy);
    if (easy) curl_easy_cleanup(easy);
    if (multi) curl_multi_cleanup(multi);
  }

  TransferPolicy policy;
  CURLM* multi = nullptr;
  CURL* easy = nullptr;
  char errbuf[CURL_ERROR_SIZE] = {};
  std::string url;
  std::string noProxy;
  std::string caFile;
  std::string cookieJar;     // empty: no jar for this transfer
  bool cookiesSet = false;   // the server sent Set-Cookie since the jar was last written

  // What the server set goes into the jar, for the view and the other requests.
  void KeepCookies() {
    if (!cookiesSet || !easy || cookieJar.empty()) return;
    cookiesSet = false;
    curl_slist* list = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_COOKIELIST, &list) != CURLE_OK) return;
    std::vector<std::string> lines;
    for (curl_slist* i = list; i; i = i->next) lines.emplace_back(i->data);
    curl_slist_free_all(list);
    MergeIntoCookieJar(cookieJar, lines);
  }

  std::string pending;
  std::size_t pendingPos = 0;
  bool paused = false;
  bool done = false;
  CURLcode result = CURLE_OK;
  std::uint64_t received = 0;

  long status = 0;
  std::vector<std::pair<std::string, std::string>> headers;
  bool headersDone = false;

  DWORD err = 0;
  std::string detail;

  bool Aborted() const { return policy.abort && policy.abort->load(std::memory_order_acquire); }

  void Fail(DWORD code, std::string why) {
    if (err != 0) return;
    err = code;
    detail = std::move(why) + " (" + url + ")";
  }

  static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    std::size_t n = size * count;
    if (self->pendingPos == self->pending.size()) {
      self->pending.clear();
      self->pendingPos = 0;
    }
    if (self->pending.size() - self->pendingPos >= kMaxPending) {
      self->paused = true;
      return CURL_WRITEFUNC_PAUSE;  // handed over again when resumed
    }
    self->pending.append(data, n);
    self->received += n;
    self->headersDone = true;
    return n;
  }

  static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* user) {
    auto* self = static_cast<Impl*>(user);
    std::size_t n = size * count;
    std::string line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    if (line.compare(0, 5, "HTTP/") == 0) {
      self->headers.clear();
      self->headersDone = false;
      std::size_t space = line.find(' ');
      self->status = space == std::string::npos ? 0 : std::atol(line.c_str() + space + 1);
    } else if (line.empty()) {
      bool interim = self->status >= 100 && self->status < 200;
      bool followed = self->policy.maxRedirects > 0 &&
                      (self->status == 301 || self->status == 302 || self->status == 303 ||
                       self->status == 307 || self->status == 308) &&
                      self->Find("Location") != nullptr;
      if (!interim && !followed) self->headersDone = true;
    } else if (std::size_t colon = line.find(':'); colon != std::string::npos) {
      if (colon == 10 && strncasecmp(line.c_str(), "set-cookie", 10) == 0) self->cookiesSet = true;
      std::string value(AsciiTrim(std::string_view(line).substr(colon + 1), " \t"));
      self->headers.emplace_back(line.substr(0, colon), value);
    }
    return n;
  }

  // The library polls this while it waits, so a stop is seen inside its own loops too.
  static int OnProgress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return static_cast<Impl*>(user)->Aborted() ? 1 : 0;
  }

  const std::string* Find(const std::string& name) const {
    for (const auto& [key, value] : headers)
      if (AsciiEqualsNoCase(key, name)) return &value;
    return nullptr;
  }

  // One round: let the library work, then wait briefly for the network. False once failed.
  bool Step() {
    if (err != 0) return false;
    if (Aborted()) {
      Fail(ERROR_INTERNET_OPERATION_CANCELLED, "stopped");
      return false;
    }
    int running = 0;
    CURLMcode mc = curl_multi_perform(multi, &running);
    if (mc != CURLM_OK) {
      Fail(ERROR_INTERNET_INTERNAL_ERROR, curl_multi_strerror(mc));
      return false;
    }
    int queued = 0;
    while (CURLMsg* msg = curl_multi_info_read(multi, &queued)) {
      if (msg->msg == CURLMSG_DONE && msg->easy_handle == easy) {
        done = true;
        result = msg->data.result;
      }
    }
    if (done || paused || pendingPos < pending.size()) return true;
    int ready = 0;
    mc = curl_multi_poll(multi, nullptr, 0, static_cast<int>(policy.abortPollMilliseconds), &ready);
    if (mc != CURLM_OK) {
      Fail(ERROR_INTERNET_INTERNAL_ERROR, curl_multi_strerror(mc));
      return false;
    }
    return true;
  }

  // Turns the finished transfer's result into err; true when it succeeded.
  bool Finished() {
    if (result == CURLE_OK) return true;
    if (result == CURLE_ABORTED_BY_CALLBACK) {
      Fail(ERROR_INTERNET_OPERATION_CANCELLED, "stopped");
      return false;
    }
    Fail(WinInetError(result, easy), errbuf[0] ? errbuf : curl_easy_strerror(result));
    return false;
  }
};

HttpTransfer::HttpTransfer(TransferPolicy policy) : impl_(std::make_unique<Impl>(std::move(policy))) {}

HttpTransfer::~HttpTransfer() = default;

DWORD HttpTransfer::Start(const std::string& url) {
  GlobalInit();
  Impl& d = *impl_;
  d.url = url;
  if (d.policy.deadline && std::chrono::steady_clock::now() >= *d.policy.deadline) {
    d.Fail(ERROR_INTERNET_TIMEOUT, "no time left for the request");
    return d.err;
  }
  d.multi = curl_multi_init();
  d.easy = curl_easy_init();
  if (!d.multi || !d.easy) {
    d.Fail(ERROR_INTERNET_OUT_OF_HANDLES, "cannot start a transfer");
    return d.err;
  }
  CURL* h = d.easy;
  d.noProxy = NoProxyList();
  {
    std::lock_guard<std::mutex> lock(g_seamMutex);
    d.caFile = g_seam.caFile;
  }
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  if (d.policy.maxRedirects > 0) {
    curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(h, CURLOPT_MAXREDIRS, d.policy.maxRedirects);
    curl_easy_setopt(h, CURLOPT_AUTOREFERER, 1L);
  }
  // Either way a body the server coded on its own (gzip, deflate, br, zstd) arrives decoded;
  // a coding the library does not know is ERROR_INTERNET_DECODING_FAILED.
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, d.policy.acceptEncoding ? "" : "identity");
  curl_easy_setopt(h, CURLOPT_USERAGENT, d.policy.userAgent.c_str());
  curl_easy_setopt(h, CURLOPT_NOPROXY, d.noProxy.c_str());
  curl_easy_setopt(h, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
  if (!d.caFile.empty()) curl_easy_setopt(h, CURLOPT_CAINFO, d.caFile.c_str());
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, d.policy.connectTimeoutSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, d.policy.stallSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, d.policy.stallBytesPerSecond);
  if (d.policy.deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*d.policy.deadline -
                                                                      std::chrono::steady_clock::now());
    curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, std::max<long>(1, static_cast<long>(left.count())));
  }
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, d.errbuf);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, &Impl::OnBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &d);
  curl_easy_setopt(h, CURLOPT_HEADERFUNCTION, &Impl::OnHeader);
  if (d.policy.useCookieJar) {
    // The jar is replaced in one step, so reading it needs no lock.
    d.cookieJar = CookieJarPath();
    curl_easy_setopt(h, CURLOPT_COOKIEFILE, "");
    for (const std::string& line : ReadCookieJar(d.cookieJar)) curl_easy_setopt(h, CURLOPT_COOKIELIST, line.c_str());
  }
  curl_easy_setopt(h, CURLOPT_HEADERDATA, &d);
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, &Impl::OnProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &d);
  if (CURLMcode mc = curl_multi_add_handle(d.multi, h); mc != CURLM_OK) {
    d.Fail(ERROR_INTERNET_INTERNAL_ERROR, curl_multi_strerror(mc));
    return d.err;
  }
  return 0;
}

DWORD HttpTransfer::WaitForHeaders() {
  Impl& d = *impl_;
  if (!d.multi) return d.err ? d.err : ERROR_INTERNET_INCORRECT_HANDLE_TYPE;
  while (!d.headersDone && !d.done) {
    if (!d.Step()) return d.err;
  }
  // A failure after the headers (a short body) is the body's: Read reports it.
  if (!d.headersDone && !d.Finished()) return d.err;
  d.headersDone = true;
  d.KeepCookies();
  return 0;
}

long HttpTransfer::status() const { return impl_->status; }

std::optional<std::string> HttpTransfer::Header(const std::string& name) const {
  if (const std::string* v = impl_->Find(name)) return *v;
  return std::nullopt;
}

std::string HttpTransfer::EffectiveUrl() const {
  char* effective = nullptr;
  if (impl_->easy && curl_easy_getinfo(impl_->easy, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK &&
      effective)
    return effective;
  return impl_->url;
}

long HttpTransfer::Read(void* buffer, std::size_t size) {
  Impl& d = *impl_;
  if (!d.multi) {
    if (d.err == 0) d.Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, "no request");
    return -1;
  }
  if (size == 0) return 0;
  for (;;) {
    if (d.err != 0) return -1;
    if (d.pendingPos < d.pending.size()) {
      std::size_t n = std::min(size, d.pending.size() - d.pendingPos);
      std::memcpy(buffer, d.pending.data() + d.pendingPos, n);
      d.pendingPos += n;
      return static_cast<long>(n);
    }
    if (d.paused) {
      d.paused = false;
      curl_easy_pause(d.easy, CURLPAUSE_CONT);  // may hand over data at once
      continue;
    }
    if (d.done) return d.Finished() ? 0 : -1;
    if (d.Aborted()) {
      d.Fail(ERROR_INTERNET_OPERATION_CANCELLED, "stopped");
      return -1;
    }
    if (!d.Step()) return -1;
  }
}

DWORD HttpTransfer::error() const { return impl_->err; }

std::string HttpTransfer::errorDetail() const { return impl_->detail; }

std::uint64_t HttpTransfer::bytesReceived() const { return impl_->received; }

}  // namespace trovex::inet

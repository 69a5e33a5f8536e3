#include "browser/fetch.h"

#include <curl/curl.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <system_error>
#include <filesystem>

#include "browser/url.h"

namespace trovex::browser {
namespace {

void GlobalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct Sink {
  std::string* body;
  std::size_t nMax;
  bool bTooLarge = false;
};

std::size_t WriteBody(char* data, std::size_t size, std::size_t count, void* user) {
  auto* sink = static_cast<Sink*>(user);
  std::size_t n = size * count;
  if (sink->body->size() + n > sink->nMax) {
    sink->bTooLarge = true;
    return 0;  // makes curl stop with a write error
  }
  sink->body->append(data, n);
  return n;
}

// Loopback addresses never go through a proxy, as in desktop browsers; other hosts follow
// the user's proxy settings.
std::string NoProxyList() {
  std::string list = "127.0.0.1,localhost,::1";
  for (const char* name : {"no_proxy", "NO_PROXY"}) {
    if (const char* v = std::getenv(name); v && *v) return std::string(v) + "," + list;
  }
  return list;
}

FetchResult FetchFile(const std::string& url, const FetchLimits& limits) {
  FetchResult r;
  r.strURL = url;
  std::string path;
  if (!FileUrlToPath(url, &path)) {
    r.strError = "not a local file address: " + url;
    return r;
  }
  std::error_code ec;
  auto status = std::filesystem::status(path, ec);
  if (ec || !std::filesystem::exists(status)) {
    r.strError = "file not found: " + path;
    return r;
  }
  if (!std::filesystem::is_regular_file(status)) {
    r.strError = "not a file: " + path;
    return r;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    r.strError = "cannot read " + path;
    return r;
  }
  auto size = std::filesystem::file_size(path, ec);
  if (!ec && size > limits.nMaxBytes) {
    r.strError = "file too large: " + path;
    return r;
  }
  std::ostringstream s;
  s << in.rdbuf();
  if (in.bad()) {
    r.strError = "cannot read " + path;
    return r;
  }
  r.strBody = std::move(s).str();
  r.bFetched = true;
  return r;
}

FetchResult FetchHttp(const std::string& url, const FetchLimits& limits) {
  GlobalInit();
  FetchResult r;
  r.strURL = url;
  std::unique_ptr<CURL, decltype(&curl_easy_cleanup)> curl(curl_easy_init(), curl_easy_cleanup);
  if (!curl) {
    r.strError = "cannot start a transfer";
    return r;
  }
  char errbuf[CURL_ERROR_SIZE] = {};
  Sink sink{&r.strBody, limits.nMaxBytes};
  std::string noProxy = NoProxyList();
  CURL* h = curl.get();
  curl_easy_setopt(h, CURLOPT_URL, url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 20L);
  curl_easy_setopt(h, CURLOPT_AUTOREFERER, 1L);
  curl_easy_setopt(h, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Mozilla/5.0 (X11; Linux) trovex-browser/0.1");
  curl_easy_setopt(h, CURLOPT_NOPROXY, noProxy.c_str());
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT, limits.nConnectTimeoutSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_TIME, limits.nStallSeconds);
  curl_easy_setopt(h, CURLOPT_LOW_SPEED_LIMIT, limits.nStallBytesPerSecond);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errbuf);
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, WriteBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink);
  CURLcode rc = curl_easy_perform(h);
  if (char* effective = nullptr;
      curl_easy_getinfo(h, CURLINFO_EFFECTIVE_URL, &effective) == CURLE_OK && effective)
    r.strURL = effective;
  if (rc != CURLE_OK) {
    r.strBody.clear();
    if (sink.bTooLarge)
      r.strError = "more than " + std::to_string(limits.nMaxBytes) + " bytes at " + r.strURL;
    else
      r.strError = std::string(errbuf[0] ? errbuf : curl_easy_strerror(rc)) + " (" + r.strURL + ")";
    return r;
  }
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &r.nStatus);
  if (char* type = nullptr; curl_easy_getinfo(h, CURLINFO_CONTENT_TYPE, &type) == CURLE_OK && type)
    r.strContentType = type;
  if (r.nStatus == 0) r.nStatus = 200;  // a response without a status line
  r.bFetched = true;
  return r;
}

}  // namespace

FetchResult Fetch(const std::string& url, const FetchLimits& limits) {
  std::string scheme = UrlScheme(url);
  if (scheme == "http" || scheme == "https") return FetchHttp(url, limits);
  if (scheme == "file") return FetchFile(url, limits);
  FetchResult r;
  r.strURL = url;
  r.strError = "the browser does not load " + (scheme.empty() ? std::string("this") : scheme) +
               " addresses: " + url;
  return r;
}

}  // namespace trovex::browser

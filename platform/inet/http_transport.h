// The one HTTP transport of the system: a GET over http or https whose response is pulled in
// pieces as it arrives, with one policy for proxies, certificates and time limits, and failures
// as WinInet error numbers. Used by the page loader and by the download session; the library
// underneath stays private to this file's implementation.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <memory>
#include <optional>
#include <string>

#include "platform/base/types.h"

namespace trovex::inet {

// What our requests say they are; the web view says the same.
inline constexpr const char* kUserAgent =
    "Mozilla/5.0 (X11; Linux x86_64) AppleWebKit/605.1.15 (KHTML, like Gecko) Version/17.0 Safari/605.1.15 Trovex/1.0";

struct TransferPolicy {
  std::string userAgent = kUserAgent;
  long connectTimeoutSeconds = 15;
  // A transfer moving less than stallBytesPerSecond for stallSeconds (waiting for the answer
  // included) fails with ERROR_INTERNET_TIMEOUT, so a silent server never blocks anyone.
  long stallSeconds = 30;
  long stallBytesPerSecond = 1;
  // The whole request, body included, must end by then (ERROR_INTERNET_TIMEOUT otherwise);
  // unset: no overall limit.
  std::optional<std::chrono::steady_clock::time_point> deadline;
  // Redirects followed by the transport itself (0: the caller sees 3xx answers).
  long maxRedirects = 0;
  // Asks the server for compressed bodies (pages). Coded bodies are always handed over decoded.
  bool acceptEncoding = false;
  // The transfer gives up with ERROR_INTERNET_OPERATION_CANCELLED soon after this is set;
  // it is polled at least every abortPollMilliseconds while the transfer waits.
  const std::atomic<bool>* abort = nullptr;
  long abortPollMilliseconds = 50;
  // Sends the cookies of the jar (CookieJarPath, read as the transfer starts) and puts what
  // the server sets into it.
  bool useCookieJar = true;
};

// Redirects a movie's fetch follows, in every mode (saving, the player role, the preview);
// a fifth in a row fails as too many.
constexpr long kMaxMovieRedirects = 4;

// One request. Start sends it; WaitForHeaders waits for the final response's headers; Read
// pulls the body. Nothing is buffered beyond what the library hands over at once (16 KiB), so
// memory stays flat whatever the body's size. Not thread-safe; one thread drives it.
class HttpTransfer {
 public:
  explicit HttpTransfer(TransferPolicy policy);
  ~HttpTransfer();
  HttpTransfer(const HttpTransfer&) = delete;
  HttpTransfer& operator=(const HttpTransfer&) = delete;

  // Begins a GET of an absolute http or https address. 0 or a WinInet error number.
  DWORD Start(const std::string& url);
  // Blocks (abortably, within the time limits) until the headers of the final response are
  // in. 0 or a WinInet error number.
  DWORD WaitForHeaders();

  long status() const;
  // The value of a header of the final response (names compared ignoring case), if present.
  std::optional<std::string> Header(const std::string& name) const;
  // The address answered last (after the transport's own redirects).
  std::string EffectiveUrl() const;

  // Up to `size` bytes of the body; 0 at its end; -1 on failure (see error()). A body shorter
  // than its Content-Length is a failure (ERROR_INTERNET_CONNECTION_ABORTED).
  long Read(void* buffer, std::size_t size);

  // The WinInet number of the failure, and the library's own words for it (English, for logs
  // and the browser's messages), naming the address.
  DWORD error() const;
  std::string errorDetail() const;

  // Body bytes received so far.
  std::uint64_t bytesReceived() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace trovex::inet

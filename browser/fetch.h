// Fetching one address as a browser does: http and https through libcurl (redirects followed,
// the final address kept), file: addresses from the local disk.
#pragma once

#include <cstddef>
#include <string>

namespace trovex::browser {

struct FetchLimits {
  long nConnectTimeoutSeconds = 15;
  // A transfer that moves less than nStallBytesPerSecond for this long is given up, so a
  // server that stops answering never blocks the browser.
  long nStallSeconds = 30;
  long nStallBytesPerSecond = 1;
  std::size_t nMaxBytes = std::size_t{64} << 20;
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
// lead to http or https.
FetchResult Fetch(const std::string& url, const FetchLimits& limits = {});

}  // namespace trovex::browser

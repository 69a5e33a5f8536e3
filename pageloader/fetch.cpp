#include "pageloader/fetch.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "pageloader/url.h"
#include "platform/error/error.h"
#include "platform/fs/atomic_file.h"
#include "platform/inet/http_transport.h"
#include "platform/text/res_text.h"
#include "res/strings.h"

namespace trovex::browser {
namespace {

constexpr std::size_t kReadSize = 64 * 1024;

std::string BudgetUsedUp(const FetchLimits& limits, const std::string& url) {
  return FormatResString(IDS_TROVEX_LOADER_BUDGET_USED_UP, static_cast<int>(limits.budget->total().count()), url.c_str());
}

FetchResult FetchFile(const std::string& url, const FetchLimits& limits) {
  FetchResult r;
  r.strURL = url;
  std::string path;
  if (!FileUrlToPath(url, &path)) {
    r.strError = FormatResString(IDS_TROVEX_LOADER_NOT_LOCAL_FILE, url.c_str());
    return r;
  }
  // Regular files only, never waiting on a FIFO, never reading past the limit.
  switch (int err = posix::ReadRegularFile(path, limits.nMaxBytes, &r.strBody)) {
    case 0:
      r.bFetched = true;
      return r;
    case ENOENT:
    case ENOTDIR:
      r.strError = FormatResString(IDS_TROVEX_LOADER_FILE_NOT_FOUND, path.c_str());
      return r;
    case EISDIR:
    case EINVAL:
    case EPERM:
      r.strError = FormatResString(IDS_TROVEX_LOADER_NOT_A_FILE, path.c_str());
      return r;
    case EFBIG:
      r.strError = FormatResString(IDS_TROVEX_LOADER_FILE_TOO_LARGE, path.c_str());
      return r;
    default:
      r.strError = FormatResString(IDS_TROVEX_LOADER_CANNOT_READ_FILE, path.c_str(), std::strerror(err));
      return r;
  }
}

// When the fetch must end: its own limit, or the page load's budget when that comes first.
std::chrono::steady_clock::time_point FetchDeadline(const FetchLimits& limits, bool* budgetFirst) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.nTotalSeconds);
  *budgetFirst = limits.budget && limits.budget->Deadline() < deadline;
  return *budgetFirst ? limits.budget->Deadline() : deadline;
}

FetchResult FetchHttp(const std::string& url, const FetchLimits& limits) {
  FetchResult r;
  r.strURL = url;
  if (limits.budget && limits.budget->Exceeded()) {
    r.strError = BudgetUsedUp(limits, url);
    return r;
  }
  inet::TransferPolicy policy;
  policy.connectTimeoutSeconds = limits.nConnectTimeoutSeconds;
  policy.stallSeconds = limits.nStallSeconds;
  policy.stallBytesPerSecond = limits.nStallBytesPerSecond;
  policy.maxRedirects = limits.nMaxRedirects;
  policy.acceptEncoding = true;
  policy.abort = limits.abort;
  bool budgetFirst = false;
  const auto deadline = FetchDeadline(limits, &budgetFirst);
  if (limits.nTotalSeconds > 0 || limits.budget) policy.deadline = deadline;

  inet::HttpTransfer transfer(policy);
  DWORD err = transfer.Start(url);
  if (err == 0) err = transfer.WaitForHeaders();
  if (err == 0) {
    char buffer[kReadSize];
    for (;;) {
      long n = transfer.Read(buffer, sizeof buffer);
      if (n < 0) {
        err = transfer.error();
        break;
      }
      if (n == 0) break;
      if (r.strBody.size() + static_cast<std::size_t>(n) > limits.nMaxBytes) {
        r.strBody.clear();
        r.strError = FormatResString(IDS_TROVEX_LOADER_TOO_MANY_BYTES, transfer.EffectiveUrl().c_str(),
                                     std::to_string(limits.nMaxBytes).c_str());
        return r;
      }
      r.strBody.append(buffer, static_cast<std::size_t>(n));
    }
  }
  r.strURL = transfer.EffectiveUrl();
  if (err != 0) {
    r.strBody.clear();
    // The transport's clock may fire a little before ours reads the deadline.
    bool atDeadline = err == ERROR_INTERNET_TIMEOUT &&
                      std::chrono::steady_clock::now() + std::chrono::milliseconds(250) >= deadline;
    if (atDeadline && budgetFirst)
      r.strError = FormatResString(IDS_TROVEX_LOADER_BUDGET_RAN_OUT, static_cast<int>(limits.budget->total().count()), r.strURL.c_str());
    else if (atDeadline)
      r.strError = FormatResString(IDS_TROVEX_LOADER_TOOK_TOO_LONG, static_cast<int>(limits.nTotalSeconds), r.strURL.c_str());
    else
      r.strError = transfer.errorDetail();
    return r;
  }
  r.nStatus = transfer.status();
  if (auto type = transfer.Header("Content-Type")) r.strContentType = *type;
  if (r.nStatus == 0) r.nStatus = 200;  // a response without a status line
  r.bFetched = true;
  return r;
}

// The source's redirects are followed here, with the transport's limit and schemes.
FetchResult FetchFromSource(const std::string& url, const FetchLimits& limits) {
  FetchResult r;
  r.strURL = url;
  for (long redirects = 0;; ++redirects) {
    if (limits.budget && limits.budget->Exceeded()) {
      r.strError = BudgetUsedUp(limits, r.strURL);
      return r;
    }
    if (limits.abort && limits.abort->load()) {
      r.strError = "stopped; not fetched: " + r.strURL;
      return r;
    }
    inet::SourceLimits asked{.maxBodyBytes = limits.nMaxBytes, .abort = limits.abort};
    bool budgetFirst = false;
    if (limits.nTotalSeconds > 0 || limits.budget) asked.deadline = FetchDeadline(limits, &budgetFirst);
    inet::SourceAnswer answer = limits.source->Get(r.strURL, asked);
    if (!answer.ok()) {
      r.strError = answer.reason.empty() ? "error " + std::to_string(answer.error) + " for " + r.strURL : answer.reason;
      return r;
    }
    if (!answer.redirect.empty()) {
      const std::string scheme = UrlScheme(answer.redirect);
      if (scheme != "http" && scheme != "https") {
        r.strError = "redirected to an address that is not http or https: " + answer.redirect;
        return r;
      }
      if (redirects >= limits.nMaxRedirects) {
        r.strError = "more than " + std::to_string(limits.nMaxRedirects) + " redirects from " + url;
        return r;
      }
      r.strURL = answer.redirect;
      continue;
    }
    r.nStatus = answer.status == 0 ? 200 : answer.status;
    r.strContentType = answer.Header("Content-Type").value_or("");
    r.strBody = std::move(answer.body);
    r.bFetched = true;
    return r;
  }
}

}  // namespace

std::chrono::steady_clock::time_point FetchBudget::Deadline() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!deadline_) deadline_ = std::chrono::steady_clock::now() + total_;
  return *deadline_;
}

bool FetchBudget::Exceeded() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return deadline_ && std::chrono::steady_clock::now() >= *deadline_;
}

FetchResult Fetch(const std::string& url, const FetchLimits& limits) {
  std::string scheme = UrlScheme(url);
  if (scheme == "http" || scheme == "https") return limits.source ? FetchFromSource(url, limits) : FetchHttp(url, limits);
  if (scheme == "file") return FetchFile(url, limits);
  FetchResult r;
  r.strURL = url;
  r.strError = FormatResString(IDS_TROVEX_LOADER_SCHEME_NOT_LOADED, scheme.c_str(), url.c_str());
  return r;
}

}  // namespace trovex::browser

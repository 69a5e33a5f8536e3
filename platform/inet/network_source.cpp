#include "platform/inet/network_source.h"

#include "platform/error/error.h"
#include "platform/inet/url_resolve.h"

namespace trovex::inet {

SourceAnswer NetworkSource::Get(const std::string& url, const SourceLimits& limits) {
  TransferPolicy policy = policy_;
  policy.maxRedirects = 0;
  policy.acceptEncoding = true;
  if (limits.deadline) policy.deadline = limits.deadline;
  if (limits.abort) policy.abort = limits.abort;
  HttpTransfer transfer(policy);
  SourceAnswer answer;
  DWORD err = transfer.Start(url);
  if (err == 0) err = transfer.WaitForHeaders();
  std::string reason;
  char buffer[64 * 1024];
  while (err == 0) {
    const long n = transfer.Read(buffer, sizeof buffer);
    if (n < 0) err = transfer.error();
    if (n <= 0) break;
    if (answer.body.size() + static_cast<std::size_t>(n) > limits.maxBodyBytes) {
      err = ERROR_NOT_ENOUGH_MEMORY;
      reason = "more than " + std::to_string(limits.maxBodyBytes) + " bytes at " + url;
      break;
    }
    answer.body.append(buffer, static_cast<std::size_t>(n));
  }
  if (err != 0) {
    answer = {};
    answer.error = err;
    answer.reason = reason.empty() ? transfer.errorDetail() : reason;
    return answer;
  }
  answer.status = transfer.status() == 0 ? 200 : transfer.status();
  for (const char* name : {"Content-Type", "Location"})
    if (auto value = transfer.Header(name)) answer.headers.emplace_back(name, *value);
  if (answer.status >= 300 && answer.status < 400)
    if (auto location = answer.Header("Location"); location && !CleanUrlReference(*location).empty())
      answer.redirect = ResolveUrl(url, CleanUrlReference(*location));
  return answer;
}

}  // namespace trovex::inet

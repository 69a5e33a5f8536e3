// The network as a source of pages and movies: one GET over the shared transport per address,
// redirects handed back to the caller as an archive hands them back.
#pragma once

#include <string>

#include "platform/inet/http_transport.h"
#include "platform/inet/page_source.h"

namespace trovex::inet {

class NetworkSource final : public PageSource {
 public:
  // The policy's time limits and stop flag apply to every request; its redirect and coding
  // settings are the source's own.
  explicit NetworkSource(TransferPolicy policy = {}) : policy_(std::move(policy)) {}
  SourceAnswer Get(const std::string& url, const SourceLimits& limits) override;

 private:
  TransferPolicy policy_;
};

}  // namespace trovex::inet

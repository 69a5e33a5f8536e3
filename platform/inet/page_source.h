// A source of pages and movies: given an address, the answer a browser would act on (status,
// headers, the body as the transport hands it over, or why there is none). The network and a
// web archive both stand behind it, so the page loader and the save engine read either the same
// way.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/base/types.h"

namespace trovex::inet {

// WinInet's number for an address the source does not have.
constexpr DWORD kSourceItemNotFound = 12028;

struct SourceLimits {
  // A body larger than this, once decoded, is refused rather than held.
  std::size_t maxBodyBytes = std::size_t{64} << 20;
  // For sources that wait on others (the network): the answer ends by then, or soon after
  // abort is set.
  std::optional<std::chrono::steady_clock::time_point> deadline{};
  const std::atomic<bool>* abort = nullptr;
};

struct SourceAnswer {
  // 0, or a Win32 or WinInet number (kSourceItemNotFound: the source has no such address).
  DWORD error = 0;
  // Why nothing came, as user text in the locale's code page; empty on success.
  std::string reason;
  long status = 0;
  // In the order they came; names as written.
  std::vector<std::pair<std::string, std::string>> headers;
  // Without transfer or content coding.
  std::string body;
  // Absolute target of a redirect (3xx with a Location), resolved against the address asked;
  // empty when the answer is no redirect. Redirects are left to the caller to follow.
  std::string redirect;

  bool ok() const { return error == 0; }
  // The first header of that name (compared ignoring ASCII case).
  std::optional<std::string> Header(std::string_view name) const;
};

class PageSource {
 public:
  virtual ~PageSource() = default;
  // Safe to call from several threads at once.
  virtual SourceAnswer Get(const std::string& url, const SourceLimits& limits) = 0;
};

// Asks `first`, and `second` only for what `first` does not have (kSourceItemNotFound); its
// other failures stand, so a damaged archive is never hidden by a live server.
class FallbackSource final : public PageSource {
 public:
  FallbackSource(PageSource& first, PageSource& second) : first_(first), second_(second) {}
  SourceAnswer Get(const std::string& url, const SourceLimits& limits) override;

 private:
  PageSource& first_;
  PageSource& second_;
};

// The key addresses are matched by: the canonical form the URL cache files them under, so a
// page's raw text and the %-escaped address a crawler wrote find each other.
std::string SourceAddressKey(const std::string& url);

}  // namespace trovex::inet

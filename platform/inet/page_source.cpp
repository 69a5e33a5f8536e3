#include "platform/inet/page_source.h"

#include "platform/inet/url_resolve.h"
#include "platform/inet/urlcache_names.h"
#include "platform/text/ascii.h"

namespace trovex::inet {

std::optional<std::string> SourceAnswer::Header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (AsciiEqualsNoCase(key, name)) return value;
  return std::nullopt;
}

SourceAnswer FallbackSource::Get(const std::string& url, const SourceLimits& limits) {
  SourceAnswer answer = first_.Get(url, limits);
  if (answer.error != kSourceItemNotFound) return answer;
  return second_.Get(url, limits);
}

std::string SourceAddressKey(const std::string& url) {
  // Resolved as the page loader resolves references first (default ports dropped too).
  const std::string resolved = ResolveUrl(url, url);
  return urlcache::CacheKey(resolved.empty() ? url : resolved);
}

}  // namespace trovex::inet

// The URL cache's index reader on arbitrary text. What a writer makes of it must read back to
// the same entries: a sound index never turns into a different one.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_env.h"
#include "platform/inet/url_parse.h"

using namespace trovex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string snapshot;
  std::size_t entries = inet_detail::ReadUrlCacheIndexText(text, &snapshot);
  std::string again;
  if (inet_detail::ReadUrlCacheIndexText(snapshot, &again) != entries || again != snapshot)
    __builtin_trap();
  return 0;
}

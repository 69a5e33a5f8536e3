// The Windows command-line split of the companion hand-off on arbitrary parameter text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_env.h"
#include "platform/shell/shell_execute.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static trovex::fuzz::Environment env;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::size_t total = 0;
  for (const std::string& arg : trovex::SplitCommandLine(text)) total += arg.size();
  // Splitting only ever drops or merges characters: it never makes text up.
  if (total > text.size()) __builtin_trap();
  return 0;
}

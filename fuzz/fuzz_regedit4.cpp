// The REGEDIT4 reader on arbitrary text. Whatever it accepts must be written in a form it reads
// back to the same text: a hive the program wrote must never become unreadable.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_env.h"
#include "platform/registry/regedit4.h"

using namespace trovex::reg;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static trovex::fuzz::Environment env;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  RegKey root;
  std::string error;
  if (!ParseRegedit4(text, "HKEY_CURRENT_USER", &root, &error)) return 0;
  const std::string written = SerializeRegedit4(root, "HKEY_CURRENT_USER");
  RegKey again;
  if (!ParseRegedit4(written, "HKEY_CURRENT_USER", &again, &error)) __builtin_trap();
  if (SerializeRegedit4(again, "HKEY_CURRENT_USER") != written) __builtin_trap();
  return 0;
}

// The movie reader and the address finder on arbitrary bytes: the whole input as a movie
// (through a source that hands out small pieces, as a network does), and the same bytes as the
// body of each tag the finder reads.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_env.h"
#include "swf/swf_names.h"

using namespace trovex;
using namespace trovex::swf;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static fuzz::Environment env;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  std::size_t at = 0;
  const std::size_t piece = size ? 1 + data[0] % 97 : 1;
  ByteSource pieces = [&](char* buffer, std::size_t want) -> std::ptrdiff_t {
    const std::size_t n = std::min({want, piece, bytes.size() - at});
    std::copy_n(bytes.data() + at, n, buffer);
    at += n;
    return static_cast<std::ptrdiff_t>(n);
  };
  Limits limits;
  limits.maxFileLength = 8u << 20;
  limits.maxKeptBody = 1u << 20;
  limits.maxTags = 10000;
  const MovieNames names = FindNamedFiles(pieces, "http://h.test/dir/m.swf", {"v=a%2Fb.xml&w=c.swf", "", ""}, limits);
  for (const Tag& tag : names.facts.tags)
    if (std::uint64_t{tag.offset} + tag.length > names.facts.fileLength) __builtin_trap();
  if (names.facts.ok() && names.facts.compression == Compression::kNone && size < names.facts.fileLength &&
      (names.facts.tags.empty() || names.facts.tags.back().code != kTagEnd))
    __builtin_trap();  // a plain movie shorter than it says must not read as whole
  for (const NamedFile& file : names.files) {
    if (!LooksLikeFileAddress(file.text)) __builtin_trap();
    const std::string_view a = file.address;
    if (a.rfind("http://", 0) != 0 && a.rfind("https://", 0) != 0 && a.rfind("file:", 0) != 0) __builtin_trap();
  }
  std::vector<Candidate> candidates;
  for (std::uint16_t code : {kTagDoAction, kTagDoInitAction, kTagDefineButton, kTagDefineButton2, kTagPlaceObject2,
                             kTagPlaceObject3, kTagDoAbc, kTagDoAbcPlain, kTagDefineSprite})
    for (int version : {5, 9}) CollectTagStrings(code, bytes, version, &candidates);
  for (const Candidate& c : candidates)
    if (c.text.size() > size) __builtin_trap();
  return 0;
}

// Builds Flash movies byte by byte for the tests, the fuzz seeds and the benchmarks: the header
// in its three compressions, tags, ActionScript 1/2 action records and ABC string pools.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace trovex::testing {

// kLzmaBare: LZMA data without the end marker, which the declared length makes optional.
enum class SwfPacking { kPlain, kZlib, kLzma, kLzmaBare };

struct SwfHeader {
  int version = 10;
  std::int32_t xMax = 11000, yMax = 8000;  // twips; the minimums are 0
  std::uint16_t frameRate88 = 24 * 256;
  std::uint16_t frameCount = 1;
};

// A tag in the short form when its body allows, else the long form; `forceLong` always long.
std::string SwfTag(std::uint16_t code, const std::string& body, bool forceLong = false);
// The stage RECT with the smallest field width that holds the values.
std::string SwfRect(std::int32_t xMin, std::int32_t xMax, std::int32_t yMin, std::int32_t yMax);
// Header and tags (an End tag is appended unless `endTag` is false), packed as asked. The
// declared length is the real one unless `declaredLength` is given.
std::string SwfMovie(const SwfHeader& header, const std::string& tags, SwfPacking packing = SwfPacking::kPlain,
                     bool endTag = true, std::int64_t declaredLength = -1);
// A FileAttributes tag, with or without the ActionScript 3 flag.
std::string SwfFileAttributes(bool as3);

// Action records.
std::string ActPush(const std::vector<std::string>& strings);
std::string ActPushConstant(unsigned index);   // 8-bit constant reference
std::string ActPushConstant16(unsigned index);
std::string ActPushNumber(std::int32_t n);
std::string ActConstantPool(const std::vector<std::string>& strings);
std::string ActGetUrl(const std::string& url, const std::string& target);
std::string ActGetUrl2();
std::string ActPlain(unsigned char code);  // a record without data (< 0x80)
inline std::string ActEnd() { return std::string(1, '\0'); }

// A playing ActionScript 2 movie (red stage) whose first frame loads `url` into level 1, as
// loadMovieNum does: the player fetches the second movie itself.
std::string SwfMovieThatLoads(const std::string& url);

// An ABC block whose string pool holds `strings` (and one int, uint and double beside them).
std::string AbcWithStrings(const std::vector<std::string>& strings);

}  // namespace trovex::testing

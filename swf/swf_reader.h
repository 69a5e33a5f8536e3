// Reads a Flash movie as a stream: the header (plain, zlib or LZMA), the movie's facts and its
// tag list. The body is decompressed in small pieces and only the tags a caller asks for are
// kept, so reading a large movie takes little memory; hostile or cut files end with a reason.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace trovex::swf {

// Reads up to `size` bytes into `buffer`: the count, 0 at the end, -1 on a failure.
using ByteSource = std::function<std::ptrdiff_t(char* buffer, std::size_t size)>;

// A source over bytes in memory (which must outlive it).
ByteSource MemorySource(std::string_view bytes);
// A source over a file; empty when the file cannot be opened.
ByteSource FileSource(const std::string& path);

enum class Compression { kNone, kZlib, kLzma };

// Why a movie could not be read to its end.
enum class ReadError {
  kNone,
  kCannotRead,    // the source failed
  kNotSwf,        // no FWS / CWS / ZWS signature
  kBadHeader,     // a declared length that cannot hold the header
  kTooLarge,      // the declared length is over the cap
  kBomb,          // far more output than the compressed input explains
  kCorrupt,       // the compressed data does not decode
  kCut,           // the data ends before the movie does
  kBadTag,        // a tag runs past the movie's declared end
  kTooManyTags,
};

// The user's text for a reason (Traditional Chinese, the locale's code page); "" for kNone.
std::string ReadErrorText(ReadError error);

struct Limits {
  std::uint32_t maxFileLength = 512u << 20;  // declared (uncompressed) length
  // Output may not pass `maxRatio` times the compressed input once past `ratioFloor` bytes.
  std::uint32_t maxRatio = 100;
  std::uint32_t ratioFloor = 1u << 20;
  std::uint32_t maxKeptBody = 16u << 20;  // larger wanted bodies are skipped and counted
  std::size_t maxTags = 1'000'000;
};

struct Tag {
  std::uint16_t code = 0;
  std::uint32_t length = 0;  // of the body
  std::uint32_t offset = 0;  // of the body, in the uncompressed movie
};

// Tag codes the rest of the system looks at.
enum TagCode : std::uint16_t {
  kTagEnd = 0,
  kTagDefineButton = 7,
  kTagDoAction = 12,
  kTagPlaceObject2 = 26,
  kTagDefineButton2 = 34,
  kTagDefineSprite = 39,
  kTagDoInitAction = 59,
  kTagFileAttributes = 69,
  kTagPlaceObject3 = 70,
  kTagDoAbcPlain = 72,
  kTagDoAbc = 82,
};

struct Rect {
  std::int32_t xMin = 0, xMax = 0, yMin = 0, yMax = 0;  // twips
};

struct MovieFacts {
  Compression compression = Compression::kNone;
  int version = 0;
  std::uint32_t fileLength = 0;  // declared, uncompressed, header included
  Rect stage;
  std::uint16_t frameRate88 = 0;  // 8.8 fixed point as stored
  std::uint16_t frameCount = 0;
  int actionScript = 2;            // 3 when FileAttributes says so, else 2 (meaning 1 or 2)
  std::vector<Tag> tags;           // End tag included when present
  std::size_t skippedBodies = 0;   // wanted bodies over maxKeptBody
  ReadError error = ReadError::kNone;
  std::uint64_t errorOffset = 0;   // uncompressed offset where reading stopped

  double FrameRate() const { return frameRate88 / 256.0; }
  int StageWidthPixels() const { return (stage.xMax - stage.xMin) / 20; }
  int StageHeightPixels() const { return (stage.yMax - stage.yMin) / 20; }
  bool ok() const { return error == ReadError::kNone; }
};

struct ReadOptions {
  Limits limits;
  // Which tag bodies to hand to `onBody` (none when empty).
  std::function<bool(std::uint16_t code)> wantBody;
  // `facts` as read so far: the header's fields are set.
  std::function<void(const MovieFacts& facts, const Tag& tag, std::string_view body)> onBody;
};

// Reads the whole movie. Never throws for bad input: facts.error says why reading stopped,
// and what was read before that (header, tags, bodies handed on) stays valid.
MovieFacts ReadMovie(const ByteSource& source, const ReadOptions& options = {});

}  // namespace trovex::swf

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "swf/swf_reader.h"
#include "tests/support/swf_builder.h"

using namespace trovex;
using namespace trovex::swf;
using namespace trovex::testing;

namespace {

// A source that hands out one byte per call, as a slow network does.
ByteSource Trickle(const std::string& bytes) {
  return [&bytes, at = std::size_t{0}](char* buffer, std::size_t size) mutable -> std::ptrdiff_t {
    if (at == bytes.size() || size == 0) return 0;
    buffer[0] = bytes[at++];
    return 1;
  };
}

std::string Cut(std::string s, std::size_t drop) { return s.substr(0, s.size() - drop); }

const std::string kBigBody(300000, 'x');
const std::string kTags = SwfFileAttributes(true) + SwfTag(9, "\x11\x22\x33") + SwfTag(1, "") +
                          SwfTag(kTagDoAbc, kBigBody, true);

}  // namespace

// Header facts and the tag list, for each packing and for both ways of delivering bytes.
TEST(SwfReader, ReadsFactsAndTags) {
  SwfHeader h;
  h.version = 17;
  h.xMax = 640 * 20;
  h.yMax = 480 * 20;
  h.frameRate88 = 0x1E80;  // 30.5
  h.frameCount = 7;
  const std::pair<SwfPacking, Compression> packings[] = {{SwfPacking::kPlain, Compression::kNone},
                                                         {SwfPacking::kZlib, Compression::kZlib},
                                                         {SwfPacking::kLzma, Compression::kLzma},
                                                         {SwfPacking::kLzmaBare, Compression::kLzma}};
  for (auto [packing, compression] : packings) {
    const std::string movie = SwfMovie(h, kTags, packing);
    for (bool trickle : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "packing " << int(packing) << " trickle " << trickle);
      const MovieFacts f = ReadMovie(trickle ? Trickle(movie) : MemorySource(movie));
      ASSERT_EQ(f.error, ReadError::kNone) << ReadErrorText(f.error);
      EXPECT_EQ(f.compression, compression);
      EXPECT_EQ(f.version, 17);
      EXPECT_EQ(f.StageWidthPixels(), 640);
      EXPECT_EQ(f.StageHeightPixels(), 480);
      EXPECT_DOUBLE_EQ(f.FrameRate(), 30.5);
      EXPECT_EQ(f.frameCount, 7);
      EXPECT_EQ(f.actionScript, 3);
      ASSERT_EQ(f.tags.size(), 5u);
      EXPECT_EQ(f.tags[1].code, 9);
      EXPECT_EQ(f.tags[1].length, 3u);
      EXPECT_EQ(f.tags[3].code, kTagDoAbc);
      EXPECT_EQ(f.tags[3].length, kBigBody.size());
      EXPECT_EQ(f.tags[4].code, kTagEnd);
      EXPECT_EQ(f.tags[4].offset + 0u, f.fileLength);  // an empty End tag ends the movie
    }
  }
}

// Stage rectangles with negative and wide fields, and the ActionScript version's sources.
TEST(SwfReader, StageAndScriptVersion) {
  struct Case {
    std::int32_t xMin, xMax, yMin, yMax;
    std::string tags;
    int as;
  } cases[] = {
      {0, 20, 0, 20, "", 2},
      {-2000, 2000, -40, 40, SwfFileAttributes(false), 2},
      {0, 0x3FFFFFFF, 0, 1, SwfFileAttributes(true), 3},
      {-0x40000000, 0, -1, 0, SwfTag(kTagFileAttributes, ""), 2},  // empty attributes: no flag
  };
  for (const Case& c : cases) {
    std::string movie = SwfMovie({}, c.tags);
    // Swap in the wanted rectangle (the builder's default is 0..11000 x 0..8000).
    const std::string def = SwfRect(0, 11000, 0, 8000), want = SwfRect(c.xMin, c.xMax, c.yMin, c.yMax);
    movie.replace(8, def.size(), want);
    movie[4] = static_cast<char>(movie.size());  // all these movies are under 256 bytes
    const MovieFacts f = ReadMovie(MemorySource(movie));
    ASSERT_TRUE(f.ok()) << ReadErrorText(f.error);
    EXPECT_EQ(f.stage.xMin, c.xMin);
    EXPECT_EQ(f.stage.xMax, c.xMax);
    EXPECT_EQ(f.stage.yMin, c.yMin);
    EXPECT_EQ(f.stage.yMax, c.yMax);
    EXPECT_EQ(f.actionScript, c.as);
  }
}

// Cut, hostile and oversized movies end with their reason, never a crash or a false success;
// odd movies a player reads are read.
TEST(SwfReader, EndsBadMoviesWithAReason) {
  SwfHeader h;
  const std::string plain = SwfMovie(h, kTags), zlib = SwfMovie(h, kTags, SwfPacking::kZlib),
                    lzma = SwfMovie(h, kTags, SwfPacking::kLzma);
  std::string badZlib = zlib;
  badZlib[9] = static_cast<char>(badZlib[9] ^ 0x55);  // the zlib header's check bits fail
  std::string badLzmaProps = lzma;
  badLzmaProps[12] = '\xFF';                          // lc/lp/pb out of range
  std::string hugeWindow = lzma;
  hugeWindow.replace(13, 4, "\xFF\xFF\xFF\xFF");      // a 4 GB dictionary for a small movie
  const std::string lzmaBare = SwfMovie(h, kTags, SwfPacking::kLzmaBare);
  const std::string zeros(8u << 20, '\0');
  Limits small;
  small.maxFileLength = 100000;
  struct Case {
    const char* name;
    std::string bytes;
    ReadError want;
    Limits limits = {};
  } cases[] = {
      {"empty", "", ReadError::kNotSwf},
      {"html", "<html><body>not found</body></html>", ReadError::kNotSwf},
      {"two bytes of a movie", "CW", ReadError::kCut},
      {"header only", plain.substr(0, 8), ReadError::kCut},
      {"declared length too short", SwfMovie(h, "", SwfPacking::kPlain, true, 12), ReadError::kBadHeader},
      {"declared 4 GB", SwfMovie(h, "", SwfPacking::kZlib, true, 0xFFFFFFFF), ReadError::kTooLarge},
      {"over a caller's cap", plain, ReadError::kTooLarge, small},
      {"plain cut in a tag", Cut(plain, 1000), ReadError::kCut},
      {"zlib cut", Cut(zlib, 20), ReadError::kCut},
      {"lzma cut", Cut(lzma, 20), ReadError::kCut},
      {"lzma cut in its header", lzma.substr(0, 14), ReadError::kCut},
      {"zlib damaged", badZlib, ReadError::kCorrupt},
      {"lzma damaged properties", badLzmaProps, ReadError::kCorrupt},
      {"declares more than it holds", SwfMovie(h, "", SwfPacking::kZlib, false, 5000), ReadError::kCut},
      {"tag past the declared end", SwfMovie(h, SwfTag(9, std::string(100, 'a')), SwfPacking::kPlain, true, 60),
       ReadError::kBadTag},
      {"zlib bomb", SwfMovie(h, SwfTag(9, zeros, true), SwfPacking::kZlib), ReadError::kBomb},
      {"lzma bomb", SwfMovie(h, SwfTag(9, zeros, true), SwfPacking::kLzma), ReadError::kBomb},
      {"lzma without end marker, cut", Cut(lzmaBare, 1), ReadError::kCut},
      {"lzma asking a 4 GB window", hugeWindow, ReadError::kNone},
      {"bytes after the End tag", plain + "trailing", ReadError::kNone},
      {"zlib data after its stream", zlib + std::string(100, '\x55'), ReadError::kNone},
      {"no End tag at the declared end", SwfMovie(h, kTags, SwfPacking::kZlib, false), ReadError::kNone},
  };
  for (const Case& c : cases) {
    const MovieFacts f = ReadMovie(MemorySource(c.bytes), {c.limits, {}, {}});
    EXPECT_EQ(f.error, c.want) << c.name << ": " << ReadErrorText(f.error);
    EXPECT_EQ(ReadErrorText(f.error).empty(), c.want == ReadError::kNone) << c.name;
  }
  // A failing source, and one that cannot be opened.
  EXPECT_EQ(ReadMovie([](char*, std::size_t) -> std::ptrdiff_t { return -1; }).error, ReadError::kCannotRead);
  EXPECT_EQ(ReadMovie(FileSource("/nonexistent/movie.swf")).error, ReadError::kCannotRead);
}

// Limits on what is kept: bodies over the cap are skipped and counted, tag counts capped, and
// only wanted bodies are handed on, whole.
TEST(SwfReader, HandsOnWantedBodiesWithinLimits) {
  const std::string tags = SwfTag(kTagDoAction, "abc") + SwfTag(9, "zz") + SwfTag(kTagDoAction, kBigBody, true);
  const std::string movie = SwfMovie({}, tags, SwfPacking::kZlib);
  struct Case {
    std::uint32_t maxKept;
    std::size_t maxTags;
    std::vector<std::size_t> bodies;
    std::size_t skipped;
    ReadError error;
  } cases[] = {
      {16u << 20, 100, {3, kBigBody.size()}, 0, ReadError::kNone},
      {1000, 100, {3}, 1, ReadError::kNone},
      {16u << 20, 2, {3}, 0, ReadError::kTooManyTags},
  };
  for (const Case& c : cases) {
    std::vector<std::size_t> bodies;
    ReadOptions o;
    o.limits.maxKeptBody = c.maxKept;
    o.limits.maxTags = c.maxTags;
    o.wantBody = [](std::uint16_t code) { return code == kTagDoAction; };
    o.onBody = [&](const MovieFacts& f, const Tag& t, std::string_view body) {
      EXPECT_EQ(f.version, 10);
      EXPECT_EQ(t.length, body.size());
      bodies.push_back(body.size());
    };
    const MovieFacts f = ReadMovie(MemorySource(movie), o);
    EXPECT_EQ(f.error, c.error);
    EXPECT_EQ(bodies, c.bodies);
    EXPECT_EQ(f.skippedBodies, c.skipped);
  }
}

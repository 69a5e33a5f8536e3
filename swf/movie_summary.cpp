#include "swf/movie_summary.h"

#include <algorithm>

namespace trovex::swf {

MovieSummary ReadMovieSummary(const ByteSource& source, std::size_t maxInput) {
  MovieSummary summary;
  if (!source) return summary;
  std::size_t left = maxInput;
  bool attributesSeen = false;
  // The header and the first tag say it all: the source ends once they are read.
  ByteSource prefix = [&](char* buffer, std::size_t size) -> std::ptrdiff_t {
    if (attributesSeen || left == 0) return 0;
    const std::ptrdiff_t got = source(buffer, std::min(size, left));
    if (got > 0) left -= static_cast<std::size_t>(got);
    return got;
  };
  ReadOptions options;
  options.wantBody = [](std::uint16_t code) { return code == kTagFileAttributes; };
  options.onBody = [&](const MovieFacts&, const Tag&, std::string_view) { attributesSeen = true; };
  const MovieFacts facts = ReadMovie(prefix, options);
  // The read ends early on purpose, so a stop counts once a tag header was read after the stage.
  if (facts.version == 0 || (!facts.ok() && facts.tags.empty())) return summary;
  summary.version = facts.version;
  summary.actionScript = facts.actionScript;
  summary.stageWidth = facts.StageWidthPixels();
  summary.stageHeight = facts.StageHeightPixels();
  summary.frameRate = facts.FrameRate();
  return summary;
}

MovieSummary ReadMovieSummaryOfFile(const std::string& path) { return ReadMovieSummary(FileSource(path)); }

}  // namespace trovex::swf

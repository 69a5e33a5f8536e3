// The facts a list shows of a movie (version, ActionScript version, stage, frame rate), read
// from the start of its file only, so that listing a large movie costs little.
#pragma once

#include <string>

#include "swf/swf_reader.h"

namespace trovex::swf {

struct MovieSummary {
  int version = 0;       // 0: not read (no file, or not a movie)
  int actionScript = 0;  // 2 (meaning 1 or 2) or 3
  int stageWidth = 0;    // pixels
  int stageHeight = 0;
  double frameRate = 0;
  bool known() const { return version > 0; }
};

// At most `maxInput` bytes of the source are read.
MovieSummary ReadMovieSummary(const ByteSource& source, std::size_t maxInput = 64 * 1024);
// Of a file; unknown when it cannot be opened or read as a movie.
MovieSummary ReadMovieSummaryOfFile(const std::string& path);

}  // namespace trovex::swf

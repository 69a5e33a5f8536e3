// Where the bytes of a previewed movie come from: a local file (cache copy, local movie, saved
// copy) or the movie's address when it is only on the network.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

namespace trovex {

enum class MovieKind {
  Empty,        // "1" or "": the empty preview
  LocalFile,    // an absolute path
  Network,      // http or https
  Unsupported,  // anything else (other schemes, relative paths)
};

MovieKind ClassifyMovie(const std::string& movie);

struct MovieBytes {
  bool bLoaded = false;
  std::string strBody;
  std::string strError;  // UTF-8, for the preview area, when not loaded
};

// Movies larger than this are not previewed (the page loader's own limit).
std::size_t MaxPreviewBytes();

// Reads or fetches the movie (Movie text: the locale's code page). Blocks: run it off the
// dialog thread. Opening never blocks on a FIFO; network time limits are the page loader's,
// and a fetch ends soon after *abort is set.
MovieBytes LoadMovieBytes(const std::string& movie, const std::atomic<bool>* abort = nullptr);

}  // namespace trovex

// The files a saved movie loads (levels, configuration, sounds, skins), saved beside it so that
// it plays offline: where each goes under the target folder, and what became of it.
#pragma once

#include <cstdint>
#include <string>

namespace trovex {

enum class MovieFileStatus { kSaved, kMissing, kFailed, kSkipped, kCancelled };

// What became of one file a movie names.
struct MovieFileOutcome {
  std::string address;  // absolute
  std::string target;   // the path written, or the one settled on
  MovieFileStatus status = MovieFileStatus::kFailed;
  std::string error;    // why it is missing or failed
  std::int64_t bytes = 0;
  int depth = 1;        // 1: named by the movie itself; more: by a movie it loads
};

// "saved", "missing", "failed", "skipped", "cancelled"
const char* MovieFileStatusKey(MovieFileStatus status);
// The status text a row shows (string id).
unsigned MovieFileStatusText(MovieFileStatus status);

// Where `address` goes, relative to the saved movie's folder, '/'-separated: its path below the
// folder `resolutionBase` lies in (the folder the player resolves names against), when it
// lies there on the same server; otherwise a folder of its own named after the host, holding
// the whole path. Segments are %-decoded; ones that could climb ("..", "."), and characters a
// file name may not hold, are replaced, so the result never leaves the folder. "" when the
// address names no file.
std::string RelativeFilePath(const std::string& address, const std::string& resolutionBase);

}  // namespace trovex

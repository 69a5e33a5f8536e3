// Pages, frames and movies from web archives instead of the network, as the commands'
// --warc, --warc-date and --warc-fallback ask.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/inet/page_source.h"

namespace trovex::browser {

struct ArchiveChoice {
  std::vector<std::string> files;
  std::string date;       // empty: the newest capture of each address
  bool fallback = false;  // the network for what the archives lack
};

// What the commands read through. Kept alive for as long as anything reads.
struct OpenedSources {
  std::shared_ptr<inet::PageSource> archive;      // all of them; null when none was named
  std::shared_ptr<inet::PageSource> network;      // with fallback only
  std::shared_ptr<inet::PageSource> pages;        // what page loads read; null: the network
  std::vector<std::string> warnings;              // damage met past the start of a file
};

// Reads and indexes the archives. False with *problem (user text) when one cannot be read, is no
// web archive, or the date is not understood; an empty choice opens nothing and succeeds.
bool OpenArchives(const ArchiveChoice& choice, OpenedSources* sources, std::string* problem);

// Reads the value options of `choice` at argv[*i] (advancing *i past a separate value). 1 when
// taken, 0 when argv[*i] is none of them, -1 with *problem when its value is missing.
int TakeArchiveOption(int argc, const char* const* argv, int* i, ArchiveChoice* choice, std::string* problem);

}  // namespace trovex::browser

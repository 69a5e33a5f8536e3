// The command line of trovex-save: what to save from which pages, where, and how to report.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "pageloader/archive_sources.h"

namespace trovex::save_command {

struct Options {
  std::string dir;             // empty: the stored default, as the Save dialog picks it
  int nConflictAction = -1;    // ConflictAction; -1: the stored "Conflict Action"
  bool plugins = false;        // fetch the movies into the URL cache while loading, then copy
  bool json = false;           // one JSON object per line on standard output
  browser::ArchiveChoice archives;  // pages and movies from web archives
  bool saveFiles = true;       // also the files each movie loads (--no-deps: not)
  std::vector<std::string> pages;  // "-" stands for the lines of standard input
  bool help = false;
  bool version = false;
};

// Parses argv[1..]. False with *problem set on bad usage (in the locale's code page).
bool ParseOptions(int argc, const char* const* argv, Options* options, std::string* problem);

// "rename" | "overwrite" | "skip" | "ask" -> the policy number; -1 for anything else.
int ConflictActionFromName(const std::string& name);

// Replaces each "-" by the non-empty lines of `in` (trimmed; lines starting with "#" are
// comments), keeping the order.
std::vector<std::string> ExpandPages(const std::vector<std::string>& pages, std::istream& in);

}  // namespace trovex::save_command

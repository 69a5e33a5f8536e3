// The --list output: one line per movie, in list order, tab-separated, UTF-8.
#pragma once

#include <cstdio>
#include <string>

#include "scan/swf_file_list.h"

namespace trovex::browser {

// One field: the application's text (in the thread's code page) as UTF-8, with the control
// characters that would break the line format written as \t, \n, \r or \xHH, and "\" as "\\".
std::string ListField(const std::string& ansi);

// "strURL \t strLocalFile \t strFileName \t nSize \t version \t ActionScript \t stage width
// \t stage height \t frame rate \n" for every movie; the facts are empty unless a local copy
// gives them.
std::string FormatMovieList(const SWFFileList& list);

// Writes FormatMovieList's text to `out` a block at a time, and flushes it. False when a write
// failed (errno says why).
bool WriteMovieList(const SWFFileList& list, std::FILE* out);

}  // namespace trovex::browser

// The --list output: one line per movie, in list order, tab-separated, UTF-8.
#pragma once

#include <string>

#include "scan/swf_file_list.h"

namespace trovex::browser {

// One field: the application's text (in the thread's code page) as UTF-8, with the control
// characters that would break the line format written as \t, \n, \r or \xHH, and "\" as "\\".
std::string ListField(const std::string& ansi);

// "strURL \t strLocalFile \t strFileName \t nSize \n" for every movie.
std::string FormatMovieList(const SWFFileList& list);

}  // namespace trovex::browser

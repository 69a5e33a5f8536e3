// The command line shared by trovex-browser (which lists without any toolkit) and the window
// program it hands windows to: options, usage, and loading the page as both do.
#pragma once

#include <string>

#include "pageloader/archive_sources.h"
#include "pageloader/loader.h"
#include "platform/com/dom.h"

namespace trovex::browser {

struct CommandLine {
  bool list = false;
  bool saveDialog = false;
  bool verbose = false;
  bool live = false;  // --list of what the browser window shows
  LoadOptions options;
  ArchiveChoice archives;  // --list only: the page from web archives
  std::string page;     // as given
  std::string address;  // what to load
  bool Window() const { return !list && !saveDialog; }
  // Everything but the static --list is the window program's.
  bool NeedsWindow() const { return !list || live; }
};

// Sets the locale from the environment (UTF-8 when it names none) and reads the arguments.
// -1 when the program is to go on with *line; otherwise the exit code, the usage or the
// problem already printed.
int ParseCommandLine(int argc, char** argv, CommandLine* line);

// Prints the usage with a problem (when not empty) on stderr; returns 2.
int Usage(const std::string& problem);

// One line on stderr, named by the program.
void Report(const std::string& line);

// Loads line.address with its frames within the whole-load time budget, reporting on stderr
// what was cut or (verbose) not loaded. Null with *exitCode set when there is nothing to show.
ComPtr<IWebBrowser2> LoadPageForCommand(const CommandLine& line, int* exitCode);

}  // namespace trovex::browser

#include "browser/command_line.h"

#include <langinfo.h>

#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "pageloader/url.h"

namespace trovex::browser {
namespace {

// The whole page load, frames and played movies included.
constexpr int kLoadBudgetSeconds = 600;

constexpr const char* kUsage =
    "usage: trovex-browser PAGE\n"
    "       trovex-browser --list [--plugins | --live] PAGE\n"
    "       trovex-browser --list [--plugins] --warc FILE [--warc FILE...] [--warc-date DATE]\n"
    "                      [--warc-fallback] PAGE\n"
    "       trovex-browser --save-dialog PAGE\n"
    "  PAGE       a local file, a file: URL or an http:// or https:// address; without an\n"
    "             option it is shown in the browser window (needs a display)\n"
    "  --list     print the Flash movies of the page and all its frames, one per line:\n"
    "             address, local copy, file name, size, then the version, ActionScript\n"
    "             version, stage width and height and frame rate read from a local copy\n"
    "             (empty when there is none; tab-separated, UTF-8)\n"
    "  --live     with --list: the movies of the page as the browser window shows it, after\n"
    "             its scripts ran (needs a display)\n"
    "  --save-dialog  open the page in the browser window and, once it has loaded, show the\n"
    "             Save dialog as the toolbar button does; exits when it closes (1 when the\n"
    "             page has no movie; needs a display)\n"
    "  --plugins  with --list: also fetch the movies into the URL cache, as the Flash player\n"
    "             would (the browser window always does, in the background)\n"
    "  --verbose  report on stderr what could not be loaded (frames, movies, cache)\n";

// Both parts of the usage, in one place for --help and for a problem.
void PrintUsage(std::FILE* to) {
  std::fputs(kUsage, to);
  std::fputs(kArchiveUsage, to);
}

// Options that do not go together: what to tell the user, or null.
const char* ConflictOf(const CommandLine& line) {
  if (line.list && line.saveDialog) return "--list and --save-dialog exclude each other";
  if (line.live && !line.list) return "--live goes with --list";
  if (line.live && line.options.bPlugins) return "--live and --plugins exclude each other";
  // The window plays the movies of what it shows by itself.
  if (line.options.bPlugins && !line.list) return "--plugins goes with --list";
  // The window and --live show the live web.
  if (!line.archives.files.empty() && (!line.list || line.live)) return "--warc goes with --list, without --live";
  if (line.archives.files.empty() && (line.archives.fallback || !line.archives.date.empty()))
    return "--warc-date and --warc-fallback go with --warc";
  return nullptr;
}

}  // namespace

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "trovex-browser: %s\n", problem);
  PrintUsage(stderr);
  return 2;
}

int ParseCommandLine(int argc, char** argv, CommandLine* line) {
  std::setlocale(LC_ALL, "");
  // Without any locale the text would be 7-bit only; take UTF-8 as today's systems do.
  if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");

  bool pageGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--list") {
      line->list = true;
    } else if (arg == "--save-dialog") {
      line->saveDialog = true;
    } else if (arg == "--plugins") {
      line->options.bPlugins = true;
    } else if (arg == "--live") {
      line->live = true;
    } else if (arg == "--verbose") {
      line->verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return 0;
    } else if (arg == "--") {
      if (i + 2 != argc || pageGiven) return Usage("exactly one page is expected");
      line->page = argv[++i];
      pageGiven = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::string problem;
      const int taken = TakeArchiveOption(argc, argv, &i, &line->archives, &problem);
      if (taken < 0) return Usage(problem.c_str());
      if (taken == 0) return Usage(("unknown option " + arg).c_str());
    } else if (pageGiven) {
      return Usage("exactly one page is expected");
    } else {
      line->page = arg;
      pageGiven = true;
    }
  }
  if (!pageGiven) return Usage("no page given");
  if (const char* conflict = ConflictOf(*line)) return Usage(conflict);

  std::string error;
  line->address = AddressFromUserInput(line->page, &error);
  if (line->address.empty()) {
    std::fprintf(stderr, "trovex-browser: cannot load %s: %s\n", line->page.c_str(), error.c_str());
    return 2;
  }
  if (line->NeedsWindow() && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    return Usage("no display to open the browser window on; --list without --live prints the movies");
  return -1;
}

ComPtr<IWebBrowser2> LoadPageForCommand(const CommandLine& line, int* exitCode) {
  // One budget for the whole load, so a page of many slow frames ends in minutes, not hours.
  LoadOptions options = line.options;
  OpenedSources sources;
  std::string problem;
  if (!OpenArchives(line.archives, &sources, &problem)) {
    std::fprintf(stderr, "trovex-browser: %s\n", problem.c_str());
    *exitCode = 2;
    return nullptr;
  }
  for (const std::string& warning : sources.warnings) std::fprintf(stderr, "trovex-browser: %s\n", warning.c_str());
  options.pageLimits.source = sources.pages;
  options.movieLimits.source = sources.pages;
  auto budget = std::make_shared<FetchBudget>(std::chrono::seconds(kLoadBudgetSeconds));
  options.pageLimits.budget = budget;
  options.movieLimits.budget = budget;
  LoadStats stats;
  std::string error;
  ComPtr<IWebBrowser2> browser = LoadPage(line.address, options, &error, &stats);
  if (line.verbose)
    for (const std::string& note : stats.notes) std::fprintf(stderr, "trovex-browser: %s\n", note.c_str());
  else  // a list that a limit shortened must say so, or it reads as complete
    for (const std::string& cut : stats.cuts) std::fprintf(stderr, "trovex-browser: %s\n", cut.c_str());
  if (budget->Exceeded())
    std::fprintf(stderr, "trovex-browser: loading %s took longer than %d s; the rest was not loaded\n",
                 line.page.c_str(), kLoadBudgetSeconds);
  if (!browser) {
    std::fprintf(stderr, "trovex-browser: cannot load %s: %s\n", line.page.c_str(), error.c_str());
    *exitCode = 2;
    return nullptr;
  }
  if (line.list && stats.nStatus >= 400) {
    std::fprintf(stderr, "trovex-browser: cannot load %s: the server answered HTTP %ld\n", line.page.c_str(),
                 stats.nStatus);
    *exitCode = 2;
    return nullptr;
  }
  return browser;
}

}  // namespace trovex::browser

#include "browser/command_line.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "pageloader/url.h"
#include "platform/text/res_text.h"
#include "platform/text/text.h"
#include "res/strings.h"

namespace trovex::browser {
namespace {

// The whole page load, frames and played movies included.
constexpr int kLoadBudgetSeconds = 600;

// Both parts of the usage, in one place for --help and for a problem.
void PrintUsage(std::FILE* to) {
  std::fputs(LoadResString(IDS_TROVEX_BROWSER_USAGE).c_str(), to);
  std::fputs(LoadResString(IDS_TROVEX_BROWSER_ARCHIVE_USAGE).c_str(), to);
}

// Options that do not go together: the string that tells the user, or 0.
unsigned ConflictOf(const CommandLine& line) {
  if (line.list && line.saveDialog) return IDS_TROVEX_BROWSER_LIST_OR_SAVE_DIALOG;
  if (line.live && !line.list) return IDS_TROVEX_BROWSER_LIVE_NEEDS_LIST;
  if (line.live && line.options.bPlugins) return IDS_TROVEX_BROWSER_LIVE_OR_PLUGINS;
  // The window plays the movies of what it shows by itself.
  if (line.options.bPlugins && !line.list) return IDS_TROVEX_BROWSER_PLUGINS_NEEDS_LIST;
  // The window and --live show the live web.
  if (!line.archives.files.empty() && (!line.list || line.live)) return IDS_TROVEX_BROWSER_WARC_NEEDS_LIST;
  if (line.archives.files.empty() && (line.archives.fallback || !line.archives.date.empty()))
    return IDS_TROVEX_BROWSER_WARC_OPTIONS_NEED_WARC;
  return 0;
}

}  // namespace

void Report(const std::string& line) {
  std::fputs(FormatResString(IDS_TROVEX_BROWSER_LINE, line.c_str()).c_str(), stderr);
}

int Usage(const std::string& problem) {
  if (!problem.empty()) Report(problem);
  PrintUsage(stderr);
  return 2;
}

int ParseCommandLine(int argc, char** argv, CommandLine* line) {
  SetUpProgramLocale();

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
    } else if (arg == "--version") {
      return PrintProgramVersion("trovex-browser");
    } else if (arg == "--") {
      if (i + 2 != argc || pageGiven) return Usage(LoadResString(IDS_TROVEX_BROWSER_ONE_PAGE));
      line->page = argv[++i];
      pageGiven = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      std::string problem;
      const int taken = TakeArchiveOption(argc, argv, &i, &line->archives, &problem);
      if (taken < 0) return Usage(problem);
      if (taken == 0) return Usage(FormatResString(IDS_TROVEX_BROWSER_UNKNOWN_OPTION, arg.c_str()));
    } else if (pageGiven) {
      return Usage(LoadResString(IDS_TROVEX_BROWSER_ONE_PAGE));
    } else {
      line->page = arg;
      pageGiven = true;
    }
  }
  if (!pageGiven) return Usage(LoadResString(IDS_TROVEX_BROWSER_NO_PAGE));
  if (unsigned conflict = ConflictOf(*line)) return Usage(LoadResString(conflict));

  std::string error;
  line->address = AddressFromUserInput(line->page, &error);
  if (line->address.empty()) {
    Report(FormatResString(IDS_TROVEX_BROWSER_CANNOT_LOAD, line->page.c_str(), error.c_str()));
    return 2;
  }
  if (line->NeedsWindow() && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
    return Usage(LoadResString(IDS_TROVEX_BROWSER_NO_DISPLAY));
  return -1;
}

ComPtr<IWebBrowser2> LoadPageForCommand(const CommandLine& line, int* exitCode) {
  // One budget for the whole load, so a page of many slow frames ends in minutes, not hours.
  LoadOptions options = line.options;
  OpenedSources sources;
  std::string problem;
  if (!OpenArchives(line.archives, &sources, &problem)) {
    Report(problem);
    *exitCode = 2;
    return nullptr;
  }
  for (const std::string& warning : sources.warnings) Report(warning);
  options.pageLimits.source = sources.pages;
  options.movieLimits.source = sources.pages;
  auto budget = std::make_shared<FetchBudget>(std::chrono::seconds(kLoadBudgetSeconds));
  options.pageLimits.budget = budget;
  options.movieLimits.budget = budget;
  LoadStats stats;
  std::string error;
  ComPtr<IWebBrowser2> browser = LoadPage(line.address, options, &error, &stats);
  if (line.verbose)
    for (const std::string& note : stats.notes) Report(note);
  else  // a list that a limit shortened must say so, or it reads as complete
    for (const std::string& cut : stats.cuts) Report(cut);
  if (budget->Exceeded())
    Report(FormatResString(IDS_TROVEX_BROWSER_LOAD_TOO_LONG, line.page.c_str(), kLoadBudgetSeconds));
  if (!browser) {
    Report(FormatResString(IDS_TROVEX_BROWSER_CANNOT_LOAD, line.page.c_str(), error.c_str()));
    *exitCode = 2;
    return nullptr;
  }
  if (line.list && stats.nStatus >= 400) {
    Report(FormatResString(IDS_TROVEX_BROWSER_HTTP_STATUS, line.page.c_str(), stats.nStatus));
    *exitCode = 2;
    return nullptr;
  }
  return browser;
}

}  // namespace trovex::browser

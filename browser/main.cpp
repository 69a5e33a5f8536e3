// trovex-browser: loads a page with its frames into the page model. With --list it runs the
// scanner on the top-level document and prints the movies found.
#include <cerrno>
#include <chrono>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <langinfo.h>
#include <string>

#include "browser/browser.h"
#include "browser/list_output.h"
#include "browser/url.h"
#include "browser/window.h"
#include "framework/toolkit_language.h"
#include "framework/window_manager.h"
#include "scan/document_walker.h"

namespace {

// The whole page load, frames and played movies included.
constexpr int kLoadBudgetSeconds = 600;

constexpr const char* kUsage =
    "usage: trovex-browser PAGE\n"
    "       trovex-browser --list [--plugins | --live] PAGE\n"
    "       trovex-browser --save-dialog PAGE\n"
    "  PAGE       a local file, a file: URL or an http:// or https:// address; without an\n"
    "             option it is shown in the browser window (needs a display)\n"
    "  --list     print the Flash movies of the page and all its frames, one per line:\n"
    "             address, local copy, file name, size (tab-separated, UTF-8)\n"
    "  --live     with --list: the movies of the page as the browser window shows it, after\n"
    "             its scripts ran (needs a display)\n"
    "  --save-dialog  open the page in the browser window and, once it has loaded, show the\n"
    "             Save dialog as the toolbar button does; exits when it closes (1 when the\n"
    "             page has no movie; needs a display)\n"
    "  --plugins  with --list: also fetch the movies into the URL cache, as the Flash player\n"
    "             would (the browser window always does, in the background)\n"
    "  --verbose  report on stderr what could not be loaded (frames, movies, cache)\n";

int Usage(const char* problem) {
  if (problem) std::fprintf(stderr, "trovex-browser: %s\n", problem);
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // Without any locale the text would be 7-bit only; take UTF-8 as today's systems do.
  if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");

  bool list = false;
  bool saveDialog = false;
  bool verbose = false;
  bool live = false;
  trovex::browser::LoadOptions options;
  std::string page;
  bool pageGiven = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--list") {
      list = true;
    } else if (arg == "--save-dialog") {
      saveDialog = true;
    } else if (arg == "--plugins") {
      options.bPlugins = true;
    } else if (arg == "--live") {
      live = true;
    } else if (arg == "--verbose") {
      verbose = true;
    } else if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--") {
      if (i + 2 != argc || pageGiven) return Usage("exactly one page is expected");
      page = argv[++i];
      pageGiven = true;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return Usage(("unknown option " + arg).c_str());
    } else if (pageGiven) {
      return Usage("exactly one page is expected");
    } else {
      page = arg;
      pageGiven = true;
    }
  }
  if (!pageGiven) return Usage("no page given");
  if (list && saveDialog) return Usage("--list and --save-dialog exclude each other");
  if (live && !list) return Usage("--live goes with --list");
  if (live && options.bPlugins) return Usage("--live and --plugins exclude each other");
  // The window plays the movies of what it shows by itself.
  if (options.bPlugins && !list) return Usage("--plugins goes with --list");
  bool window = !list && !saveDialog;

  std::string error;
  std::string address = trovex::browser::AddressFromUserInput(page, &error);
  if (address.empty()) {
    std::fprintf(stderr, "trovex-browser: cannot load %s: %s\n", page.c_str(), error.c_str());
    return 2;
  }
  if (window || saveDialog || live) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
      return Usage("no display to open the browser window on; --list without --live prints the movies");
    using trovex::browser::LiveTask;
    return trovex::browser::RunBrowserWindow(1, argv, address,
                                             saveDialog ? LiveTask::kSaveDialog : live ? LiveTask::kList : LiveTask::kNone);
  }
  // One budget for the whole load, so a page of many slow frames ends in minutes, not hours.
  auto budget = std::make_shared<trovex::browser::FetchBudget>(std::chrono::seconds(kLoadBudgetSeconds));
  options.pageLimits.budget = budget;
  options.movieLimits.budget = budget;
  trovex::browser::LoadStats stats;
  trovex::ComPtr<trovex::IWebBrowser2> browser =
      trovex::browser::LoadPage(address, options, &error, &stats);
  if (verbose)
    for (const std::string& note : stats.notes) std::fprintf(stderr, "trovex-browser: %s\n", note.c_str());
  else  // a list that a limit shortened must say so, or it reads as complete
    for (const std::string& cut : stats.cuts) std::fprintf(stderr, "trovex-browser: %s\n", cut.c_str());
  if (budget->Exceeded())
    std::fprintf(stderr, "trovex-browser: loading %s took longer than %d s; the rest was not loaded\n",
                 page.c_str(), kLoadBudgetSeconds);
  if (!browser) {
    std::fprintf(stderr, "trovex-browser: cannot load %s: %s\n", page.c_str(), error.c_str());
    return 2;
  }
  if (list && stats.nStatus >= 400) {
    std::fprintf(stderr, "trovex-browser: cannot load %s: the server answered HTTP %ld\n", page.c_str(),
                 stats.nStatus);
    return 2;
  }
  trovex::ComPtr<trovex::IHTMLDocument2> document = trovex::browser::DocumentOf(browser.Get());
  trovex::SWFFileList movies;
  trovex::ScanDocument(document.Get(), movies);
  std::string out = trovex::browser::FormatMovieList(movies);
  std::fwrite(out.data(), 1, out.size(), stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "trovex-browser: cannot write the list: %s\n", std::strerror(errno));
    return 1;
  }
  return 0;
}

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
#include "framework/web_engine.h"
#include "framework/window_manager.h"
#include "scan/document_walker.h"
#include <wx/app.h>
#include <wx/init.h>

#include "browser/extension_run.h"
#include "platform/com/activation.h"

namespace {

// The whole page load, frames and played movies included.
constexpr int kLoadBudgetSeconds = 600;

constexpr const char* kUsage =
    "usage: trovex-browser PAGE\n"
    "       trovex-browser --list [--plugins] PAGE\n"
    "       trovex-browser --save-dialog [--plugins] PAGE\n"
    "  PAGE       a local file, a file: URL or an http:// or https:// address; without an\n"
    "             option it is shown in the browser window (needs a display)\n"
    "  --list     print the Flash movies of the page and all its frames, one per line:\n"
    "             address, local copy, file name, size (tab-separated, UTF-8)\n"
    "  --save-dialog  show the Save dialog for the page, as the toolbar button does; exits\n"
    "             when it closes (1 when the page has no movie)\n"
    "  --plugins  also fetch the movies into the URL cache, as the Flash player would\n"
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
  bool window = !list && !saveDialog;

  std::string error;
  std::string address = trovex::browser::AddressFromUserInput(page, &error);
  if (address.empty()) {
    std::fprintf(stderr, "trovex-browser: cannot load %s: %s\n", page.c_str(), error.c_str());
    return 2;
  }
  if (window) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
      return Usage("no display to open the browser window on; add --list to print the movies");
    return trovex::browser::RunBrowserWindow(1, argv, address);
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
  if (saveDialog) {
    trovex::PrepareToolkitLanguage();
    trovex::PrepareWebEngine();
    wxApp::SetInstance(new wxApp);
    wxInitializer toolkit(argc, argv);
    if (!toolkit.IsOk()) {
      std::fprintf(stderr, "trovex-browser: cannot open a window (is DISPLAY set?)\n");
      return 2;
    }
    // The toolkit sets the locale from the environment again.
    if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");
    trovex::ApplyToolkitLanguage();
    trovex::UseTraditionalChineseFace();
    // The registered module, as the toolbar button reaches it: the program holds no copy of the
    // system's code, so the module's toolkit classes are never registered twice in one process.
    trovex::CLSID clsid{};
    trovex::ComPtr<trovex::IDispatch> object;
    trovex::HRESULT hr = trovex::CLSIDFromProgID(u"SWFOrdavin.InternetExplorer", &clsid);
    if (trovex::SUCCEEDED(hr))
      hr = trovex::CoCreateInstance(clsid, nullptr, trovex::CLSCTX_INPROC_SERVER, trovex::IID_IDispatch,
                                    object.AsVoidOut());
    if (trovex::FAILED(hr)) {
      std::fprintf(stderr, "trovex-browser: the extension is not available (0x%08X) %s; register it with trovex-regsvr\n",
                   static_cast<unsigned>(hr), trovex::CoLastActivationError().c_str());
      return 2;
    }
    long result = 1;
    std::string failure;
    hr = trovex::browser::InvokeGetSWFFile(object.Get(), document.Get(), &result, &failure);
    if (trovex::FAILED(hr)) {
      std::fprintf(stderr, "trovex-browser: GetSWFFile failed (0x%08X) %s\n", static_cast<unsigned>(hr),
                   failure.c_str());
      return 1;
    }
    return static_cast<int>(result);
  }
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

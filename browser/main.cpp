// trovex-browser: loads a page with its frames into the page model. With --list it runs the
// scanner on the top-level document and prints the movies found. Windows (the browser window,
// --save-dialog) are the window program's: this one loads neither the toolkit nor the web
// engine, so listing starts as fast as the page can be fetched.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "pageloader/loader.h"
#include "browser/command_line.h"
#include "browser/list_output.h"
#include "platform/text/res_text.h"
#include "res/strings.h"
#include "scan/document_walker.h"

namespace {

// The window program: beside this one in the build and in the installed bin folder, or in
// the package's libexec folder.
int ExecWindowProgram(char** argv) {
  char self[4096];
  ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
  std::string folder = n > 0 ? std::string(self, static_cast<std::size_t>(n)) : std::string(argv[0]);
  folder = folder.substr(0, folder.find_last_of('/') + 1);
  int err = ENOENT;
  for (const std::string& path : {folder + "trovex-browser-window",
                                  folder + "../libexec/kelvora-swf-trovex/trovex-browser-window"}) {
    ::execv(path.c_str(), argv);
    if (errno != ENOENT) err = errno;
  }
  trovex::browser::Report(trovex::FormatResString(trovex::IDS_TROVEX_BROWSER_NO_WINDOW_PROGRAM, std::strerror(err)));
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  trovex::browser::CommandLine line;
  if (int code = trovex::browser::ParseCommandLine(argc, argv, &line); code >= 0) return code;
  if (line.NeedsWindow()) return ExecWindowProgram(argv);

  int code = 0;
  trovex::ComPtr<trovex::IWebBrowser2> browser = trovex::browser::LoadPageForCommand(line, &code);
  if (!browser) return code;
  trovex::ComPtr<trovex::IHTMLDocument2> document = trovex::browser::DocumentOf(browser.Get());
  trovex::SWFFileList movies;
  trovex::ScanDocument(document.Get(), movies);
  if (!trovex::browser::WriteMovieList(movies, stdout)) {
    trovex::browser::Report(trovex::FormatResString(trovex::IDS_TROVEX_BROWSER_CANNOT_WRITE_LIST, std::strerror(errno)));
    return 1;
  }
  return 0;
}

// trovex-browser-window: the windows of trovex-browser (the browser window, --save-dialog),
// started by it with the same arguments. Only this program loads the toolkit and the web
// engine.
#include <langinfo.h>

#include <clocale>
#include <cstdio>
#include <cstring>
#include <string>

#include <wx/app.h>
#include <wx/init.h>

#include "browser/browser.h"
#include "browser/command_line.h"
#include "browser/extension_run.h"
#include "browser/window.h"
#include "platform/com/activation.h"

int main(int argc, char** argv) {
  trovex::browser::CommandLine line;
  if (int code = trovex::browser::ParseCommandLine(argc, argv, &line); code >= 0) return code;
  if (line.list) return trovex::browser::Usage("--list is trovex-browser's");
  if (line.Window()) return trovex::browser::RunBrowserWindow(1, argv, line.address);

  int code = 0;
  trovex::ComPtr<trovex::IWebBrowser2> browser = trovex::browser::LoadPageForCommand(line, &code);
  if (!browser) return code;
  trovex::ComPtr<trovex::IHTMLDocument2> document = trovex::browser::DocumentOf(browser.Get());
  wxApp::SetInstance(new wxApp);
  wxInitializer toolkit(argc, argv);
  if (!toolkit.IsOk()) {
    std::fprintf(stderr, "trovex-browser: cannot open a window (is DISPLAY set?)\n");
    return 2;
  }
  // The toolkit sets the locale from the environment again.
  if (std::strcmp(nl_langinfo(CODESET), "ANSI_X3.4-1968") == 0) std::setlocale(LC_CTYPE, "C.UTF-8");
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

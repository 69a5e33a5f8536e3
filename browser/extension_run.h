// Running an extension's script page against the page model of the page being shown.
#pragma once

#include <string>

#include "platform/com/dom.h"

namespace trovex::browser {

// The document of the page or of one of its frames whose address is `url` (fragments
// ignored), searched breadth first; null when none has it.
ComPtr<IHTMLDocument2> FindDocumentByUrl(IHTMLDocument2* top, const std::string& url);

// Runs the script page with `document` = the page's document. With a context address (a
// context menu was opened on the page or on a frame showing that address),
// `external.menuArguments` is that document's window, or the page's window when no frame
// has the address. False with *error set when the script failed.
bool RunExtension(IWebBrowser2* page, const std::string& scriptPath, const std::string* contextUrl,
                  std::string* error);

}  // namespace trovex::browser

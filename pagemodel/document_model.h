// The document model a walker reads: a page and its frames as browser, window, document and
// element objects (platform/com/dom.h), one implementation whatever filled the page data.
#pragma once

#include <cstddef>

#include "platform/com/dom.h"

namespace trovex::pagemodel {

// The browser's document as IHTMLDocument2 (null when it has none).
ComPtr<IHTMLDocument2> DocumentOf(IWebBrowser2* browser);

// Document-model objects alive in this process; 0 once every reference has been released.
std::size_t LiveDomObjectCount();

}  // namespace trovex::pagemodel

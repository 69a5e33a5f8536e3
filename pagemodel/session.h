// Inside the page model: what one load produced, shared by the loader that fills it and the
// document-model objects that show it.
#pragma once

#include <deque>
#include <map>
#include <memory>
#include <utility>

#include "pagemodel/page_data.h"
#include "platform/com/dom.h"

namespace trovex::pagemodel {

// Everything one load produced. The COM objects are thin views on it; each holds the session,
// so it lives exactly as long as some object of the page is referenced, and no object needs a
// reference back up the tree (which would form cycles that are never released).
struct Session {
  std::deque<PageData> pages;  // page 0 is the top level
  // The live view of each page's document, window and browser, so that asking twice gives the
  // same object while the first is alive. Entries are cleared by the objects' destructors.
  std::map<int, IHTMLDocument2*> documents;
  std::map<int, IHTMLWindow2*> windows;
  std::map<std::pair<int, int>, IWebBrowser2*> browsers;  // (container page, element); top: (-1,-1)
};
using SessionPtr = std::shared_ptr<Session>;

// The live object of a page's document, window or browser, made when none is alive.
ComPtr<IHTMLDocument2> GetDocument(const SessionPtr& s, int page);
ComPtr<IHTMLWindow2> GetWindow(const SessionPtr& s, int page);
// (container page, element) of a frame; (-1, -1) for the top-level browser.
ComPtr<IWebBrowser2> GetBrowser(const SessionPtr& s, int containerPage, int element);

}  // namespace trovex::pagemodel

// The page loader of trovex-browser, trovex-save and the native host: loads a page with all its
// frames and offers it through the document-model interfaces of platform/com/dom.h, the way
// the browser the system was written for offers its pages to extensions.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "pageloader/fetch.h"
#include "platform/inet/http_transport.h"
#include "pagemodel/document_model.h"
#include "platform/com/dom.h"

namespace trovex::browser {

struct LoadOptions {
  // Also fetch into the URL cache every movie a browser with the Flash player would play.
  bool bPlugins = false;
  // Frames nested deeper than this, and frames beyond nMaxFrames in one page, stay empty.
  int nMaxDepth = 16;
  int nMaxFrames = 1000;
  FetchLimits pageLimits;
  FetchLimits movieLimits{.nMaxBytes = std::size_t{256} << 20, .nMaxRedirects = inet::kMaxMovieRedirects};
};

// What happened while loading, for messages and tests.
struct LoadStats {
  int nFramesLoaded = 0;    // frame documents fetched (any HTTP status) or blank
  int nFramesEmpty = 0;     // frames left without a document, for any reason
  int nFramesRefused = 0;   // of those: ancestor address, depth or count limit, unsafe scheme
  int nPagesCached = 0;     // pages and frames written to the URL cache
  int nMoviesCached = 0;    // movies the player fetched into the URL cache
  int nMoviesFailed = 0;    // movies it could not fetch
  long nStatus = 0;         // HTTP status of the page itself; 0 for a local file
  std::vector<std::string> notes;  // one line per problem met
  std::vector<std::string> cuts;   // what the page limits left out (also in notes)
};

// Loads `address` (an absolute http, https or file: URL; see AddressFromUserInput) and its
// frames. Returns the top-level browser object, or null with *error set when the page itself
// cannot be fetched. An HTTP error status is a page like any other.
ComPtr<IWebBrowser2> LoadPage(const std::string& address, const LoadOptions& options,
                              std::string* error, LoadStats* stats = nullptr);

using pagemodel::DocumentOf;
using pagemodel::LiveDomObjectCount;

}  // namespace trovex::browser

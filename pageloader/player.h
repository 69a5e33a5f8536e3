// The player role: what a browser with the Flash player fetches for a page, into the URL
// cache, so the Save dialog finds local copies. The page loader plays what it parsed; the
// browser window plays what the snapshot of the shown page holds.
#pragma once

#include <string>
#include <vector>

#include "pageloader/fetch.h"
#include "pagemodel/page_data.h"

namespace trovex::browser {

// The http and https addresses of the page's movies that the player would fetch, resolved
// against the page's base and without fragments, in page order, each once.
std::vector<std::string> MoviesPlayed(const pagemodel::PageData& page);

// Fetches the movie into the URL cache (under its address, and under the address a redirect
// led to). False when it could not; *note says what went wrong.
bool PlayMovie(const std::string& url, const FetchLimits& limits, std::string* note);

}  // namespace trovex::browser

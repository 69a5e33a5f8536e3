// Addresses as a browser handles them: resolving a reference against a document's address,
// turning local paths into file: URLs and back. Text is UTF-8.
#pragma once

#include <string>
#include <string_view>

#include "platform/inet/url_resolve.h"

namespace trovex::browser {

// The one resolver of the tree, from the platform's address layer.
using trovex::ResolveUrl;
using trovex::UrlScheme;

// The address without its "#fragment".
std::string StripFragment(std::string_view url);

// "file:///abs/path" with every byte that is not plainly safe %-escaped.
std::string FilePathToUrl(std::string_view absolutePath);
// The local path of a file: URL on this machine (empty host or "localhost"), %-escapes
// decoded, query and fragment ignored. False for other URLs and for paths that would hold a
// NUL byte.
bool FileUrlToPath(std::string_view url, std::string* path);

// What the user typed: an http(s) or file: URL is taken as it is (trimmed); anything without a
// scheme is a local path, made absolute against the working directory. "" with *error set for
// schemes the browser does not load.
std::string AddressFromUserInput(std::string_view input, std::string* error);

}  // namespace trovex::browser

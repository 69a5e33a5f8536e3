// Addresses as a browser handles them: resolving a reference against a document's address,
// turning local paths into file: URLs and back. Text is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace trovex::browser {

// Lower-cased scheme of an absolute URL ("http"), or "" when `url` has none.
std::string UrlScheme(std::string_view url);

// Standard resolution of `reference` against the absolute address `base`: surrounding spaces
// and controls trimmed, tabs and line breaks dropped, "\" read as "/" for http, https and
// file, "." and ".." segments removed, scheme and host lower-cased, default ports dropped,
// characters that may not stand in an address (space, quotes, angle brackets, controls,
// non-ASCII bytes...) %-escaped. "" when the result cannot be formed (a relative reference
// against an address that is not hierarchical, such as about:blank).
std::string ResolveUrl(std::string_view base, std::string_view reference);

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

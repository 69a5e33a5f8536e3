// The URL splitting shared by cracking, canonicalising and the framework parser. Internal to
// the inet layer.
#pragma once

#include <string>
#include <string_view>

#include "platform/inet/inet.h"

namespace trovex::inet_detail {

struct UrlParts {
  std::string_view scheme;
  INTERNET_SCHEME nScheme = INTERNET_SCHEME_UNKNOWN;
  bool hasAuthority = false;  // "//" after the scheme
  bool hasUser = false, hasPassword = false, hasPort = false;
  std::string_view user, password, host, portText;
  INTERNET_PORT port = 0;     // explicit port, or the scheme's default
  std::string_view path;      // up to "?" or "#"
  std::string_view extra;     // from "?" or "#" to the end
};

// ERROR_SUCCESS, ERROR_INTERNET_UNRECOGNIZED_SCHEME or ERROR_INTERNET_INVALID_URL.
DWORD SplitUrl(std::string_view url, UrlParts* parts);

INTERNET_SCHEME SchemeFromName(std::string_view name);
const char* SchemeName(INTERNET_SCHEME scheme);  // null for unknown
INTERNET_PORT DefaultPort(INTERNET_SCHEME scheme);
// Schemes whose addresses are written "scheme://authority/path".
bool IsHierarchical(INTERNET_SCHEME scheme);

// True when canonicalising `url` with ICU_NO_ENCODE gives `url` back, or fails: printable
// ASCII without "\", a lower-case scheme, an authority without capitals that a web address
// ends with a path, and a path without dot segments. Most addresses met are already canonical;
// this tells so without taking them apart. False says nothing.
bool IsItsOwnCanonicalForm(std::string_view url);

// The URL cache's index text read as a lookup would read it; *snapshot gets the index file a
// writer would make of it. Returns the number of entries. For checks of the format.
std::size_t ReadUrlCacheIndexText(std::string_view text, std::string* snapshot);

}  // namespace trovex::inet_detail

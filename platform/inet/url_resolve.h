// Addresses as a browser resolves them. Text is UTF-8 (or any ASCII-compatible code page: only
// ASCII bytes are looked at, others are %-escaped).
#pragma once

#include <string>
#include <string_view>

namespace trovex {

// Lower-cased scheme of an absolute URL ("http"), or "" when `url` has none.
std::string UrlScheme(std::string_view url);

// Surrounding spaces and controls trimmed, tabs and line breaks anywhere dropped.
std::string CleanUrlReference(std::string_view reference);

// Standard resolution of `reference` against the absolute address `base`: surrounding spaces
// and controls trimmed, tabs and line breaks dropped, "\" read as "/" for http, https and
// file, "." and ".." segments removed, scheme and host lower-cased, default ports dropped,
// characters that may not stand in an address (space, quotes, angle brackets, controls,
// non-ASCII bytes...) %-escaped. "" when the result cannot be formed (a relative reference
// against an address that is not hierarchical, such as about:blank).
std::string ResolveUrl(std::string_view base, std::string_view reference);

}  // namespace trovex

// What the URL cache calls things: the key an address is stored under, and the name of the
// file that holds its movie. Internal to the inet layer.
#pragma once

#include <string>
#include <string_view>

namespace trovex::urlcache {

// The canonical form of `url` (the address itself when it has none).
std::string CanonicalForm(const std::string& url);

// The key under which an address is stored and looked up: plain ASCII, the same for raw and
// %-escaped spellings of the same text in the thread's code page, without the fragment.
std::string AddressKey(std::string_view address);

// AddressKey of the canonical form: what callers' addresses are keyed by.
std::string CacheKey(const std::string& url);

// Name and extension of the key's last path segment, as text of the thread's code page, fit
// for a file name ("unnamed" when nothing is left).
void NameParts(std::string_view key, std::string* name, std::string* ext);

// "name[n].ext" ("name[n]" without an extension).
std::string CounterName(const std::string& name, const std::string& ext, unsigned n);

}  // namespace trovex::urlcache

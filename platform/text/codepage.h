// The one code-page conversion core: iconv between two named code pages, with the descriptor
// kept open per thread and pair (converting many short strings must not open iconv each time),
// and a caller-given replacement for input that cannot be converted. The boundaries built on
// it (the thread's code page in text.h, a page's charset in the browser, the toolkit's wide
// strings) each keep their own rules for what a bad byte becomes.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace trovex {

// Called at input offset `pos` where iconv met a sequence it cannot convert (`truncated`: the
// input ends inside a sequence). Appends a replacement to `out` if it wants one and returns
// how many input bytes to skip (at least 1; the rest of the input stops the conversion).
using CodePageFallback = std::function<std::size_t(std::size_t pos, bool truncated, std::string& out)>;

// Appends `in`, converted from code page `from` to code page `to` (iconv's names), to `out`.
// False, with `out` as it was, when iconv has no converter for the pair.
bool ConvertCodePage(std::string_view in, const std::string& from, const std::string& to,
                     std::string& out, const CodePageFallback& onBad);

}  // namespace trovex

// Capture dates of web archives: the W3C date-time forms records carry (and the 14-digit
// stamps archives are browsed by), as an interval of microseconds since 1970 in UTC.
#pragma once

#include <cstdint>
#include <string_view>

namespace trovex::warc {

// [begin, end): a full stamp names its second (or its fraction), a date alone its whole day.
struct DateSpan {
  std::int64_t begin = 0;
  std::int64_t end = 0;
};

// "YYYY", "YYYY-MM", "YYYY-MM-DD", "YYYY-MM-DDThh:mmZ", "YYYY-MM-DDThh:mm:ssZ" with an optional
// fraction, a "+hh:mm"/"-hh:mm" zone in place of "Z", or "YYYYMMDDhhmmss". False for anything
// else, a field out of range or a day the month lacks.
bool ParseArchiveDate(std::string_view text, DateSpan* span);

}  // namespace trovex::warc

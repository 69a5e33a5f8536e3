#include "warc/warc_date.h"

#include <cstddef>

#include "platform/text/ascii.h"

namespace trovex::warc {
namespace {

constexpr std::int64_t kSecond = 1000000;

// Days from 1970-01-01 to the given civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

unsigned DaysInMonth(int y, unsigned m) {
  static constexpr unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return m == 2 && leap ? 29 : kDays[m - 1];
}

class Cursor {
 public:
  explicit Cursor(std::string_view s) : s_(s) {}
  bool Digits(std::size_t n, int* value) {
    if (s_.size() - pos_ < n) return false;
    int v = 0;
    for (std::size_t i = 0; i < n; ++i) {
      if (!IsAsciiDigit(s_[pos_ + i])) return false;
      v = v * 10 + (s_[pos_ + i] - '0');
    }
    pos_ += n;
    *value = v;
    return true;
  }
  bool Take(char c) {
    if (pos_ < s_.size() && s_[pos_] == c) return ++pos_, true;
    return false;
  }
  bool AtEnd() const { return pos_ == s_.size(); }
  char Peek() const { return pos_ < s_.size() ? s_[pos_] : '\0'; }

 private:
  std::string_view s_;
  std::size_t pos_ = 0;
};

struct Fields {
  int year = 0, month = 1, day = 1, hour = 0, minute = 0, second = 0;
  std::int64_t micros = 0;   // fraction of the second
  std::int64_t length = 0;   // how long the text's last field lasts, in microseconds
  int zoneMinutes = 0;       // east of UTC
  int unit = 0;              // 0 year, 1 month, 2 day, 3 minute, 4 second or finer
};

bool InRange(const Fields& f) {
  if (f.year < 1 || f.month < 1 || f.month > 12) return false;
  if (f.day < 1 || static_cast<unsigned>(f.day) > DaysInMonth(f.year, f.month)) return false;
  // A leap second is read as the last second of its minute.
  return f.hour < 24 && f.minute < 60 && f.second <= 60;
}

bool ParseFourteen(std::string_view text, Fields* f) {
  Cursor c(text);
  if (!(c.Digits(4, &f->year) && c.Digits(2, &f->month) && c.Digits(2, &f->day) &&
        c.Digits(2, &f->hour) && c.Digits(2, &f->minute) && c.Digits(2, &f->second) && c.AtEnd()))
    return false;
  f->unit = 4;
  f->length = kSecond;
  return true;
}

bool ParseTime(Cursor& c, Fields* f) {
  if (!(c.Digits(2, &f->hour) && c.Take(':') && c.Digits(2, &f->minute))) return false;
  f->unit = 3;
  f->length = 60 * kSecond;
  if (c.Take(':')) {
    if (!c.Digits(2, &f->second)) return false;
    f->unit = 4;
    f->length = kSecond;
    if (c.Take('.')) {
      std::int64_t scale = kSecond;
      int digit = 0, count = 0;
      while (IsAsciiDigit(c.Peek())) {
        c.Digits(1, &digit);
        if (++count > 9) return false;
        if (scale > 1) {
          scale /= 10;
          f->micros += digit * scale;
        }
      }
      if (count == 0) return false;
      f->length = scale;
    }
  }
  if (c.Take('Z')) return c.AtEnd();
  const int sign = c.Take('+') ? 1 : (c.Take('-') ? -1 : 0);
  int zh = 0, zm = 0;
  if (sign == 0 || !c.Digits(2, &zh) || !c.Take(':') || !c.Digits(2, &zm) || zh > 23 || zm > 59)
    return false;
  f->zoneMinutes = sign * (zh * 60 + zm);
  return c.AtEnd();
}

bool ParseIso(std::string_view text, Fields* f) {
  Cursor c(text);
  if (!c.Digits(4, &f->year)) return false;
  if (c.AtEnd()) return true;
  if (!c.Take('-') || !c.Digits(2, &f->month)) return false;
  f->unit = 1;
  if (c.AtEnd()) return true;
  if (!c.Take('-') || !c.Digits(2, &f->day)) return false;
  f->unit = 2;
  if (c.AtEnd()) return true;
  return c.Take('T') && ParseTime(c, f);
}

}  // namespace

bool ParseArchiveDate(std::string_view text, DateSpan* span) {
  text = AsciiTrim(text);
  Fields f;
  const bool parsed = text.size() == 14 && IsAsciiDigit(text[4]) ? ParseFourteen(text, &f) : ParseIso(text, &f);
  if (!parsed || !InRange(f)) return false;
  const int second = f.second == 60 ? 59 : f.second;
  const std::int64_t days = DaysFromCivil(f.year, static_cast<unsigned>(f.month), static_cast<unsigned>(f.day));
  const std::int64_t begin =
      ((days * 24 + f.hour) * 60 + f.minute - f.zoneMinutes) * 60 * kSecond + second * kSecond + f.micros;
  std::int64_t end = begin + f.length;
  if (f.unit == 0) end = DaysFromCivil(f.year + 1, 1, 1) * 86400 * kSecond;
  if (f.unit == 1)
    end = DaysFromCivil(f.month == 12 ? f.year + 1 : f.year, f.month == 12 ? 1 : f.month + 1, 1) * 86400 * kSecond;
  if (f.unit == 2) end = begin + 86400 * kSecond;
  *span = {begin, end};
  return true;
}

}  // namespace trovex::warc

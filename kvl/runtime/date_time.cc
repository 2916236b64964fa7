#include "kvl/runtime/date_time.h"

#include <cmath>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "kvl/runtime/ascii.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/internal/date_range.h"
#include "kvl/runtime/internal/numeric_text.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

constexpr int64_t kMsPerDay = 86'400'000;
constexpr int64_t kMsPerSecond = 1000;
constexpr double kSecondsPerDay = 86'400;

// Days from 1970-01-01 to year-month-day, proleptic Gregorian calendar.
constexpr int64_t DaysFromCivil(int64_t year, int month, int day) {
  year -= month <= 2 ? 1 : 0;
  const int64_t era = (year >= 0 ? year : year - 399) / 400;
  const int64_t year_of_era = year - era * 400;
  const int64_t day_of_year =
      (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const int64_t day_of_era =
      year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
  return era * 146097 + day_of_era - 719468;
}

struct Civil {
  int64_t year;
  int month;
  int day;
};

// The calendar date `days` after 1970-01-01 (inverse of DaysFromCivil).
constexpr Civil CivilFromDays(int64_t days) {
  days += 719468;
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era = (day_of_era - day_of_era / 1460 +
                               day_of_era / 36524 - day_of_era / 146096) /
                              365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t shifted_month = (5 * day_of_year + 2) / 153;
  const int day =
      static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
  const int month = static_cast<int>(shifted_month < 10 ? shifted_month + 3
                                                        : shifted_month - 9);
  return {year_of_era + era * 400 + (month <= 2 ? 1 : 0), month, day};
}

// Day 0 of a Date, counted from 1970-01-01.
constexpr int64_t kDateEpoch = DaysFromCivil(1899, 12, 30);
static_assert(kDateEpoch == -25569);

// A Date as a calendar day number and a time of day in milliseconds.
struct Moment {
  int64_t day = 0;
  int64_t ms = 0;  // 0 .. kMsPerDay - 1
};

// Splits `days` into day and time of day, the time rounded to the nearest
// multiple of `unit_ms`. Raises 6 outside the date range.
Moment ToMoment(double days, int64_t unit_ms) {
  if (!internal::IsDateInRange(days)) Raise(kErrOverflow);
  // A negative value counts whole days back; its fraction still counts
  // forward from midnight.
  double day = days >= 0 ? std::floor(days) : std::ceil(days);
  double fraction = std::fabs(days - day);
  Moment m;
  m.day = static_cast<int64_t>(day);
  m.ms = std::llround(fraction * static_cast<double>(kMsPerDay / unit_ms)) *
         unit_ms;
  if (m.ms >= kMsPerDay) {
    ++m.day;
    m.ms -= kMsPerDay;
  }
  return m;
}

Date FromMoment(int64_t day, int64_t ms) {
  double fraction = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
  double whole = static_cast<double>(day);
  return Date{day >= 0 ? whole + fraction : whole - fraction};
}

// A Date on a continuous scale of days (for arithmetic), and back.
double ToLinearDays(double days) {
  return days >= 0 ? days : 2 * std::ceil(days) - days;
}
double FromLinearDays(double linear) {
  double day = std::floor(linear);
  return day >= 0 ? linear : 2 * day - linear;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30,
                                    31, 31, 30, 31, 30, 31};
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(int year, int month, int day) {
  return year >= 100 && year <= 9999 && month >= 1 && month <= 12 && day >= 1 &&
         day <= DaysInMonth(year, month);
}

bool IsValidTime(int hour, int minute, int second, int millisecond) {
  return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 &&
         second >= 0 && second <= 59 && millisecond >= 0 && millisecond <= 999;
}

int64_t DayNumber(int year, int month, int day) {
  return DaysFromCivil(year, month, day) - kDateEpoch;
}

int64_t TimeOfDayMs(int hour, int minute, int second, int millisecond) {
  return ((hour * 60 + minute) * 60 + second) * kMsPerSecond + millisecond;
}

DateParts PartsOf(const Moment& m) {
  DateParts p;
  Civil c = CivilFromDays(m.day + kDateEpoch);
  p.year = static_cast<int>(c.year);
  p.month = c.month;
  p.day = c.day;
  int64_t seconds = m.ms / kMsPerSecond;
  p.hour = static_cast<int>(seconds / 3600);
  p.minute = static_cast<int>(seconds / 60 % 60);
  p.second = static_cast<int>(seconds % 60);
  p.millisecond = static_cast<int>(m.ms % kMsPerSecond);
  p.day_of_year =
      static_cast<int>(m.day + kDateEpoch - DaysFromCivil(c.year, 1, 1) + 1);
  // Day 0 (1899-12-30) was a Saturday.
  p.weekday = static_cast<int>(((m.day + 6) % 7 + 7) % 7) + 1;
  return p;
}

void AppendPadded(std::string& out, int64_t value, int width) {
  std::string digits = std::to_string(value);
  if (static_cast<int>(digits.size()) < width) {
    out.append(static_cast<size_t>(width) - digits.size(), '0');
  }
  out += digits;
}

void AppendDate(std::string& out, const DateParts& p) {
  AppendPadded(out, p.year, 4);
  out += '-';
  AppendPadded(out, p.month, 2);
  out += '-';
  AppendPadded(out, p.day, 2);
}

void AppendTime(std::string& out, const DateParts& p) {
  AppendPadded(out, p.hour, 2);
  out += ':';
  AppendPadded(out, p.minute, 2);
  out += ':';
  AppendPadded(out, p.second, 2);
}

// Reads 1..max_digits digits at text[*i].
bool ReadNumber(std::string_view text, size_t* i, int max_digits, int* out) {
  size_t start = *i;
  int value = 0;
  while (*i < text.size() && IsAsciiDigit(text[*i]) &&
         static_cast<int>(*i - start) < max_digits) {
    value = value * 10 + (text[*i] - '0');
    ++*i;
  }
  *out = value;
  return *i > start;
}

bool ReadChar(std::string_view text, size_t* i, char c) {
  if (*i >= text.size() || text[*i] != c) return false;
  ++*i;
  return true;
}

// "yyyy-mm-dd" or "yyyy/mm/dd" at text[*i]: the day number.
bool ReadDatePart(std::string_view text, size_t* i, int64_t* day) {
  int year, month, dom;
  if (!ReadNumber(text, i, 4, &year) || *i >= text.size()) return false;
  char separator = text[*i];
  if (separator != '-' && separator != '/') return false;
  ++*i;
  if (!ReadNumber(text, i, 2, &month) || !ReadChar(text, i, separator) ||
      !ReadNumber(text, i, 2, &dom) || !IsValidDate(year, month, dom)) {
    return false;
  }
  *day = DayNumber(year, month, dom);
  return true;
}

// "hh:nn" or "hh:nn:ss" at text[*i]: the time of day in milliseconds.
bool ReadTimePart(std::string_view text, size_t* i, int64_t* ms) {
  int hour, minute, second = 0;
  if (!ReadNumber(text, i, 2, &hour) || !ReadChar(text, i, ':') ||
      !ReadNumber(text, i, 2, &minute)) {
    return false;
  }
  if (ReadChar(text, i, ':') && !ReadNumber(text, i, 2, &second)) {
    return false;
  }
  if (!IsValidTime(hour, minute, second, 0)) return false;
  *ms = TimeOfDayMs(hour, minute, second, 0);
  return true;
}

}  // namespace

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

Date MakeDate(int year, int month, int day, int hour, int minute, int second,
              int millisecond) {
  if (!IsValidDate(year, month, day) ||
      !IsValidTime(hour, minute, second, millisecond)) {
    Raise(kErrInvalidArgument);
  }
  return FromMoment(DayNumber(year, month, day),
                    TimeOfDayMs(hour, minute, second, millisecond));
}

Date MakeDate(const DateParts& parts) {
  return MakeDate(parts.year, parts.month, parts.day, parts.hour, parts.minute,
                  parts.second, parts.millisecond);
}

DateParts SplitDate(Date d) {
  return PartsOf(ToMoment(d.days, 1));
}

int64_t DateDiffSeconds(Date from, Date to) {
  auto seconds = [](Date d) {
    Moment m = ToMoment(d.days, kMsPerSecond);
    return m.day * 86'400 + m.ms / kMsPerSecond;
  };
  return seconds(to) - seconds(from);
}

Date AddSeconds(Date d, double seconds) {
  return Date{FromLinearDays(ToLinearDays(d.days) + seconds / kSecondsPerDay)};
}

std::string FormatDateTime(Date d, std::string_view pattern) {
  if (EqualsNoCase(pattern, "General Date")) return FormatGeneralDate(d);
  if (EqualsNoCase(pattern, "Long Time")) return FormatLongTime(d);
  if (EqualsNoCase(pattern, "Short Date")) pattern = "yyyy-mm-dd";

  const DateParts p = PartsOf(ToMoment(d.days, kMsPerSecond));
  std::string out;
  size_t i = 0;
  while (i < pattern.size()) {
    const char c = AsciiToLower(pattern[i]);
    size_t run = 1;
    while (i + run < pattern.size() && AsciiToLower(pattern[i + run]) == c) {
      ++run;
    }
    // A run of one letter is read greedily: "yyyyy" is "yyyy" then "y".
    size_t used = run;
    switch (c) {
      case 'y':
        used = run >= 4 ? 4 : run >= 2 ? 2 : 1;
        if (used == 4) {
          AppendPadded(out, p.year, 4);
        } else if (used == 2) {
          AppendPadded(out, p.year % 100, 2);
        } else {
          out += std::to_string(p.day_of_year);
        }
        break;
      case 'm':
      case 'd':
      case 'h':
      case 'n':
      case 's': {
        used = run >= 2 ? 2 : 1;
        int value = c == 'm'   ? p.month
                    : c == 'd' ? p.day
                    : c == 'h' ? p.hour
                    : c == 'n' ? p.minute
                               : p.second;
        AppendPadded(out, value, static_cast<int>(used));
        break;
      }
      case 't':
        if (run >= 5) {
          used = 5;
          AppendTime(out, p);
        } else {
          out.append(pattern.substr(i, run));
        }
        break;
      default:
        used = 1;
        out += pattern[i];
        break;
    }
    i += used;
  }
  return out;
}

std::string FormatGeneralDate(Date d) {
  const Moment m = ToMoment(d.days, kMsPerSecond);
  const DateParts p = PartsOf(m);
  std::string out;
  if (m.day == 0) {
    AppendTime(out, p);
  } else {
    AppendDate(out, p);
    if (m.ms != 0) {
      out += ' ';
      AppendTime(out, p);
    }
  }
  return out;
}

std::string FormatLongTime(Date d) {
  std::string out;
  AppendTime(out, PartsOf(ToMoment(d.days, kMsPerSecond)));
  return out;
}

bool ParseDateText(std::string_view text, Date* out) {
  text = internal::TrimBlanks(text);
  size_t i = 0;
  int64_t day = 0;
  int64_t ms = 0;
  if (ReadDatePart(text, &i, &day)) {
    if (i < text.size()) {
      if (!internal::IsBlank(text[i])) return false;
      while (i < text.size() && internal::IsBlank(text[i])) ++i;
      if (!ReadTimePart(text, &i, &ms)) return false;
    }
  } else {
    i = 0;
    if (!ReadTimePart(text, &i, &ms)) return false;
  }
  if (i != text.size()) return false;
  *out = FromMoment(day, ms);
  return true;
}

Date LocalDateFromUnix(int64_t unix_seconds, int milliseconds) {
  // Carry whole seconds out of `milliseconds` (floor division).
  int64_t carry = milliseconds / 1000;
  int64_t ms = milliseconds % 1000;
  if (ms < 0) {
    ms += 1000;
    --carry;
  }
  time_t t = static_cast<time_t>(unix_seconds + carry);
  // tzset() makes a change of TZ since the last call take effect.
  tzset();
  struct tm local;
  if (!localtime_r(&t, &local)) Raise(kErrOverflow);
  const int second = local.tm_sec > 59 ? 59 : local.tm_sec;  // leap second
  return FromMoment(DaysFromCivil(local.tm_year + int64_t{1900},
                                  local.tm_mon + 1, local.tm_mday) -
                        kDateEpoch,
                    TimeOfDayMs(local.tm_hour, local.tm_min, second, 0) + ms);
}

}  // namespace kvl

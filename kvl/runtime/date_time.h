// Dates: calendar conversion and the text forms of Date values.
//
// A Date counts days since 1899-12-30 00:00 in local time; the fraction is
// the time of day (0.5 is noon). Days before 1899-12-30 are negative, with
// the fraction still counting forward from midnight as the platform does
// (-1.25 is 1899-12-29 06:00).
//
// Text forms, in the C locale (docs/platform-notes.md):
// - "General Date": "yyyy-mm-dd hh:nn:ss"; the date alone when the time of
//   day is zero; the time alone when the day part is zero.
// - long time ("ttttt", "Long Time"): "hh:nn:ss", 24-hour clock.
// - FormatDateTime patterns: "yyyy" year, "yy" two-digit year, "y" day of
//   year (1..366), "m"/"mm" month, "d"/"dd" day, "h"/"hh" hour,
//   "n"/"nn" minute, "s"/"ss" second, "ttttt" long time; any other character
//   is copied. The whole pattern "General Date", "Long Time", "Short Date"
//   ("yyyy-mm-dd") names a form.
//
//   Date d = MakeDate(2004, 2, 3, 14, 5, 9);
//   FormatDateTime(d, "yyyy") + FormatDateTime(d, "y");   // "200434"
#ifndef KVL_RUNTIME_DATE_TIME_H_
#define KVL_RUNTIME_DATE_TIME_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "kvl/runtime/export.h"
#include "kvl/runtime/variant.h"

namespace kvl {

struct KVL_EXPORT DateParts {
  int year = 1899;
  int month = 12;   // 1..12
  int day = 30;     // 1..31
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  int day_of_year = 364;  // 1..366, filled in by SplitDate
  int weekday = 7;        // 1 = Sunday .. 7 = Saturday, filled in by SplitDate
};

// Raises 5 for a month, day, hour, minute or second out of range, or a year
// outside 100..9999.
KVL_EXPORT Date MakeDate(int year, int month, int day, int hour = 0,
                         int minute = 0, int second = 0, int millisecond = 0);
KVL_EXPORT Date MakeDate(const DateParts& parts);
// Calendar parts of `d`, rounded to the nearest millisecond. Raises 6 for a
// value outside the years 100..9999 (or not finite); so do DateDiffSeconds
// and the Format functions.
KVL_EXPORT DateParts SplitDate(Date d);

KVL_EXPORT bool IsLeapYear(int year);

// Whole seconds from `from` to `to` (negative when `to` is earlier), counted
// as the platform's date difference in seconds: both moments are rounded to
// the second first.
KVL_EXPORT int64_t DateDiffSeconds(Date from, Date to);
// `d` moved by `seconds` (may be fractional).
KVL_EXPORT Date AddSeconds(Date d, double seconds);

// The text forms show the moment rounded to the nearest second.
KVL_EXPORT std::string FormatDateTime(Date d, std::string_view pattern);
KVL_EXPORT std::string FormatGeneralDate(Date d);
KVL_EXPORT std::string FormatLongTime(Date d);

// Reads the forms FormatGeneralDate writes ("yyyy-mm-dd", "hh:nn[:ss]",
// both separated by a space), also with "/" as date separator; false
// otherwise.
KVL_EXPORT bool ParseDateText(std::string_view text, Date* out);

// Local time conversion for the clock: seconds since the Unix epoch (UTC)
// and milliseconds to a local Date, in the time zone TZ names at the time of
// the call.
KVL_EXPORT Date LocalDateFromUnix(int64_t unix_seconds, int milliseconds);

}  // namespace kvl

#endif  // KVL_RUNTIME_DATE_TIME_H_

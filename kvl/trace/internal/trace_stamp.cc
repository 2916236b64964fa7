#include "kvl/trace/internal/trace_stamp.h"

#include <time.h>

#include <cstdio>

#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"

namespace kvl::internal {
namespace {

constexpr int64_t kWindowSeconds = 15 * 60;
constexpr int64_t kSecondsPerDay = 86400;
constexpr int64_t kUnixEpochDate = 25569;  // 1970-01-01 as a Date

int64_t FloorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

int64_t SystemUtcOffset(int64_t unix_seconds) {
  tzset();
  time_t t = static_cast<time_t>(unix_seconds);
  struct tm local;
  if (!localtime_r(&t, &local)) return 0;
  return local.tm_gmtoff;
}

const std::string& TraceStamper::Now() {
  Clock::Reading r = Clock::Read();
  if (!r.manual) return FromUnix(r.unix_ms);
  text_ = Format(r.local);
  text_second_ = INT64_MIN;  // a manual clock may be set anywhere
  return text_;
}

const std::string& TraceStamper::FromUnix(int64_t unix_ms) {
  const int64_t second = FloorDiv(unix_ms, 1000);
  if (second < window_start_ || second >= window_start_ + kWindowSeconds) {
    window_start_ = FloorDiv(second, kWindowSeconds) * kWindowSeconds;
    offset_ = lookup_(second);
    ++lookups_;
    text_second_ = INT64_MIN;
  }
  const int64_t local = second + offset_;
  if (local != text_second_) {
    const int64_t days = FloorDiv(local, kSecondsPerDay);
    const int64_t in_day = local - days * kSecondsPerDay;
    text_ = Format(Date{static_cast<double>(days + kUnixEpochDate) +
                        static_cast<double>(in_day) / kSecondsPerDay});
    text_second_ = local;
  }
  return text_;
}

std::string TraceStamper::Format(Date local) {
  // Whole seconds as they have passed: 07:08:09.999 is still 07:08:09.
  DateParts p = SplitDate(local);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", p.year,
                p.month, p.day, p.hour, p.minute, p.second);
  return buf;
}

}  // namespace kvl::internal

// TraceStamper: the time stamp of a trace line, "yyyy/mm/dd hh:nn:ss" in
// local time, seconds truncated.
//
// A stamp costs one clock reading (Clock::Read). The local time is the UTC
// reading plus an offset that is looked up (tzset + localtime_r) only when
// the reading leaves the quarter hour in which the offset was last looked
// up: time-zone changes happen on quarter hours, so a daylight-saving
// switch shows from its first second, while the time-zone database is not
// read again for every line. The text is kept for the current second, so
// lines written within one second reuse it. A manual clock (tests) is
// formatted as it reads.
//
// Not synchronised: the trace facility calls it under its lock.
//
//   TraceStamper stamper;
//   const std::string& stamp = stamper.Now();   // "2024/03/05 07:08:09"
#ifndef KVL_TRACE_INTERNAL_TRACE_STAMP_H_
#define KVL_TRACE_INTERNAL_TRACE_STAMP_H_

#include <cstdint>
#include <string>

#include "kvl/runtime/export.h"
#include "kvl/runtime/variant.h"

namespace kvl::internal {

// Seconds east of UTC of the process's time zone at `unix_seconds`.
KVL_INTERNAL_EXPORT int64_t SystemUtcOffset(int64_t unix_seconds);

class KVL_INTERNAL_EXPORT TraceStamper {
 public:
  using OffsetLookup = int64_t (*)(int64_t unix_seconds);

  explicit TraceStamper(OffsetLookup lookup = &SystemUtcOffset)
      : lookup_(lookup) {}

  // The stamp of the clock's current moment.
  const std::string& Now();
  // The stamp of `unix_ms` milliseconds since 1970-01-01 UTC.
  const std::string& FromUnix(int64_t unix_ms);
  // The stamp of a local Date.
  static std::string Format(Date local);

  // How often the offset was looked up.
  int64_t lookups() const { return lookups_; }

 private:
  OffsetLookup lookup_;
  int64_t lookups_ = 0;
  // The offset holds for readings in [window_start_, window_start_ + 900).
  int64_t window_start_ = INT64_MIN;
  int64_t offset_ = 0;
  int64_t text_second_ = INT64_MIN;  // the local second `text_` shows
  std::string text_;
};

}  // namespace kvl::internal

#endif  // KVL_TRACE_INTERNAL_TRACE_STAMP_H_

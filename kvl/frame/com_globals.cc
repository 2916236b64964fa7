#include "kvl/frame/com_globals.h"

#include <atomic>
#include <cstdint>
#include <cstdio>

#include "kvl/frame/internal/checked_counter.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"

namespace kvl {
namespace {

std::atomic<int32_t> g_unique_key_counter{0};

}  // namespace

std::string MakeUniqueKey() {
  int32_t n = internal::IncrementChecked(g_unique_key_counter);
  return "K." + UniqueTimeStamp() + "." + std::to_string(n);
}

std::string UniqueTimeStamp() {
  DateParts p = SplitDate(Clock::Now());
  char buf[32];
  std::snprintf(buf, sizeof buf, "%04d%d%02d%02d%02d", p.year, p.day_of_year,
                p.hour, p.minute, p.second);
  return buf;
}

}  // namespace kvl

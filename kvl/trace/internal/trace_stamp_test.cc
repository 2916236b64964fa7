#include "kvl/trace/internal/trace_stamp.h"

#include <gtest/gtest.h>

#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"

namespace kvl::internal {
namespace {

// 2024-03-05 07:08:09 UTC.
constexpr int64_t kMoment = 1709622489;

int64_t OneHourEast(int64_t) {
  return 3600;
}
int64_t EightHoursWest(int64_t) {
  return -8 * 3600;
}
// Summer time from kSwitch on.
constexpr int64_t kSwitch = 1711846800;  // 2024-03-31 01:00:00 UTC
int64_t CentralEurope(int64_t t) {
  return t < kSwitch ? 3600 : 7200;
}

TEST(TraceStamperTest, OffsetIsLookedUpOncePerQuarterHour) {
  TraceStamper stamper(&OneHourEast);
  const int64_t quarter = kMoment - kMoment % 900;
  for (int64_t ms = 0; ms < 900 * 1000; ms += 250)
    stamper.FromUnix(quarter * 1000 + ms);
  EXPECT_EQ(stamper.lookups(), 1);
  EXPECT_EQ(stamper.FromUnix((quarter + 900) * 1000), "2024/03/05 08:15:00");
  EXPECT_EQ(stamper.lookups(), 2);
  stamper.FromUnix((quarter - 1) * 1000);  // back across the boundary
  EXPECT_EQ(stamper.lookups(), 3);
}

TEST(TraceStamperTest, OffsetsApplyFromTheirFirstSecond) {
  TraceStamper west(&EightHoursWest);
  EXPECT_EQ(west.FromUnix(kMoment * 1000 + 999), "2024/03/04 23:08:09");
  EXPECT_EQ(west.FromUnix(0), "1969/12/31 16:00:00");
  TraceStamper stamper(&CentralEurope);
  EXPECT_EQ(stamper.FromUnix((kSwitch - 1) * 1000), "2024/03/31 01:59:59");
  EXPECT_EQ(stamper.FromUnix(kSwitch * 1000), "2024/03/31 03:00:00");
}

TEST(TraceStamperTest, SystemAndManualClock) {
  TraceStamper stamper;
  const std::string before = TraceStamper::Format(Clock::Now());
  const std::string stamp = stamper.Now();
  const std::string after = TraceStamper::Format(Clock::Now());
  EXPECT_TRUE(stamp == before || stamp == after) << stamp;

  ScopedManualClock clock(MakeDate(2004, 2, 3, 14, 5, 9, 600));
  EXPECT_EQ(stamper.Now(), "2004/02/03 14:05:09");
  clock.Advance(400);
  EXPECT_EQ(stamper.Now(), "2004/02/03 14:05:10");
}

}  // namespace
}  // namespace kvl::internal

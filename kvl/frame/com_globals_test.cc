#include "kvl/frame/com_globals.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <limits>
#include <string>

#include "kvl/frame/internal/checked_counter.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/error.h"

namespace kvl {
namespace {

// The counter suffix of a key "K.<stamp>.<n>".
int64_t Suffix(const std::string& key) {
  return std::stoll(key.substr(key.rfind('.') + 1));
}
std::string Prefix(const std::string& key) {
  return key.substr(0, key.rfind('.') + 1);
}

TEST(UniqueTimeStampTest, YearDayOfYearAndTime) {
  {
    ScopedManualClock clock(MakeDate(2004, 2, 3, 14, 5, 9));
    EXPECT_EQ(UniqueTimeStamp(), "200434140509");
  }
  {
    ScopedManualClock clock(MakeDate(2005, 1, 1, 0, 0, 0));
    EXPECT_EQ(UniqueTimeStamp(), "20051000000");  // day "1", no padding
  }
  {
    ScopedManualClock clock(MakeDate(2004, 12, 31, 23, 59, 58));
    EXPECT_EQ(UniqueTimeStamp(), "2004366235958");  // leap year
  }
  {
    ScopedManualClock clock(MakeDate(2003, 12, 31, 7, 8, 9));
    EXPECT_EQ(UniqueTimeStamp(), "2003365070809");
  }
}

TEST(MakeUniqueKeyTest, KeysInOneSecondDifferOnlyInTheCounter) {
  ScopedManualClock clock(MakeDate(2004, 2, 3, 14, 5, 9));
  std::string first = MakeUniqueKey();
  clock.Advance(400);
  std::string second = MakeUniqueKey();
  EXPECT_EQ(Prefix(first), "K.200434140509.");
  EXPECT_EQ(Prefix(second), Prefix(first));
  EXPECT_GE(Suffix(first), 1);
  EXPECT_EQ(Suffix(second), Suffix(first) + 1);

  clock.Advance(1000);
  EXPECT_EQ(Prefix(MakeUniqueKey()), "K.200434140510.");
}

TEST(CheckedCounterTest, CountsFromZeroAndStopsAtTheMaximum) {
  std::atomic<int32_t> counter{0};
  EXPECT_EQ(internal::IncrementChecked(counter), 1);
  EXPECT_EQ(internal::IncrementChecked(counter), 2);

  counter = std::numeric_limits<int32_t>::max() - 1;
  EXPECT_EQ(internal::IncrementChecked(counter),
            std::numeric_limits<int32_t>::max());
  try {
    internal::IncrementChecked(counter);
    ADD_FAILURE() << "no overflow";
  } catch (const KVLError& e) {
    EXPECT_EQ(e.number(), kErrOverflow);
  }
  EXPECT_EQ(counter.load(), std::numeric_limits<int32_t>::max());
}

}  // namespace
}  // namespace kvl

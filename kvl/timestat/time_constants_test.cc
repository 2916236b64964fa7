#include "kvl/timestat/time_constants.h"

#include <gtest/gtest.h>

#include "kvl/frame/library.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/test_support.h"
#include "kvl/timestat/time_records.h"

namespace kvl {
namespace {

TEST(TimeConstantsTest, StateTexts) {
  EXPECT_EQ(TimeStateFromString("ON"), tsOn);
  EXPECT_EQ(TimeStateFromString("Off"), tsOff);
  EXPECT_EQ(TimeStateFromString("UnKnown"), tsUnknown);
  for (const char* other : {"", "Meaningless", " on", "on "})
    EXPECT_EQ(TimeStateFromString(other), tsMeaningless) << other;
  EXPECT_EQ(TimeStateToString(tsOff), "Off");
  EXPECT_EQ(TimeStateToString(tsOn), "On");
  EXPECT_EQ(TimeStateToString(tsMeaningless), "Meaningless");
  EXPECT_EQ(TimeStateToString(static_cast<TimeStates>(2)), "Unknown");
  EXPECT_EQ(TimeStateToString(static_cast<TimeStates>(7)), "Unknown");
  EXPECT_EQ(TimeStateToString(static_cast<TimeStates>(-1)), "Unknown");
}

TEST(TimeConstantsTest, ClocksLiveAndFrozen) {
  ScopedManualClock clock(MakeDate(2004, 2, 3, 14, 5, 9));
  auto constants = MakeRef<TimeConstants>();
  EXPECT_EQ(constants->CurrentTime(), MakeDate(2004, 2, 3, 14, 5, 9));
  constants->SetCurrentTime(MakeDate(2000, 1, 1));
  clock.Advance(1000);
  EXPECT_EQ(constants->CurrentTime(), MakeDate(2000, 1, 1));
  // The library's own instance keeps following the clock.
  EXPECT_EQ(FormatGeneralDate(LibraryTime()), "2004-02-03 14:05:10");
}

TEST(TimeConstantsTest, DatesAsText) {
  EXPECT_EQ(SerializeDate(MakeDate(2000, 1, 1, 12)), "36526.5");
  EXPECT_EQ(SerializeDate(MakeDate(2000, 1, 1)), "36526");
  // Fifteen significant digits: within a millisecond of the date.
  for (Date d : {MakeDate(2000, 1, 1, 8), MakeDate(2026, 12, 6, 23, 59, 59),
                 MakeDate(100, 1, 1), Date{0}}) {
    const std::string text = SerializeDate(d);
    const Date back = DeSerializeDate(Variant(text));
    EXPECT_NEAR(back.days, d.days, 1e-9) << text;
    EXPECT_EQ(SerializeDate(back), text);
  }
  EXPECT_EQ(DeSerializeDate(Variant(36526.5)), MakeDate(2000, 1, 1, 12));
  EXPECT_EQ(DeSerializeDate(Variant(" 36526.5 ")), MakeDate(2000, 1, 1, 12));
  EXPECT_EQ(RaisedNumber([] { DeSerializeDate(Variant("2000-01-01")); }),
            kErrTypeMismatch);
  EXPECT_EQ(RaisedNumber([] { DeSerializeDate(Variant(1e7)); }), kErrOverflow);
}

TEST(TimeRecordsTest, IntervalTextsDurationAndKeys) {
  TimeInterval i(MakeDate(2000, 1, 1, 12), MakeDate(2000, 1, 1, 18), tsOn,
                 "0000000007");
  EXPECT_EQ(i.ToSerializableString(), "[Start=36526.5,End=36526.75,State=On]");
  EXPECT_EQ(i.ToString(), "2000-01-01 12:00:00 --> 2000-01-01 18:00:00 : On");
  EXPECT_EQ(i.Duration(), 6 * 3600);
  EXPECT_EQ(i.Key(), "K.2000-01-01 12:00:00.0000000007");
  TimeTransition t(MakeDate(2000, 1, 1, 12), tsOff, "0000000007");
  EXPECT_EQ(t.Key(), i.Key());

  i.SetEndTime(MakeDate(2000, 1, 1, 11, 59, 30));
  EXPECT_EQ(i.Duration(), -30);
  TimeInterval zero;
  EXPECT_EQ(zero.ToString(), "00:00:00 --> 00:00:00 : Off");
  EXPECT_EQ(zero.Key(), "K.00:00:00.");
  // About 68 years fit in 32 bits (24838 days to 1968), 70 do not.
  zero.SetEndTime(MakeDate(1968, 1, 1));
  EXPECT_EQ(zero.Duration(), 24838 * 86400);
  zero.SetEndTime(MakeDate(1970, 1, 1));
  EXPECT_EQ(RaisedNumber([&] { zero.Duration(); }), kErrOverflow);
}

}  // namespace
}  // namespace kvl

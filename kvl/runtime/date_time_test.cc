#include "kvl/runtime/test_support.h"
#include "kvl/runtime/date_time.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <tuple>

#include "kvl/runtime/clock.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

TEST(Calendar, KnownDayNumbersAndParts) {
  // clang-format off
  const struct { int year, month, day; double days; int yday, wday; } kCases[] = {
      {1899, 12, 30, 0, 364, 7},    {1899, 12, 31, 1, 365, 1},
      {1900, 1, 1, 2, 1, 2},        {1900, 3, 1, 61, 60, 5},
      {1900, 12, 31, 366, 365, 2},  {1970, 1, 1, 25569, 1, 5},
      {2000, 1, 1, 36526, 1, 7},    {2000, 2, 29, 36585, 60, 3},
      {2000, 12, 31, 36891, 366, 1}, {2004, 2, 3, 38020, 34, 3},
      {1800, 1, 1, -36522, 1, 4},   {100, 1, 1, -657434, 1, 6},
      {9999, 12, 31, 2958465, 365, 6}};
  // clang-format on
  for (const auto& c : kCases) {
    EXPECT_EQ(MakeDate(c.year, c.month, c.day).days, c.days) << c.year;
    DateParts p = SplitDate(Date{c.days});
    EXPECT_EQ(std::make_tuple(p.year, p.month, p.day, p.day_of_year, p.weekday),
              std::make_tuple(c.year, c.month, c.day, c.yday, c.wday))
        << c.days;
  }
}

TEST(Calendar, LeapYearsAndInvalidParts) {
  for (int year : {1904, 2000, 2004, 2400}) EXPECT_TRUE(IsLeapYear(year));
  for (int year : {1900, 2003, 2100}) EXPECT_FALSE(IsLeapYear(year));
  EXPECT_EQ(RaisedNumber([] { MakeDate(2000, 2, 29); }), 0);
  // clang-format off
  const DateParts kBad[] = {
      {1900, 2, 29}, {99, 1, 1}, {10000, 1, 1}, {2004, 0, 1}, {2004, 13, 1},
      {2004, 4, 31}, {2004, 1, 0}, {2004, 1, 1, 24}, {2004, 1, 1, 0, 60},
      {2004, 1, 1, 0, 0, 60}, {2004, 1, 1, 0, 0, 0, 1000}, {2004, 1, 1, -1}};
  // clang-format on
  for (const DateParts& p : kBad) {
    EXPECT_EQ(RaisedNumber([&] { MakeDate(p); }), kErrInvalidArgument)
        << p.year << "-" << p.month << "-" << p.day << " " << p.hour << ":"
        << p.minute << ":" << p.second << "." << p.millisecond;
  }
}

TEST(Calendar, NegativeDatesAndMillisecondRounding) {
  EXPECT_EQ(MakeDate(1899, 12, 29, 6).days, -1.25);
  EXPECT_EQ(MakeDate(1899, 12, 28, 18).days, -2.75);
  EXPECT_EQ(FormatGeneralDate(Date{-1.25}), "1899-12-29 06:00:00");
  // The fraction of a value in (-1, 0) is a time on day 0.
  EXPECT_EQ(FormatGeneralDate(Date{-0.5}), "12:00:00");

  Date d = MakeDate(2004, 2, 3, 14, 5, 9, 250);
  EXPECT_EQ(SplitDate(d).millisecond, 250);
  EXPECT_EQ(MakeDate(SplitDate(d)).days, d.days);
  // 0.4 ms before midnight rounds to the next day, on both sides of day 0.
  const double kAlmostDay = (86'400'000 - 0.4) / 86'400'000;
  DateParts up = SplitDate(Date{38020 + kAlmostDay});
  EXPECT_EQ(std::make_tuple(up.day, up.hour, up.millisecond),
            std::make_tuple(4, 0, 0));
  DateParts negative = SplitDate(Date{-1 - kAlmostDay});
  EXPECT_EQ(std::make_tuple(negative.day, negative.hour),
            std::make_tuple(30, 0));
  EXPECT_EQ(RaisedNumber([] { SplitDate(Date{3e6}); }), kErrOverflow);
}

TEST(DateText, GeneralAndNamedForms) {
  // clang-format off
  const struct { Date date; const char* general; } kCases[] = {
      {MakeDate(2004, 2, 3), "2004-02-03"},
      {MakeDate(2004, 2, 3, 14, 5, 9), "2004-02-03 14:05:09"},
      {MakeDate(1899, 12, 30, 7, 8, 9), "07:08:09"},
      {Date{0}, "00:00:00"},
      {MakeDate(2004, 2, 3, 0, 0, 0, 400), "2004-02-03"},
      {MakeDate(2004, 2, 3, 23, 59, 59, 600), "2004-02-04"},
      {MakeDate(100, 1, 1, 1), "0100-01-01 01:00:00"}};
  // clang-format on
  for (const auto& c : kCases) {
    EXPECT_EQ(FormatDateTime(c.date, "general date"), c.general);
    EXPECT_EQ(ToText(Variant(c.date)), c.general);
  }
  Date d = MakeDate(2004, 2, 3, 14, 5, 9);
  EXPECT_EQ(FormatLongTime(d), "14:05:09");
  EXPECT_EQ(FormatDateTime(d, "Long Time"), "14:05:09");
  EXPECT_EQ(FormatDateTime(d, "Short Date"), "2004-02-03");
}

TEST(DateText, PatternTokens) {
  Date d = MakeDate(2004, 2, 3, 4, 5, 6);
  // clang-format off
  const struct { const char* pattern; const char* text; } kCases[] = {
      {"yyyy", "2004"}, {"y", "34"}, {"yyyyy", "200434"}, {"yy", "04"},
      {"m/d/yy", "2/3/04"}, {"mm-dd", "02-03"}, {"h:n:s", "4:5:6"},
      {"hh:nn:ss", "04:05:06"}, {"TTTTT!", "04:05:06!"},
      {"YYYY.MM", "2004.02"}, {"at tt", "at tt"}, {"x-q", "x-q"}};
  // clang-format on
  for (const auto& c : kCases) {
    EXPECT_EQ(FormatDateTime(d, c.pattern), c.text) << c.pattern;
  }
  EXPECT_EQ(FormatDateTime(MakeDate(2000, 12, 31), "y"), "366");
}

TEST(DateText, ParsesTheWrittenForms) {
  // clang-format off
  const struct { const char* text; double days; } kAccepted[] = {
      {"2004-02-03", 38020}, {"2004/2/3", 38020},
      {" 2004-02-03 18:00:00 ", 38020.75}, {"2004-02-03  06:00", 38020.25},
      {"12:00", 0.5}, {"00:00:00", 0}, {"1899-12-29 06:00:00", -1.25}};
  const char* kRejected[] = {
      "2004-02-30", "2004-02/03", "24:00", "12:60", "14:05:09 2004-02-03",
      "2004-02-03T14:05", "99-01-01", "12", ""};
  // clang-format on
  for (const auto& c : kAccepted) {
    Date got;
    ASSERT_TRUE(ParseDateText(c.text, &got)) << c.text;
    EXPECT_EQ(got.days, c.days) << c.text;
  }
  for (const char* text : kRejected) {
    Date unused;
    EXPECT_FALSE(ParseDateText(text, &unused)) << text;
  }
  for (double days :
       {0.25, 38020.0, 38020.5877, -1.25, -657434.5, 2958465.99998}) {
    Date parsed;
    std::string text = FormatGeneralDate(Date{days});
    ASSERT_TRUE(ParseDateText(text, &parsed)) << text;
    EXPECT_EQ(FormatGeneralDate(parsed), text);
  }
}

TEST(DateArithmetic, DiffRoundsBothMomentsToSeconds) {
  Date base = MakeDate(2004, 2, 3, 12);
  // clang-format off
  const struct { Date from, to; int64_t seconds; } kCases[] = {
      {base, AddSeconds(base, 10), 10}, {AddSeconds(base, 10), base, -10},
      {base, AddSeconds(base, 0.4), 0}, {base, AddSeconds(base, 0.6), 1},
      {AddSeconds(base, 0.4), AddSeconds(base, 0.6), 1},
      {base, AddSeconds(base, 86400 * 3 + 1.49), 259201},
      {Date{-1.25}, Date{0.25}, 86400}, {Date{-1.75}, Date{-1.25}, -43200},
      {MakeDate(1900, 2, 28), MakeDate(1900, 3, 1), 86400}};
  // clang-format on
  for (const auto& c : kCases) {
    EXPECT_EQ(DateDiffSeconds(c.from, c.to), c.seconds)
        << FormatGeneralDate(c.from) << " .. " << FormatGeneralDate(c.to);
  }
  EXPECT_EQ(AddSeconds(Date{0.25}, -86400).days, -1.25);
  EXPECT_EQ(AddSeconds(Date{-1.25}, 86400 * 1.5).days, 0.75);
  EXPECT_EQ(FormatGeneralDate(AddSeconds(Date{-0.5}, -43200 - 3600)),
            "1899-12-29 23:00:00");
}

class LocalTime : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* tz = std::getenv("TZ")) saved_ = tz;
  }
  void TearDown() override {
    if (saved_) {
      setenv("TZ", saved_->c_str(), 1);
    } else {
      unsetenv("TZ");
    }
    tzset();
  }
  std::optional<std::string> saved_;
};

TEST_F(LocalTime, FollowsTz) {
  setenv("TZ", "UTC0", 1);
  EXPECT_EQ(LocalDateFromUnix(0, 0).days, 25569);
  EXPECT_EQ(FormatGeneralDate(LocalDateFromUnix(1076767509, 0)),
            "2004-02-14 14:05:09");
  DateParts carried = SplitDate(LocalDateFromUnix(1, -1500));
  EXPECT_EQ(std::make_tuple(carried.day, carried.second, carried.millisecond),
            std::make_tuple(31, 59, 500));
  setenv("TZ", "XYZ-02", 1);  // two hours east of UTC
  EXPECT_EQ(FormatGeneralDate(LocalDateFromUnix(0, 0)), "1970-01-01 02:00:00");
  setenv("TZ", "XYZ+05", 1);
  EXPECT_EQ(FormatGeneralDate(LocalDateFromUnix(0, 0)), "1969-12-31 19:00:00");
}

TEST(ManualClock, NowAndTicksMoveTogether) {
  const Date start = MakeDate(2004, 2, 3, 14, 5, 9);
  {
    ScopedManualClock clock(start, 1000);
    EXPECT_TRUE(Clock::IsManual());
    EXPECT_EQ(Clock::Now(), start);
    EXPECT_EQ(Clock::TickCount(), 1000u);
    clock.Advance(1400);
    EXPECT_EQ(Clock::TickCount(), 2400u);
    EXPECT_EQ(FormatDateTime(Clock::Now(), "hh:nn:ss"), "14:05:10");
    // Many small steps add up exactly.
    for (int i = 0; i < 1000; ++i) clock.Advance(1);
    EXPECT_EQ(DateDiffSeconds(start, Clock::Now()), 2);
    EXPECT_EQ(SplitDate(Clock::Now()).millisecond, 400);
    clock.Advance(86'400'000);
    EXPECT_EQ(FormatGeneralDate(Clock::Now()), "2004-02-04 14:05:11");
    clock.Advance(-5000);  // ignored: the clock only moves forward
    EXPECT_EQ(Clock::TickCount(), 2400u + 1000u + 86'400'000u);
  }
  EXPECT_FALSE(Clock::IsManual());
}

TEST(ManualClock, TicksWrapAtTwoToThe32) {
  ScopedManualClock clock(Date{38020}, 0xFFFFFF00u);
  clock.Advance(0x200);
  EXPECT_EQ(Clock::TickCount(), 0x100u);
  EXPECT_EQ(DateDiffSeconds(Date{38020}, Clock::Now()), 1);  // 0.512 s
}

TEST(SystemClock, ReadsCurrentLocalTime) {
  Clock::UseSystem();
  Clock::Advance(1000);  // no effect on the system clock
  ASSERT_FALSE(Clock::IsManual());
  EXPECT_GE(SplitDate(Clock::Now()).year, 2020);
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  EXPECT_LE(
      std::abs(DateDiffSeconds(Clock::Now(), LocalDateFromUnix(ts.tv_sec, 0))),
      2);
  uint32_t first = Clock::TickCount();
  EXPECT_LT(static_cast<uint32_t>(Clock::TickCount() - first), 1000u);
}

}  // namespace
}  // namespace kvl

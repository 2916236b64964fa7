#include "kvl/timestat/time_stat.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/params/param_string.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// 2000-01-01 (day 36526) at h:mm.
Date At(int h, int m = 0) {
  return MakeDate(2000, 1, 1, h, m);
}
const Date kDayStart = MakeDate(2000, 1, 1);
const Date kDayEnd = MakeDate(2000, 1, 2);

// Records every notification as one line of text.
class Recorder : public Object, public TimeStatEvents {
  KVL_DECLARE_CLASS(Recorder)
 public:
  void InvalidAction(const std::string& name,
                     const std::string& description) override {
    lines.push_back("InvalidAction " + name + ": " + description);
  }
  void StateChange(const std::string& name, TimeStates state,
                   Date when) override {
    lines.push_back("StateChange " + name + " " + TimeStateToString(state) +
                    " " + SerializeDate(when));
  }
  std::vector<std::string> Take() { return std::exchange(lines, {}); }
  std::vector<std::string> lines;
};

const ClassInfo& Recorder::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Recorder>("Recorder", ClassKind::kPrivate).Build();
  return info;
}

class TimeStatTest : public ::testing::Test {
 protected:
  TimeStatTest() : clock_(At(18)) {
    stat_->SetName("Pump 1");
    stat_->Connect(recorder_);
  }

  // The pump of 2000-01-01: unknown until 06:00, on 06:00-09:00, off
  // 09:00-12:00, on 12:00-16:30, off from 16:30; the clock reads 18:00.
  void RecordPumpDay() {
    stat_->SetStartOfPeriod(kDayStart);
    stat_->SetEndOfPeriod(kDayEnd);
    stat_->SetTransition(At(6), tsOn);
    stat_->SetTransition(At(9), tsOff);
    stat_->SetTransition(At(12), tsOn);
    stat_->SetTransition(At(16, 30), tsOff);
  }
  // Moves the clock to `when` (also backwards).
  void SetClock(Date when) { Clock::SetManual(when); }

  std::vector<std::string> Intervals() {
    std::vector<std::string> out;
    for (auto i = stat_->FirstInterval(); i; i = stat_->NextInterval())
      out.push_back(i->ToString());
    return out;
  }
  std::vector<int> Counts() {
    std::vector<int> out;
    for (int p = tpOff; p <= tpKnownToDate; ++p)
      out.push_back(stat_->Count(static_cast<TimePeriods>(p)));
    return out;
  }
  std::vector<double> Durations() {
    std::vector<double> out;
    for (int p = tpOff; p <= tpKnownToDate; ++p)
      out.push_back(stat_->Duration(static_cast<TimePeriods>(p)));
    return out;
  }

  ScopedManualClock clock_;
  Ref<TimeStat> stat_ = MakeRef<TimeStat>();
  Ref<Recorder> recorder_ = MakeRef<Recorder>();
};

// Periods in the order tpOff, tpOn, tpUnknown, tpTotal, tpTodate,
// tpUnknownToDate, tpKnownToDate.
TEST_F(TimeStatTest, WorkedExampleWhileThePeriodRuns) {
  RecordPumpDay();
  EXPECT_THAT(recorder_->Take(),
              ElementsAre("StateChange Pump 1 Unknown 36526",
                          "StateChange Pump 1 On 36526.25",
                          "StateChange Pump 1 Off 36526.375",
                          "StateChange Pump 1 On 36526.5",
                          "StateChange Pump 1 Off 36526.6875"));
  EXPECT_THAT(Intervals(),
              ElementsAre("2000-01-01 --> 2000-01-01 06:00:00 : Unknown",
                          "2000-01-01 06:00:00 --> 2000-01-01 09:00:00 : On",
                          "2000-01-01 09:00:00 --> 2000-01-01 12:00:00 : Off",
                          "2000-01-01 12:00:00 --> 2000-01-01 16:30:00 : On",
                          "2000-01-01 16:30:00 --> 2000-01-01 18:00:00 : Off"));
  EXPECT_THAT(Counts(), ElementsAre(2, 2, 1, 5, 5, 1, 4));
  // On 3 h + 4.5 h, off 3 h + 1.5 h (to now), unknown 6 h, 18 h to date.
  EXPECT_THAT(Durations(),
              ElementsAre(16200, 27000, 21600, 86400, 64800, 21600, 43200));
  EXPECT_DOUBLE_EQ(stat_->Ratio(tpOn, tpKnownToDate), 0.625);
  EXPECT_DOUBLE_EQ(stat_->Ratio(tpOn, tpTodate), 27000.0 / 64800);
  EXPECT_EQ(stat_->IntervalCount(), 5);
  EXPECT_THAT(recorder_->Take(), IsEmpty());
}

TEST_F(TimeStatTest, WorkedExampleAfterThePeriodAndItsSummary) {
  RecordPumpDay();
  SetClock(MakeDate(2000, 1, 2, 1));
  EXPECT_EQ(stat_->ToSerializableString(),
            "[Name='Pump 1',Summarized=False,Start=36526,End=36527,"
            "Transitions=[T=[Start=36526,End=36526.25,State=Unknown],"
            "T=[Start=36526.25,End=36526.375,State=On],"
            "T=[Start=36526.375,End=36526.5,State=Off],"
            "T=[Start=36526.5,End=36526.6875,State=On],"
            "T=[Start=36526.6875,End=36527,State=Off]]]");
  // The last interval now ends at the end of the period.
  EXPECT_THAT(Durations(),
              ElementsAre(37800, 27000, 21600, 86400, 86400, 21600, 64800));
  recorder_->Take();

  stat_->SetSummarized(true);
  EXPECT_TRUE(stat_->Summarized());
  EXPECT_EQ(stat_->CurrentState(), tsMeaningless);
  EXPECT_EQ(stat_->ToSerializableString(),
            "[Name='Pump 1',Summarized=True,Start=36526,End=36527,"
            "OnTime=27000,OffTime=37800,UnknownTime=21600,OnCount=2,"
            "OffCount=2,UnknownCount=1,TotalCount=5]");
  EXPECT_THAT(Counts(), ElementsAre(2, 2, 1, 5, 5, 1, 4));
  EXPECT_THAT(Durations(),
              ElementsAre(37800, 27000, 21600, 86400, 86400, 21600, 64800));
  stat_->SetSummarized(true);  // keeps the summary
  EXPECT_EQ(stat_->Count(tpTotal), 5);

  EXPECT_EQ(stat_->IntervalCount(), 0);
  EXPECT_EQ(stat_->StateAt(At(7)), tsMeaningless);
  EXPECT_EQ(stat_->IntervalAt(At(7)), nullptr);
  EXPECT_EQ(stat_->FirstInterval(), nullptr);
  EXPECT_EQ(stat_->Subset(At(1), At(2)), nullptr);
  stat_->SetTransition(At(7), tsOn);
  stat_->SetCurrentState(tsOn);
  stat_->SetSummarized(false);
  EXPECT_THAT(
      recorder_->Take(),
      ElementsAre(
          "InvalidAction Pump 1: Interval operations not allowed when "
          "summarized",
          "InvalidAction Pump 1: Can't take a subset of a summarized TimeStat",
          "InvalidAction Pump 1: Can't add a transition when summarized",
          "InvalidAction Pump 1: Can't set the current state when summarized",
          "InvalidAction Pump 1: It is not possible to un-summarize"));
}

TEST_F(TimeStatTest, ToDateWalksStopAtTheClock) {
  SetClock(kDayEnd);
  RecordPumpDay();
  // Back to 13:00: intervals from 13:00 on are not "to date", the 12:00
  // one is cut at 13:00.
  SetClock(At(13));
  EXPECT_EQ(stat_->Count(tpTodate), 4);
  EXPECT_EQ(stat_->Count(tpUnknownToDate), 1);
  EXPECT_EQ(stat_->Count(tpKnownToDate), 3);
  EXPECT_EQ(stat_->Duration(tpUnknownToDate), 21600);
  EXPECT_EQ(stat_->Duration(tpKnownToDate), 10800 + 10800 + 3600);
  EXPECT_EQ(stat_->Duration(tpTodate), 13 * 3600);
  // The open interval runs from 16:30 to "now" and so counts negatively.
  EXPECT_EQ(stat_->Duration(tpOff), 10800 - 12600);

  // An interval starting exactly now counts for tpTodate only.
  SetClock(At(12));
  EXPECT_EQ(stat_->Count(tpTodate), 4);
  EXPECT_EQ(stat_->Count(tpKnownToDate), 2);

  SetClock(MakeDate(2000, 1, 1, 23));
  EXPECT_EQ(stat_->Summarized(), false);
  stat_->SetSummarized(true);
  EXPECT_FALSE(stat_->Summarized());
  EXPECT_THAT(
      recorder_->Take(),
      testing::Contains(
          "InvalidAction Pump 1: Can't summarize before end of period"));
}

// The binary search answers what a walk from the first interval answers,
// with duplicates, zero-length intervals and the open last interval.
TEST_F(TimeStatTest, LookupsAgreeWithAWalkFromTheFirstInterval) {
  SetClock(At(20));
  stat_->SetStartOfPeriod(kDayStart);
  stat_->SetEndOfPeriod(kDayEnd);
  stat_->SetTransition(At(6), tsOn);
  stat_->SetTransition(At(6), tsOff);  // same time: after the first
  stat_->SetTransition(At(3), tsOn);   // out of order
  stat_->SetTransition(At(9), tsOn);
  stat_->SetTransition(At(9), tsOff);
  stat_->SetTransition(At(9), tsUnknown);
  stat_->SetTransition(At(20), tsOn);  // exactly now
  std::vector<Ref<TimeInterval>> walked;
  for (auto i = stat_->FirstInterval(); i; i = stat_->NextInterval())
    walked.push_back(i);
  ASSERT_EQ(walked.size(), 7u);
  EXPECT_EQ(walked[1]->ToSerializableString(),
            "[Start=36526.125,End=36526.25,State=On]");
  EXPECT_EQ(walked[2]->ToSerializableString(),
            "[Start=36526.25,End=36526.25,State=On]");
  for (int minute = -30; minute <= 25 * 60; minute += 15) {
    const Date when = AddSeconds(kDayStart, minute * 60.0);
    SCOPED_TRACE(FormatGeneralDate(when));
    Ref<TimeInterval> expected;
    if (when.days >= kDayStart.days && when.days <= kDayEnd.days) {
      for (const auto& i : walked) {
        if (i->StartTime().days <= when.days &&
            i->EndTime().days >= when.days) {
          expected = i;
          break;
        }
      }
    }
    Ref<TimeInterval> found = stat_->IntervalAt(when);
    ASSERT_EQ(found == nullptr, expected == nullptr);
    if (found) {
      EXPECT_EQ(found->Key(), expected->Key());
    }
    EXPECT_EQ(stat_->StateAt(when),
              expected ? expected->State() : tsMeaningless);
  }
  EXPECT_EQ(stat_->StateAt(At(6)), tsOn);  // the earlier interval
  EXPECT_EQ(stat_->StateAt(), tsUnknown);  // now: 9:00 .. 20:00 wins
  EXPECT_EQ(stat_->StateAtText(At(21)), "Meaningless");  // after now
}

TEST_F(TimeStatTest, RecordingIgnoresWhatChangesNothing) {
  // The first transition of an empty list is kept, even outside the period.
  stat_->SetTransition(MakeDate(2000, 1, 2, 6), tsOn);
  EXPECT_EQ(stat_->IntervalCount(), 1);
  stat_->SetEndOfPeriod(kDayEnd);  // not empty: nothing added
  EXPECT_EQ(stat_->IntervalCount(), 1);

  stat_->SetStartOfPeriod(kDayStart);                  // starts afresh
  stat_->SetTransition(At(5), tsUnknown);              // no change
  stat_->SetTransition(At(19), tsOn);                  // after now
  stat_->SetTransition(MakeDate(1999, 12, 31), tsOn);  // before the start
  stat_->SetCurrentState(tsOn);                        // at 18:00
  EXPECT_EQ(stat_->CurrentState(), tsOn);
  clock_.Advance(1000);
  stat_->SetCurrentState(tsOn);  // no change
  EXPECT_THAT(Intervals(),
              ElementsAre("2000-01-01 --> 2000-01-01 18:00:00 : Unknown",
                          "2000-01-01 18:00:00 --> 2000-01-01 18:00:01 : On"));
  EXPECT_THAT(recorder_->Take(), ElementsAre("StateChange Pump 1 On 36527.25",
                                             "StateChange Pump 1 Unknown 36526",
                                             "StateChange Pump 1 On 36526.75"));

  // A tsMeaningless interval takes no transitions.
  stat_->SetTransition(At(12), tsMeaningless);
  stat_->SetTransition(At(13), tsOff);
  EXPECT_EQ(stat_->IntervalCount(), 3);

  // Removing the interval at 12:30 extends the one before it over it,
  // silently.
  stat_->RemoveIntervalAt(At(12, 30));
  EXPECT_EQ(stat_->IntervalCount(), 2);
  EXPECT_EQ(stat_->StateAt(At(12, 30)), tsUnknown);
  EXPECT_THAT(recorder_->Take(),
              ElementsAre("StateChange Pump 1 Meaningless 36526.5"));
}

TEST_F(TimeStatTest, RefusalsAndTheirTexts) {
  RecordPumpDay();
  recorder_->Take();
  EXPECT_EQ(stat_->Count(static_cast<TimePeriods>(7)), 0);
  EXPECT_EQ(stat_->Duration(static_cast<TimePeriods>(-1)), 0);
  EXPECT_FALSE(stat_->RatioValid(tpOn, static_cast<TimePeriods>(9)));
  EXPECT_EQ(stat_->Subset(MakeDate(1999, 12, 31, 23), At(12)), nullptr);
  EXPECT_EQ(stat_->Subset(At(1), MakeDate(2000, 1, 2, 1)), nullptr);
  EXPECT_THAT(
      recorder_->Take(),
      ElementsAre("InvalidAction Pump 1: Unknown period type: 7",
                  "InvalidAction Pump 1: Unknown period type: -1",
                  "InvalidAction Pump 1: Unknown period type: 9",
                  "InvalidAction Pump 1: Subset start time is less than "
                  "period start time",
                  "InvalidAction Pump 1: Subset end time is greater than "
                  "period end time"));

  auto empty = MakeRef<TimeStat>();
  empty->SetEndOfPeriod(Date{0});
  EXPECT_FALSE(empty->RatioValid(tpOn, tpTotal));
  EXPECT_EQ(RaisedNumber([&] { empty->Ratio(tpOn, tpTotal); }),
            kErrDivisionByZero);
}

TEST_F(TimeStatTest, HoldsAtMost32767Transitions) {
  stat_->SetStartOfPeriod(kDayStart);
  stat_->SetEndOfPeriod(kDayEnd);
  for (int i = 1; i < TimeStat::kMaxTransitions; ++i)
    stat_->SetTransition(AddSeconds(kDayStart, i), i % 2 ? tsOn : tsOff);
  EXPECT_EQ(RaisedNumber([&] { stat_->SetTransition(At(17), tsUnknown); }),
            kErrOverflow);
  EXPECT_EQ(stat_->IntervalCount(), 32767);
  EXPECT_EQ(stat_->Count(tpOn), 16383);
  EXPECT_EQ(stat_->StateAt(At(17)), tsOff);  // the last one, still open
  int walked = 0;
  for (auto i = stat_->FirstInterval(); i; i = stat_->NextInterval()) ++walked;
  EXPECT_EQ(walked, 32767);
  EXPECT_EQ(RaisedNumber([&] { stat_->NextInterval(); }), kErrOverflow);
}

TEST_F(TimeStatTest, SubsetStartsInTheStateInForce) {
  RecordPumpDay();
  Ref<TimeStat> part = stat_->Subset(At(7), At(17));
  ASSERT_NE(part, nullptr);
  EXPECT_EQ(part->Name(), "Pump 1");
  // On since 06:00 counts from 07:00; the 18:00 clock lies past the end.
  EXPECT_EQ(part->ToSerializableString(),
            "[Name='Pump 1',Summarized=False,Start=36526.2916666667,"
            "End=36526.7083333333,"
            "Transitions=[T=[Start=36526.2916666667,End=36526.375,State=On],"
            "T=[Start=36526.375,End=36526.5,State=Off],"
            "T=[Start=36526.5,End=36526.6875,State=On],"
            "T=[Start=36526.6875,End=36526.7083333333,State=Off]]]");
  EXPECT_EQ(part->Duration(tpOn), 7200 + 16200);
  // From a transition's own time, the state it starts.
  EXPECT_EQ(stat_->Subset(At(12), At(13))->StateAt(At(12, 30)), tsOn);
}

TEST_F(TimeStatTest, TextFormReadsBack) {
  RecordPumpDay();
  SetClock(MakeDate(2000, 1, 2, 1));
  const std::string text = stat_->ToSerializableString();
  auto ps = MakeRef<ParamString>();
  ASSERT_TRUE(ps->Parse(text));

  auto copy = MakeRef<TimeStat>();
  auto copy_events = MakeRef<Recorder>();
  copy->Connect(copy_events);
  ASSERT_TRUE(copy->FromParamString(ps));
  EXPECT_EQ(copy->ToSerializableString(), text);
  EXPECT_EQ(copy->Name(), "Pump 1");
  // Only the restart of the period is told; loaded transitions are not.
  EXPECT_THAT(copy_events->Take(),
              ElementsAre("StateChange Pump 1 Unknown 36526"));
  // New sequence numbers: the restart took 1.
  EXPECT_EQ(copy->FirstInterval()->Key(), "K.2000-01-01.0000000002");

  // A summarized text into a recording statistic.
  stat_->SetSummarized(true);
  ASSERT_TRUE(ps->Parse(stat_->ToSerializableString()));
  ASSERT_TRUE(copy->FromParamString(ps));
  EXPECT_EQ(copy->ToSerializableString(), stat_->ToSerializableString());
  EXPECT_THAT(copy_events->Take(),
              ElementsAre("InvalidAction Pump 1: Can't add a transition when "
                          "summarized",
                          "InvalidAction Pump 1: Can't add a transition when "
                          "summarized"));

  // A value that does not read: the loading flag is cleared all the same.
  auto fresh = MakeRef<TimeStat>();
  fresh->Connect(copy_events);
  ASSERT_TRUE(
      ps->Parse("[Name=X,Summarized=False,Start=36526,End=36527,"
                "Transitions=[T=[Start=oops,State=On]]]"));
  EXPECT_FALSE(fresh->FromParamString(ps));
  fresh->SetTransition(At(3), tsOn);
  EXPECT_THAT(copy_events->Take(),
              ElementsAre("StateChange X Unknown 36526",
                          "InvalidAction X: FromParamString:Type mismatch",
                          "StateChange X On 36526.125"));
  ASSERT_TRUE(ps->Parse("[Name=X,Summarized=False]"));
  EXPECT_FALSE(fresh->FromParamString(ps));
  EXPECT_THAT(copy_events->Take(),
              ElementsAre("InvalidAction X: FromParamString:Missing keyword "
                          "Start"));
}

TEST_F(TimeStatTest, NamesAreQuotedWhenTheyWouldNotReadBack) {
  stat_->SetStartOfPeriod(kDayStart);  // "Transitions=[]" would not parse
  for (const char* name : {"A.B", "", "  ", "Pump1", "007", "true", "x[1]"}) {
    SCOPED_TRACE(name);
    stat_->SetName(name);
    const std::string text = stat_->ToSerializableString();
    const bool plain = std::string(name) == "Pump1";
    EXPECT_EQ(
        text.substr(0, text.find(",Summarized")),
        std::string("[Name=") + (plain ? "" : "'") + name + (plain ? "" : "'"));
    auto ps = MakeRef<ParamString>();
    ASSERT_TRUE(ps->Parse(text));
    auto copy = MakeRef<TimeStat>();
    ASSERT_TRUE(copy->FromParamString(ps));
    EXPECT_EQ(copy->Name(), name);
  }
}

TEST_F(TimeStatTest, PassivateClosesWithUnknownAtTheClock) {
  RecordPumpDay();
  EXPECT_EQ(stat_->Passivate("Pump").substr(0, 30),
            "Pump=[Name='Pump 1',Summarized");
  EXPECT_EQ(stat_->IntervalCount(), 6);
  clock_.Advance(1000);
  EXPECT_EQ(stat_->StateAt(), tsUnknown);
}

}  // namespace
}  // namespace kvl

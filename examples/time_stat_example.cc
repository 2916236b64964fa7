// A pump's day in a TimeStat: the pump reports each change as it happens
// (CurrentState, stamped with the clock), a listener hears each change, and
// after midnight the day is read as intervals, an on ratio and the text
// form, which is then read back into a second statistic and summarized.
//
// The clock is set by hand so that the run always shows the same day; an
// application would simply let it run.
//
// Run it and compare with the output at the bottom of this file.
#include <cstdio>
#include <string>

#include "kvl/params/param_string.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/timestat/time_stat.h"

using kvl::ClassBuilder;
using kvl::ClassInfo;
using kvl::ClassKind;
using kvl::Date;
using kvl::MakeDate;
using kvl::MakeRef;
using kvl::ParamString;
using kvl::Ref;
using kvl::TimeStat;
using kvl::TimeStates;
using kvl::TimeStatEvents;

// A C++ listener: implements the statistic's notifications typed.
class ChangeLog : public kvl::Object, public TimeStatEvents {
  KVL_DECLARE_CLASS(ChangeLog)
 public:
  void InvalidAction(const std::string& name,
                     const std::string& description) override {
    std::printf("%s refused: %s\n", name.c_str(), description.c_str());
  }
  void StateChange(const std::string& name, TimeStates state,
                   Date when) override {
    std::printf("%s %s at %s\n", name.c_str(),
                kvl::TimeStateToString(state).c_str(),
                kvl::FormatLongTime(when).c_str());
  }
};

const ClassInfo& ChangeLog::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ChangeLog>("ChangeLog", ClassKind::kPrivate).Build();
  return info;
}

int main() {
  kvl::ScopedManualClock clock(MakeDate(2000, 1, 1));
  auto pump = MakeRef<TimeStat>();
  pump->Connect(MakeRef<ChangeLog>());
  pump->SetName("Pump 1");
  pump->SetStartOfPeriod(MakeDate(2000, 1, 1));  // unknown until reported
  pump->SetEndOfPeriod(MakeDate(2000, 1, 2));

  // The pump's reports over the day, each when it happens.
  struct Report {
    int hour, minute;
    TimeStates state;
  };
  const Report reports[] = {{6, 0, kvl::tsOn},  {9, 0, kvl::tsOff},
                            {12, 0, kvl::tsOn}, {16, 30, kvl::tsOff},
                            {21, 0, kvl::tsOn}, {23, 0, kvl::tsOff}};
  Date now = MakeDate(2000, 1, 1);
  for (const Report& r : reports) {
    const Date at = MakeDate(2000, 1, 1, r.hour, r.minute);
    clock.Advance(kvl::DateDiffSeconds(now, at) * 1000);
    now = at;
    pump->SetCurrentState(r.state);
  }
  pump->SetSummarized(true);  // too early: the day is not over
  clock.Advance(kvl::DateDiffSeconds(now, MakeDate(2000, 1, 2)) * 1000);

  std::printf("intervals:\n");
  for (auto i = pump->FirstInterval(); i; i = pump->NextInterval())
    std::printf("  %s\n", i->ToString().c_str());
  std::printf("on %.0f s, off %.0f s, unknown %.0f s\n",
              pump->Duration(kvl::tpOn), pump->Duration(kvl::tpOff),
              pump->Duration(kvl::tpUnknown));
  std::printf("on ratio: %.4f of the day, %.4f of the known time\n",
              pump->Ratio(kvl::tpOn, kvl::tpTotal),
              pump->Ratio(kvl::tpOn, kvl::tpKnownToDate));
  std::printf("state at 12:00: %s, at 12:01: %s\n",
              pump->StateAtText(MakeDate(2000, 1, 1, 12)).c_str(),
              pump->StateAtText(MakeDate(2000, 1, 1, 12, 1)).c_str());

  const std::string text = pump->ToSerializableString();
  std::printf("text: %s\n", text.c_str());

  auto ps = MakeRef<ParamString>();
  auto copy = MakeRef<TimeStat>();
  if (!ps->Parse(text) || !copy->FromParamString(ps)) {
    std::printf("could not read the text back\n");
    return 1;
  }
  std::printf("read back: %d intervals, on %.0f s, same text: %s\n",
              copy->IntervalCount(), copy->Duration(kvl::tpOn),
              copy->ToSerializableString() == text ? "yes" : "no");
  copy->SetSummarized(true);
  std::printf("summary: %s\n", copy->ToSerializableString().c_str());
  return 0;
}

// clang-format off
// Output:
// Pump 1 Unknown at 00:00:00
// Pump 1 On at 06:00:00
// Pump 1 Off at 09:00:00
// Pump 1 On at 12:00:00
// Pump 1 Off at 16:30:00
// Pump 1 On at 21:00:00
// Pump 1 Off at 23:00:00
// Pump 1 refused: Can't summarize before end of period
// intervals:
//   2000-01-01 --> 2000-01-01 06:00:00 : Unknown
//   2000-01-01 06:00:00 --> 2000-01-01 09:00:00 : On
//   2000-01-01 09:00:00 --> 2000-01-01 12:00:00 : Off
//   2000-01-01 12:00:00 --> 2000-01-01 16:30:00 : On
//   2000-01-01 16:30:00 --> 2000-01-01 21:00:00 : Off
//   2000-01-01 21:00:00 --> 2000-01-01 23:00:00 : On
//   2000-01-01 23:00:00 --> 2000-01-02 : Off
// on 34200 s, off 30600 s, unknown 21600 s
// on ratio: 0.3958 of the day, 0.5278 of the known time
// state at 12:00: Off, at 12:01: On
// text: [Name='Pump 1',Summarized=False,Start=36526,End=36527,Transitions=[T=[Start=36526,End=36526.25,State=Unknown],T=[Start=36526.25,End=36526.375,State=On],T=[Start=36526.375,End=36526.5,State=Off],T=[Start=36526.5,End=36526.6875,State=On],T=[Start=36526.6875,End=36526.875,State=Off],T=[Start=36526.875,End=36526.9583333333,State=On],T=[Start=36526.9583333333,End=36527,State=Off]]]
// read back: 7 intervals, on 34200 s, same text: yes
// summary: [Name='Pump 1',Summarized=True,Start=36526,End=36527,OnTime=34200,OffTime=30600,UnknownTime=21600,OnCount=3,OffCount=3,UnknownCount=1,TotalCount=7]
// clang-format on

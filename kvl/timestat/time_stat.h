// TimeStat: how long a monitored thing was on, off or in an unknown state
// during one period, from the transitions recorded into it.
//
// Recording. The statistic keeps its transitions ordered by time; two
// transitions at the same time keep the order they were recorded in. A
// transition that changes nothing (the state at that moment is already the
// new one) or falls outside the span already covered (before the first
// transition, outside the period, after the clock's reading) is ignored,
// except that the first transition of an empty list is always kept.
// Setting StartOfPeriod starts the record afresh with one tsUnknown
// transition at the start; setting CurrentState records a transition at the
// clock's reading. The clock is the library's TimeConstants clock
// (LibraryTime), which tests drive with ScopedManualClock.
//
// Intervals. Interval i runs from transition i to transition i+1; the last
// one runs to the clock's reading, or to EndOfPeriod once the clock has
// passed it. A moment equal to a transition's time belongs to the interval
// that ends there. Lookups by time (StateAt, IntervalAt) are binary
// searches; counts and durations walk the transitions once without making
// objects. Intervals are made only when handed out (IntervalAt,
// FirstInterval, NextInterval).
//
// Summarizing. Once the clock has reached EndOfPeriod, Summarized = True
// replaces the transitions by eight numbers (times and counts per state);
// it cannot be undone. A summarized statistic still answers Count, Duration
// and Ratio.
//
// Text form. ToSerializableString writes
//   [Name='Pump 1',Summarized=False,Start=36526,End=36527,
//    Transitions=[T=[Start=36526,End=36526.5,State=Unknown],...]]
// (one line), and FromParamString rebuilds a statistic from that text once
// parsed by a ParamString.
//
// Notifications (__TimeStat): InvalidAction(Name, Description) for every
// refused operation, which then returns its neutral result (nothing, 0,
// tsMeaningless); StateChange(Name, NewState, when) for every recorded
// transition. Sinks are called synchronously before the member returns.
//
// Limits: at most 32767 transitions; recording one more raises 6.
//
// Ownership and threading: the statistic owns its transitions; intervals it
// hands out are copies. Sinks are held until disconnected. Used on the
// thread that created it.
//
//   auto pump = MakeRef<TimeStat>();
//   pump->SetName("Pump 1");
//   pump->SetStartOfPeriod(MakeDate(2000, 1, 1));      // Unknown from 00:00
//   pump->SetEndOfPeriod(MakeDate(2000, 1, 2));
//   pump->SetTransition(MakeDate(2000, 1, 1, 12), tsOn);
//   pump->Duration(tpOn);            // seconds on so far
//   pump->StateAt(MakeDate(2000, 1, 1, 12));   // tsUnknown: the earlier one
#ifndef KVL_TIMESTAT_TIME_STAT_H_
#define KVL_TIMESTAT_TIME_STAT_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/params/param_string.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/timestat/time_constants.h"
#include "kvl/timestat/time_records.h"

namespace kvl {

// The outgoing interface __TimeStat.
class KVL_EXPORT TimeStatEvents {
 public:
  static const ClassInfo& StaticClass();
  virtual void InvalidAction(const std::string& Name,
                             const std::string& Description) = 0;
  virtual void StateChange(const std::string& Name, TimeStates NewState,
                           Date when) = 0;

 protected:
  ~TimeStatEvents() = default;
};

// Creatable (kind 2).
class KVL_EXPORT TimeStat : public Object {
  KVL_DECLARE_CLASS(TimeStat)
 public:
  // The most transitions a statistic holds.
  static constexpr int32_t kMaxTransitions = 32767;

  TimeStat() = default;
  ~TimeStat() override;

  bool Summarized() const { return summarized_; }
  // A new statistic over StartingAt .. EndingAt with this one's name, in
  // the state this one was in at StartingAt (an interval that began before
  // StartingAt counts from it), then every later transition of this one
  // that falls in the new period. Nothing, with InvalidAction, when this one
  // is summarized or the new period reaches outside this one's.
  Ref<TimeStat> Subset(Date StartingAt, Date EndingAt);
  // True summarizes (see the class comment); False on a summarized
  // statistic is refused. True on a summarized statistic changes nothing.
  void SetSummarized(bool v);
  // Duration(numerator) / Duration(denominator); raises 11 when the
  // denominator's duration is 0.
  double Ratio(TimePeriods numerator, TimePeriods denominator);
  // Duration(denominator) > 0.
  bool RatioValid(TimePeriods numerator, TimePeriods denominator);
  // The state of IntervalAt(when) (the clock's reading when `when` is
  // omitted); tsMeaningless when there is none or when summarized.
  TimeStates StateAt(const Variant& when = Variant::Missing()) const;
  // The interval holding `when`, the earlier one at a transition's time;
  // Nothing outside StartOfPeriod .. EndOfPeriod, outside the covered span,
  // or when summarized.
  Ref<TimeInterval> IntervalAt(Date when) const;
  // StateAt(when) as "Off", "On", "Unknown" or "Meaningless".
  std::string StateAtText(const Variant& when = Variant::Missing()) const;
  // Removes the transition that starts IntervalAt(when), so that the
  // interval before it extends over it. No notification.
  void RemoveIntervalAt(Date when);
  // The number of intervals of `period`; 0 on failure (with InvalidAction
  // for a value that is not a TimePeriods member).
  int16_t Count(TimePeriods period);
  // Seconds spent in `period`; 0 on failure (with InvalidAction for a value
  // that is not a TimePeriods member).
  double Duration(TimePeriods period);
  // Records a transition to `state` at the clock's reading.
  void SetCurrentState(TimeStates state);
  // Records a transition (see the class comment). Raises 6 when the list is
  // full or the sequence counter passes its maximum, 5 for a time that is
  // not a finite number.
  void SetTransition(Date when, TimeStates state);
  std::string ToSerializableString();
  // Rebuilds the statistic from a parsed text form; false, with
  // InvalidAction "FromParamString:<what failed>", when a keyword is
  // missing or a value unreadable (what was read before stays).
  bool FromParamString(const Ref<ParamString>& ps);
  // Unless summarized, records tsUnknown at the clock's reading; then
  // Keyword + "=" + ToSerializableString().
  std::string Passivate(const std::string& Keyword);
  // The number of transitions; 0 when summarized.
  int16_t IntervalCount() const;
  // The interval after the cursor's (the first one after FirstInterval),
  // or Nothing past the last. Raises 6 when the cursor passes 32767.
  Ref<TimeInterval> NextInterval();
  Ref<TimeInterval> FirstInterval();
  TimeStates CurrentState() const { return current_state_; }
  // Stores the start and, unless summarized, restarts the record with one
  // tsUnknown transition at it.
  void SetStartOfPeriod(Date when);
  Date StartOfPeriod() const { return start_; }
  Date EndOfPeriod() const { return end_; }
  // Stores the end; an empty record gets its tsUnknown transition at
  // StartOfPeriod.
  void SetEndOfPeriod(Date when);
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }

  // Connects a sink of __TimeStat (typed or by name); see notifier.h.
  uint32_t Connect(Ref<Object> sink) {
    return events_.Connect(std::move(sink));
  }
  bool Disconnect(uint32_t cookie) { return events_.Disconnect(cookie); }

 private:
  struct Record {
    Date when;
    TimeStates state;
    int32_t sequence;
    // `when` in whole seconds as interval durations count them
    // (WholeSeconds), read once so that sums need no date arithmetic.
    int64_t second;
  };
  struct Summary {
    double total_time = 0;
    double on_time = 0;
    double off_time = 0;
    double unknown_time = 0;
    int16_t total_count = 0;
    int16_t on_count = 0;
    int16_t off_count = 0;
    int16_t unknown_count = 0;
  };

  // The index of the interval holding `when` (as IntervalAt), or -1.
  int FindInterval(Date when) const;
  // The end of interval i; `now` is the clock's reading for the last one.
  Date EndOf(size_t i, Date now) const;
  // The end of the last interval for the clock reading `now`.
  Date OpenEnd(Date now) const { return now.days >= end_.days ? end_ : now; }
  Ref<TimeInterval> MakeInterval(size_t i, Date now) const;
  // The number of transitions before the first one at or after `when`
  // (strictly after, with `inclusive`).
  size_t CountBefore(Date when, bool inclusive) const;
  int16_t CountOf(TimePeriods period) const;
  double DurationOf(TimePeriods period) const;
  // Sums the durations of the first `n` intervals in one of `states`, their
  // ends cut to `cut` when later.
  // `states` is a mask of 1 << state.
  int64_t SumDurations(size_t n, unsigned states, Date now,
                       const Date* cut) const;
  void Summarize();
  void ReadParamString(const Ref<ParamString>& ps);
  void RemoveAllTransitions();
  void Invalid(const std::string& description);

  // The transition list, in order of time then sequence; `has_list_` is
  // false once summarized.
  std::vector<Record> transitions_;
  bool has_list_ = true;
  Date start_;
  Date end_;
  TimeStates current_state_ = tsOff;
  std::string name_;
  int32_t sequence_ = 0;
  bool summarized_ = false;
  Summary summary_;
  int16_t cursor_ = -1;
  bool loading_ = false;
  Notifier<TimeStatEvents> events_;
};

}  // namespace kvl

#endif  // KVL_TIMESTAT_TIME_STAT_H_

// TimeTransition and TimeInterval: the records of a time-state statistic.
//
// A TimeTransition says that the monitored thing changed to `State` at
// `TransitionTime`; a TimeInterval says that it stayed in `State` from
// `StartTime` to `EndTime`. TimeStat keeps transitions and hands out
// intervals built from them: the interval built for a transition carries its
// time and sequence number, so both have the same Key,
// "K." + the time as General Date text + "." + SequenceNumber.
//
// Both are plain creatable records: every accessor stores or returns its
// field unchanged. A new record has time 0, state tsOff and an empty
// sequence number. Used on the thread that made them.
//
//   auto i = MakeRef<TimeInterval>();
//   i->SetStartTime(MakeDate(2000, 1, 1, 12));
//   i->SetEndTime(MakeDate(2000, 1, 1, 18));
//   i->SetState(tsOn);
//   i->ToSerializableString();   // "[Start=36526.5,End=36526.75,State=On]"
//   i->Duration();               // 21600
#ifndef KVL_TIMESTAT_TIME_RECORDS_H_
#define KVL_TIMESTAT_TIME_RECORDS_H_

#include <cstdint>
#include <string>
#include <utility>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/timestat/time_constants.h"

namespace kvl {

// "K." + `when` as General Date text + "." + `sequence_number`.
KVL_EXPORT std::string TimeRecordKey(Date when,
                                     std::string_view sequence_number);
// Whole seconds from `start` to `end` (negative when `end` is earlier), as
// the date difference in seconds counts them. Raises 6 beyond 32 bits or for
// dates outside the date range.
KVL_EXPORT int32_t DurationSeconds(Date start, Date end);

// Creatable (kind 2).
class KVL_EXPORT TimeTransition : public Object {
  KVL_DECLARE_CLASS(TimeTransition)
 public:
  TimeTransition() = default;
  TimeTransition(Date when, TimeStates state, std::string sequence_number)
      : transition_time_(when),
        state_(state),
        sequence_number_(std::move(sequence_number)) {}

  void SetSequenceNumber(std::string s) { sequence_number_ = std::move(s); }
  const std::string& SequenceNumber() const { return sequence_number_; }
  std::string Key() const {
    return TimeRecordKey(transition_time_, sequence_number_);
  }
  void SetTransitionTime(Date when) { transition_time_ = when; }
  Date TransitionTime() const { return transition_time_; }
  TimeStates State() const { return state_; }
  void SetState(TimeStates state) { state_ = state; }

 private:
  Date transition_time_;
  TimeStates state_ = tsOff;
  std::string sequence_number_;
};

// Creatable (kind 2).
class KVL_EXPORT TimeInterval : public Object {
  KVL_DECLARE_CLASS(TimeInterval)
 public:
  TimeInterval() = default;
  TimeInterval(Date start, Date end, TimeStates state,
               std::string sequence_number)
      : start_time_(start),
        end_time_(end),
        state_(state),
        sequence_number_(std::move(sequence_number)) {}

  void SetSequenceNumber(std::string s) { sequence_number_ = std::move(s); }
  void SetStartTime(Date when) { start_time_ = when; }
  // "2000-01-01 12:00:00 --> 2000-01-01 18:00:00 : On" (General Date
  // forms). Raises 6 for a time outside the date range.
  std::string ToString() const;
  // "[Start=36526.5,End=36526.75,State=On]".
  std::string ToSerializableString() const;
  // DurationSeconds(StartTime, EndTime).
  int32_t Duration() const { return DurationSeconds(start_time_, end_time_); }
  Date StartTime() const { return start_time_; }
  void SetEndTime(Date when) { end_time_ = when; }
  Date EndTime() const { return end_time_; }
  std::string Key() const {
    return TimeRecordKey(start_time_, sequence_number_);
  }
  TimeStates State() const { return state_; }
  void SetState(TimeStates state) { state_ = state; }
  // Not a published member; the typed spelling of the sequence number.
  const std::string& SequenceNumber() const { return sequence_number_; }

 private:
  Date start_time_;
  Date end_time_;
  TimeStates state_ = tsOff;
  std::string sequence_number_;
};

}  // namespace kvl

#endif  // KVL_TIMESTAT_TIME_RECORDS_H_

#include "kvl/timestat/time_records.h"

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

const ClassInfo& TimeTransition::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TimeTransition>("TimeTransition", ClassKind::kCreatable)
          .Let<&TimeTransition::SetSequenceNumber>("SequenceNumber")
          .Get<&TimeTransition::SequenceNumber>("SequenceNumber")
          .Get<&TimeTransition::Key>("Key")
          .Let<&TimeTransition::SetTransitionTime>("TransitionTime")
          .Get<&TimeTransition::TransitionTime>("TransitionTime")
          .Get<&TimeTransition::State>("State")
          .Let<&TimeTransition::SetState>("State")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(TimeTransition)

const ClassInfo& TimeInterval::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TimeInterval>("TimeInterval", ClassKind::kCreatable)
          .Let<&TimeInterval::SetSequenceNumber>("SequenceNumber")
          .Let<&TimeInterval::SetStartTime>("StartTime")
          .Get<&TimeInterval::ToString>("ToString")
          .Get<&TimeInterval::ToSerializableString>("ToSerializableString")
          .Get<&TimeInterval::Duration>("Duration")
          .Get<&TimeInterval::StartTime>("StartTime")
          .Let<&TimeInterval::SetEndTime>("EndTime")
          .Get<&TimeInterval::EndTime>("EndTime")
          .Get<&TimeInterval::Key>("Key")
          .Get<&TimeInterval::State>("State")
          .Let<&TimeInterval::SetState>("State")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(TimeInterval)

std::string TimeRecordKey(Date when, std::string_view sequence_number) {
  std::string key = "K.";
  key += ToText(Variant(when));
  key += '.';
  key += sequence_number;
  return key;
}

int32_t DurationSeconds(Date start, Date end) {
  return CheckedCast<int32_t>(DateDiffSeconds(start, end));
}

std::string TimeInterval::ToString() const {
  return FormatGeneralDate(start_time_) + " --> " +
         FormatGeneralDate(end_time_) + " : " + TimeStateToString(state_);
}

std::string TimeInterval::ToSerializableString() const {
  return "[Start=" + SerializeDate(start_time_) +
         ",End=" + SerializeDate(end_time_) +
         ",State=" + TimeStateToString(state_) + "]";
}

}  // namespace kvl

// TimeConstants: the vocabulary of the time-state statistics. The states a
// monitored thing can be in (TimeStates) and the selectors of a statistic's
// counts and durations (TimePeriods), the texts of the states, a clock that
// can be frozen, and the text form of a date used by the statistics' text
// form.
//
// TimeConstants is a global class (kind 1): clients reach its implicit
// instance without creating it. Each instance has a clock of its own: it
// reads the library clock (clock.h) until SetCurrentTime freezes it at a
// date, for the rest of the instance's life. The library's own internal
// instance is never frozen; every class of this subsystem reads the time
// through it (LibraryTime). Instances are used on the thread that made them.
//
// Dates travel as text in the C locale: SerializeDate writes the day count
// with up to 15 significant digits and "." as decimal point, and
// DeSerializeDate reads exactly that back.
//
//   SerializeDate(MakeDate(2000, 1, 1, 12));     // "36526.5"
//   DeSerializeDate(Variant("36526.5"));         // the same date
//   TimeStateFromString("ON");                   // tsOn
//   auto frozen = MakeRef<TimeConstants>();
//   frozen->SetCurrentTime(MakeDate(2004, 2, 3));   // CurrentTime stays there
#ifndef KVL_TIMESTAT_TIME_CONSTANTS_H_
#define KVL_TIMESTAT_TIME_CONSTANTS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

enum TimeStates : int32_t {
  tsOff = 0,
  tsOn = 1,
  tsUnknown = 2,
  // No state applies: outside the period, before the first transition, or
  // a summarized statistic.
  tsMeaningless = 3,
};
KVL_DECLARE_ENUM(TimeStates)

enum TimePeriods : int32_t {
  tpOff = 0,
  tpOn = 1,
  tpUnknown = 2,
  tpTotal = 3,
  tpTodate = 4,
  tpUnknownToDate = 5,
  tpKnownToDate = 6,
};
KVL_DECLARE_ENUM(TimePeriods)

// "on", "off", "unknown" in any letter case, nothing trimmed; anything else
// is tsMeaningless.
KVL_EXPORT TimeStates TimeStateFromString(std::string_view tss);
// "Off", "On", "Meaningless"; every other value (tsUnknown included) is
// "Unknown".
KVL_EXPORT std::string TimeStateToString(TimeStates ts);
// The day count of `when` as number text (FormatDouble): "36526.5".
KVL_EXPORT std::string SerializeDate(Date when);
// `x` read as a number (a number, or numeric text such as SerializeDate
// writes) taken as a day count. Raises 13 when it is not a number, 6 when
// it lies outside the date range.
KVL_EXPORT Date DeSerializeDate(const Variant& x);

// The time as the library's internal TimeConstants instance reads it.
KVL_EXPORT Date LibraryTime();

class KVL_EXPORT TimeConstants : public Object {
  KVL_DECLARE_CLASS(TimeConstants)
 public:
  TimeStates TimeStateFromString(const std::string& tss) const {
    return kvl::TimeStateFromString(tss);
  }
  std::string TimeStateToString(TimeStates ts) const {
    return kvl::TimeStateToString(ts);
  }
  // The library clock's reading, or the date SetCurrentTime froze it at.
  Date CurrentTime() const;
  // Freezes this instance's clock at `vNewValue` for good.
  void SetCurrentTime(Date vNewValue) {
    frozen_at_ = vNewValue;
    live_ = false;
  }
  std::string SerializeDate(Date when) const {
    return kvl::SerializeDate(when);
  }
  Date DeSerializeDate(const Variant& x) const {
    return kvl::DeSerializeDate(x);
  }

 private:
  Date frozen_at_;
  bool live_ = true;
};

}  // namespace kvl

#endif  // KVL_TIMESTAT_TIME_CONSTANTS_H_

#include "kvl/timestat/time_stat.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/params/tokens.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

constexpr std::string_view kSource = "KVLCommon.TimeStat";

constexpr unsigned Mask(TimeStates s) {
  return 1u << s;
}

bool InMask(TimeStates s, unsigned mask) {
  return s >= 0 && s < 32 && ((mask >> s) & 1u) != 0;
}

// `when` in whole seconds since day 0, rounded as the date difference in
// seconds rounds each moment, or kNoSecond outside the date range.
constexpr int64_t kNoSecond = INT64_MIN;
int64_t WholeSeconds(Date when) {
  try {
    return DateDiffSeconds(Date{0}, when);
  } catch (const KVLError&) {
    return kNoSecond;
  }
}

// The duration of an interval from its ends in whole seconds: what
// DurationSeconds gives for the two dates, raising 6 where it would.
int32_t SecondsBetween(int64_t start, int64_t end) {
  if (start == kNoSecond || end == kNoSecond) Raise(kErrOverflow);
  return CheckedCast<int32_t>(end - start);
}

bool IsPeriod(TimePeriods p) {
  return p >= tpOff && p <= tpKnownToDate;
}

// Ten digits with leading zeros: 1 is "0000000001".
std::string SequenceText(int32_t n) {
  char text[16];
  std::snprintf(text, sizeof text, "%010d", n);
  return text;
}

// The name as the text form writes it: between apostrophes when it is
// blank, holds a character the format treats specially, or would read back
// as something other than text.
std::string NameText(const std::string& name) {
  const bool blank = name.find_first_not_of(' ') == std::string::npos;
  if (blank || name.find_first_of(" ,=/.:") != std::string::npos ||
      NeedsQuoting(name) || IsBooleanWord(name)) {
    return "'" + name + "'";
  }
  return name;
}

// The value of the first item called `keyword` in the tree of `pi`; raises
// 91 with a description naming the keyword when there is none.
Variant ValueOf(const ParamItem& pi, const std::string& keyword) {
  Ref<ParamItem> item = pi.ItemByIndex(keyword, 1);
  if (!item) Raise(kErrObjectNotSet, kSource, "Missing keyword " + keyword);
  return item->Value();
}

}  // namespace

const ClassInfo& TimeStatEvents::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TimeStatEvents>("__TimeStat", ClassKind::kNotification)
          .Method<&TimeStatEvents::InvalidAction>(
              "InvalidAction", {Arg("Name"), Arg("Description")})
          .Method<&TimeStatEvents::StateChange>(
              "StateChange", {Arg("Name"), Arg("NewState"), Arg("when")})
          .Build();
  return info;
}

const ClassInfo& TimeStat::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TimeStat>("TimeStat", ClassKind::kCreatable)
          .Get<&TimeStat::Summarized>("Summarized")
          .Get<&TimeStat::Subset>("Subset",
                                  {Arg("StartingAt"), Arg("EndingAt")})
          .Let<&TimeStat::SetSummarized>("Summarized")
          .Get<&TimeStat::Ratio>("Ratio",
                                 {Arg("numerator"), Arg("denominator")})
          .Get<&TimeStat::RatioValid>("RatioValid",
                                      {Arg("numerator"), Arg("denominator")})
          .Get<&TimeStat::StateAt>("StateAt",
                                   {OptArg("when").Of(VarType::kDate)})
          .Get<&TimeStat::IntervalAt>("IntervalAt", {Arg("when")})
          .Get<&TimeStat::StateAtText>("StateAtText",
                                       {OptArg("when").Of(VarType::kDate)})
          .Method<&TimeStat::RemoveIntervalAt>("RemoveIntervalAt",
                                               {Arg("when")})
          .Get<&TimeStat::Count>("Count", {Arg("period")})
          .Get<&TimeStat::Duration>("Duration", {Arg("period")})
          .Let<&TimeStat::SetCurrentState>("CurrentState")
          .Let<&TimeStat::SetTransition>("Transition",
                                         {Arg("when"), Arg("state")})
          .Get<&TimeStat::ToSerializableString>("ToSerializableString")
          .Method<&TimeStat::FromParamString>("FromParamString", {Arg("ps")})
          .Get<&TimeStat::Passivate>("Passivate", {Arg("Keyword")})
          .Get<&TimeStat::IntervalCount>("IntervalCount")
          .Get<&TimeStat::NextInterval>("NextInterval")
          .Get<&TimeStat::FirstInterval>("FirstInterval")
          .Get<&TimeStat::CurrentState>("CurrentState")
          .Let<&TimeStat::SetStartOfPeriod>("StartOfPeriod")
          .Get<&TimeStat::StartOfPeriod>("StartOfPeriod")
          .Get<&TimeStat::EndOfPeriod>("EndOfPeriod")
          .Let<&TimeStat::SetEndOfPeriod>("EndOfPeriod")
          .Get<&TimeStat::Name>("Name")
          .Let<&TimeStat::SetName>("Name")
          .Notifies(&TimeStatEvents::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(TimeStat)

TimeStat::~TimeStat() = default;

// ---- recording
// ---------------------------------------------------------------

void TimeStat::SetTransition(Date when, TimeStates state) {
  if (summarized_) {
    Invalid("Can't add a transition when summarized");
    return;
  }
  if (!std::isfinite(when.days))
    Raise(kErrInvalidArgument, kSource, "A transition time must be a date");
  if (!transitions_.empty()) {
    // Nothing outside the covered span (or inside a tsMeaningless
    // interval), nor when the state does not change.
    const int i = FindInterval(when);
    const TimeStates now_in =
        i < 0 ? tsMeaningless : transitions_[static_cast<size_t>(i)].state;
    if (now_in == tsMeaningless || now_in == state) return;
  }
  if (transitions_.size() >= static_cast<size_t>(kMaxTransitions))
    Raise(kErrOverflow, kSource, "A TimeStat holds at most 32767 transitions");
  sequence_ = CheckedAdd(sequence_, 1);
  // After every transition at the same time: the new one has the highest
  // sequence number.
  auto at = std::upper_bound(
      transitions_.begin(), transitions_.end(), when.days,
      [](double t, const Record& r) { return t < r.when.days; });
  transitions_.insert(at, Record{when, state, sequence_, WholeSeconds(when)});
  if (!loading_) {
    events_.Fire<&TimeStatEvents::StateChange>("StateChange", name_, state,
                                               when);
  }
}

void TimeStat::SetCurrentState(TimeStates state) {
  if (summarized_) {
    Invalid("Can't set the current state when summarized");
    return;
  }
  current_state_ = state;
  SetTransition(LibraryTime(), state);
}

void TimeStat::SetStartOfPeriod(Date when) {
  start_ = when;
  if (!has_list_) return;
  RemoveAllTransitions();
  SetTransition(start_, tsUnknown);
}

void TimeStat::SetEndOfPeriod(Date when) {
  end_ = when;
  if (has_list_ && transitions_.empty()) SetTransition(start_, tsUnknown);
}

void TimeStat::RemoveIntervalAt(Date when) {
  const int i = FindInterval(when);
  if (i >= 0) transitions_.erase(transitions_.begin() + i);
}

void TimeStat::RemoveAllTransitions() {
  transitions_.clear();
  transitions_.shrink_to_fit();
}

// ---- lookups
// -----------------------------------------------------------------

int TimeStat::FindInterval(Date when) const {
  if (summarized_ || transitions_.empty()) return -1;
  if (when.days < start_.days || when.days > end_.days) return -1;
  // The first interval with start <= when <= end. Interval i < n-1 ends
  // where i+1 starts, so it is the one before the first transition at or
  // after `when`, or the first one when that transition is exactly at
  // `when`; only the last interval has an end of its own.
  const size_t n = transitions_.size();
  const size_t k = CountBefore(when, /*inclusive=*/false);
  if (k == 0) {
    if (transitions_[0].when.days != when.days) return -1;
    if (n > 1) return 0;
  } else if (k < n) {
    return static_cast<int>(k - 1);
  }
  return OpenEnd(LibraryTime()).days >= when.days ? static_cast<int>(n - 1)
                                                  : -1;
}

size_t TimeStat::CountBefore(Date when, bool inclusive) const {
  auto first =
      inclusive ? std::upper_bound(
                      transitions_.begin(), transitions_.end(), when.days,
                      [](double t, const Record& r) { return t < r.when.days; })
                : std::lower_bound(transitions_.begin(), transitions_.end(),
                                   when.days, [](const Record& r, double t) {
                                     return r.when.days < t;
                                   });
  return static_cast<size_t>(first - transitions_.begin());
}

Date TimeStat::EndOf(size_t i, Date now) const {
  return i + 1 < transitions_.size() ? transitions_[i + 1].when : OpenEnd(now);
}

Ref<TimeInterval> TimeStat::MakeInterval(size_t i, Date now) const {
  const Record& r = transitions_[i];
  return MakeRef<TimeInterval>(r.when, EndOf(i, now), r.state,
                               SequenceText(r.sequence));
}

TimeStates TimeStat::StateAt(const Variant& when) const {
  if (summarized_) return tsMeaningless;
  const Date moment = when.is_missing() ? LibraryTime() : ToDate(when);
  const int i = FindInterval(moment);
  return i < 0 ? tsMeaningless : transitions_[static_cast<size_t>(i)].state;
}

std::string TimeStat::StateAtText(const Variant& when) const {
  return TimeStateToString(StateAt(when));
}

Ref<TimeInterval> TimeStat::IntervalAt(Date when) const {
  const int i = FindInterval(when);
  if (i < 0) return nullptr;
  return MakeInterval(static_cast<size_t>(i), LibraryTime());
}

int16_t TimeStat::IntervalCount() const {
  if (summarized_) return 0;
  return static_cast<int16_t>(transitions_.size());
}

Ref<TimeInterval> TimeStat::NextInterval() {
  if (summarized_) {
    Invalid("Interval operations not allowed when summarized");
    return nullptr;
  }
  cursor_ = CheckedAdd(cursor_, 1);
  if (static_cast<size_t>(cursor_) >= transitions_.size()) return nullptr;
  try {
    return MakeInterval(static_cast<size_t>(cursor_), LibraryTime());
  } catch (const KVLError&) {
    return nullptr;
  }
}

Ref<TimeInterval> TimeStat::FirstInterval() {
  cursor_ = -1;
  return NextInterval();
}

// ---- counts and durations
// ------------------------------------------------------

int16_t TimeStat::Count(TimePeriods period) {
  if (!IsPeriod(period)) {
    Invalid("Unknown period type: " + std::to_string(period));
    return 0;
  }
  try {
    return CountOf(period);
  } catch (const KVLError&) {
    return 0;
  }
}

int16_t TimeStat::CountOf(TimePeriods period) const {
  if (summarized_) {
    const Summary& s = summary_;
    switch (period) {
      case tpOff: return s.off_count;
      case tpOn: return s.on_count;
      case tpUnknown:
      case tpUnknownToDate: return s.unknown_count;
      case tpTotal:
      case tpTodate: return s.total_count;
      default: return CheckedAdd(s.total_count, -int64_t{s.unknown_count});
    }
  }
  auto count_in = [&](size_t n, unsigned states) {
    int16_t count = 0;
    for (size_t i = 0; i < n; ++i)
      if (InMask(transitions_[i].state, states)) ++count;
    return count;
  };
  const size_t all = transitions_.size();
  switch (period) {
    case tpOff: return count_in(all, Mask(tsOff));
    case tpOn: return count_in(all, Mask(tsOn));
    case tpUnknown: return count_in(all, Mask(tsUnknown));
    case tpTotal: return IntervalCount();
    case tpTodate:
      // Intervals that started by now, one starting exactly now included.
      return static_cast<int16_t>(CountBefore(LibraryTime(), true));
    case tpUnknownToDate:
      return count_in(CountBefore(LibraryTime(), false), Mask(tsUnknown));
    default:
      return count_in(CountBefore(LibraryTime(), false),
                      Mask(tsOn) | Mask(tsOff));
  }
}

double TimeStat::Duration(TimePeriods period) {
  if (!IsPeriod(period)) {
    Invalid("Unknown period type: " + std::to_string(period));
    return 0;
  }
  try {
    return DurationOf(period);
  } catch (const KVLError&) {
    return 0;
  }
}

int64_t TimeStat::SumDurations(size_t n, unsigned states, Date now,
                               const Date* cut) const {
  const int64_t open_end = WholeSeconds(OpenEnd(now));
  const int64_t cut_second = cut != nullptr ? WholeSeconds(*cut) : 0;
  int64_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const Record& r = transitions_[i];
    if (!InMask(r.state, states)) continue;
    const bool last = i + 1 == transitions_.size();
    int64_t end = last ? open_end : transitions_[i + 1].second;
    if (cut != nullptr && EndOf(i, now).days >= cut->days) end = cut_second;
    sum += SecondsBetween(r.second, end);
  }
  return sum;
}

double TimeStat::DurationOf(TimePeriods period) const {
  if (summarized_) {
    const Summary& s = summary_;
    switch (period) {
      case tpOff: return s.off_time;
      case tpOn: return s.on_time;
      case tpUnknown:
      case tpUnknownToDate: return s.unknown_time;
      case tpTotal:
      case tpTodate: return s.total_time;
      default: return s.total_time - s.unknown_time;
    }
  }
  const Date now = LibraryTime();
  const size_t all = transitions_.size();
  switch (period) {
    case tpOff:
      return static_cast<double>(SumDurations(all, Mask(tsOff), now, nullptr));
    case tpOn:
      return static_cast<double>(SumDurations(all, Mask(tsOn), now, nullptr));
    case tpUnknown:
      return static_cast<double>(
          SumDurations(all, Mask(tsUnknown), now, nullptr));
    case tpTotal: return static_cast<double>(DateDiffSeconds(start_, end_));
    case tpTodate:
      return static_cast<double>(
          DateDiffSeconds(start_, now.days <= end_.days ? now : end_));
    case tpUnknownToDate:
      // Intervals that started before now, cut at now.
      return static_cast<double>(
          SumDurations(CountBefore(now, false), Mask(tsUnknown), now, &now));
    default:
      return static_cast<double>(SumDurations(
          CountBefore(now, false), Mask(tsOn) | Mask(tsOff), now, &now));
  }
}

double TimeStat::Ratio(TimePeriods numerator, TimePeriods denominator) {
  const double n = Duration(numerator);
  const double d = Duration(denominator);
  if (d == 0) Raise(kErrDivisionByZero, kSource);
  return n / d;
}

bool TimeStat::RatioValid(TimePeriods, TimePeriods denominator) {
  return Duration(denominator) > 0;
}

// ---- summarizing and subsets
// ---------------------------------------------------

void TimeStat::SetSummarized(bool v) {
  if (!v) {
    if (summarized_) Invalid("It is not possible to un-summarize");
    return;
  }
  // The summary of a summarized statistic stays as it is.
  if (summarized_) return;
  if (LibraryTime().days < end_.days) {
    Invalid("Can't summarize before end of period");
    return;
  }
  Summarize();
}

void TimeStat::Summarize() {
  Summary s;
  s.total_time = Duration(tpTotal);
  s.on_time = Duration(tpOn);
  s.off_time = Duration(tpOff);
  s.unknown_time = Duration(tpUnknown);
  s.total_count = IntervalCount();
  s.on_count = Count(tpOn);
  s.off_count = Count(tpOff);
  s.unknown_count = Count(tpUnknown);
  summary_ = s;
  summarized_ = true;
  has_list_ = false;
  RemoveAllTransitions();
  current_state_ = tsMeaningless;
}

Ref<TimeStat> TimeStat::Subset(Date StartingAt, Date EndingAt) {
  if (summarized_) {
    Invalid("Can't take a subset of a summarized TimeStat");
    return nullptr;
  }
  if (StartingAt.days < start_.days) {
    Invalid("Subset start time is less than period start time");
    return nullptr;
  }
  if (EndingAt.days > end_.days) {
    Invalid("Subset end time is greater than period end time");
    return nullptr;
  }
  try {
    auto subset = MakeRef<TimeStat>();
    subset->SetName(name_);
    subset->SetStartOfPeriod(StartingAt);
    subset->SetEndOfPeriod(EndingAt);
    // The state in force at StartingAt replaces the subset's initial
    // tsUnknown: the last transition at or before it.
    const size_t first_after = CountBefore(StartingAt, /*inclusive=*/true);
    if (first_after > 0 && !subset->transitions_.empty())
      subset->transitions_.front().state = transitions_[first_after - 1].state;
    for (size_t i = first_after; i < transitions_.size(); ++i)
      subset->SetTransition(transitions_[i].when, transitions_[i].state);
    return subset;
  } catch (const KVLError& e) {
    Invalid("Subset: " + e.description());
    return nullptr;
  }
}

// ---- text form
// -------------------------------------------------------------------

std::string TimeStat::ToSerializableString() {
  std::string text = "[Name=" + NameText(name_);
  text += summarized_ ? ",Summarized=True" : ",Summarized=False";
  text += ",Start=" + SerializeDate(start_);
  text += ",End=" + SerializeDate(end_);
  if (summarized_) {
    text += ",OnTime=" + FormatDouble(Duration(tpOn));
    text += ",OffTime=" + FormatDouble(Duration(tpOff));
    text += ",UnknownTime=" + FormatDouble(Duration(tpUnknownToDate));
    text += ",OnCount=" + std::to_string(Count(tpOn));
    text += ",OffCount=" + std::to_string(Count(tpOff));
    text += ",UnknownCount=" + std::to_string(Count(tpUnknown));
    text += ",TotalCount=" + std::to_string(Count(tpTotal));
  } else {
    text += ",Transitions=[";
    const Date now = LibraryTime();
    for (size_t i = 0; i < transitions_.size(); ++i) {
      if (i > 0) text += ',';
      const Record& r = transitions_[i];
      text += "T=[Start=" + SerializeDate(r.when) +
              ",End=" + SerializeDate(EndOf(i, now)) +
              ",State=" + TimeStateToString(r.state) + "]";
    }
    text += ']';
  }
  text += ']';
  return text;
}

bool TimeStat::FromParamString(const Ref<ParamString>& ps) {
  try {
    if (!ps) Raise(kErrObjectNotSet, kSource);
    ReadParamString(ps);
    return true;
  } catch (const KVLError& e) {
    loading_ = false;
    Invalid("FromParamString:" + e.description());
    return false;
  }
}

void TimeStat::ReadParamString(const Ref<ParamString>& ps) {
  const Ref<ParamItem> root = ps->AsParamItem();
  summarized_ = ToBool(ValueOf(*root, "Summarized"));
  name_ = ToText(ValueOf(*root, "Name"));
  SetStartOfPeriod(DeSerializeDate(ValueOf(*root, "Start")));
  SetEndOfPeriod(DeSerializeDate(ValueOf(*root, "End")));
  summary_.total_time = static_cast<double>(DateDiffSeconds(start_, end_));
  if (summarized_) {
    has_list_ = false;
    RemoveAllTransitions();
    summary_.on_time = ToR8(ValueOf(*root, "OnTime"));
    summary_.off_time = ToR8(ValueOf(*root, "OffTime"));
    summary_.unknown_time = ToR8(ValueOf(*root, "UnknownTime"));
    summary_.total_count = ToI2(ValueOf(*root, "TotalCount"));
    summary_.on_count = ToI2(ValueOf(*root, "OnCount"));
    summary_.off_count = ToI2(ValueOf(*root, "OffCount"));
    summary_.unknown_count = ToI2(ValueOf(*root, "UnknownCount"));
    return;
  }
  has_list_ = true;
  RemoveAllTransitions();
  Ref<ParamItem> list = root->ItemByIndex("Transitions", 1);
  if (!list) Raise(kErrObjectNotSet, kSource, "Missing keyword Transitions");
  loading_ = true;
  for (Ref<ParamItem> t = list->FirstItem(); t; t = list->NextItem()) {
    SetTransition(DeSerializeDate(ValueOf(*t, "Start")),
                  TimeStateFromString(ToText(ValueOf(*t, "State"))));
  }
  loading_ = false;
}

std::string TimeStat::Passivate(const std::string& Keyword) {
  // The operating system's time, read through the one clock of the library.
  if (!summarized_) SetTransition(Clock::Now(), tsUnknown);
  return Keyword + "=" + ToSerializableString();
}

void TimeStat::Invalid(const std::string& description) {
  events_.Fire<&TimeStatEvents::InvalidAction>("InvalidAction", name_,
                                               description);
}

}  // namespace kvl

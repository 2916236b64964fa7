#include "kvl/timestat/time_constants.h"

#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

const ClassInfo& KvlEnumInfo(TimeStates) {
  static const ClassInfo info = EnumBuilder("TimeStates")
                                    .Value("tsOff", tsOff)
                                    .Value("tsOn", tsOn)
                                    .Value("tsUnknown", tsUnknown)
                                    .Value("tsMeaningless", tsMeaningless)
                                    .Build();
  return info;
}
KVL_REGISTER_ENUM(TimeStates)

const ClassInfo& KvlEnumInfo(TimePeriods) {
  static const ClassInfo info = EnumBuilder("TimePeriods")
                                    .Value("tpOff", tpOff)
                                    .Value("tpOn", tpOn)
                                    .Value("tpUnknown", tpUnknown)
                                    .Value("tpTotal", tpTotal)
                                    .Value("tpTodate", tpTodate)
                                    .Value("tpUnknownToDate", tpUnknownToDate)
                                    .Value("tpKnownToDate", tpKnownToDate)
                                    .Build();
  return info;
}
KVL_REGISTER_ENUM(TimePeriods)

const ClassInfo& TimeConstants::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TimeConstants>("TimeConstants", ClassKind::kGlobal)
          .Method<&TimeConstants::TimeStateFromString>("TimeStateFromString",
                                                       {Arg("tss")})
          .Method<&TimeConstants::TimeStateToString>("TimeStateToString",
                                                     {Arg("ts")})
          .Method<&TimeConstants::CurrentTime>("CurrentTime")
          .Method<&TimeConstants::SetCurrentTime>("SetCurrentTime",
                                                  {Arg("vNewValue")})
          .Method<&TimeConstants::SerializeDate>("SerializeDate", {Arg("when")})
          .Method<&TimeConstants::DeSerializeDate>("DeSerializeDate",
                                                   {Arg("x")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(TimeConstants)

TimeStates TimeStateFromString(std::string_view tss) {
  if (EqualsNoCase(tss, "on")) return tsOn;
  if (EqualsNoCase(tss, "off")) return tsOff;
  if (EqualsNoCase(tss, "unknown")) return tsUnknown;
  return tsMeaningless;
}

std::string TimeStateToString(TimeStates ts) {
  switch (ts) {
    case tsOff: return "Off";
    case tsOn: return "On";
    case tsMeaningless: return "Meaningless";
    default: return "Unknown";
  }
}

std::string SerializeDate(Date when) {
  return FormatDouble(when.days);
}

Date DeSerializeDate(const Variant& x) {
  return ToDate(Variant(ToR8(x)));
}

Date LibraryTime() {
  return InternalInstance<TimeConstants>().CurrentTime();
}

Date TimeConstants::CurrentTime() const {
  return live_ ? Clock::Now() : frozen_at_;
}

}  // namespace kvl

// Every class of the time-state statistics is in the catalogue with its
// kind, and a statistic works entirely late-bound, as a script client uses
// it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/frame/testing/catalogue_expectations.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/timestat/time_stat.h"

namespace kvl {
namespace {

Variant Call(Object& o, const char* name, std::vector<Variant> args = {},
             CallKind kind = CallKind::kMethod) {
  return o.Invoke(name, kind, args);
}
Variant Get(Object& o, const char* name, std::vector<Variant> args = {}) {
  return Call(o, name, std::move(args), CallKind::kGet);
}
void Let(Object& o, const char* name, std::vector<Variant> args) {
  Call(o, name, std::move(args), CallKind::kLet);
}

TEST(TimeStatCatalogueTest, KindsAndCreation) {
  ExpectCatalogueKinds({
      {"TimeConstants", ClassKind::kGlobal},
      {"TimeTransition", ClassKind::kCreatable},
      {"TimeInterval", ClassKind::kCreatable},
      {"TimeStat", ClassKind::kCreatable},
      {"ISerializable", ClassKind::kCreatable},
  });
  EXPECT_EQ(Catalogue::FindByName("TimeStat")->Info().notifications()->name(),
            "__TimeStat");
  Ref<Object> body = CreateObject("KVLCommon.ISerializable");
  EXPECT_EQ(Call(*body, "FromParamItem", {Variant::Nothing()}), Variant(false));
  EXPECT_EQ(Get(*body, "ToSerializableString"), Variant(""));
}

TEST(TimeStatLateBoundTest, ScriptClientRecordsADay) {
  StartLibrary();  // the library's own objects are not the test's
  ScopedManualClock clock(MakeDate(2000, 1, 2, 1));
  Ref<Object> constants = GlobalObject("TimeConstants");  // kept per thread
  LiveObjectCheck leaks;
  {
    EXPECT_EQ(Call(*constants, "TimeStateFromString", {Variant("on")}),
              Variant(int32_t{tsOn}));
    EXPECT_EQ(Call(*constants, "SerializeDate", {Variant("2000-01-01 12:00")}),
              Variant("36526.5"));

    Ref<Object> stat = CreateObject("KVLCommon.TimeStat");
    std::vector<std::string> seen;
    auto sink = MakeRef<DynamicObject>("Sink");
    sink->OnMethod("StateChange", [&](std::span<Variant> a) {
      seen.push_back(ToText(a[1]) + "@" + ToText(a[2]));
      return Variant();
    });
    sink->OnMethod("InvalidAction", [&](std::span<Variant> a) {
      seen.push_back(ToText(a[1]));
      return Variant();
    });
    static_cast<TimeStat&>(*stat).Connect(sink);
    Let(*stat, "Name", {Variant("Pump 1")});
    Let(*stat, "StartOfPeriod", {Variant("2000-01-01")});
    Let(*stat, "EndOfPeriod", {Variant(36527.0)});
    Let(*stat, "Transition", {Variant("2000-01-01 12:00"), Variant(tsOn)});
    EXPECT_EQ(Get(*stat, "ToSerializableString"),
              Variant("[Name='Pump 1',Summarized=False,Start=36526,End=36527,"
                      "Transitions=[T=[Start=36526,End=36526.5,State=Unknown],"
                      "T=[Start=36526.5,End=36527,State=On]]]"));
    EXPECT_EQ(Get(*stat, "StateAt"), Variant(int32_t{tsMeaningless}));
    EXPECT_EQ(Get(*stat, "Count", {Variant(int16_t{7})}), Variant(int16_t{0}));
    EXPECT_EQ(Get(*stat, "Ratio", {Variant(tpOn), Variant(tpTotal)}),
              Variant(0.5));
    EXPECT_EQ(Get(*stat, "IntervalCount"), Variant(int16_t{2}));

    Let(*stat, "Summarized", {Variant(true)});
    EXPECT_EQ(Get(*stat, "FirstInterval"), Variant::Nothing());
    EXPECT_EQ(seen, (std::vector<std::string>{
                        "2@2000-01-01", "1@2000-01-01 12:00:00",
                        "Unknown period type: 7",
                        "Interval operations not allowed when summarized"}));

    Ref<Object> ps = CreateObject("KVLCommon.ParamString");
    Call(*ps, "Parse", {Get(*stat, "Passivate", {Variant("Pump")})});
    Ref<Object> copy = CreateObject("KVLCommon.TimeStat");
    EXPECT_EQ(Call(*copy, "FromParamString", {Variant(ps)}), Variant(true));
    EXPECT_EQ(Get(*copy, "Duration", {Variant(tpOn)}), Variant(43200.0));
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

}  // namespace
}  // namespace kvl

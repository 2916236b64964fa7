#include "kvl/events/event_object.h"

#include <gtest/gtest.h>

#include <string>

#include "kvl/events/event_bus.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

TEST(EventObjectTest, KeywordsCarrySeveralValues) {
  auto e = MakeRef<EventObject>();
  e->SetName("E");
  e->SetValue("Port", int32_t{1});
  e->SetNewValue("PORT", int32_t{2});
  e->SetNewValue("Other", "x");  // a new keyword: stored as value 1
  EXPECT_EQ(e->ValueByIndex("port", 2), Variant(int32_t{2}));
  EXPECT_EQ(e->ToString(), "E Port=1 PORT=2 Other=x");
  Ref<Association> first = e->FirstValue();
  EXPECT_EQ(first->Types(), 2);
  first->SetMapping(Variant("live"));  // the records are the event's own
  e->SetValue("port", int32_t{9});     // replaces value 1, keeps the count
  EXPECT_EQ(e->ToString(), "E Port=9 PORT=2 Other=x");
  EXPECT_EQ(first->Types(), 2);

  // Assigning by index: below 1 and past the last value nothing happens.
  for (int16_t n : {0, -1, 3}) e->SetValueByIndex("port", n, Variant("v"));
  e->SetValueByIndex("PORT", 2, Variant("two"));
  e->SetValueByIndex("New", 1, Variant("one"));  // index 1 creates
  EXPECT_EQ(e->ToString(), "E Port=9 PORT=two Other=x New=one");

  // Missing keywords and indexes have defined results.
  EXPECT_EQ(e->Value("absent"), Variant(std::string()));
  EXPECT_EQ(e->ValueByIndex("Port", 3), Variant(std::string()));
  EXPECT_EQ(e->ParamIsMissing("absent"), Variant(true));
  EXPECT_EQ(e->ParamIsMissing("port"), Variant(false));
  EXPECT_EQ(e->ValueTypeName("absent"), "(Missing)");
  EXPECT_EQ(e->ValueTypeName("Port"), "Long");
}

TEST(EventObjectTest, CountsStopAt32767) {
  auto e = MakeRef<EventObject>();
  e->SetValue("K", int16_t{1});
  e->FirstValue()->SetTypes(32767);
  EXPECT_EQ(RaisedNumber([&] { e->SetNewValue("K", int16_t{2}); }), 6);
  // A count a client lowered points at a taken key.
  e->FirstValue()->SetTypes(1);
  e->SetNewValue("K", int16_t{2});
  e->FirstValue()->SetTypes(1);
  EXPECT_EQ(RaisedNumber([&] { e->SetNewValue("K", int16_t{3}); }), 457);
}

TEST(EventObjectTest, MatchQual) {
  auto e = MakeRef<EventObject>();
  e->SetValue("K1", "Vx");
  e->SetValue("N", int32_t{5});
  e->SetValue("T", "5");
  e->SetValue("Obj", Variant(MakeRef<EventObject>()));
  struct Case {
    const char* name;
    const char* value;
    bool match;
  };
  const Case cases[] = {
      {"K*", "V*", true},  {"k*", "v*", true}, {"K*", "W*", false},
      {"O*", "V*", false}, {"O*", "*", true},  {"O*", "", true},
      {"N", "5", false},   {"N", "*", true},   {"T", "5", true},
      {"T", "", false},    {"X*", "*", false}, {"*", "5", true},
  };
  for (const Case& c : cases)
    EXPECT_EQ(e->MatchQual(c.name, c.value), c.match)
        << c.name << "=" << c.value;
}

// Past a few parameters a plain keyword is looked up by its keys; the
// answers stay those of testing every parameter, also once a client has
// changed a record's keyword through FirstValue / NextValue.
TEST(EventObjectTest, MatchQualOnManyParameters) {
  for (int fillers : {0, 12}) {
    SCOPED_TRACE(fillers);
    auto e = MakeRef<EventObject>();
    for (int i = 0; i < fillers; ++i) e->SetValue("F" + std::to_string(i), "f");
    e->SetValue("Port", "80");
    e->SetNewValue("PORT", "8080");
    e->SetNewValue("port", int32_t{9});
    e->SetValue("Obj", Variant(MakeRef<EventObject>()));
    e->SetValue("", "blank");
    struct Case {
      const char* name;
      const char* value;
      bool match;
    };
    const Case cases[] = {
        {"port", "80", true}, {"PORT", "8080", true}, {"Port", "8*", true},
        {"Port", "9", false}, {"Port", "*", true},    {"Obj", "", true},
        {"Obj", "x", false},  {"Absent", "*", false}, {"", "blank", true},
        {"Por", "*", false},  {"Port.1", "*", false},
    };
    for (const Case& c : cases)
      EXPECT_EQ(e->MatchQual(c.name, c.value), c.match)
          << c.name << "=" << c.value;

    // The third value's record now carries another keyword.
    Ref<Association> record = e->FirstValue();
    while (!(record->Mapping() == Variant(int32_t{9}))) record = e->NextValue();
    record->SetValue(Variant("Moved"));
    record->SetMapping(Variant("here"));
    EXPECT_TRUE(e->MatchQual("moved", "here"));
    EXPECT_FALSE(e->MatchQual("Port", "here"));
    EXPECT_TRUE(e->MatchQual("Port", "8080"));
  }
}

TEST(EventObjectTest, TextForms) {
  auto e = MakeRef<EventObject>();
  e->SetName("Disk/From/Monitor");
  e->SetValue("Free", int32_t{12});
  e->SetValue("Unit", "MB");
  EXPECT_EQ(e->ToString(), "Disk/From/Monitor Free=12 Unit=MB");
  EXPECT_EQ(e->ToStringEx(Variant(true)),
            "Disk/From/Monitor Free/I4=12 Unit/A=MB");
  EXPECT_EQ(e->ToStringEx(), e->ToString());  // omitted: no types

  auto typed = MakeRef<EventObject>();
  typed->SetName("T");
  typed->SetValue("I", int16_t{1});
  typed->SetValue("F", 1.5f);
  typed->SetValue("D", 2.5);
  typed->SetValue("B", true);
  typed->SetValue("S", "a b");
  typed->SetValue("E", Variant());
  typed->SetValue("Nul", Variant::Null());
  EXPECT_EQ(typed->ToStringEx(Variant(true)),
            "T I/I2=1 F/F4=1.5 D/F8=2.5 B/BOOLEAN=True S/A='a b' E='' "
            "Nul=Null");

  auto empty = MakeRef<EventObject>();
  empty->SetValue("K", "v");
  empty->SetValue("L", "w");
  ASSERT_TRUE(empty->FirstValue());
  EXPECT_EQ(empty->ToString(), " K=v L=w");
  EXPECT_FALSE(empty->NextValue());  // printing moved the shared cursor
}

TEST(EventObjectTest, ObjectParametersPrintTheirClassAndText) {
  auto inner = MakeRef<EventObject>();
  inner->SetName("Inner");
  auto printer = MakeRef<DynamicObject>("Printer");
  printer->On("ToString", CallKind::kGet,
              [](std::span<Variant>) { return Variant("lp0"); });
  auto broken = MakeRef<DynamicObject>("Broken");
  broken->OnMethod("ToString", [](std::span<Variant>) -> Variant {
    Raise(kErrInvalidArgument);
  });

  auto e = MakeRef<EventObject>();
  e->SetName("E");
  e->SetValue("O", Variant(inner));
  e->SetValue("P", Variant(printer));
  e->SetValue("B", Variant(broken));
  e->SetValue("N", Variant::Nothing());
  e->SetValue("Self", Variant(e));  // a cycle prints its class only
  EXPECT_EQ(e->ToString(),
            "E O:=<EventObject:Inner> P:=<Printer:lp0> B:=<Broken> "
            "N:=<Nothing> Self:=<EventObject>");
  e->SetValue("Self", Variant());  // break the cycle
}

TEST(EventObjectTest, RefersToItsBusWithoutKeepingItAlive) {
  auto e = MakeRef<EventObject>();
  EXPECT_FALSE(e->ebus());
  {
    auto bus = MakeRef<EventBus>();
    bus->SendEvent(e);
    EXPECT_EQ(e->ebus(), bus);
  }  // the queued event does not keep the bus
  EXPECT_FALSE(e->ebus());
}

}  // namespace
}  // namespace kvl

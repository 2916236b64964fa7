#include "kvl/events/event_listener.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/events/internal/event_words.h"
#include "kvl/events/t_event_listener.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

// The qualifiers of a listener as «kp=vp» texts.
std::vector<std::string> Qualifiers(EventListener& l) {
  std::vector<std::string> out;
  for (Ref<Association> a = l.FirstValue(); a; a = l.NextValue())
    out.push_back(ToText(a->Value()) + "=" + ToText(a->Mapping()));
  return out;
}

Variant Texts(std::vector<Variant> items) {
  Variant array = Variant::MakeArray(VarType::kVariant, 0,
                                     static_cast<int32_t>(items.size()) - 1);
  array.Array().items() = std::move(items);
  return array;
}

TEST(EventWordsTest, SplitsLikeEventStrings) {
  struct Case {
    const char* text;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"Foo/To/Whatever K1=V1 K2='a b' Flag",
       {"Foo/To/Whatever", "K1=V1", "K2='a b'", "Flag"}},
      {"Evt A='x y' B=(1 2)", {"Evt", "A='x y'", "B=(1 2)"}},
      {"Evt  K=\\ V", {"Evt", "K=\\ V"}},
      {"E L=[1, 2] M={a b} Q=\"c d\"",
       {"E", "L=[1, 2]", "M={a b}", "Q=\"c d\""}},
      {"E S='it\\'s here'", {"E", "S='it\\'s here'"}},
      {" K=1", {"", "K=1"}},  // a leading blank: empty first word
      {"E K ", {"E", "K "}},  // the last character never ends a word
      {"E K  ", {"E", "K"}},
      {"", {""}},
      {"E a\\", {"E", "a\\"}},
      {"E ] x", {"E", "]", "x"}},  // depths below zero still split
      // An escaped UTF-8 character is skipped whole; malformed bytes are
      // ordinary characters.
      {"\xC3\x89v K=\\\xC3\xA9 x", {"\xC3\x89v", "K=\\\xC3\xA9", "x"}},
      {"E \xC3 \x80"
       "x \\\xE2\x82",
       {"E", "\xC3",
        "\x80"
        "x",
        "\\\xE2\x82"}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(internal::SplitEventWords(c.text), c.words) << c.text;
  EXPECT_EQ(internal::FindWordEnd("ab cd", 1, 5), 3);
  EXPECT_EQ(internal::FindWordEnd("ab cd", 4, 5), 0);
}

TEST(EventListenerTest, QualifiersFromArrays) {
  struct Case {
    std::vector<Variant> quals;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {{Variant("K1=V1"), Variant("K1=X")}, {"K1=X"}},
      {{Variant("K1"), Variant("K2="), Variant("=V")}, {"K1=*", "K2=*", "=V"}},
      {{Variant("A = b c"), Variant("B='q'")}, {"A = b c", "B='q'"}},
      {{Variant("K=1"), Variant()}, {"K=1"}},  // a spare Empty slot
      {{Variant(int32_t{5})}, {"5=*"}},
      {{Variant("k=a"), Variant("K=b")}, {"k=b"}},  // keys ignore case
  };
  for (const Case& c : cases) {
    auto l = MakeRef<EventListener>();
    l->AddQualifiers(Texts(c.quals));
    EXPECT_EQ(Qualifiers(*l), c.expected);
  }
  auto single = MakeRef<EventListener>();
  single->AddQualifiers(Variant("Copies=*"));
  single->AddQualifiers(Variant());
  EXPECT_EQ(Qualifiers(*single), std::vector<std::string>{"Copies=*"});
  auto bad = MakeRef<EventListener>();
  EXPECT_EQ(RaisedNumber([&] {
              bad->AddQualifiers(Texts({Variant("A=1"), Variant(bad)}));
            }),
            kErrTypeMismatch);
  EXPECT_TRUE(Qualifiers(*bad).empty());
}

TEST(EventListenerTest, ListenerStrings) {
  struct Case {
    const char* text;
    const char* name;
    std::vector<std::string> quals;
  };
  const Case cases[] = {
      {"Foo/To/* K*=V* Flag", "Foo/To/*", {"K*=V*", "Flag=*"}},
      {"Evt A='x y' B=(1 2)", "Evt", {"A=x y", "B=(1 2)"}},
      {"Evt  K=\\ V", "Evt", {"K=\\ V"}},
      {"Evt K1=", "Evt", {"K1==*"}},
      {"Foo   ", "Foo", {}},
  };
  for (const Case& c : cases) {
    auto l = MakeRef<EventListener>();
    l->ParseListenerString(c.text);
    EXPECT_EQ(l->Name(), c.name) << c.text;
    EXPECT_EQ(Qualifiers(*l), c.quals) << c.text;
  }
}

TEST(EventListenerTest, QualifiersCombineAndStayLive) {
  auto l = MakeRef<EventListener>();
  l->SetName("E*");
  l->AddQualifier("K*", "V*");
  l->AddQualifier("Z", "*");
  auto e = MakeRef<EventObject>();
  e->SetName("ev");
  e->SetValue("k2", "vx");
  EXPECT_FALSE(l->Matches(*e));  // no Z
  e->SetValue("z", int16_t{1});
  EXPECT_TRUE(l->Matches(*e));
  l->FirstValue()->SetMapping(Variant("W*"));
  EXPECT_FALSE(l->Matches(*e));
  e->SetNewValue("K3", "wy");
  EXPECT_TRUE(l->Matches(*e));
  l->FirstValue()->SetValue(Variant("Q"));  // the keyword pattern too
  EXPECT_FALSE(l->Matches(*e));

  // Adding a qualifier again replaces its value pattern in place.
  auto fresh = MakeRef<EventListener>();
  fresh->SetName("ev");
  fresh->AddQualifier("z", "2");
  EXPECT_FALSE(fresh->Matches(*e));
  fresh->AddQualifier("Z", "*");
  EXPECT_TRUE(fresh->Matches(*e));
}

TEST(EventListenerTest, TextForms) {
  auto l = MakeRef<EventListener>();
  l->SetFlag(3);
  EXPECT_EQ(l->FlagToString(), "QuietCatch");
  l->SetFlag(1);
  l->SetID(7);
  l->SetName("Foo/To/*");
  l->AddQualifier("K*", "V*");
  l->AddQualifier("S", "a b");
  EXPECT_EQ(l->ToString(), "ID=7 Flag=Catch Pattern=Foo/To/* K*=V* S=a b");
}

TEST(TEventListenerTest, QueuesOrNotifies) {
  ScopedManualClock clock(MakeDate(2024, 3, 5, 7, 8, 9));
  StartLibrary();  // the library's own objects are not the test's
  LiveObjectCheck leaks;
  {
    auto inbox = MakeRef<TEventListener>();
    for (const char* name : {"A", "B", "C"}) {
      auto e = MakeRef<EventObject>();
      e->SetName(name);
      inbox->EventHandler(e, 4, 2);
      clock.Advance(1000);
    }
    EXPECT_EQ(inbox->Count(), 3);
    std::string order;
    while (Ref<QueuedEvent> qe = inbox->NextQueuedEvent())
      order += qe->EventObject()->Name();
    EXPECT_EQ(order, "ABC");
    EXPECT_FALSE(inbox->NextQueuedEvent());

    std::vector<std::string> seen;
    auto sink = MakeRef<DynamicObject>("Sink");
    sink->OnMethod("EventAvailable", [&](std::span<Variant> a) {
      auto* qe = static_cast<QueuedEvent*>(a[0].AsObject());
      seen.push_back(qe->EventObject()->Name() + std::to_string(qe->ID()) +
                     std::to_string(qe->Flag()) + " " +
                     FormatGeneralDate(qe->TimeStamp()));
      return Variant();
    });
    inbox->Connect(sink);
    Variant on[] = {Variant(true)};
    inbox->Invoke("NotifyEnabled", CallKind::kLet, on);
    auto e = MakeRef<EventObject>();
    e->SetName("D");
    Variant args[] = {Variant(e), Variant(int32_t{9}), Variant(int16_t{1})};
    inbox->Invoke("EventHandler", CallKind::kMethod, args);
    EXPECT_EQ(inbox->Count(), 0);
    EXPECT_EQ(seen, std::vector<std::string>{"D91 2024-03-05 07:08:12"});
    EXPECT_TRUE(inbox->QueryInterface("IEventReceiver"));
    EXPECT_TRUE(inbox->QueryInterface("IRunnable"));
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

// The bus calls TEventListener through the typed IEventReceiver; a client
// calls EventHandler by name, on the object or through the interface. All
// three queue the same record.
TEST(TEventListenerTest, EveryWayInQueuesTheSameRecord) {
  ScopedManualClock clock(MakeDate(2024, 3, 5, 7, 8, 9));
  auto inbox = MakeRef<TEventListener>();
  auto e = MakeRef<EventObject>();
  e->SetName("E");
  inbox->As<IEventReceiver>()->EventHandler(e, 5, 2);
  std::vector<Variant> args{Variant(e), Variant(int32_t{5}),
                            Variant(int16_t{2})};
  inbox->Invoke("EventHandler", CallKind::kMethod, args);
  inbox->QueryInterface("IEventReceiver")
      ->Invoke("EventHandler", CallKind::kMethod, args);
  ASSERT_EQ(inbox->Count(), 3);
  while (Ref<QueuedEvent> qe = inbox->NextQueuedEvent()) {
    EXPECT_EQ(qe->EventObject(), e);
    EXPECT_EQ(qe->ID(), 5);
    EXPECT_EQ(qe->Flag(), 2);
    EXPECT_EQ(qe->TimeStamp(), MakeDate(2024, 3, 5, 7, 8, 9));
  }
  // IRunnable's members answer by name on the object itself.
  EXPECT_TRUE(CallByName(*inbox, "Run", CallKind::kMethod).is_empty());
  EXPECT_TRUE(CallByName(*inbox, "Quit", CallKind::kMethod).is_empty());
}

TEST(TEventListenerTest, NotificationsReachALateBoundConnection) {
  auto inbox = MakeRef<TEventListener>();
  inbox->SetNotifyEnabled(true);
  std::vector<std::string> heard;
  auto sink = MakeRef<DynamicObject>("Sink");
  sink->OnAnyMember([&](std::string_view name, CallKind, std::span<Variant>) {
    heard.emplace_back(name);
    return Variant();
  });
  Ref<Object> point = inbox->QueryInterface("IConnectionPoint");
  ASSERT_TRUE(point);
  Variant cookie = CallByName(*point, "Connect", CallKind::kMethod, sink);
  inbox->EventHandler(MakeRef<EventObject>(), 1, 0);
  CallByName(*point, "Disconnect", CallKind::kMethod, cookie);
  inbox->EventHandler(MakeRef<EventObject>(), 2, 0);
  EXPECT_EQ(heard, std::vector<std::string>{"EventAvailable"});
}

}  // namespace
}  // namespace kvl

#include "kvl/events/event_bus.h"

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "kvl/events/wildcard.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/testing/random_text.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

using Log = std::vector<std::string>;

// A typed receiver that writes «tag:event name» to a log, then runs an
// optional action.
class Recorder : public Object, public IEventReceiver {
  KVL_DECLARE_CLASS(Recorder)
 public:
  Recorder(std::string tag, Log* log) : tag_(std::move(tag)), log_(log) {}
  void EventHandler(const Ref<EventObject>& e, int32_t, int16_t) override {
    log_->push_back(tag_ + ":" + e->Name());
    if (action) action(*e);
  }
  std::function<void(EventObject&)> action;

 private:
  std::string tag_;
  Log* log_;
};

const ClassInfo& Recorder::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Recorder>("Recorder", ClassKind::kPrivate)
          .Implements(&IEventReceiver::StaticClass)
          .Build();
  return info;
}

std::string Joined(const Log& log) {
  std::string out;
  for (const std::string& s : log) out += (out.empty() ? "" : " ") + s;
  return out;
}

class EventBusTest : public ::testing::Test {
 protected:
  // The library's own objects are made before the leak count starts.
  static void SetUpTestSuite() { StartLibrary(); }

  Ref<Recorder> Receiver(const std::string& tag) {
    return MakeRef<Recorder>(tag, &log_);
  }
  std::string Fire() {
    bus_->FireAllEvents();
    std::string out = Joined(log_);
    log_.clear();
    return out;
  }

  void TearDown() override {
    bus_.reset();
    EXPECT_EQ(leaks_.Delta(), 0);
  }

  LiveObjectCheck leaks_;
  Log log_;
  Ref<EventBus> bus_ = MakeRef<EventBus>();
};

TEST_F(EventBusTest, SendingQueuesAndFiringDelivers) {
  bus_->Listen(Receiver("a"), "Job/*", Variant());
  bus_->SendString("Job/One");
  bus_->Send("Job/Two", {});
  EXPECT_EQ(bus_->EventCount(), 2);
  EXPECT_TRUE(log_.empty());
  int16_t seen_count = 0;
  auto counter = Receiver("count");
  counter->action = [&](EventObject&) { seen_count = bus_->EventCount(); };
  bus_->Listen(counter, "Job/Two", Variant());
  EXPECT_EQ(Fire(), "a:Job/One a:Job/Two count:Job/Two");
  EXPECT_EQ(seen_count, 1);  // the event being delivered still counts
  EXPECT_EQ(bus_->EventCount(), 0);
  EXPECT_EQ(bus_->ListenerCount(), 2);

  EXPECT_EQ(RaisedNumber([&] { bus_->Listen(nullptr, "E", Variant()); }), 91);
  EXPECT_EQ(RaisedNumber([&] {  // a qualifier without text
              bus_->Listen(Receiver("r"), "E", Variant(Receiver("q")));
            }),
            13);
  EXPECT_EQ(RaisedNumber([&] { bus_->SendEvent(nullptr); }), 91);
  EXPECT_EQ(bus_->ListenerCount(), 2);
}

TEST_F(EventBusTest, RolesAndTheCatchRule) {
  struct Member {
    char role;  // 'L' listen, 'M' monitor, 'C' catch
    const char* pattern;
    int16_t priority;
  };
  struct Case {
    std::vector<Member> members;
    const char* called;
  };
  const Case cases[] = {
      {{{'L', "E", 2}, {'C', "E", 2}}, "L0:E"},
      {{{'M', "E", 2}, {'C', "E", 2}}, "M0:E C1:E"},
      {{{'C', "E", 2}, {'C', "*", 2}}, "C0:E C1:E"},
      {{{'L', "X", 2}, {'C', "E", 2}}, "C1:E"},
      // The rule holds per priority class.
      {{{'L', "E", 2}, {'C', "E", 1}}, "C1:E L0:E"},
      {{{'L', "E", 1}, {'C', "E", 3}, {'M', "E", 3}}, "L0:E M2:E C1:E"},
      {{{'C', "E", 3}, {'L', "E", 3}, {'C', "E", 2}}, "C2:E L1:E"},
  };
  for (const Case& c : cases) {
    auto bus = MakeRef<EventBus>();
    for (size_t i = 0; i < c.members.size(); ++i) {
      const Member& m = c.members[i];
      auto r = Receiver(std::string(1, m.role) + std::to_string(i));
      int32_t id = m.role == 'L'   ? bus->Listen(r, m.pattern, Variant())
                   : m.role == 'M' ? bus->Monitor(r, m.pattern, Variant())
                                   : bus->Catch(r, m.pattern, Variant());
      bus->SetListenerPriority(id, Variant(m.priority));
    }
    bus->SendString("E");
    bus->FireAllEvents();
    EXPECT_EQ(Joined(log_), c.called);
    log_.clear();
  }
}

TEST_F(EventBusTest, EventsFromSendAndSendString) {
  Ref<EventObject> got;
  auto r = Receiver("r");
  r->action = [&](EventObject& e) { got = Ref<EventObject>(&e); };
  bus_->Listen(r, "*", Variant());
  auto doc = MakeRef<EventObject>();
  bus_->Send("Job/To/Printer",
             {Variant("Copies=2"), Variant("  Doc :="), Variant(doc),
              Variant("Flag"), Variant("Empty="), Variant("Raw= x"), Variant(),
              Variant(int32_t{7}), Variant::Null()});
  Fire();
  ASSERT_TRUE(got);
  // The keyword before «:=» keeps its trailing blank; Empty and Null are
  // left out.
  EXPECT_EQ(got->ToString(),
            "Job/To/Printer Copies=2 Doc :=<EventObject:> "
            "Flag='' Empty='' Raw=' x' 7=''");
  EXPECT_EQ(got->Value("doc "), Variant(doc));
  EXPECT_EQ(got->ebus(), bus_);

  bus_->SendString("Foo/To/Whatever K1=V1 K2='a b' Flag K1=again");
  Fire();
  EXPECT_EQ(got->ToString(), "Foo/To/Whatever K1=V1 K2='a b' Flag='' K1=again");
  bus_->SendString(" K=1 last ");
  Fire();
  EXPECT_EQ(got->Name(), "");
  EXPECT_EQ(got->Value("K"), Variant("1"));
  EXPECT_FALSE(got->ParamIsMissing("last ").AsBool());
}

TEST_F(EventBusTest, ListenerStringsAndQualifiers) {
  bus_->ListenString(Receiver("plain"), "Foo   ");
  bus_->ListenString(Receiver("k"), "Foo K");
  bus_->Listen(Receiver("copies"), "Job/To/*", Variant("Copies=*"));
  bus_->MonitorString(Receiver("mon"), "Job/* Copies=[0-9]");
  bus_->CatchString(Receiver("catch"), "Job/*");
  EXPECT_EQ(bus_->FirstListener(nullptr, "")->Name(), "Foo");
  bus_->SendString("foo");
  bus_->SendString("FOO k=1");
  bus_->SendString("Job/To/Printer Copies=2");
  bus_->SendString("Job/To/Printer Pages=2");
  EXPECT_EQ(Fire(),
            "plain:foo plain:FOO k:FOO copies:Job/To/Printer "
            "mon:Job/To/Printer catch:Job/To/Printer");
}

// Event names, keywords and values made of UTF-8 letters, written by the
// event's text form, read back unchanged through SendString; a listener
// string naming them matches.
TEST_F(EventBusTest, Utf8WordsReadBackThroughEventStrings) {
  std::mt19937 rng(31);
  Ref<EventObject> got;
  auto r = Receiver("r");
  r->action = [&](EventObject& e) { got = Ref<EventObject>(&e); };
  for (int round = 0; round < 300; ++round) {
    const std::string name = RandomUtf8Word(rng) + "/" + RandomUtf8Word(rng);
    const std::string keyword = RandomUtf8Word(rng);
    const std::string value = RandomUtf8Word(rng);
    auto e = MakeRef<EventObject>();
    e->SetName(name);
    e->SetNewValue(keyword, Variant(value));
    const std::string text = e->ToString();
    SCOPED_TRACE(text);
    const int32_t id =
        bus_->ListenString(r, name + " " + keyword + "=" + value);
    bus_->SendString(text);
    got.reset();
    Fire();
    ASSERT_TRUE(got);
    EXPECT_EQ(got->Name(), name);
    EXPECT_EQ(got->Value(keyword), Variant(value));
    bus_->Unlisten(id);
  }
}

TEST_F(EventBusTest, IdListeners) {
  Log calls;
  auto client = MakeRef<DynamicObject>("Client");
  client->OnMethod("eventId", [&](std::span<Variant> a) {
    auto* e = static_cast<EventObject*>(a[0].AsObject());
    calls.push_back(std::to_string(e->ID()) + ":" + e->Name() + ":" +
                    std::to_string(e->EventType()));
    return Variant();
  });
  int32_t v = -1;
  bus_->InvokeById(client, v);
  EXPECT_EQ(v, 1);
  bus_->Listen(Receiver("pattern"), "*", Variant());  // id 2
  int32_t typed_id = 0;
  bus_->InvokeById(Receiver("typed"), typed_id);  // no "eventId": skipped
  bus_->FireAllEvents();
  EXPECT_EQ(calls, Log{"1::1"});
  EXPECT_TRUE(log_.empty());  // id events never reach pattern listeners

  auto again = MakeRef<EventObject>();  // the id listener stays registered
  again->SetEventType(1);
  again->SetID(1);
  again->SetName("Again");
  bus_->SendEvent(again);
  EXPECT_EQ(bus_->ListenId(client, 0), 4);
  EXPECT_EQ(bus_->InvokeByNewId(client), 6);  // two ids per call
  bus_->FireAllEvents();
  EXPECT_EQ(calls, (Log{"1::1", "1:Again:1", "6::1"}));

  EXPECT_EQ(bus_->ListenId(client, 50), 50);
  EXPECT_EQ(RaisedNumber([&] { bus_->ListenId(client, 50); }), 457);
  EXPECT_EQ(bus_->ListenerCount(), 1);  // id listeners are not counted
  bus_->UnlistenAll(nullptr);
}

TEST_F(EventBusTest, ReceiversMayChangeTheBusWhileItDelivers) {
  auto late = Receiver("late");
  auto first = Receiver("first");
  int nested_events = -1;
  first->action = [&](EventObject& e) {
    if (e.Name() != "One") return;
    bus_->Listen(late, "*", Variant());  // armed from the next event
    bus_->SendString("Three");           // after the events queued before
    bus_->FireAllEvents();               // returns at once
    nested_events = bus_->EventCount();
  };
  bus_->Listen(first, "*", Variant());
  bus_->SendString("One");
  bus_->SendString("Two");
  EXPECT_EQ(Fire(), "first:One first:Two late:Two first:Three late:Three");
  EXPECT_EQ(nested_events, 3);
}

TEST_F(EventBusTest, RemovalAndMovesDuringDelivery) {
  // Listeners a, b, c, d (ids 1-4) of class 2; b acts on event E, then
  // events E and F are delivered.
  struct Case {
    std::function<void(EventBus&)> b_does;
    const char* delivered;
  };
  const Case cases[] = {
      {[](EventBus& bus) { bus.Unlisten(3); }, "a:E b:E d:E a:F b:F d:F"},
      {[](EventBus& bus) { bus.Unlisten(2); }, "a:E b:E c:E d:E a:F c:F d:F"},
      {[](EventBus& bus) { bus.Unlisten(1); }, "a:E b:E c:E d:E b:F c:F d:F"},
      // A moved listener is called once per event, wherever it goes.
      {[](EventBus& bus) { bus.SetListenerPriority(2, Variant(2)); },
       "a:E b:E c:E d:E a:F c:F d:F b:F"},
      {[](EventBus& bus) { bus.SetListenerPriority(2, Variant(3)); },
       "a:E b:E c:E d:E a:F c:F d:F b:F"},
      {[](EventBus& bus) { bus.SetListenerPriority(2, Variant(1)); },
       "a:E b:E c:E d:E b:F a:F c:F d:F"},
      {[](EventBus& bus) { bus.UnlistenAll(nullptr); }, "a:E b:E"},
      {[](EventBus& bus) { bus.UnlistenTag(nullptr, ""); }, "a:E b:E"},
  };
  for (const Case& c : cases) {
    auto bus = MakeRef<EventBus>();
    for (const char* tag : {"a", "b", "c", "d"}) {
      auto r = Receiver(tag);
      if (*tag == 'b')
        r->action = [&](EventObject& e) {
          if (e.Name() == "E") c.b_does(*bus);
        };
      bus->Listen(r, "*", Variant());
    }
    bus->SendString("E");
    bus->SendString("F");
    bus->FireAllEvents();
    EXPECT_EQ(Joined(log_), c.delivered);
    log_.clear();
  }
}

// Listeners of the same class, some found by the leading word of their
// pattern and some tried for every event, changed by receiver b while the
// first of two «Job/To» events is delivered.
TEST_F(EventBusTest, ListenerChangesDuringDeliveryKeepTheOrder) {
  struct Case {
    std::function<void(EventBus&)> b_does;
    const char* first;  // who receives the first event, in order
    const char* second;
  };
  // Ids: a 1 «Job/*», b 2 «*», c 3 «Job/To», d 4 «J*», e 5 «job/t?».
  const Case cases[] = {
      {[](EventBus& bus) { bus.Unlisten(3); }, "a b d e", "a b d e"},
      {[](EventBus& bus) { bus.Unlisten(4); }, "a b c e", "a b c e"},
      {[](EventBus& bus) { bus.Unlisten(1); }, "a b c d e", "b c d e"},
      {[](EventBus& bus) { bus.SetListenerPriority(3, Variant(2)); },
       "a b d e c", "a b d e c"},
      {[](EventBus& bus) { bus.SetListenerPriority(1, Variant(2)); },
       "a b c d e", "b c d e a"},
      {[](EventBus& bus) { bus.SetListenerPriority(4, Variant(3)); },
       "a b c e d", "a b c e d"},
      {[](EventBus& bus) { bus.SetListenerPriority(5, Variant(1)); }, "a b c d",
       "e a b c d"},
      {[&](EventBus& bus) {
         bus.Listen(Receiver("f"), "JOB/*", Variant());
         bus.Listen(Receiver("g"), "*", Variant());
       },
       "a b c d e", "a b c d e f g"},
      {[](EventBus& bus) { bus.UnlistenAll(nullptr); }, "a b", ""},
  };
  auto calls = [](const std::string& tags) {
    std::string out;
    for (char tag : tags)
      if (tag != ' ')
        out += (out.empty() ? "" : " ") + std::string(1, tag) + ":Job/To";
    return out;
  };
  for (const Case& c : cases) {
    auto bus = MakeRef<EventBus>();
    const std::pair<const char*, const char*> members[] = {
        {"a", "Job/*"}, {"b", "*"},      {"c", "Job/To"},
        {"d", "J*"},    {"e", "job/t?"},
    };
    bool acted = false;
    for (const auto& [tag, pattern] : members) {
      auto r = Receiver(tag);
      if (*tag == 'b')
        r->action = [&](EventObject&) {
          if (!acted) c.b_does(*bus);
          acted = true;
        };
      bus->Listen(r, pattern, Variant());
    }
    bus->SendString("Job/To");
    bus->FireAllEvents();
    EXPECT_EQ(Joined(log_), calls(c.first));
    log_.clear();
    bus->SendString("Job/To");
    bus->FireAllEvents();
    EXPECT_EQ(Joined(log_), calls(c.second));
    log_.clear();
  }
}

// A receiver that renames the event, or replaces it, sends it on to the
// later listeners that match the new name, wherever their patterns lead.
TEST_F(EventBusTest, RenamedEventsGoOnToTheListenersOfTheNewName) {
  bus_->Listen(Receiver("disk-before"), "Disk/*", Variant());
  auto renames = Receiver("renames");
  renames->action = [](EventObject& e) { e.SetName("Disk/Full"); };
  bus_->Listen(renames, "Job/*", Variant());
  bus_->Listen(Receiver("job-after"), "Job/*", Variant());
  bus_->Listen(Receiver("disk-after"), "DISK/*", Variant());
  bus_->Listen(Receiver("any"), "*", Variant());
  bus_->SendString("Job/To");
  EXPECT_EQ(Fire(), "renames:Job/To disk-after:Disk/Full any:Disk/Full");

  bus_->UnlistenAll(nullptr);
  auto replacement = MakeRef<EventObject>();
  replacement->SetName("Disk/Replaced");
  auto client = MakeRef<DynamicObject>("Client");
  client->OnMethod("EventHandler", [&](std::span<Variant> a) {
    a[0] = Variant(replacement);
    return Variant();
  });
  bus_->Listen(client, "Job/*", Variant());
  bus_->Listen(Receiver("job"), "Job/*", Variant());
  bus_->Listen(Receiver("disk"), "Disk/*", Variant());
  bus_->SendString("Job/To");
  EXPECT_EQ(Fire(), "disk:Disk/Replaced");
}

// Random registrations, moves and removals between firings: every event
// reaches exactly the listeners a plain walk over each class finds, in the
// same order, with the catch rule applied per class.
TEST_F(EventBusTest, DeliveryMatchesAWalkOverEveryListener) {
  struct Model {
    int32_t id;
    std::string pattern;
    char role;  // 'L', 'M' or 'C'
  };
  const char* patterns[] = {"Job/*",
                            "job/To/*",
                            "Job",
                            "*",
                            "J*",
                            "*/To/*",
                            "Disk/*",
                            "DISK/Full",
                            "?ob/*",
                            "[jd]*",
                            "Job/To/Printer",
                            "/x",
                            "",
                            "Caf\xC3\xA9/*",
                            "Jobs/*",
                            "Job/[!T]*"};
  const char* names[] = {"Job/To/Printer",
                         "JOB/to/x",
                         "Job",
                         "Disk/Full",
                         "disk/x",
                         "",
                         "/x",
                         "Jobs/To",
                         "Caf\xC3\xA9/1",
                         "CAF\xC3\xA9/2",
                         "Job/Other"};
  std::mt19937 rng(7);
  auto pick = [&](size_t n) { return static_cast<size_t>(rng() % n); };
  std::array<std::vector<Model>, 3> classes;
  for (int round = 0; round < 400; ++round) {
    const size_t op = pick(10);
    if (op < 5) {
      Model m{0, patterns[pick(std::size(patterns))], "LMC"[pick(3)]};
      auto r = Receiver(m.pattern);
      m.id = m.role == 'L'   ? bus_->Listen(r, m.pattern, Variant())
             : m.role == 'M' ? bus_->Monitor(r, m.pattern, Variant())
                             : bus_->Catch(r, m.pattern, Variant());
      classes[1].push_back(m);
    } else if (op < 8) {
      auto& from = classes[pick(3)];
      if (from.empty()) continue;
      const size_t at = pick(from.size());
      const Model m = from[at];
      from.erase(from.begin() + static_cast<std::ptrdiff_t>(at));
      if (op == 5) {
        bus_->Unlisten(m.id);
      } else {
        const int16_t to = static_cast<int16_t>(1 + pick(3));
        bus_->SetListenerPriority(m.id, Variant(to));
        classes[static_cast<size_t>(to - 1)].push_back(m);
      }
    } else {
      const std::string name = names[pick(std::size(names))];
      Log expected;
      for (const auto& members : classes) {
        int normal = 0;
        int catches = 0;
        for (const Model& m : members) {
          if (!WildcardMatch(name, m.pattern)) continue;
          if (m.role == 'C') {
            ++catches;
            continue;
          }
          expected.push_back(m.pattern + ":" + name);
          if (m.role == 'L') ++normal;
        }
        if (normal == 0 && catches > 0)
          for (const Model& m : members)
            if (m.role == 'C' && WildcardMatch(name, m.pattern))
              expected.push_back(m.pattern + ":" + name);
      }
      auto e = MakeRef<EventObject>();
      e->SetName(name);
      bus_->SendEvent(e);
      bus_->FireAllEvents();
      ASSERT_EQ(log_, expected) << "round " << round << ", event " << name;
      log_.clear();
    }
  }
}

TEST_F(EventBusTest, FailingReceiversDoNotStopTheOthers) {
  auto raises = Receiver("raises");
  raises->action = [](EventObject&) { Raise(kErrOverflow); };
  auto throws = Receiver("throws");
  throws->action = [](EventObject&) { throw std::runtime_error("x"); };
  auto odd = Receiver("odd");
  odd->action = [](EventObject&) { throw 42; };
  bus_->Listen(raises, "*", Variant());
  bus_->Listen(throws, "*", Variant());
  bus_->Listen(odd, "*", Variant());
  bus_->Listen(MakeRef<DynamicObject>("NoHandler"), "*", Variant());
  bus_->Catch(Receiver("catch"), "*", Variant());  // failed calls count
  bus_->Listen(Receiver("last"), "*", Variant());
  bus_->SendString("E");
  EXPECT_EQ(Fire(), "raises:E throws:E odd:E last:E");
}

TEST_F(EventBusTest, ErrorRecordIsClearedAroundEachReceiver) {
  SetErrorRecord(KVLError(kErrOverflow, "Earlier", "stale"));
  bool clear_at_call = false;
  auto checks = Receiver("checks");
  checks->action = [&](EventObject&) {
    clear_at_call = !TakeErrorRecord().set;
    Raise(kErrInvalidArgument);
  };
  bus_->Listen(checks, "*", Variant());
  bus_->SendString("E");
  Fire();
  EXPECT_TRUE(clear_at_call);
  EXPECT_FALSE(TakeErrorRecord().set);
}

TEST_F(EventBusTest, OutOfMemoryInAReceiverEndsFiringAndDropsTheEvent) {
  auto starved = Receiver("starved");
  starved->action = [](EventObject&) { throw std::bad_alloc(); };
  bus_->Listen(starved, "A", Variant());
  bus_->Listen(Receiver("b"), "B", Variant());
  bus_->SendString("A");
  bus_->SendString("B");
  EXPECT_THROW(bus_->FireAllEvents(), std::bad_alloc);
  EXPECT_EQ(bus_->EventCount(), 1);
  log_.clear();
  EXPECT_EQ(Fire(), "b:B");  // the bus still works; "A" is not sent again
}

TEST_F(EventBusTest, LateBoundReceiversAndReplacedEvents) {
  Log calls;
  auto replacement = MakeRef<EventObject>();
  replacement->SetName("Replaced");
  auto client = MakeRef<DynamicObject>("Client");
  client->OnMethod("EventHandler", [&](std::span<Variant> a) {
    auto* e = static_cast<EventObject*>(a[0].AsObject());
    calls.push_back(e->Name() + ":" + std::to_string(ToI4(a[1])) + ":" +
                    std::to_string(ToI2(a[2])) + ":" + TypeName(a[1]) + ":" +
                    TypeName(a[2]));
    if (e->Name() == "Original") a[0] = Variant(replacement);
    return Variant();
  });
  const int32_t id = bus_->Monitor(client, "*", Variant());
  bus_->Listen(Receiver("typed"), "*", Variant());
  bus_->SendString("Original");
  EXPECT_EQ(Fire(), "typed:Replaced");
  EXPECT_EQ(calls, Log{"Original:" + std::to_string(id) + ":2:Long:Integer"});
}

TEST_F(EventBusTest, ReceiversMayDropTheLastReferences) {
  // The bus's only reference is dropped by a receiver mid-delivery.
  Ref<EventBus> bus = std::move(bus_);
  EventBus* raw = bus.get();
  auto dropper = Receiver("drop");
  dropper->action = [&](EventObject& e) {
    if (e.Name() == "Drop") bus.reset();
  };
  raw->Listen(dropper, "*", Variant());
  raw->Listen(Receiver("after"), "*", Variant());
  raw->SendString("Drop");
  raw->SendString("Next");
  const int64_t before = Object::LiveCount();
  raw->FireAllEvents();
  EXPECT_EQ(Joined(log_), "drop:Drop after:Drop drop:Next after:Next");
  EXPECT_LT(Object::LiveCount(), before);  // the bus ended afterwards
  log_.clear();

  // A receiver whose only owner is its listener unlistens itself.
  bus_ = MakeRef<EventBus>();
  auto self = Receiver("self");
  Recorder* raw_self = self.get();
  const int32_t id = bus_->Listen(std::move(self), "*", Variant());
  raw_self->action = [&](EventObject&) {
    bus_->Unlisten(id);
    log_.push_back("still-alive");  // runs inside the ended listener's call
  };
  bus_->Listen(Receiver("other"), "*", Variant());
  bus_->SendString("E");
  EXPECT_EQ(Fire(), "self:E still-alive other:E");
}

TEST_F(EventBusTest, BrowsingTagsAndRemoval) {
  auto x = Receiver("x");
  auto y = Receiver("y");
  const int32_t x1 = bus_->ListenTag(x, "Group", "Job/*", Variant());
  const int32_t x2 = bus_->MonitorTag(x, "other", "Disk/*", Variant());
  const int32_t y1 = bus_->CatchTag(y, "group", "Job/Done", Variant());
  const int32_t y2 = bus_->ListenId(y, 0);
  bus_->SetListenerPriority(y1, Variant(1));

  EXPECT_EQ(bus_->NextListener(nullptr, "")->ID(), x1);  // starts at class 2
  auto ids = [&](Ref<Object> who, const std::string& p) {
    std::vector<int32_t> out;
    for (auto l = bus_->FirstListener(who, p); l;
         l = bus_->NextListener(who, p))
      out.push_back(l->ID());
    return out;
  };
  EXPECT_EQ(ids(nullptr, ""), (std::vector<int32_t>{y1, x1, x2}));
  EXPECT_EQ(ids(x, ""), (std::vector<int32_t>{x1, x2}));
  EXPECT_EQ(ids(nullptr, "JOB/*"), (std::vector<int32_t>{y1, x1}));
  EXPECT_FALSE(bus_->NextListener(nullptr, ""));  // stays at the end

  EXPECT_EQ(bus_->TagForId(y1), "group");
  EXPECT_EQ(bus_->TagForId(999), "");
  bus_->UnlistenTag(nullptr, "GROUP");
  EXPECT_EQ(ids(nullptr, ""), (std::vector<int32_t>{x2}));
  bus_->UnlistenAll(y);
  EXPECT_FALSE(bus_->SetListenerPriority(y2, Variant(1)));  // y2 is gone
  bus_->Unlisten(12345);                                    // ignored
  bus_->UnlistenAll(x);
  EXPECT_FALSE(bus_->FirstListener(nullptr, ""));
}

}  // namespace
}  // namespace kvl

#include "kvl/runtime/object.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/notifier.h"

namespace kvl {
namespace {

// Counts terminations; optionally keeps another object alive.
class Probe : public Object {
  KVL_DECLARE_CLASS(Probe)
 public:
  explicit Probe(int* ended) : ended_(ended) {}
  ~Probe() override {
    // Termination may take and drop references to itself.
    Ref<Probe> self(this);
    ++*ended_;
  }
  Ref<Object> held;

 private:
  int* ended_;
};

const ClassInfo& Probe::StaticClass() {
  static const ClassInfo info("Probe", ClassKind::kPrivate, {});
  return info;
}

TEST(ObjectTest, LastReleaseEndsTheObjectOnce) {
  int ended = 0;
  const int64_t live = Object::LiveCount();
  {
    Ref<Probe> a = MakeRef<Probe>(&ended);
    Ref<Probe> b = a;
    EXPECT_EQ(a->RefCount(), 2);
    Variant v(a);
    EXPECT_EQ(a->RefCount(), 3);
    b.reset();
    v = Variant();
    EXPECT_EQ(a->RefCount(), 1);
    EXPECT_EQ(ended, 0);
    EXPECT_EQ(Object::LiveCount(), live + 1);
  }
  EXPECT_EQ(ended, 1);
  EXPECT_EQ(Object::LiveCount(), live);
}

TEST(ObjectTest, VariantCopiesShareObjectsButCopyArrays) {
  int ended = 0;
  Variant list = Variant::MakeArray(VarType::kVariant, 0, 1);
  list.Array().At(0) = Variant(MakeRef<Probe>(&ended));
  Variant copy = list;
  copy.Array().At(1) = Variant("only in the copy");
  EXPECT_TRUE(list.Array().At(1).is_empty());
  EXPECT_EQ(list.Array().At(0).AsObject(), copy.Array().At(0).AsObject());
  list = Variant();
  EXPECT_EQ(ended, 0);
  copy = Variant();
  EXPECT_EQ(ended, 1);
}

TEST(ObjectTest, SafeArrayBoundsAndTypedElements) {
  Variant bytes = Variant::MakeArray(VarType::kByte, 1, 3);
  EXPECT_EQ(bytes.type(), VarType::kArray | VarType::kByte);
  EXPECT_EQ(bytes.Array().lower(), 1);
  EXPECT_EQ(bytes.Array().upper(), 3);
  bytes.Array().Put(2, Variant(int32_t{200}));
  EXPECT_EQ(bytes.Array().At(2), Variant(uint8_t{200}));
  EXPECT_THROW(bytes.Array().Put(4, Variant(1)), KVLError);
  EXPECT_THROW(bytes.Array().Put(1, Variant(int32_t{256})), KVLError);
  EXPECT_THROW(bytes.Array().At(0), KVLError);
  Variant empty = Variant::MakeArray(VarType::kVariant, 0, -1);
  EXPECT_EQ(empty.Array().size(), 0);
}

// Typed sink interface for the notifier tests.
class ITicks {
 public:
  virtual void Tick(int32_t n, std::string& reply) = 0;

 protected:
  ~ITicks() = default;
};

class TypedSink : public Object, public ITicks {
  KVL_DECLARE_CLASS(TypedSink)
 public:
  void Tick(int32_t n, std::string& reply) override {
    total += n;
    reply = "typed";
  }
  int32_t total = 0;
};

const ClassInfo& TypedSink::StaticClass() {
  static const ClassInfo info("TypedSink", ClassKind::kPrivate, {});
  return info;
}

TEST(NotifierTest, CallsTypedAndLateBoundSinks) {
  Notifier<ITicks> ticks;
  std::string reply = "none";
  ticks.Fire<&ITicks::Tick>("Tick", 1, reply);  // no sink: nothing happens
  EXPECT_EQ(reply, "none");

  auto typed = MakeRef<TypedSink>();
  int32_t late_total = 0;
  auto late = MakeRef<DynamicObject>("Client");
  late->OnMethod("Tick", [&](std::span<Variant> a) {
    late_total += ToI4(a[0]);
    a[1] = Variant("late");
    return Variant();
  });
  ticks.Connect(typed);
  uint32_t cookie = ticks.Connect(late);
  ticks.Fire<&ITicks::Tick>("Tick", 5, reply);
  EXPECT_EQ(typed->total, 5);
  EXPECT_EQ(late_total, 5);
  EXPECT_EQ(reply, "late");  // written back by the last sink

  EXPECT_TRUE(ticks.Disconnect(cookie));
  ticks.Fire<&ITicks::Tick>("Tick", 2, reply);
  EXPECT_EQ(late_total, 5);
  EXPECT_EQ(typed->total, 7);
}

TEST(NotifierTest, FailingOrDisconnectingSinkDoesNotStopOthers) {
  Notifier<ITicks> ticks;
  auto failing = MakeRef<DynamicObject>("Failing");
  failing->OnMethod("Tick",
                    [](std::span<Variant>) -> Variant { Raise(kErrOverflow); });
  auto quitter = MakeRef<DynamicObject>("Quitter");
  int quitter_calls = 0;
  quitter->OnMethod("Tick", [&](std::span<Variant>) {
    ++quitter_calls;
    ticks.Disconnect(quitter.get());
    return Variant();
  });
  auto typed = MakeRef<TypedSink>();
  ticks.Connect(failing);
  ticks.Connect(quitter);
  ticks.Connect(typed);
  std::string reply;
  ticks.Fire<&ITicks::Tick>("Tick", 1, reply);
  ticks.Fire<&ITicks::Tick>("Tick", 1, reply);
  EXPECT_EQ(quitter_calls, 1);
  EXPECT_EQ(typed->total, 2);
  EXPECT_EQ(ticks.size(), 2u);
}

// Changes made by a sink during a firing apply from the next firing on; a
// sink disconnected meanwhile, held by nothing else, lives until the firing
// is done with it. A copied notifier keeps its own list.
TEST(NotifierTest, ChangesDuringAFiringApplyToTheNext) {
  Notifier<ITicks> ticks;
  std::vector<std::string> heard;
  auto recording = [&](const char* name) {
    auto sink = MakeRef<DynamicObject>(name);
    sink->OnMethod("Tick", [&heard, name](std::span<Variant>) {
      heard.push_back(name);
      return Variant();
    });
    return sink;
  };
  uint32_t last = 0;
  auto first = MakeRef<DynamicObject>("First");
  first->OnMethod("Tick", [&](std::span<Variant>) {
    heard.push_back("First");
    if (ticks.Disconnect(last)) ticks.Connect(recording("Added"));
    return Variant();
  });
  ticks.Connect(first);
  last = ticks.Connect(recording("Last"));  // the notifier holds it alone
  Notifier<ITicks> copy = ticks;

  std::string reply;
  ticks.Fire<&ITicks::Tick>("Tick", 1, reply);
  EXPECT_EQ(heard, (std::vector<std::string>{"First", "Last"}));
  heard.clear();
  ticks.Fire<&ITicks::Tick>("Tick", 1, reply);
  EXPECT_EQ(heard, (std::vector<std::string>{"First", "Added"}));

  heard.clear();
  copy.Fire<&ITicks::Tick>("Tick", 1, reply);  // First finds `last` gone
  EXPECT_EQ(heard, (std::vector<std::string>{"First", "Last"}));
  EXPECT_EQ(copy.size(), 2u);
  EXPECT_EQ(ticks.size(), 2u);
}

TEST(EnumVariantTest, StatusesFollowTheProtocol) {
  VectorEnumerator e({Variant(1), Variant(2), Variant(3)});
  Variant out[2];
  uint32_t fetched = 0;
  EXPECT_EQ(e.Next(2, out, &fetched), kS_OK);
  EXPECT_EQ(fetched, 2u);
  EXPECT_EQ(out[1], Variant(2));
  Ref<Object> clone;
  EXPECT_EQ(e.Clone(&clone), kS_OK);
  EXPECT_EQ(e.Next(2, out, &fetched), kS_FALSE);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(out[0], Variant(3));
  EXPECT_EQ(e.Skip(1), kS_FALSE);
  EXPECT_EQ(e.Reset(), kS_OK);
  EXPECT_EQ(e.Skip(3), kS_OK);
  // The clone kept its own position.
  EXPECT_EQ(clone->As<IEnumVariant>()->Next(1, out, nullptr), kS_OK);
  EXPECT_EQ(out[0], Variant(3));
}

TEST(EnumVariantTest, ForEachWalksAnyCollectionByNewEnum) {
  auto collection = MakeRef<DynamicObject>("Bag");
  collection->OnMethod("NewEnum", [](std::span<Variant>) {
    return Variant(MakeRef<VectorEnumerator>(
        std::vector<Variant>{Variant("a"), Variant("b"), Variant("c")}));
  });
  std::string seen;
  ForEach(Variant(collection), [&](const Variant& v) {
    seen += v.AsString();
    return v.AsString() != "b";
  });
  EXPECT_EQ(seen, "ab");
  EXPECT_THROW(ForEach(Variant(3), [](const Variant&) { return true; }),
               KVLError);
}

}  // namespace
}  // namespace kvl

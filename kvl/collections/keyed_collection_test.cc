#include "kvl/collections/keyed_collection.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "kvl/collections/kvl_srtd_clctn.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/test_support.h"

namespace kvl {
namespace {

using ::testing::ElementsAre;
using Names = std::vector<std::string>;

// A client object with a number N and a name.
Ref<Object> Thing(int32_t n, std::string name = "") {
  auto d = MakeRef<DynamicObject>("Thing");
  d->AddProperty("N", Variant(n));
  d->AddProperty("Name", Variant(std::move(name)));
  return d;
}
int32_t N(const Variant& o) {
  return ToI4(CallByName(*o.AsObject(), "N", CallKind::kGet));
}
std::string Name(const Variant& o) {
  return ToText(CallByName(*o.AsObject(), "Name", CallKind::kGet));
}
// The names of the elements, walked as a client's for-each does.
Names NamesOf(const Ref<Object>& collection) {
  Names names;
  ForEach(Variant(collection), [&](const Variant& item) {
    names.push_back(Name(item));
    return true;
  });
  return names;
}

TEST(IKVLCollectionTest, AddBeforeKeysAndRemove) {
  struct Case {
    int initial;
    int16_t before;
    Names expected;
  };
  const Case cases[] = {
      {1, 2, {"1", "x"}},  // 2 is no position in a list of one: at the end
      {3, 2, {"1", "x", "2", "3"}},
      {3, 1, {"x", "1", "2", "3"}},
      {3, 0, {"1", "2", "3", "x"}},
      {3, -1, {"1", "2", "3", "x"}},
      {0, 1, {"x"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.initial << " before " << k.before);
    auto c = MakeRef<IKVLCollection>();
    for (int i = 1; i <= k.initial; ++i)
      c->Add(Thing(i, std::to_string(i)), "ABC" + std::to_string(i));
    EXPECT_EQ(c->Add(Thing(0, "x"), "", k.before), kKVLException_OK);
    EXPECT_EQ(NamesOf(c), k.expected);
    for (int i = 1; i <= k.initial; ++i)
      EXPECT_EQ(N(Variant(c->Item(Variant("abc" + std::to_string(i))))), i);
    if (k.initial > 0) {
      EXPECT_EQ(c->Add(Thing(9), "abc1"), kKVLException_DuplicateItem);
      EXPECT_EQ(c->Remove(Variant("aBc1")), kKVLException_OK);
      EXPECT_EQ(c->Remove(Variant("abc1")), kKVLException_ItemNotFound);
      EXPECT_EQ(c->Add(Thing(9), "abc1"), kKVLException_OK);
    }
  }
}

TEST(IKVLCollectionTest, IndexOrKeyArguments) {
  auto c = MakeRef<IKVLCollection>();
  c->Add(Thing(1, "one"), "2");
  c->Add(Thing(2, "two"));
  const std::pair<Variant, const char*> cases[] = {
      {Variant(int16_t{1}), "one"},   {Variant(2.0), "two"},
      {Variant("2"), "one"},  // a text is always a key
      {Variant(int32_t{0}), nullptr}, {Variant(int32_t{3}), nullptr},
      {Variant(1e12), nullptr},       {Variant(""), nullptr},
      {Variant(), nullptr},           {Variant::Null(), nullptr},
      {Variant(c), nullptr},
  };
  for (const auto& [arg, expected] : cases) {
    SCOPED_TRACE(TypeName(arg));
    Ref<Object> found = c->Item(arg);
    if (expected) {
      EXPECT_EQ(Name(Variant(found)), expected);
    } else {
      EXPECT_FALSE(found);
      EXPECT_EQ(c->Remove(arg), kKVLException_ItemNotFound);
    }
  }
}

TEST(IKVLCollectionTest, LateBoundAndEnumerated) {
  Ref<Object> c = MakeRef<IKVLCollection>();
  CallByName(*c, "Add", CallKind::kMethod, Thing(1, "a"));
  CallByName(*c, "add", CallKind::kMethod, Thing(2, "b"), "KB");
  Variant args[] = {Variant(Thing(0, "z")), Variant::Missing(),
                    Variant(int16_t{1})};
  EXPECT_EQ(c->Invoke("Add", CallKind::kMethod, args), Variant(int32_t{0}));
  EXPECT_EQ(Name(CallByName(*c, "Item", CallKind::kGet, "kB")), "b");
  EXPECT_EQ(RaisedNumber([&] { CallByName(*c, "Add", CallKind::kMethod, 5); }),
            kErrTypeMismatch);
  EXPECT_EQ(NamesOf(c->QueryInterface("IKVLROCollection")),
            Names({"z", "a", "b"}));
  // The enumerator walks a snapshot: clearing during the walk is safe.
  int seen = 0;
  ForEach(Variant(c), [&](const Variant&) {
    CallByName(*c, "Clear", CallKind::kMethod);
    return ++seen < 10;
  });
  EXPECT_EQ(seen, 3);
  EXPECT_EQ(CallByName(*c, "Count", CallKind::kGet), Variant(int16_t{0}));
}

TEST(IKVLCollectionTest, ReleasesElementsAndCountsTo32767) {
  LiveObjectCheck leaks;
  {
    auto c = MakeRef<IKVLCollection>();
    Ref<Object> x = Thing(1);
    c->Add(x, "x");
    c->Add(nullptr, "nothing");  // Nothing is a valid element
    EXPECT_EQ(x->RefCount(), 2);
    c->Remove(Variant("X"));
    EXPECT_EQ(x->RefCount(), 1);
    for (int i = 2; i < 32767; ++i) c->Add(x);
    EXPECT_EQ(c->Count(), 32766);
    c->Add(x, "last");
    c->Add(Thing(2), "beyond");
    EXPECT_EQ(RaisedNumber([&] { c->Count(); }), kErrOverflow);
    EXPECT_EQ(c->Item(Variant(int32_t{32767})), x);
    EXPECT_EQ(N(Variant(c->Item(Variant("BEYOND")))), 2);
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

// ---- KVLSrtdClctn -----------------------------------------------------------

// A comparator implementing the C++ interface: orders by N.
class ByN : public Object, public IKVLComparator {
  KVL_DECLARE_CLASS(ByN)
 public:
  int16_t compare(Ref<Object> o1, Ref<Object> o2) override {
    if (before) before();
    int32_t a = N(Variant(o1)), b = N(Variant(o2));
    return static_cast<int16_t>(a < b ? -1 : a > b ? 1 : 0);
  }
  std::function<void()> before;
};
const ClassInfo& ByN::StaticClass() {
  static const ClassInfo info = ClassBuilder<ByN>("ByN", ClassKind::kPrivate)
                                    .Implements(&IKVLComparator::StaticClass)
                                    .Build();
  return info;
}

// A late-bound comparator by N that records what it compared with.
Ref<Object> Recorder(std::vector<int>* probes) {
  auto d = MakeRef<DynamicObject>("Recorder");
  d->OnMethod("compare", [probes](std::span<Variant> a) {
    int32_t x = N(a[0]), y = N(a[1]);
    probes->push_back(y);
    return Variant(int16_t(x < y ? -5 : x > y ? 7 : 0));
  });
  return d;
}

Ref<Object> NameExtractor() {
  auto d = MakeRef<DynamicObject>("NameKey");
  d->OnMethod("Key", [](std::span<Variant> a) { return Variant(Name(a[0])); });
  return d;
}

// Midpoints round halves to the even neighbour; a hit walks forward over
// equal elements, so equal elements stay in the order added.
TEST(KVLSrtdClctnTest, SearchProbesAndPlacement) {
  struct Case {
    std::vector<int> elements, probes, result;
    int added;
  };
  const Case cases[] = {
      {{10, 20, 30, 40}, {20, 40}, {10, 20, 30, 40, 50}, 50},
      {{10, 20, 30, 40}, {20, 10}, {0, 10, 20, 30, 40}, 0},
      {{10, 20, 30, 40}, {20, 40, 30}, {10, 20, 25, 30, 40}, 25},
      {{10, 20, 20, 30}, {20, 20, 30}, {10, 20, 20, 20, 30}, 20},
      {{10, 20, 30}, {20, 30}, {10, 20, 30, 30}, 30},
      {{}, {}, {5}, 5},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.added);
    std::vector<int> probes;
    auto s = MakeRef<KVLSrtdClctn>();
    for (int n : k.elements) s->Add(Thing(n));
    s->SetComparatorRef(Recorder(&probes));
    probes.clear();
    s->Add(Thing(k.added), "", 1);  // Before is ignored
    EXPECT_EQ(probes, k.probes);
    std::vector<int> result;
    for (const auto& e : s->store()) result.push_back(N(Variant(e.value)));
    EXPECT_EQ(result, k.result);
  }
}

TEST(KVLSrtdClctnTest, WhereTheKeyComesFrom) {
  struct Case {
    bool comparator, extractor;
    const char* given;
    const char* stored;
  };
  const Case cases[] = {
      {false, false, "given", "given"}, {false, false, "", ""},
      {false, true, "given", "given"},  {false, true, "", "thing"},
      {true, false, "given", "given"},  {true, true, "given", "thing"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(testing::Message() << k.comparator << k.extractor << k.given);
    auto s = MakeRef<KVLSrtdClctn>();
    if (k.comparator) s->SetComparatorRef(MakeRef<ByN>());
    if (k.extractor) s->SetKeyExtractorRef(NameExtractor());
    ASSERT_EQ(s->Add(Thing(1, "thing"), k.given), kKVLException_OK);
    EXPECT_EQ(s->store().KeyAt(1), k.stored);
  }
}

TEST(KVLSrtdClctnTest, SettingAnExtractorRekeysAndMayDrop) {
  LiveObjectCheck leaks;
  {
    Ref<Object> s = MakeRef<KVLSrtdClctn>();
    auto* typed = s->As<KVLSrtdClctn>();
    typed->Add(Thing(1, "a"), "first");
    typed->Add(Thing(2, "b"), "second");
    typed->Add(Thing(3, "A"), "third");  // its name duplicates "a"
    // Late-bound, the object also answers its IKVLCollection members.
    CallByName(*s, "KeyExtractor", CallKind::kSet, NameExtractor());
    EXPECT_TRUE(CallByName(*s, "Item", CallKind::kGet, "first").is_nothing());
    EXPECT_EQ(N(CallByName(*s, "Item", CallKind::kGet, "B")), 2);
    EXPECT_EQ(NamesOf(s), Names({"a", "b"}));
    CallByName(*s, "Add", CallKind::kMethod, Thing(0, "z"));
    typed->SetComparatorRef(MakeRef<ByN>());
    EXPECT_EQ(NamesOf(s), Names({"z", "a", "b"}));
    typed->SetComparatorRef(nullptr);  // keeps the order
    EXPECT_EQ(NamesOf(s->QueryInterface("IKVLCollection")),
              Names({"z", "a", "b"}));
    EXPECT_EQ(
        RaisedNumber([&] { CallByName(*s, "Comparator", CallKind::kGet); }),
        kErrNotSupported);  // Comparator can only be set
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST(KVLSrtdClctnTest, AnyComparatorFailureAddsNothingButOutOfMemoryFails) {
  auto s = MakeRef<KVLSrtdClctn>();
  auto order = MakeRef<ByN>();
  s->SetComparatorRef(order);
  s->Add(Thing(1));
  order->before = [] { throw 42; };
  EXPECT_EQ(s->Add(Thing(2)), kKVLException_DuplicateItem);
  order->before = [] { throw std::bad_alloc(); };
  EXPECT_THROW(s->Add(Thing(3)), std::bad_alloc);
  EXPECT_EQ(s->store().size(), 1u);
}

TEST(KVLSrtdClctnTest, FailingOrMeddlingCallbacksAddNothing) {
  auto broken = MakeRef<DynamicObject>("Broken");
  broken->OnMethod("compare", [](std::span<Variant>) -> Variant {
    Raise(kErrInvalidArgument);
  });
  broken->OnMethod("Key", [](std::span<Variant>) { return Variant::Null(); });
  auto s = MakeRef<KVLSrtdClctn>();
  s->Add(Thing(1));
  s->SetKeyExtractorRef(broken);  // Null is no text: the element is dropped
  EXPECT_EQ(s->Count(), 0);
  EXPECT_EQ(s->Add(Thing(2)), kKVLException_DuplicateItem);
  s->SetKeyExtractorRef(nullptr);
  EXPECT_EQ(s->Add(Thing(2)), kKVLException_OK);
  s->SetComparatorRef(broken);  // one element re-adds without comparing
  EXPECT_EQ(s->Add(Thing(3)), kKVLException_DuplicateItem);
  EXPECT_EQ(s->Count(), 1);

  std::vector<int32_t> inside;
  auto nosy = MakeRef<DynamicObject>("Nosy");
  nosy->OnMethod("compare", [&](std::span<Variant>) {
    inside.push_back(s->Add(Thing(0)));
    inside.push_back(s->Count());
    inside.push_back(RaisedNumber([&] { s->SetComparatorRef(nullptr); }));
    return Variant(int16_t{1});
  });
  s->SetComparatorRef(nosy);
  EXPECT_EQ(s->Add(Thing(4)), kKVLException_OK);
  EXPECT_THAT(inside,
              ElementsAre(kKVLException_DuplicateItem, 1, kErrInvalidArgument));
  EXPECT_EQ(s->Count(), 2);
  s->SetComparatorRef(nullptr);
}

}  // namespace
}  // namespace kvl

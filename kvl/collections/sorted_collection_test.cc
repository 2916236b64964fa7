#include "kvl/collections/sorted_collection.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <new>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "kvl/collections/array_iterator.h"
#include "kvl/collections/sorted_comparator.h"
#include "kvl/collections/sorted_extractor.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

// An element answering "Key" through its member table, with a number for
// typed comparators.
class Keyed : public Object {
  KVL_DECLARE_CLASS(Keyed)
 public:
  explicit Keyed(std::string k, int number = 0) : key(k), n(number) {}
  std::string Key() const { return key; }
  std::string key;
  int n;
};
const ClassInfo& Keyed::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Keyed>("Keyed", ClassKind::kPrivate)
          .Get<&Keyed::Key>("Key")
          .Build();
  return info;
}
int N(const Ref<Object>& o) {
  return static_cast<Keyed&>(*o).n;
}

// Orders by number; records the number of each element it is asked about.
class ByNumber : public Object, public IComparator {
  KVL_DECLARE_CLASS(ByNumber)
 public:
  int16_t compare(const Ref<Object>&, const Ref<Object>& a,
                  const Ref<Object>& b) override {
    probes.push_back(N(b));
    if (fail) Raise(kErrInvalidArgument);
    if (during) during();
    return N(a) < N(b) ? -1 : N(a) > N(b) ? 1 : 0;
  }
  std::vector<int> probes;
  bool fail = false;
  std::function<void()> during;
};
const ClassInfo& ByNumber::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ByNumber>("ByNumber", ClassKind::kPrivate).Build();
  return info;
}

std::vector<std::string> Keys(const SortedCollection& c) {
  std::vector<std::string> keys;
  for (int16_t i = 0; i < c.Count(); ++i)
    keys.push_back(static_cast<Keyed&>(*c.at(i)).key);
  return keys;
}

template <class... A>
Variant Call(const Ref<Object>& o, const char* name, A&&... args) {
  return CallByName(*o, name, CallKind::kMethod, std::forward<A>(args)...);
}

int32_t ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const KVLError& e) {
    return e.number();
  }
  return 0;
}

TEST(SortedCollectionTest, DefaultOrderIgnoresCaseAndKeepsInsertionOrder) {
  struct Case {
    std::vector<std::string> keys;
    std::vector<int16_t> positions;
    std::vector<std::string> order;
    int16_t first_run_end;  // IndexOf the first key: the last of its run
  } cases[] = {
      {{"b", "A", "a"}, {0, 0, 1}, {"A", "a", "b"}, 1},
      {{"x", "X", "x"}, {0, 1, 2}, {"x", "X", "x"}, 2},
      {{"c", "a", "b", "a"}, {0, 0, 1, 1}, {"a", "a", "b", "c"}, 1},
  };
  for (const Case& c : cases) {
    auto coll = MakeRef<SortedCollection>();
    std::vector<int16_t> positions;
    for (const std::string& k : c.keys)
      positions.push_back(coll->Insert(MakeRef<Keyed>(k)));
    EXPECT_EQ(positions, c.positions);
    EXPECT_EQ(Keys(*coll), c.order);
    EXPECT_EQ(coll->IndexOf(c.order[0]), c.first_run_end);
  }
}

// The middle of lo..hi rounds halves to the even neighbour; equal elements
// are stepped over forwards.
TEST(SortedCollectionTest, BinarySearchProbesAndForwardStep) {
  struct Case {
    std::vector<int> numbers;
    int sought;
    std::vector<int> probes;
    int16_t position;  // returned by Insert
  } cases[] = {
      {{0, 10, 20, 30, 40, 50, 60, 70}, -5, {40, 20, 0}, 0},
      {{0, 10, 20, 30, 40, 50, 60, 70}, 99, {40, 60, 70}, 8},
      {{0, 10, 20, 30}, -5, {20, 0}, 0},
      {{0, 10}, 99, {0, 10}, 2},
      {{0, 10, 20, 30, 40, 50}, 25, {20, 40, 30}, 3},
      {{1, 2, 2, 2, 2, 2, 3}, 2, {2, 2, 2, 3}, 6},
  };
  for (const Case& c : cases) {
    auto coll = MakeRef<SortedCollection>();
    auto order = MakeRef<ByNumber>();
    coll->SetComparatorRef(order);
    for (int n : c.numbers) coll->Insert(MakeRef<Keyed>("", n));
    order->probes.clear();
    EXPECT_EQ(coll->Insert(MakeRef<Keyed>("new", c.sought)), c.position);
    EXPECT_EQ(order->probes, c.probes) << c.sought;
  }
}

TEST(SortedCollectionTest, LookupAndRemoveByKindOfValue) {
  struct Case {
    Variant x;
    int16_t index_of, item, removed;
  } cases[] = {
      {"B", 2, 2, 2},
      {"zz", -1, -1, -1},
      {"2", -1, 2, 2},
      {int16_t{3}, -1, 3, 3},
      {1.5, -1, 2, 2},
      {2.5, -1, 2, 2},
      {40000, -1, -1, -1},
      {-1, -1, -1, -1},
      {Variant(), -1, -1, -1},
      {true, -1, -1, -1},
      {Variant::Null(), -1, -1, -1},
      {MakeRef<Keyed>("C"), 3, 3, 3},
      {MakeRef<Keyed>("bb"), -1, -1, -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(TypeName(c.x) + " " + (c.x.is_string() ? c.x.AsString() : ""));
    auto coll = MakeRef<SortedCollection>();
    for (const char* k : {"a", "b", "b", "c"}) coll->Insert(MakeRef<Keyed>(k));
    EXPECT_EQ(coll->IndexOf(c.x), c.index_of);
    EXPECT_EQ(coll->Find(c.x), coll->at(c.index_of));
    EXPECT_EQ(coll->Item(c.x), coll->at(c.item));
    Ref<Object> gone = coll->at(c.removed);
    EXPECT_EQ(coll->Remove(c.x), c.removed);
    EXPECT_EQ(coll->Count(), c.removed < 0 ? 4 : 3);
    if (gone) {
      EXPECT_EQ(gone->RefCount(), 1);  // released by the collection
    }
  }
  auto coll = MakeRef<SortedCollection>();
  coll->Insert(MakeRef<Keyed>("a"));
  EXPECT_EQ(coll->at(-1), nullptr);
  EXPECT_EQ(coll->at(coll->Count()), nullptr);
}

TEST(SortedCollectionTest, StorageGrowsByDoublingThenByHundredUpToOverflow) {
  auto coll = MakeRef<SortedCollection>();
  coll->SetComparatorRef(MakeRef<ByNumber>());
  std::vector<int16_t> capacities = {coll->Capacity()};
  for (int i = 0; i < 32680; ++i) {
    ASSERT_EQ(coll->Insert(MakeRef<Keyed>("", i)), i);
    if (coll->Capacity() != capacities.back())
      capacities.push_back(coll->Capacity());
    EXPECT_TRUE(i != 19 || coll->Capacity() == 20);
  }
  std::vector<int16_t> first(capacities.begin(), capacities.begin() + 9);
  EXPECT_EQ(first, (std::vector<int16_t>{20, 40, 80, 160, 320, 640, 1280, 1380,
                                         1480}));
  EXPECT_EQ(capacities.back(), 32680);
  EXPECT_EQ(ErrorOf([&] { coll->Insert(MakeRef<Keyed>("", -1)); }),
            kErrOverflow);
  EXPECT_EQ(coll->Count(), 32680);
  EXPECT_EQ(N(coll->at(0)), 0);
}

TEST(SortedCollectionTest, ElementsWalksASnapshot) {
  auto coll = MakeRef<SortedCollection>();
  for (int i = 0; i < 20; ++i)  // exactly the capacity
    coll->Insert(MakeRef<Keyed>(std::string(1, static_cast<char>('a' + i))));
  Ref<ArrayIterator> it = coll->Elements();
  std::vector<std::string> expected = Keys(*coll);
  coll->Clear();
  coll->Insert(MakeRef<Keyed>("zz"));
  std::vector<std::string> walked;
  while (CallByName(*it, "HasMoreElements", CallKind::kGet).AsBool())
    walked.push_back(static_cast<Keyed&>(*it->NextElement()).key);
  EXPECT_EQ(walked, expected);
  EXPECT_TRUE(CallByName(*it, "NextElement", CallKind::kGet).is_nothing());
}

TEST(SortedCollectionTest, FailuresOfTheComparatorAndExtractor) {
  auto coll = MakeRef<SortedCollection>();
  auto order = MakeRef<ByNumber>();
  coll->SetComparatorRef(order);
  coll->Insert(MakeRef<Keyed>("a", 1));
  coll->Insert(MakeRef<Keyed>("b", 2));
  order->fail = true;
  Ref<Object> one = MakeRef<Keyed>("a", 1);
  EXPECT_EQ(ErrorOf([&] { coll->Insert(one); }), kErrInvalidArgument);
  EXPECT_EQ(ErrorOf([&] { coll->Item(one); }), kErrInvalidArgument);
  EXPECT_EQ(coll->IndexOf(one), -1);
  EXPECT_EQ(coll->Remove(one), -1);
  EXPECT_EQ(coll->Count(), 2);

  // A comparator may read the collection but not change it.
  order->fail = false;
  int16_t seen = -1;
  order->during = [&] {
    seen = coll->Count();
    coll->Clear();
  };
  EXPECT_EQ(ErrorOf([&] { coll->Insert(one); }), kErrInvalidArgument);
  EXPECT_EQ(seen, 2);
  EXPECT_EQ(coll->Count(), 2);

  // Whatever a comparator throws makes a search give -1; out of memory is
  // the caller's failure.
  order->during = [] { throw std::runtime_error("not a KVLError"); };
  EXPECT_EQ(coll->IndexOf(one), -1);
  order->during = [] { throw std::bad_alloc(); };
  EXPECT_THROW(coll->IndexOf(one), std::bad_alloc);
  order->during = nullptr;

  // The default extractor needs a member "Key"; Nothing is never stored.
  auto plain = MakeRef<SortedCollection>();
  plain->Insert(MakeRef<DynamicObject>("NoKey"));
  EXPECT_EQ(ErrorOf([&] { plain->Insert(MakeRef<Keyed>("a")); }),
            kErrNotSupported);
  EXPECT_EQ(plain->Item("a"), nullptr);
  EXPECT_EQ(ErrorOf([&] { plain->Insert(nullptr); }), kErrObjectNotSet);
  EXPECT_EQ(plain->Count(), 1);
}

// Elements of a class that answers "Key" in its own Invoke, ahead of its
// table, and of one whose "Key" is a number.
class Relabelled : public Keyed {
 public:
  using Keyed::Keyed;
  Variant Invoke(std::string_view name, CallKind kind,
                 std::span<Variant> args) override {
    if (EqualsNoCase(name, "Key")) return Variant("r:" + key);
    return Keyed::Invoke(name, kind, args);
  }
};
class Numbered : public Object {
  KVL_DECLARE_CLASS(Numbered)
 public:
  explicit Numbered(double n) : n_(n) {}
  double Key() const { return n_; }

 private:
  double n_;
};
const ClassInfo& Numbered::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Numbered>("Numbered", ClassKind::kPrivate)
          .Get<&Numbered::Key>("Key")
          .Build();
  return info;
}

TEST(SortedCollectionTest, DefaultExtractorAsksEachElementItsOwnWay) {
  auto coll = MakeRef<SortedCollection>();
  auto late = MakeRef<DynamicObject>("Element");
  late->AddProperty("Key", "m");
  std::vector<Ref<Object>> elements = {MakeRef<Keyed>("z"),
                                       MakeRef<Relabelled>("b"),
                                       late,
                                       MakeRef<Numbered>(2.5),
                                       MakeRef<Keyed>("a"),
                                       MakeRef<Relabelled>("y")};
  for (const Ref<Object>& e : elements) coll->Insert(e);
  const char* sorted[] = {"2.5", "a", "m", "r:b", "r:y", "z"};
  for (int16_t i = 0; i < 6; ++i) {
    EXPECT_EQ(coll->IndexOf(sorted[i]), i) << sorted[i];
    EXPECT_EQ(coll->IndexOf(Variant(coll->at(i))), i) << sorted[i];
  }
  // The override answers by name also where the table says otherwise.
  EXPECT_EQ(coll->IndexOf("b"), -1);
}

// Clients reached only by name: elements with a Key property, a comparator
// "compare" returning any number, an extractor "Key".
TEST(SortedCollectionTest, LateBoundClientsAndCatalogue) {
  auto element = [](const char* key) {
    auto o = MakeRef<DynamicObject>("Element");
    o->AddProperty("Key", key);
    return o;
  };
  auto reversed = MakeRef<DynamicObject>("Reversed");
  reversed->OnMethod("compare", [](std::span<Variant> a) {
    Object& e = *a[0].AsObject();  // the collection's extractor
    return Variant(1000 * CompareTextNoCase(ExtractKey(e, a[2].ObjectRef()),
                                            ExtractKey(e, a[1].ObjectRef())));
  });
  auto marked = MakeRef<DynamicObject>("Marked");
  marked->OnMethod("Key", [](std::span<Variant> a) {
    return Variant(ToText(Call(a[0].ObjectRef(), "Key")) + "!");
  });
  Ref<Object> coll = CreateObject("KVLCommon.SortedCollection");
  CallByName(*coll, "Comparator", CallKind::kSet, reversed);
  CallByName(*coll, "Extractor", CallKind::kSet, marked);
  for (const char* k : {"b", "c", "a"}) Call(coll, "Insert", element(k));
  EXPECT_EQ(Call(coll, "IndexOf", element("C")), Variant(int16_t{0}));
  // Text searches follow the extractor's text order, not the comparator's.
  EXPECT_EQ(Call(coll, "IndexOf", "c!"), Variant(int16_t{-1}));
  CallByName(*coll, "Comparator", CallKind::kSet, Variant::Nothing());
  Call(coll, "Clear");
  for (const char* k : {"b", "a"}) Call(coll, "Insert", element(k));
  EXPECT_EQ(Call(coll, "IndexOf", "A!"), Variant(int16_t{0}));
  EXPECT_EQ(Call(CreateObject("KVLCommon.IExtractor"), "Key", element("k")),
            Variant(""));

  for (auto [name, creatable] : {std::pair{"SortedCollection", true},
                                 {"IExtractor", true},
                                 {"ArrayIterator", true},
                                 {"DefaultExtractor", false},
                                 {"IComparator", false},
                                 {"DefaultComparator", false}}) {
    EXPECT_EQ(ErrorOf([&] { CreateObject(std::string("KVLCommon.") + name); }),
              creatable ? 0 : kCLASS_E_CLASSNOTAVAILABLE)
        << name;
  }
  std::string order;
  for (const MemberInfo& m : SortedCollection::StaticClass().members())
    order += m.name + "/" + std::to_string(static_cast<int>(m.kind)) + " ";
  EXPECT_EQ(order,
            "at/1 Clear/1 Comparator/8 Count/2 Elements/2 Extractor/8 Find/1 "
            "IndexOf/1 Insert/1 Item/1 Remove/1 ");
}

// Inserts anywhere and removals at the front, the back and in between keep
// the same elements in the same order as a plain list, across the storage's
// re-centring and growth; equal numbers stay in insertion order.
TEST(SortedCollectionTest, MatchesAPlainListUnderRandomChanges) {
  auto coll = MakeRef<SortedCollection>();
  coll->SetComparatorRef(MakeRef<ByNumber>());
  std::vector<Ref<Object>> model;
  std::mt19937 random(11);
  for (int step = 0; step < 6000; ++step) {
    const int choice = static_cast<int>(random() % 10);
    if (choice < 6 || model.empty()) {
      auto o = MakeRef<Keyed>("", static_cast<int>(random() % 300));
      auto at = std::upper_bound(
          model.begin(), model.end(), N(o),
          [](int n, const Ref<Object>& e) { return n < N(e); });
      int16_t expected = static_cast<int16_t>(at - model.begin());
      model.insert(at, o);
      ASSERT_EQ(coll->Insert(o), expected);
    } else {
      // Mostly the ends, as a queue of timers does.
      const size_t n = model.size();
      size_t p = choice < 8 ? 0 : choice == 8 ? n - 1 : random() % n;
      ASSERT_EQ(coll->Remove(static_cast<int16_t>(p)), static_cast<int16_t>(p));
      model.erase(model.begin() + static_cast<std::ptrdiff_t>(p));
    }
    ASSERT_EQ(coll->Count(), static_cast<int16_t>(model.size()));
  }
  for (size_t i = 0; i < model.size(); ++i)
    ASSERT_EQ(coll->at(static_cast<int16_t>(i)), model[i]) << i;
  Ref<ArrayIterator> it = coll->Elements();
  for (const Ref<Object>& o : model) EXPECT_EQ(it->NextElement(), o);
}

// Counts the keys it is asked for.
class CountingKey : public Object, public IExtractor {
  KVL_DECLARE_CLASS(CountingKey)
 public:
  std::string Key(const Ref<Object>& o) override {
    ++calls;
    return static_cast<Keyed&>(*o).key;
  }
  int calls = 0;
};
const ClassInfo& CountingKey::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<CountingKey>("CountingKey", ClassKind::kPrivate).Build();
  return info;
}

// A C++ extractor is asked once per stored element (until it is set
// again); one reached by name is asked once per comparison, and the search
// itself tells whether the key it ended on is the one sought.
TEST(SortedCollectionTest, HowOftenExtractorsAreAsked) {
  auto coll = MakeRef<SortedCollection>();
  auto typed = MakeRef<CountingKey>();
  coll->SetExtractorRef(typed);
  const std::vector<std::string> keys = {"d", "b", "f", "a", "c", "e", "g"};
  for (const std::string& k : keys) coll->Insert(MakeRef<Keyed>(k));
  typed->calls = 0;
  for (int round = 0; round < 2; ++round)
    for (const std::string& k : keys) EXPECT_GE(coll->IndexOf(k), 0);
  EXPECT_EQ(coll->IndexOf("bb"), -1);
  EXPECT_EQ(typed->calls, 0);  // every key was read while inserting
  coll->SetExtractorRef(typed);
  EXPECT_EQ(coll->IndexOf("g"), 6);
  EXPECT_EQ(typed->calls, 3);  // d, f, g read again

  int by_name = 0;
  auto late = MakeRef<DynamicObject>("Late");
  late->OnMethod("Key", [&](std::span<Variant> a) {
    ++by_name;
    return Variant(static_cast<Keyed&>(*a[0].AsObject()).key);
  });
  coll->SetExtractorRef(late);
  EXPECT_EQ(coll->IndexOf("d"), 3);
  EXPECT_EQ(by_name, 2);  // "d" at the middle, then the step to "e"
  by_name = 0;
  EXPECT_EQ(coll->IndexOf("bb"), -1);
  EXPECT_EQ(by_name, 3);  // d, b, c
}

// Everything is released, including when an element's termination drops
// the last reference to the collection itself.
TEST(SortedCollectionTest, ReleasesEverything) {
  const int64_t live = Object::LiveCount();
  for (bool clear : {true, false}) {
    auto coll = MakeRef<SortedCollection>();
    coll->SetExtractorRef(MakeRef<DefaultExtractor>());
    coll->Elements();
    auto owner = MakeRef<DynamicObject>("Owner");
    owner->AddProperty("Key", "k").AddProperty("Parent", Variant(coll));
    coll->Insert(owner);
    owner.reset();
    SortedCollection* raw = coll.get();
    coll.reset();  // now kept alive only by its element
    clear ? raw->Clear() : static_cast<void>(raw->Remove(0));
    EXPECT_EQ(Object::LiveCount(), live);
  }
}

}  // namespace
}  // namespace kvl

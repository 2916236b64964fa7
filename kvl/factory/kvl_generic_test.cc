// KVLGeneric over the library's collections and over late-bound clients.
#include "kvl/factory/kvl_generic.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/collections/dictionary.h"
#include "kvl/collections/observed.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

class KVLGenericTest : public testing::Test {
 protected:
  // A collection of objects named by `names`.
  Ref<IKVLCollection> Named(std::vector<std::string> names) {
    auto c = MakeRef<IKVLCollection>();
    for (const std::string& n : names) c->Add(MakeRef<DynamicObject>(n));
    return c;
  }
  // A late-bound predicate: true for class names starting with `prefix`.
  Ref<DynamicObject> StartsWith(std::string prefix) {
    auto p = MakeRef<DynamicObject>("Pred");
    p->OnMethod("Predicate", [prefix](std::span<Variant> a) {
      return Variant(a[0].AsObject()->ClassName().rfind(prefix, 0) == 0);
    });
    return p;
  }
  // A late-bound function that records the class names it sees.
  Ref<DynamicObject> Recorder() {
    auto f = MakeRef<DynamicObject>("Fn");
    f->OnMethod("AFunction", [this](std::span<Variant> a) {
      seen_.push_back(a[0].AsObject()->ClassName());
      return Variant(int32_t{1});
    });
    return f;
  }
  Ref<KVLGeneric> g_ = MakeRef<KVLGeneric>();
  std::vector<std::string> seen_;
};

TEST_F(KVLGenericTest, FiltersAndApplies) {
  LiveObjectCheck live;
  {
    Ref<IKVLCollection> c = Named({"ab", "b", "ac"});
    Ref<IKVLCollection> a = g_->FilterItems(c, StartsWith("a"));
    ASSERT_EQ(a->size(), 2u);
    EXPECT_EQ(a->ItemAt(2)->ClassName(), "ac");
    EXPECT_EQ(g_->FilterItems(c, StartsWith("z"))->size(), 0u);
    g_->ApplyFunction(c, Recorder());
    g_->ApplyFilteredFunction(c, StartsWith("b"), Recorder());
    EXPECT_EQ(seen_, (std::vector<std::string>{"ab", "b", "ac", "b"}));
    // A failing predicate fails the call.
    auto bad = MakeRef<DynamicObject>("Bad");
    bad->OnMethod("Predicate",
                  [](auto) -> Variant { Raise(kErrInvalidArgument); });
    EXPECT_EQ(RaisedNumber([&] { g_->FilterItems(c, bad); }),
              kErrInvalidArgument);
    EXPECT_EQ(RaisedNumber([&] { g_->FilterItems(nullptr, bad); }),
              kErrObjectNotSet);
  }
  EXPECT_EQ(live.Delta(), 0);
}

TEST_F(KVLGenericTest, NotifiesEachLiveObserver) {
  auto subject = MakeRef<IKVLObserved>();
  std::vector<std::string> heard;
  auto make_observer = [&](std::string name) {
    auto o = MakeRef<DynamicObject>(name);
    o->OnMethod("NotifyHandler", [&heard, name, subject](std::span<Variant> a) {
      EXPECT_EQ(a[0].AsObject()->Identity(), subject.get());
      heard.push_back(name + ":" + ToText(a[1]));
      return Variant(true);
    });
    return o;
  };
  auto one = make_observer("one");
  auto two = make_observer("two");
  subject->AddObserver(one);
  subject->AddObserver(two);
  {
    auto gone = make_observer("gone");
    subject->AddObserver(gone);
  }
  g_->NotifyObservers(subject, "changed");
  EXPECT_EQ(heard, (std::vector<std::string>{"one:changed", "two:changed"}));
}

TEST_F(KVLGenericTest, KeyForValueComparesAsText) {
  auto d = MakeRef<IKVLDictionary>();
  auto obj = MakeRef<DynamicObject>("X");
  d->Add("n", Variant(int16_t{5}));
  d->Add("s", Variant("Hello"));
  d->Add("o", Variant(obj));
  EXPECT_EQ(g_->KeyForValue(d, Variant("HELLO")), "s");
  EXPECT_EQ(g_->KeyForValue(d, Variant(5.0)), "n");
  EXPECT_EQ(g_->KeyForValue(d, Variant(obj)), "o");
  EXPECT_EQ(g_->KeyForValue(d, Variant("5")), "");  // a text is not a number
  EXPECT_EQ(g_->KeyForValue(d, Variant::Null()), "");
  // Empty matches 0 and "", a boolean its number.
  EXPECT_TRUE(ValuesEqualText(Variant(), Variant("")));
  EXPECT_TRUE(ValuesEqualText(Variant(), Variant(int32_t{0})));
  EXPECT_TRUE(ValuesEqualText(Variant(true), Variant(int16_t{-1})));
  // A dictionary that fails during the walk gives "".
  auto broken = MakeRef<DynamicObject>("Broken");
  broken->OnMethod("NewEnum", [](auto) -> Variant { Raise(kE_FAIL); });
  EXPECT_EQ(g_->KeyForValue(broken, Variant("x")), "");
}

}  // namespace
}  // namespace kvl

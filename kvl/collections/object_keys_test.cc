#include "kvl/collections/object_keys.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "kvl/collections/observed.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/test_support.h"

namespace kvl {
namespace {

std::string Address(const Ref<Object>& o) {
  return std::to_string(reinterpret_cast<intptr_t>(o.get()));
}

TEST(ObjectKeysTest, KeysFindLiveObjectsOnly) {
  auto k2o = MakeRef<K2OGlobals>();
  Ref<Object> x = MakeRef<DynamicObject>("X");
  const std::string key = k2o->PointerToKey(x);
  EXPECT_EQ(key, "X" + Address(x));
  EXPECT_EQ(k2o->KeyToPointer(key), x);
  EXPECT_EQ(k2o->KeyToPointer("x" + Address(x)), x);
  EXPECT_EQ(x->RefCount(), 1);  // the key holds no reference
  // Every interface of an object has the object's key.
  Ref<Object> c = CreateObject("KVLCommon.IKVLCollection");
  EXPECT_EQ(k2o->PointerToKey(c->QueryInterface("IKVLROCollection")),
            k2o->PointerToKey(c));

  const std::string digits = Address(x);
  for (const std::string& bad :
       {std::string(), std::string("X"), std::string("X-"), "Y" + digits,
        "X+" + digits, "X " + digits, "X" + digits + " ", "X" + digits + "0",
        std::string("X1.5"), std::string("X99999999999999999999999"),
        k2o->PointerToKey(nullptr), std::string("X-0")}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(k2o->KeyToPointer(bad));
  }
  // A live object that never had a key is not trusted; an ended one is gone.
  Ref<Object> untracked = MakeRef<DynamicObject>("Untracked");
  EXPECT_FALSE(k2o->KeyToPointer("X" + Address(untracked)));
  x.reset();
  EXPECT_FALSE(k2o->KeyToPointer(key));
}

TEST(ObjectKeysTest, AKeyOfAnEndedObjectNeverFindsItsSuccessor) {
  auto first = MakeRef<SameAddressObject>();
  const std::string key = ObjectKey(first.get());
  EXPECT_EQ(key, "X" + Address(first));
  EXPECT_EQ(ObjectKey(first.get()), key);  // stable while it lives
  first.reset();
  for (int generation = 0; generation < 3; ++generation) {
    auto next = MakeRef<SameAddressObject>();
    const std::string next_key = ObjectKey(next.get());
    SCOPED_TRACE(next_key);
    EXPECT_FALSE(ObjectFromKey(key));
    EXPECT_NE(next_key, key);
    EXPECT_EQ(next_key[1], '-');
    EXPECT_EQ(ObjectKey(next.get()), next_key);
    EXPECT_EQ(ObjectFromKey(next_key), next);
    next.reset();
    EXPECT_FALSE(ObjectFromKey(next_key));
  }
}

// One thread releases the last reference while another turns the key back
// into an object: it gets the object before it starts to end, or null.
TEST(ObjectKeysTest, KeyToObjectRacesTheLastReleaseOnAnotherThread) {
  constexpr int kRounds = 300;
  const int64_t live = Object::ClientLiveCount();
  for (int round = 0; round < kRounds; ++round) {
    Ref<Object> object = MakeRef<DynamicObject>("Raced");
    const std::string key = ObjectKey(object.get());
    std::atomic<bool> go{false};
    std::thread releaser([&] {
      go.wait(false);
      object.reset();
    });
    go.store(true);
    go.notify_one();
    while (Ref<Object> found = ObjectFromKey(key)) {
      ASSERT_GT(found->RefCount(), 0);
      std::this_thread::yield();
    }
    releaser.join();
    ASSERT_EQ(Object::ClientLiveCount(), live);
  }
}

TEST(ObjectKeysTest, RefCountLeavesOutTheCallsOwnReferences) {
  auto k2o = MakeRef<K2OGlobals>();
  Ref<DynamicObject> x = MakeRef<DynamicObject>("Counted");
  Ref<Object> second = x;
  EXPECT_EQ(k2o->ObjGetRefCount(x), 2);  // no temporary Ref<Object>
  EXPECT_EQ(k2o->ObjGetRefCount(second), 2);
  EXPECT_EQ(k2o->ObjGetRefCount(nullptr), -1);
  EXPECT_EQ(CallByName(*k2o, "ObjGetRefCount", CallKind::kMethod, x),
            Variant(2));
  EXPECT_EQ(
      CallByName(*k2o, "ObjGetRefCount", CallKind::kMethod, Variant::Nothing()),
      Variant(-1));
  // An interface view holds one real reference to its object.
  Ref<Object> view = MakeRef<K2OByPointer>()->QueryInterface("IKeyToObject");
  EXPECT_EQ(CallByName(*k2o, "ObjGetRefCount", CallKind::kMethod, view),
            Variant(1));
}

TEST(ObjectKeysTest, GlobalAndByPointerLateBound) {
  Ref<Object> k2o = GlobalObject("K2OGlobals");
  Ref<Object> x = MakeRef<DynamicObject>("X");
  Variant key = CallByName(*k2o, "PointerToKey", CallKind::kMethod, x);
  Ref<Object> by_pointer = CreateObject("KVLCommon.K2OByPointer");
  for (Ref<Object> o :
       {by_pointer, by_pointer->QueryInterface("IKeyToObject")}) {
    EXPECT_EQ(CallByName(*o, "ObjectToKey", CallKind::kGet, x), key);
    EXPECT_EQ(CallByName(*o, "KeyToObject", CallKind::kGet, key).AsObject(),
              x.get());
    CallByName(*o, "Context", CallKind::kSet, x);
    EXPECT_TRUE(CallByName(*o, "Context", CallKind::kGet).is_nothing());
  }
  EXPECT_EQ(x->RefCount(), 1);
}

TEST(IKVLObservedTest, HoldsObserversAsKeys) {
  auto subject = MakeRef<IKVLObserved>();
  Ref<Object> a = MakeRef<DynamicObject>("A");
  Ref<Object> b = MakeRef<DynamicObject>("B");
  EXPECT_TRUE(subject->AddObserver(a));
  EXPECT_TRUE(subject->AddObserver(b));
  EXPECT_FALSE(subject->AddObserver(a));
  EXPECT_FALSE(subject->AddObserver(nullptr));
  EXPECT_EQ(a->RefCount(), 1);
  EXPECT_EQ(subject->Observer(2), b);
  for (int16_t i : {-1, 0, 3}) EXPECT_FALSE(subject->Observer(i));
  std::vector<std::string> keys;
  ForEach(Variant(subject), [&](const Variant& k) {
    keys.push_back(ToText(k));
    return true;
  });
  // An address that an earlier keyed object had gets a fresh number, so
  // the expected keys come from ObjectKey rather than from the addresses.
  EXPECT_EQ(keys,
            std::vector<std::string>({ObjectKey(a.get()), ObjectKey(b.get())}));
  EXPECT_TRUE(subject->RemoveObserver(a));
  EXPECT_FALSE(subject->RemoveObserver(a));
  b.reset();  // an ended observer is unreachable; its key stays
  EXPECT_FALSE(subject->Observer(1));
  EXPECT_EQ(subject->ObserverCount(), 1);
  CallByName(*subject, "ClearObservers", CallKind::kMethod);
  EXPECT_EQ(CallByName(*subject, "ObserverCount", CallKind::kGet),
            Variant(int16_t{0}));
  EXPECT_EQ(CallByName(*subject, "AddObserver", CallKind::kMethod, a),
            Variant(true));
  EXPECT_EQ(CallByName(*subject, "Observer", CallKind::kGet, 1).AsObject(),
            a.get());
}

TEST(IKVLObservedTest, ObserverIsTheDefaultMemberAndKeysGiveUnknownReferences) {
  auto subject = MakeRef<IKVLObserved>();
  Ref<Object> a = MakeRef<DynamicObject>("A");
  subject->AddObserver(a);
  // A call without member name reaches the default member.
  EXPECT_EQ(CallByName(*subject, "", CallKind::kGet, int16_t{1}).AsObject(),
            a.get());
  Ref<Object> k2o = GlobalObject("K2OGlobals");
  Variant key = CallByName(*k2o, "PointerToKey", CallKind::kMethod, a);
  Variant back = CallByName(*k2o, "KeyToPointer", CallKind::kMethod, key);
  EXPECT_EQ(back.type(), VarType::kUnknown);
  EXPECT_EQ(back.AsObject(), a.get());
}

}  // namespace
}  // namespace kvl

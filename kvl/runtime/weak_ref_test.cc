#include "kvl/runtime/weak_ref.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/test_support.h"

namespace kvl {
namespace {

// Records its end; a destructor that takes references to itself and makes
// a WeakRef to itself must not bring it back.
class Ending : public Object {
  KVL_DECLARE_CLASS(Ending)
 public:
  explicit Ending(std::atomic<int>* ended) : ended_(ended) {}
  ~Ending() override {
    ending_.store(true);
    Ref<Ending> self(this);
    WeakRef<Ending> late(self);
    EXPECT_FALSE(late.Lock());
    ended_->fetch_add(1);
  }
  bool ending() const { return ending_.load(); }

 private:
  std::atomic<int>* ended_;
  std::atomic<bool> ending_{false};
};

const ClassInfo& Ending::StaticClass() {
  static const ClassInfo info("Ending", ClassKind::kPrivate, {});
  return info;
}

TEST(WeakRefTest, LocksWhileTheObjectLivesAndNeverAfter) {
  std::atomic<int> ended{0};
  Ref<Ending> object = MakeRef<Ending>(&ended);
  WeakRef<Ending> weak(object);
  WeakRef<Object> as_object = weak;
  WeakRef<Ending> copy = weak;
  EXPECT_EQ(object->RefCount(), 1);  // weak references are not counted
  EXPECT_EQ(weak.Lock(), object);
  EXPECT_EQ(as_object.Lock().get(), static_cast<Object*>(object.get()));
  EXPECT_FALSE(copy.expired());

  object.reset();
  EXPECT_EQ(ended.load(), 1);
  EXPECT_TRUE(weak.expired());
  EXPECT_FALSE(weak.Lock());
  EXPECT_FALSE(as_object.Lock());
  EXPECT_FALSE(copy.Lock());
  EXPECT_TRUE(WeakRef<Ending>().expired());
  EXPECT_FALSE(WeakRef<Ending>(Ref<Ending>()).Lock());
}

TEST(WeakRefTest, NeverReachesTheNextObjectAtTheSameAddress) {
  auto first = MakeRef<SameAddressObject>();
  WeakRef<SameAddressObject> weak(first);
  const SameAddressObject* address = first.get();
  first.reset();
  auto second = MakeRef<SameAddressObject>();
  ASSERT_EQ(second.get(), address);
  EXPECT_FALSE(weak.Lock());
  EXPECT_EQ(WeakRef<SameAddressObject>(second).Lock(), second);
}

// The last reference is released on one thread while another keeps
// locking: every Lock either returns an object that has not started to end
// or null, and the object ends exactly once.
TEST(WeakRefTest, LockRacesTheLastReleaseOnAnotherThread) {
  constexpr int kRounds = 300;
  std::atomic<int> ended{0};
  int revived = 0;
  for (int round = 0; round < kRounds; ++round) {
    Ref<Ending> object = MakeRef<Ending>(&ended);
    WeakRef<Ending> weak(object);
    std::atomic<bool> go{false};
    std::thread releaser([&] {
      go.wait(false);
      object.reset();
    });
    go.store(true);
    go.notify_one();
    while (Ref<Ending> locked = weak.Lock()) {
      if (locked->ending()) ++revived;
      std::this_thread::yield();
    }
    releaser.join();
    ASSERT_EQ(ended.load(), round + 1);
  }
  EXPECT_EQ(revived, 0);
}

TEST(WeakRefTest, ClientCountLeavesOutInternalObjectsOfThisThreadOnly) {
  const int64_t clients = Object::ClientLiveCount();
  const int64_t all = Object::LiveCount();
  Ref<Object> internal;
  Ref<Object> other_thread;
  {
    Object::InternalScope scope;
    internal = MakeRef<SameAddressObject>();
    std::thread([&] { other_thread = MakeRef<DynamicObject>("Other"); })
        .join();
  }
  EXPECT_EQ(Object::ClientLiveCount(), clients + 1);  // the other thread's
  EXPECT_EQ(Object::LiveCount(), all + 2);
  internal.reset();
  other_thread.reset();
  EXPECT_EQ(Object::ClientLiveCount(), clients);
  EXPECT_EQ(Object::LiveCount(), all);
}

}  // namespace
}  // namespace kvl

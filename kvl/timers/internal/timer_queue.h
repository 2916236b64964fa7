// TimerQueue: the pending timers of a QueuedTimer, earliest completion
// first, equal completions in the order they were queued.
//
// The timers live in a tree keyed by their completion tick when they were
// queued: insertion costs O(log n) and taking the first O(1). The queue is
// published as a SortedCollection only when a client asks for it
// (Collection()); the timers then move into that collection, in order, and
// it is the storage from then on, so that what the client does to it is
// what the queue holds. Elements of a published collection need not be
// LongTimers; the callers check.
//
// Releasing a timer may run client code (its notify object's end), so no
// timer is released while the storage is being changed. Used on one thread.
#ifndef KVL_TIMERS_INTERNAL_TIMER_QUEUE_H_
#define KVL_TIMERS_INTERNAL_TIMER_QUEUE_H_

#include <cstdint>
#include <map>
#include <string_view>

#include "kvl/collections/sorted_collection.h"
#include "kvl/runtime/object.h"
#include "kvl/timers/long_timer.h"

namespace kvl::internal {

class TimerQueue {
 public:
  // As many timers as a SortedCollection holds.
  static constexpr int16_t kMaxCount = 32680;

  int16_t Count() const;
  // Whether Collection() was called: the order is then the collection's.
  bool Published() const { return collection_ != nullptr; }
  // Queues `t` after every timer that does not complete later. Raises 6
  // when the queue is full and what the published collection raises.
  void Insert(Ref<LongTimer> t);
  // The first element, or Nothing when empty.
  Ref<Object> First() const;
  // Removes the first element that is `o` itself; false when none is.
  bool Remove(const Object* o);
  // The first LongTimer named exactly `name`, in queue order, or null.
  Ref<LongTimer> FindNamed(std::string_view name) const;
  // Calls `fn`(const Ref<Object>&) for each element in order.
  template <class F>
  void ForEach(F&& fn) const;
  // Removes every element, the first one first.
  void Clear();
  // The queue as a SortedCollection with a TimerComparator, made on the
  // first call; from then on it holds the timers.
  const Ref<SortedCollection>& Collection();

 private:
  std::multimap<int32_t, Ref<LongTimer>> tree_;
  Ref<SortedCollection> collection_;
};

template <class F>
void TimerQueue::ForEach(F&& fn) const {
  if (collection_) {
    for (int16_t i = 0; i < collection_->Count(); ++i) fn(collection_->at(i));
    return;
  }
  for (const auto& [tick, t] : tree_) fn(Ref<Object>(t));
}

}  // namespace kvl::internal

#endif  // KVL_TIMERS_INTERNAL_TIMER_QUEUE_H_

#include "kvl/timers/internal/timer_queue.h"

#include <utility>

#include "kvl/runtime/error.h"
#include "kvl/runtime/variant.h"
#include "kvl/timers/queued_timer.h"

namespace kvl::internal {

int16_t TimerQueue::Count() const {
  return collection_ ? collection_->Count()
                     : static_cast<int16_t>(tree_.size());
}

void TimerQueue::Insert(Ref<LongTimer> t) {
  if (collection_) {
    collection_->Insert(std::move(t));
    return;
  }
  if (tree_.size() >= static_cast<size_t>(kMaxCount)) Raise(kErrOverflow);
  // A multimap inserts at the end of the run of equal keys.
  int32_t tick = t->CompletionTick();
  tree_.emplace(tick, std::move(t));
}

Ref<Object> TimerQueue::First() const {
  if (collection_) return collection_->at(0);
  if (tree_.empty()) return nullptr;
  return tree_.begin()->second;
}

bool TimerQueue::Remove(const Object* o) {
  if (collection_) {
    for (int16_t i = 0; i < collection_->Count(); ++i) {
      if (collection_->at(i).get() == o) {
        collection_->Remove(Variant(i));
        return true;
      }
    }
    return false;
  }
  for (auto it = tree_.begin(); it != tree_.end(); ++it) {
    if (it->second.get() == o) {
      Ref<LongTimer> released = std::move(it->second);
      tree_.erase(it);
      return true;
    }
  }
  return false;
}

Ref<LongTimer> TimerQueue::FindNamed(std::string_view name) const {
  Ref<LongTimer> found;
  ForEach([&](const Ref<Object>& o) {
    if (found || !o) return;
    if (auto* t = o->As<LongTimer>(); t && t->Name() == name) {
      found = Ref<LongTimer>(t);
    }
  });
  return found;
}

void TimerQueue::Clear() {
  if (collection_) return collection_->Clear();
  // Empty the queue before releasing anything: a timer queued while one is
  // released stays queued.
  std::multimap<int32_t, Ref<LongTimer>> taken;
  taken.swap(tree_);
  while (!taken.empty()) {
    Ref<LongTimer> released = std::move(taken.begin()->second);
    taken.erase(taken.begin());
  }
}

const Ref<SortedCollection>& TimerQueue::Collection() {
  if (collection_) return collection_;
  auto collection = MakeRef<SortedCollection>();
  collection->SetComparatorRef(MakeRef<TimerComparator>());
  // In queue order, each one lands at the end.
  for (auto& [tick, t] : tree_) collection->Insert(t);
  tree_.clear();
  collection_ = std::move(collection);
  return collection_;
}

}  // namespace kvl::internal

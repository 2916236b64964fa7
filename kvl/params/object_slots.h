// ObjectSlots: the slot array behind the item and token containers.
//
// The array has lower bound 1. A new array has ten empty slots and next
// index 1; after any Add or Remove it has exactly the slots 1 to the next
// index, the last of which (the spare slot) is empty. Count is the next
// index minus 1. Only the elements 1..Count are stored; slots beyond them
// are empty, so an empty container allocates nothing.
//
// Not thread-safe; owned by one container object.
#ifndef KVL_PARAMS_OBJECT_SLOTS_H_
#define KVL_PARAMS_OBJECT_SLOTS_H_

#include <cstdint>
#include <utility>
#include <vector>

#include "kvl/runtime/checked.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl::internal {

template <class T>
class KVL_EXPORT ObjectSlots {
 public:
  static constexpr int32_t kInitialSlots = 10;
  static constexpr int32_t kInitialChunk = 10;
  static constexpr int32_t kMaxChunk = 100;

  int32_t Count() const { return next_ - 1; }
  int32_t NextIndex() const { return next_; }
  int32_t SlotCount() const { return slots_; }

  // The element in slot `i`: null for i < 1 and for empty slots; raises 9
  // beyond the last slot.
  const Ref<T>& Item(int32_t i) const {
    if (i > slots_) Raise(kErrSubscriptOutOfRange);
    return Get(i);
  }
  // The element in slot `i` when 1 <= i <= the next index, otherwise null.
  const Ref<T>& Get(int32_t i) const {
    static const Ref<T> kNone;
    if (i < 1 || i > static_cast<int32_t>(elements_.size())) return kNone;
    return elements_[static_cast<size_t>(i - 1)];
  }
  // Stores `value` in slot `i` (raises 9 for i < 1); an index at or beyond
  // the next index first raises the next index to i + 1.
  void Put(int32_t i, Ref<T> value) {
    if (i < 1) Raise(kErrSubscriptOutOfRange);
    if (i >= next_) SetNextIndex(CheckedAdd<int32_t>(i, 1));
    elements_[static_cast<size_t>(i - 1)] = std::move(value);
  }
  // Resizes the array to slots 1..n and makes n the next index; n < 1 is
  // ignored.
  void SetNextIndex(int32_t n) {
    if (n < 1) return;
    elements_.resize(static_cast<size_t>(n - 1));
    next_ = n;
    slots_ = n;
  }
  void Add(Ref<T> value) {
    int32_t next = CheckedAdd<int32_t>(next_, 1);
    elements_.push_back(std::move(value));
    next_ = next;
    slots_ = next;
  }
  // Removes element i (1 <= i <= Count), moving later ones down; any other
  // i changes nothing.
  void Remove(int32_t i) {
    if (i < 1 || i > Count()) return;
    elements_.erase(elements_.begin() + (i - 1));
    --next_;
    slots_ = next_;
  }

  int32_t Chunk() const { return chunk_; }
  // Values below 1 are ignored; values above 100 are stored as 100.
  void SetChunk(int32_t chunk) {
    if (chunk < 1) return;
    chunk_ = chunk > kMaxChunk ? kMaxChunk : chunk;
  }

  // The stored elements 1..Count in order (for the library's own walks).
  const std::vector<Ref<T>>& elements() const { return elements_; }
  void Reserve(size_t n) { elements_.reserve(n); }

 private:
  std::vector<Ref<T>> elements_;
  int32_t next_ = 1;
  int32_t slots_ = kInitialSlots;
  int32_t chunk_ = kInitialChunk;
};

}  // namespace kvl::internal

#endif  // KVL_PARAMS_OBJECT_SLOTS_H_

// SortedSlots: the storage of a SortedCollection. A contiguous run of
// counted references with free slots both before and after it, so that
// taking the first or the last element is O(1), and inserting or removing
// elsewhere moves only the shorter side of the run (one memmove of
// pointers). When the side that should move has no free slot, the run is
// re-centred in the buffer; the buffer is always at least twice the room
// asked for, so a re-centre leaves room for at least half as many moves
// again, and every change costs O(1) amortised beyond its memmove.
//
// Each slot can also keep the element's key text, read once through a
// C++ extractor; the owner decides when keys may be kept and forgets them
// all (ForgetKeys) when they may no longer be trusted.
//
// Not copyable; used on one thread. Insert fails only for lack of memory
// (and then changes nothing); Take never fails.
#ifndef KVL_COLLECTIONS_SORTED_SLOTS_H_
#define KVL_COLLECTIONS_SORTED_SLOTS_H_

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl::internal {

class KVL_EXPORT SortedSlots {
 public:
  // Room for `room` elements before the next Reserve.
  explicit SortedSlots(size_t room);
  ~SortedSlots();
  SortedSlots(const SortedSlots&) = delete;
  SortedSlots& operator=(const SortedSlots&) = delete;

  size_t size() const { return size_; }
  // Element `i` (0-based, below size()).
  const Ref<Object>& operator[](size_t i) const {
    return elements_[front_ + i];
  }
  // The elements, size() of them; valid until the next change.
  const Ref<Object>* data() const { return elements_.get() + front_; }
  // The key kept for element `i`, or null.
  const std::string* key(size_t i) const {
    return keys_ ? keys_[front_ + i] : nullptr;
  }
  // Keeps `key` as the key of element `i`, replacing one kept before.
  void KeepKey(size_t i, std::string key) const;
  // Drops every kept key.
  void ForgetKeys();

  // Makes room for `room` elements; raises only for lack of memory.
  void Reserve(size_t room);
  // Puts `o` at position `i` (0 .. size()), with its key when `key` is not
  // null. Needs room for one more element (Reserve).
  void Insert(size_t i, Ref<Object> o, std::unique_ptr<std::string> key);
  // Takes element `i` out, with its key; the elements behind move up.
  Ref<Object> Take(size_t i);
  // Takes every element out, first position first.
  std::vector<Ref<Object>> TakeAll();
  // Releases every element, first position first, each once the store
  // no longer holds it.
  void ReleaseAll() noexcept;
  // Counted copies of the elements, in order.
  std::vector<Ref<Object>> Copy() const;

 private:
  // Moves slots [from, from + n) by `by` (1 or -1) and clears the slot left
  // behind; the slot moved onto must be free.
  void Shift(size_t from, size_t n, int by);
  // Moves the run to start at slot `front`.
  void MoveRun(size_t front);
  // Deletes the key of slot `slot`, if any.
  void DropKey(size_t slot) const;

  // The elements stay dense (one pointer each) for the searches; the keys,
  // when any are kept, lie in a parallel array of owned strings.
  std::unique_ptr<Ref<Object>[]> elements_;
  mutable std::unique_ptr<std::string*[]> keys_;
  size_t capacity_ = 0;  // slots in the buffer
  size_t front_ = 0;     // the first element's slot
  size_t size_ = 0;
};

}  // namespace kvl::internal

#endif  // KVL_COLLECTIONS_SORTED_SLOTS_H_

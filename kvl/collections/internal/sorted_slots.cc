#include "kvl/collections/sorted_slots.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace kvl::internal {

// A Ref is one pointer whose moves only hand the pointer over, so slots are
// relocated bytewise; the slot left behind is then set to the empty state
// without running its destructor (its reference went with the bytes).
static_assert(sizeof(Ref<Object>) == sizeof(Object*) &&
              std::is_standard_layout_v<Ref<Object>>);

SortedSlots::SortedSlots(size_t room) {
  Reserve(room);
}

SortedSlots::~SortedSlots() {
  ReleaseAll();
}

void SortedSlots::ReleaseAll() noexcept {
  const size_t size = std::exchange(size_, 0);
  for (size_t i = 0; i < size; ++i) {
    Slot& s = slots_[front_ + i];
    delete std::exchange(s.key, nullptr);
    Ref<Object> released = std::move(s.element);
  }
  front_ = capacity_ / 2;
}

void SortedSlots::KeepKey(size_t i, std::string key) const {
  Slot& s = slots_[front_ + i];
  if (s.key) {
    *s.key = std::move(key);
  } else {
    s.key = new std::string(std::move(key));
  }
}

void SortedSlots::ForgetKeys() {
  for (size_t i = 0; i < size_; ++i)
    delete std::exchange(slots_[front_ + i].key, nullptr);
}

void SortedSlots::Reserve(size_t room) {
  const size_t needed = 2 * (room + 1);
  if (needed <= capacity_) return;
  const size_t capacity = std::max(needed, capacity_ + capacity_ / 2);
  auto grown = std::make_unique<Slot[]>(capacity);
  Relocate(grown.get(), capacity);
  slots_ = std::move(grown);
  capacity_ = capacity;
}

void SortedSlots::Relocate(Slot* to, size_t capacity) {
  const size_t front = (capacity - size_) / 2;
  if (size_ != 0) {
    std::memcpy(static_cast<void*>(to + front), &slots_[front_],
                size_ * sizeof(Slot));
    for (size_t i = 0; i < size_; ++i) new (&slots_[front_ + i]) Slot();
  }
  front_ = front;
}

void SortedSlots::Shift(size_t from, size_t n, int by) {
  if (n == 0) return;
  Slot* base = slots_.get();
  std::memmove(static_cast<void*>(base + from + by), base + from,
               n * sizeof(Slot));
  new (base + (by > 0 ? from : from + n - 1)) Slot();
}

void SortedSlots::Recentre() {
  const size_t front = (capacity_ - size_) / 2;
  if (front == front_) return;
  Slot* base = slots_.get();
  std::memmove(static_cast<void*>(base + front), base + front_,
               size_ * sizeof(Slot));
  // Clear the old slots the run no longer covers.
  size_t first = front < front_ ? std::max(front + size_, front_) : front_;
  size_t last = front < front_ ? front_ + size_ : std::min(front, front_ + size_);
  for (size_t i = first; i < last; ++i) new (base + i) Slot();
  front_ = front;
}

void SortedSlots::Insert(size_t i, Ref<Object> o,
                         std::unique_ptr<std::string> key) {
  // Move whichever side holds fewer elements.
  const bool move_front = i < size_ - i;
  if (move_front ? front_ == 0 : front_ + size_ == capacity_) Recentre();
  if (move_front) {
    Shift(front_, i, -1);
    --front_;
  } else {
    Shift(front_ + i, size_ - i, 1);
  }
  Slot& s = slots_[front_ + i];
  s.element = std::move(o);
  s.key = key.release();
  ++size_;
}

Ref<Object> SortedSlots::Take(size_t i) {
  Slot& s = slots_[front_ + i];
  Ref<Object> taken = std::move(s.element);
  delete std::exchange(s.key, nullptr);
  if (i < size_ - 1 - i) {
    Shift(front_, i, 1);
    ++front_;
  } else {
    Shift(front_ + i + 1, size_ - 1 - i, -1);
  }
  --size_;
  return taken;
}

std::vector<Ref<Object>> SortedSlots::TakeAll() {
  std::vector<Ref<Object>> taken;
  taken.reserve(size_);
  for (size_t i = 0; i < size_; ++i) {
    Slot& s = slots_[front_ + i];
    taken.push_back(std::move(s.element));
    delete std::exchange(s.key, nullptr);
  }
  size_ = 0;
  front_ = capacity_ / 2;
  return taken;
}

std::vector<Ref<Object>> SortedSlots::Copy() const {
  std::vector<Ref<Object>> copy;
  copy.reserve(size_);
  for (size_t i = 0; i < size_; ++i) copy.push_back(slots_[front_ + i].element);
  return copy;
}

}  // namespace kvl::internal

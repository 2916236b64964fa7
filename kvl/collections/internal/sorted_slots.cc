#include "kvl/collections/sorted_slots.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace kvl::internal {
namespace {

// A Ref is one pointer whose moves only hand the pointer over, so runs of
// them are relocated bytewise; a slot left behind is then set to the empty
// state without running its destructor (its reference went with the
// bytes).
static_assert(sizeof(Ref<Object>) == sizeof(Object*) &&
              std::is_standard_layout_v<Ref<Object>>);

template <class T>
void MoveSlots(T* base, size_t to, size_t from, size_t n) {
  std::memmove(static_cast<void*>(base + to), base + from, n * sizeof(T));
}

void Vacate(Ref<Object>* slot) {
  new (slot) Ref<Object>();
}
void Vacate(std::string** slot) {
  *slot = nullptr;
}

}  // namespace

SortedSlots::SortedSlots(size_t room) {
  Reserve(room);
}

SortedSlots::~SortedSlots() {
  ReleaseAll();
}

void SortedSlots::DropKey(size_t slot) const {
  if (keys_) delete std::exchange(keys_[slot], nullptr);
}

void SortedSlots::KeepKey(size_t i, std::string key) const {
  if (!keys_) keys_ = std::make_unique<std::string*[]>(capacity_);
  std::string*& kept = keys_[front_ + i];
  if (kept) {
    *kept = std::move(key);
  } else {
    kept = new std::string(std::move(key));
  }
}

void SortedSlots::ForgetKeys() {
  for (size_t i = 0; i < size_; ++i) DropKey(front_ + i);
}

void SortedSlots::ReleaseAll() noexcept {
  const size_t size = std::exchange(size_, 0);
  for (size_t i = 0; i < size; ++i) {
    DropKey(front_ + i);
    Ref<Object> released = std::move(elements_[front_ + i]);
  }
  front_ = capacity_ / 2;
}

void SortedSlots::Reserve(size_t room) {
  const size_t needed = 2 * (room + 1);
  if (needed <= capacity_) return;
  const size_t capacity = std::max(needed, capacity_ + capacity_ / 2);
  auto elements = std::make_unique<Ref<Object>[]>(capacity);
  std::unique_ptr<std::string*[]> keys;
  if (keys_) keys = std::make_unique<std::string*[]>(capacity);
  // Nothing below can fail.
  const size_t front = (capacity - size_) / 2;
  if (size_ != 0) {
    std::memcpy(static_cast<void*>(&elements[front]), &elements_[front_],
                size_ * sizeof(Ref<Object>));
    for (size_t i = 0; i < size_; ++i) Vacate(&elements_[front_ + i]);
    if (keys)
      std::memcpy(&keys[front], &keys_[front_], size_ * sizeof(std::string*));
  }
  elements_ = std::move(elements);
  keys_ = std::move(keys);
  capacity_ = capacity;
  front_ = front;
}

void SortedSlots::Shift(size_t from, size_t n, int by) {
  if (n == 0) return;
  const size_t to = from + by;
  const size_t left = by > 0 ? from : from + n - 1;
  MoveSlots(elements_.get(), to, from, n);
  Vacate(&elements_[left]);
  if (keys_) {
    MoveSlots(keys_.get(), to, from, n);
    Vacate(&keys_[left]);
  }
}

void SortedSlots::MoveRun(size_t front) {
  if (front == front_) return;
  // The old slots the run no longer covers.
  const size_t first =
      front < front_ ? std::max(front + size_, front_) : front_;
  const size_t last =
      front < front_ ? front_ + size_ : std::min(front, front_ + size_);
  MoveSlots(elements_.get(), front, front_, size_);
  for (size_t i = first; i < last; ++i) Vacate(&elements_[i]);
  if (keys_) {
    MoveSlots(keys_.get(), front, front_, size_);
    for (size_t i = first; i < last; ++i) Vacate(&keys_[i]);
  }
  front_ = front;
}

void SortedSlots::Insert(size_t i, Ref<Object> o,
                         std::unique_ptr<std::string> key) {
  if (key && !keys_) keys_ = std::make_unique<std::string*[]>(capacity_);
  // Nothing below can fail. Move whichever side holds fewer elements;
  // re-centre the run when that side has no free slot.
  const bool move_front = i < size_ - i;
  if (move_front ? front_ == 0 : front_ + size_ == capacity_)
    MoveRun((capacity_ - size_) / 2);
  if (move_front) {
    Shift(front_, i, -1);
    --front_;
  } else {
    Shift(front_ + i, size_ - i, 1);
  }
  elements_[front_ + i] = std::move(o);
  if (key) keys_[front_ + i] = key.release();
  ++size_;
}

Ref<Object> SortedSlots::Take(size_t i) {
  Ref<Object> taken = std::move(elements_[front_ + i]);
  DropKey(front_ + i);
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
    DropKey(front_ + i);
    taken.push_back(std::move(elements_[front_ + i]));
  }
  size_ = 0;
  front_ = capacity_ / 2;
  return taken;
}

std::vector<Ref<Object>> SortedSlots::Copy() const {
  return std::vector<Ref<Object>>(&elements_[front_],
                                  &elements_[front_] + size_);
}

}  // namespace kvl::internal

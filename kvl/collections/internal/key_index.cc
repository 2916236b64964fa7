#include "kvl/collections/key_index.h"

#include <bit>
#include <utility>

#include "kvl/collections/keyed_store.h"
#include "kvl/runtime/no_case_hash.h"

namespace kvl::internal {

size_t KeyIndex::Hash(std::string_view key) {
  return NoCaseHash()(key);
}

void* KeyIndex::Find(std::string_view key, size_t hash) const {
  if (size_ == 0) return nullptr;
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    const Slot& s = slots_[i];
    if (!s.element) return nullptr;
    if (s.hash == hash && EqualsNoCase(s.key, key)) return s.element;
  }
}

bool KeyIndex::Insert(std::string_view key, size_t hash, void* element) {
  if ((size_ + 1) * 10 > slots_.size() * 7)
    Rehash(slots_.empty() ? 16 : slots_.size() * 2);
  const size_t mask = slots_.size() - 1;
  for (size_t i = hash & mask;; i = (i + 1) & mask) {
    Slot& s = slots_[i];
    if (!s.element) {
      s = Slot{hash, key, element};
      ++size_;
      return true;
    }
    if (s.hash == hash && EqualsNoCase(s.key, key)) return false;
  }
}

void KeyIndex::Erase(size_t hash, const void* element) {
  if (size_ == 0) return;
  const size_t mask = slots_.size() - 1;
  size_t i = hash & mask;
  while (slots_[i].element != element) {
    if (!slots_[i].element) return;  // not indexed
    i = (i + 1) & mask;
  }
  // Move back every following slot whose home is not between the hole and
  // itself, so each entry stays reachable from its home slot.
  for (size_t j = (i + 1) & mask; slots_[j].element; j = (j + 1) & mask) {
    const size_t home = slots_[j].hash & mask;
    const bool stays =
        i <= j ? (i < home && home <= j) : (i < home || home <= j);
    if (!stays) {
      slots_[i] = slots_[j];
      i = j;
    }
  }
  slots_[i] = Slot{};
  --size_;
}

void KeyIndex::Clear() {
  slots_.clear();
  size_ = 0;
}

void KeyIndex::Reserve(size_t n) {
  size_t needed = n * 10 / 7 + 1;
  if (needed > slots_.size()) Rehash(std::bit_ceil(needed));
}

void KeyIndex::Rehash(size_t capacity) {
  std::vector<Slot> old(capacity);
  old.swap(slots_);
  const size_t mask = capacity - 1;
  for (const Slot& s : old) {
    if (!s.element) continue;
    size_t i = s.hash & mask;
    while (slots_[i].element) i = (i + 1) & mask;
    slots_[i] = s;
  }
}

}  // namespace kvl::internal

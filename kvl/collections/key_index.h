// KeyIndex: the hash index of a KeyedStore, from a key (compared ignoring
// ASCII letter case) to the store's element.
//
// Open addressing with linear probing over a power-of-two table; each slot
// keeps the key's hash, a view of the key (the element's own key text,
// which must stay put while indexed) and the element. A lookup compares
// texts only where the hashes agree. Erasing shifts the following slots
// back, so there are no tombstones and lookups stay short after many
// removals. The table grows when it is 70% full.
#ifndef KVL_COLLECTIONS_KEY_INDEX_H_
#define KVL_COLLECTIONS_KEY_INDEX_H_

#include <cstddef>
#include <string_view>
#include <vector>

#include "kvl/runtime/export.h"

namespace kvl::internal {

class KVL_EXPORT KeyIndex {
 public:
  // The hash that Find, Insert and Erase expect: NoCaseHash, keyed with the
  // process's random seed, so keys chosen to share one probe chain in one
  // process spread out in another.
  static size_t Hash(std::string_view key);

  size_t size() const { return size_; }

  // The element under `key`, or null.
  void* Find(std::string_view key, size_t hash) const;
  // Indexes `element` under `key`; false (nothing changed) when the key is
  // present.
  bool Insert(std::string_view key, size_t hash, void* element);
  // Removes `element`, indexed under a key with `hash`.
  void Erase(size_t hash, const void* element);
  void Clear();
  void Reserve(size_t n);
  void swap(KeyIndex& other) noexcept {
    slots_.swap(other.slots_);
    std::swap(size_, other.size_);
  }

 private:
  struct Slot {
    size_t hash = 0;
    std::string_view key;
    void* element = nullptr;  // null: free
  };
  void Rehash(size_t capacity);

  std::vector<Slot> slots_;  // empty or a power of two
  size_t size_ = 0;
};

}  // namespace kvl::internal

#endif  // KVL_COLLECTIONS_KEY_INDEX_H_

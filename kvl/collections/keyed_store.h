// KeyedStore<T>: the ordered keyed list that every collection of the library
// keeps its elements in (keyed collections, dictionaries, observers, trees,
// and the event bus's and configuration's own lists).
//
// Elements stand at 1-based positions in the order they were put there. An
// element may carry a text key, unique within the store; keys compare
// ignoring ASCII letter case (as EqualsNoCase does) and keep the case they
// were added with. An empty key means "no key": any number of elements may
// have none. Elements are added at the end, before or after a position, and
// looked up or removed by position or by key. Adding a key that is present
// already, or naming a position or key that does not exist, fails (false,
// null or 0) and changes nothing.
//
// Costs: adding at the end and looking up by position or by key take
// constant time (an open-addressing hash index from key to element, see
// key_index.h). Adding or removing in the middle moves the element
// pointers behind it (one memmove); the positions of the elements behind are
// renumbered lazily, once, by the next PositionOf that needs them. Clear
// and the destructor take linear time.
//
// Ownership: the store owns its elements. A removed element is taken out of
// the store before it is destroyed, and Clear empties the store before
// destroying the old elements (first position first), so a destructor that
// reaches back into the store finds it consistent.
//
// Threading: none; a store is used on one thread. Iterators are invalidated
// by any change of the store.
//
//   KeyedStore<Ref<Object>> items;
//   items.Add(a, "Alpha");
//   items.AddBefore(1, b);                 // b without key, now at 1
//   items.Find("ALPHA");                   // &a
//   items.PositionOf("alpha");             // 2
//   for (const auto& e : items) use(e.key(), e.value);
#ifndef KVL_COLLECTIONS_KEYED_STORE_H_
#define KVL_COLLECTIONS_KEYED_STORE_H_

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvl/collections/key_index.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

template <class T>
class KVL_EXPORT KeyedStore {
 public:
  // One element: its key ("" when it has none) and its value. The key's
  // characters are stored right behind the entry, in the same allocation.
  class Entry {
   public:
    std::string_view key() const { return {chars(), key_size_}; }
    bool has_key() const { return key_size_ != 0; }

    T value;

   private:
    friend class KeyedStore;
    struct Deleter {
      void operator()(Entry* e) const noexcept {
        e->~Entry();
        ::operator delete(e);
      }
    };
    using Ptr = std::unique_ptr<Entry, Deleter>;

    Entry(size_t key_size, T&& v) : value(std::move(v)), key_size_(key_size) {}
    static Ptr Make(std::string_view key, T&& v) {
      void* p = ::operator new(sizeof(Entry) + key.size());
      Entry* e;
      try {
        e = new (p) Entry(key.size(), std::move(v));
      } catch (...) {
        ::operator delete(p);
        throw;
      }
      if (!key.empty())
        std::memcpy(reinterpret_cast<char*>(e + 1), key.data(), key.size());
      return Ptr(e);
    }
    const char* chars() const {
      return reinterpret_cast<const char*>(this + 1);
    }

    const size_t key_size_;
    size_t hash_ = 0;
    mutable size_t index_ = 0;  // 0-based position, valid below valid_
  };

 private:
  using Order = std::vector<Entry*>;

  template <class E, class It>
  class Iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = Entry;
    using difference_type = std::ptrdiff_t;
    using pointer = E*;
    using reference = E&;

    Iterator() = default;
    E& operator*() const { return **it_; }
    E* operator->() const { return *it_; }
    Iterator& operator++() {
      ++it_;
      return *this;
    }
    Iterator operator++(int) {
      Iterator old = *this;
      ++it_;
      return old;
    }
    friend bool operator==(const Iterator& a, const Iterator& b) {
      return a.it_ == b.it_;
    }

   private:
    friend class KeyedStore;
    explicit Iterator(It it) : it_(it) {}
    It it_{};
  };

 public:
  using iterator = Iterator<Entry, typename Order::const_iterator>;
  using const_iterator = Iterator<const Entry, typename Order::const_iterator>;

  KeyedStore() = default;
  KeyedStore(const KeyedStore&) = delete;
  KeyedStore& operator=(const KeyedStore&) = delete;
  KeyedStore(KeyedStore&& other) noexcept { swap(other); }
  KeyedStore& operator=(KeyedStore&& other) noexcept {
    if (this != &other) {
      KeyedStore old;
      old.swap(*this);
      swap(other);
    }
    return *this;
  }
  ~KeyedStore() { DestroyAll(); }

  size_t size() const { return order_.size(); }
  bool empty() const { return order_.empty(); }

  // Adds `value` at the end, under `key` unless it is empty. False when the
  // key is present already; the value is then dropped.
  bool Add(T value, std::string_view key = {}) {
    return InsertAt(order_.size(), std::move(value), key);
  }
  // Adds `value` so that it stands at `position` (1 .. size() + 1; size() + 1
  // is the end). False for another position or a present key.
  bool AddBefore(size_t position, T value, std::string_view key = {}) {
    if (position < 1 || position > order_.size() + 1) return false;
    return InsertAt(position - 1, std::move(value), key);
  }
  // Adds `value` right after `position` (0 .. size(); 0 is the front).
  bool AddAfter(size_t position, T value, std::string_view key = {}) {
    if (position > order_.size()) return false;
    return InsertAt(position, std::move(value), key);
  }

  // The element at 1-based `position`, or null.
  T* At(size_t position) {
    Entry* e = EntryAt(position);
    return e ? &e->value : nullptr;
  }
  const T* At(size_t position) const {
    const Entry* e = EntryAt(position);
    return e ? &e->value : nullptr;
  }
  Entry* EntryAt(size_t position) {
    return position >= 1 && position <= order_.size() ? order_[position - 1]
                                                      : nullptr;
  }
  const Entry* EntryAt(size_t position) const {
    return position >= 1 && position <= order_.size() ? order_[position - 1]
                                                      : nullptr;
  }
  // The key at `position`; "" when the element has none or there is none.
  std::string_view KeyAt(size_t position) const {
    const Entry* e = EntryAt(position);
    return e ? e->key() : std::string_view();
  }

  // The element stored under `key` (any letter case), or null. An empty key
  // finds nothing.
  T* Find(std::string_view key) {
    Entry* e = FindEntry(key);
    return e ? &e->value : nullptr;
  }
  const T* Find(std::string_view key) const {
    const Entry* e = FindEntry(key);
    return e ? &e->value : nullptr;
  }
  bool Contains(std::string_view key) const {
    return FindEntry(key) != nullptr;
  }
  // The element stored under `key`, or null.
  Entry* FindEntry(std::string_view key) const {
    if (key.empty() || index_.size() == 0) return nullptr;
    return static_cast<Entry*>(index_.Find(key, internal::KeyIndex::Hash(key)));
  }
  // The 1-based position of the element under `key`, or 0.
  size_t PositionOf(std::string_view key) const {
    const Entry* e = FindEntry(key);
    return e ? IndexOf(*e) + 1 : 0;
  }
  // The 1-based position of `entry`, an element of this store.
  size_t PositionOf(const Entry& entry) const { return IndexOf(entry) + 1; }

  // Takes the element at `position` out of the store and returns it; empty
  // when there is none.
  std::optional<T> TakeAt(size_t position) {
    if (position < 1 || position > order_.size()) return std::nullopt;
    const size_t i = position - 1;
    typename Entry::Ptr e(order_[i]);
    if (e->has_key()) index_.Erase(e->hash_, e.get());
    order_.erase(order_.begin() + static_cast<std::ptrdiff_t>(i));
    valid_ = std::min(valid_, i);
    return std::optional<T>(std::move(e->value));
  }
  std::optional<T> Take(std::string_view key) {
    size_t position = PositionOf(key);
    if (position == 0) return std::nullopt;
    return TakeAt(position);
  }
  // Removes and destroys an element; false when there is none. The store is
  // consistent again before the element is destroyed.
  bool RemoveAt(size_t position) { return TakeAt(position).has_value(); }
  bool Remove(std::string_view key) { return Take(key).has_value(); }

  // Empties the store, then destroys the old elements in order.
  void Clear() {
    KeyedStore old;
    old.swap(*this);
  }

  void Reserve(size_t n) {
    order_.reserve(n);
    index_.Reserve(n);
  }

  void swap(KeyedStore& other) noexcept {
    order_.swap(other.order_);
    index_.swap(other.index_);
    std::swap(valid_, other.valid_);
  }

  iterator begin() { return iterator(order_.cbegin()); }
  iterator end() { return iterator(order_.cend()); }
  const_iterator begin() const { return const_iterator(order_.cbegin()); }
  const_iterator end() const { return const_iterator(order_.cend()); }

 private:
  bool InsertAt(size_t i, T value, std::string_view key) {
    typename Entry::Ptr e = Entry::Make(key, std::move(value));
    if (e->has_key()) {
      e->hash_ = internal::KeyIndex::Hash(key);
      if (!index_.Insert(e->key(), e->hash_, e.get())) return false;
    }
    const size_t old_size = order_.size();
    try {
      order_.insert(order_.begin() + static_cast<std::ptrdiff_t>(i), e.get());
    } catch (...) {
      if (e->has_key()) index_.Erase(e->hash_, e.get());
      throw;
    }
    e->index_ = i;
    if (i == old_size && valid_ == old_size) {
      valid_ = old_size + 1;  // appended with everything numbered
    } else {
      valid_ = std::min(valid_, i);
    }
    e.release();
    return true;
  }

  // Entries below valid_ carry their right index; an entry at or behind
  // valid_ always carries an index at or above valid_, so a small index is
  // trusted and a large one triggers one renumbering pass.
  size_t IndexOf(const Entry& e) const {
    if (e.index_ < valid_) return e.index_;
    for (size_t j = valid_; j < order_.size(); ++j) order_[j]->index_ = j;
    valid_ = order_.size();
    return e.index_;
  }

  void DestroyAll() noexcept {
    Order order;
    order.swap(order_);
    index_.Clear();
    valid_ = 0;
    for (Entry* e : order) typename Entry::Deleter()(e);
  }

  Order order_;
  // Keys point into the entries' own key strings.
  internal::KeyIndex index_;
  mutable size_t valid_ = 0;
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_KEYED_STORE_H_

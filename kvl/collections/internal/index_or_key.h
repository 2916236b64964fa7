// How the IndexOrKey argument of the collections addresses an element: a
// text is a key (any letter case), a number of a numeric kind is a 1-based
// position (rounded half to even). Empty, Null, booleans, dates, objects,
// arrays, errors and numbers beyond 32 bits address nothing; lookups never
// raise.
#ifndef KVL_COLLECTIONS_INTERNAL_INDEX_OR_KEY_H_
#define KVL_COLLECTIONS_INTERNAL_INDEX_OR_KEY_H_

#include <cstddef>
#include <cstdint>
#include <optional>

#include "kvl/collections/keyed_store.h"
#include "kvl/runtime/variant.h"

namespace kvl::internal {

// The position a non-text argument names, or nothing.
std::optional<int32_t> PositionArgument(const Variant& index_or_key);

// The entry of `store` that `index_or_key` names, or null.
template <class Store>
auto LookupEntry(Store& store, const Variant& index_or_key)
    -> decltype(store.EntryAt(1)) {
  if (index_or_key.is_string()) return store.FindEntry(index_or_key.AsString());
  std::optional<int32_t> position = PositionArgument(index_or_key);
  if (!position || *position < 1) return nullptr;
  return store.EntryAt(static_cast<size_t>(*position));
}

// Takes the element that `index_or_key` names out of `store`; empty when
// there is none.
template <class T>
std::optional<T> TakeEntry(KeyedStore<T>& store, const Variant& index_or_key) {
  if (index_or_key.is_string()) return store.Take(index_or_key.AsString());
  std::optional<int32_t> position = PositionArgument(index_or_key);
  if (!position || *position < 1) return std::nullopt;
  return store.TakeAt(static_cast<size_t>(*position));
}

}  // namespace kvl::internal

#endif  // KVL_COLLECTIONS_INTERNAL_INDEX_OR_KEY_H_

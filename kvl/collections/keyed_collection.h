// IKVLCollection: the library's ordered keyed collection of objects, and
// ReadOnlyCollection, a read-only view of one.
//
// Elements (objects, or Nothing) stand at 1-based positions; each may carry
// a text key, unique in the collection and compared ignoring letter case.
// Item and Remove take a position (a number) or a key (a text). Add and
// Remove report KVLExceptions codes instead of raising: Add gives
// kKVLException_DuplicateItem (10004) for a key that is present already,
// Remove kKVLException_ItemNotFound (10003) for a missing position or key;
// a failed call changes nothing. Lookups of a missing element give null.
// Count is a 16-bit count: it raises overflow (6) once the collection holds
// more than 32767 elements (they can still be reached by position and key).
//
// Ownership: the collection holds a counted reference to each element and
// releases it when the element is removed or the collection ends. NewEnum
// enumerates a snapshot, so changing the collection during a walk is safe.
// Lookup by key is a hash lookup (see KeyedStore).
//
// Threading: used on the thread that created it.
//
//   auto c = MakeRef<IKVLCollection>();
//   c->Add(job, "Print");                       // kKVLException_OK
//   c->Add(other, "PRINT");                     // kKVLException_DuplicateItem
//   c->Add(first, "", 1);                       // before position 1
//   Ref<Object> j = c->Item(Variant("print"));  // job
//   ForEach(Variant(c), [](const Variant& item) { ...; return true; });
#ifndef KVL_COLLECTIONS_KEYED_COLLECTION_H_
#define KVL_COLLECTIONS_KEYED_COLLECTION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "kvl/collections/collection_interfaces.h"
#include "kvl/collections/keyed_store.h"
#include "kvl/frame/kvl_types.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Creatable (kind 2); answers for IKVLROCollection too.
class KVL_EXPORT IKVLCollection : public Object, public IKVLROCollection {
  KVL_DECLARE_CLASS(IKVLCollection)
 public:
  using Store = KeyedStore<Ref<Object>>;

  IKVLCollection() = default;

  int16_t Count() const override;
  Ref<Object> Item(const Variant& index_or_key) const override;
  // Adds `x` under `key` (no key when empty): before position `before` when
  // 1 <= before <= the number of elements, else at the end.
  KVLExceptions Add(Ref<Object> x, const std::string& key = {},
                    int16_t before = 0) {
    return DoAdd(std::move(x), key, before);
  }
  KVLExceptions Remove(const Variant& index_or_key);
  // Removes every element; they are released first position first.
  void Clear();
  Ref<Object> NewEnum() const override;

  // C++ access without variants.
  size_t size() const { return store_.size(); }
  Ref<Object> ItemAt(size_t position) const;
  Ref<Object> ItemByKey(std::string_view key) const;
  KVLExceptions RemoveKey(std::string_view key);
  const Store& store() const { return store_; }

 protected:
  virtual KVLExceptions DoAdd(Ref<Object> x, const std::string& key,
                              int16_t before);
  Store& mutable_store() { return store_; }

 private:
  Store store_;
};

// A read-only view of an IKVLCollection: Count, Item and NewEnum of the
// collection it was made for, which it keeps alive. Its class is
// IKVLROCollection (public, not creatable; made only by the library).
class KVL_EXPORT ReadOnlyCollection final : public Object,
                                            public IKVLROCollection {
 public:
  static const ClassInfo& StaticClass() {
    return IKVLROCollection::StaticClass();
  }
  const ClassInfo& Class() const override { return StaticClass(); }

  explicit ReadOnlyCollection(Ref<IKVLCollection> target)
      : target_(std::move(target)) {}

  int16_t Count() const override { return target_->Count(); }
  Ref<Object> Item(const Variant& index_or_key) const override {
    return target_->Item(index_or_key);
  }
  Ref<Object> NewEnum() const override { return target_->NewEnum(); }

 private:
  Ref<IKVLCollection> target_;
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_KEYED_COLLECTION_H_

// IKVLDictionary: an ordered dictionary of IKVLAssociation records (a text
// key with a variant value), looked up by key or by 1-based position.
//
// Each association is stored under its Key as it reads when it is added;
// keys are unique in the dictionary and compared ignoring letter case. An
// association with an empty key is stored without key (reachable by
// position only). Changing an association's Key afterwards does not move it
// in the dictionary. Add and AddAssoc give kKVLException_DuplicateItem
// (10004) for a key that is present already, Remove gives
// kKVLException_ItemNotFound (10003) for a missing key or position; a failed
// call changes nothing. Item of a missing element is null, Value of one is
// Empty. Count is a 16-bit count (raises 6 beyond 32767).
//
// Ownership: the dictionary holds counted references to its associations,
// and an association to an object value. NewEnum enumerates a snapshot of
// the associations.
//
// Threading: used on the thread that created it.
//
//   auto d = MakeRef<IKVLDictionary>();
//   d->Add("Port", Variant(int32_t{8080}));      // kKVLException_OK
//   d->Value(Variant("PORT"));                   // 8080
//   d->Add("port", Variant("x"));                // kKVLException_DuplicateItem
#ifndef KVL_COLLECTIONS_DICTIONARY_H_
#define KVL_COLLECTIONS_DICTIONARY_H_

#include <cstdint>
#include <string>
#include <utility>

#include "kvl/collections/keyed_store.h"
#include "kvl/frame/kvl_types.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Creatable (kind 2): a key and a value; an object value is held as a
// reference.
class KVL_EXPORT IKVLAssociation : public Object {
  KVL_DECLARE_CLASS(IKVLAssociation)
 public:
  IKVLAssociation() = default;
  IKVLAssociation(std::string key, Variant value)
      : key_(std::move(key)), value_(std::move(value)) {}

  void SetKey(std::string key) { key_ = std::move(key); }
  const std::string& Key() const { return key_; }
  // Property Let: stores `value` as it is (an object stays a reference).
  void SetValue(Variant value) { value_ = std::move(value); }
  // Property Set: stores the object reference (null for Nothing).
  void SetValueRef(Ref<Object> value);
  const Variant& Value() const { return value_; }

 private:
  std::string key_;
  Variant value_;
};

// Creatable (kind 2).
class KVL_EXPORT IKVLDictionary : public Object {
  KVL_DECLARE_CLASS(IKVLDictionary)
 public:
  // Adds a new association (k, v).
  KVLExceptions Add(const std::string& k, const Variant& v);
  // Adds `a` under a->Key(). Raises 91 when `a` is null.
  KVLExceptions AddAssoc(Ref<IKVLAssociation> a);
  // The association at a position (a number) or under a key (a text).
  Ref<IKVLAssociation> Item(const Variant& key_or_index) const;
  // Item(key_or_index)->Value(), or Empty.
  Variant Value(const Variant& key_or_index) const;
  KVLExceptions Remove(const Variant& key_or_index);
  int16_t Count() const;
  Ref<Object> NewEnum() const;

  // C++ access without variants.
  const KeyedStore<Ref<IKVLAssociation>>& store() const { return store_; }

 private:
  KeyedStore<Ref<IKVLAssociation>> store_;
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_DICTIONARY_H_

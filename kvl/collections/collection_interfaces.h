// The small interfaces of the collections that clients and other classes
// implement: the read-only view of a collection (IKVLROCollection), the
// comparator and key extractor of a KVLSrtdClctn, objects that know their
// own key (IKVLKeyed), and the predicate and function that generic
// algorithms apply to the elements of a collection.
//
// Each is a pure C++ interface with the member table of its published
// interface (public, not creatable). A class implements one by deriving from
// it and listing it with .Implements(&I::StaticClass); the library calls a
// client object through the C++ interface when the object has it
// (obj->As<I>()) and otherwise by member name ("compare", "Key",
// "Predicate", "AFunction"), so late-bound clients work as well.
//
//   class ByName : public Object, public IKVLComparator {
//     int16_t compare(Ref<Object> a, Ref<Object> b) override;
//   };
#ifndef KVL_COLLECTIONS_COLLECTION_INTERFACES_H_
#define KVL_COLLECTIONS_COLLECTION_INTERFACES_H_

#include <cstdint>
#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// A collection read by count, by 1-based position or key, and by
// enumeration.
class KVL_EXPORT IKVLROCollection {
 public:
  static const ClassInfo& StaticClass();
  virtual int16_t Count() const = 0;
  // The element at the 1-based position (a number) or under the key (a
  // text); null when there is none. The default member.
  virtual Ref<Object> Item(const Variant& index_or_key) const = 0;
  // An enumerator (IEnumVariant) over the elements in order.
  virtual Ref<Object> NewEnum() const = 0;

 protected:
  ~IKVLROCollection() = default;
};

// Orders two objects: negative when o1 sorts before o2, 0 when they are
// equal, positive when o1 sorts after o2.
class KVL_EXPORT IKVLComparator {
 public:
  static const ClassInfo& StaticClass();
  virtual int16_t compare(Ref<Object> o1, Ref<Object> o2) = 0;

 protected:
  ~IKVLComparator() = default;
};

// The key under which an object is stored; "" for none.
class KVL_EXPORT IKVLKeyExtractor {
 public:
  static const ClassInfo& StaticClass();
  virtual std::string Key(Ref<Object> o) = 0;

 protected:
  ~IKVLKeyExtractor() = default;
};

// An object that knows its own key.
class KVL_EXPORT IKVLKeyed {
 public:
  static const ClassInfo& StaticClass();
  virtual std::string Key() = 0;

 protected:
  ~IKVLKeyed() = default;
};

// A test applied to the elements of a collection.
class KVL_EXPORT IKVLPredicate {
 public:
  static const ClassInfo& StaticClass();
  virtual bool Predicate(Ref<Object> o) = 0;

 protected:
  ~IKVLPredicate() = default;
};

// A function applied to the elements of a collection.
class KVL_EXPORT IKVLFunction {
 public:
  static const ClassInfo& StaticClass();
  virtual Variant AFunction(Ref<Object> o) = 0;

 protected:
  ~IKVLFunction() = default;
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_COLLECTION_INTERFACES_H_

// Object keys: text keys that stand for objects without holding a counted
// reference to them, so that observers, tables and trees can refer to
// objects without forming reference cycles.
//
// The key of an object is "X" followed by a decimal number: the address of
// the object (its identity, so every interface view of one object has the
// same key), read as a signed 64-bit number. Making a key records a
// WeakRef to the object, and turning a key back into an object locks that
// WeakRef: a key of an object that has ended gives null, no dangling
// address is ever followed, and an object made later at the same address
// never answers to an old key: when an object that had a key has lived at
// an address before, the new object's number is a negative one that no key
// had before. An object keeps its key for its whole life.
//
// K2OGlobals is the global class (kind 1) that offers this service to
// clients, with ObjGetRefCount; K2OByPointer (creatable) implements the
// IKeyToObject interface with it. Neither has state.
//
//   std::string key = ObjectKey(observer.get());     // "X140234..."
//   Ref<Object> back = ObjectFromKey(key);           // observer, or null
//
// Threading: keys may be made and read on any thread. ObjectFromKey takes
// its reference atomically with the check, so it is safe while another
// thread releases the object's last reference (it then gives null); the
// objects it returns are used on their own thread.
#ifndef KVL_COLLECTIONS_OBJECT_KEYS_H_
#define KVL_COLLECTIONS_OBJECT_KEYS_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// The key of `object`'s identity (see above); "X0" for null. The caller
// keeps `object` alive for the call.
KVL_EXPORT std::string ObjectKey(Object* object);

// A new reference to the live object whose key is `key`; null when the key
// does not start with "X" or "x", is not "X" + an optional "-" and decimal
// digits within 64 bits, or is not the key of a live object.
KVL_EXPORT Ref<Object> ObjectFromKey(std::string_view key);

// Converts between objects and text keys (public interface, not creatable).
class KVL_EXPORT IKeyToObject {
 public:
  static const ClassInfo& StaticClass();
  // Property Get: the object with key `key`, or null.
  virtual Ref<Object> KeyToObject(const std::string& key) = 0;
  // Property Get: the key of `object`.
  virtual std::string ObjectToKey(Ref<Object> object) = 0;
  virtual void SetContextRef(Ref<Object> context) = 0;
  virtual Ref<Object> Context() = 0;

 protected:
  ~IKeyToObject() = default;
};

// Global (kind 1).
class KVL_EXPORT K2OGlobals : public Object {
  KVL_DECLARE_CLASS(K2OGlobals)
 public:
  // ObjectFromKey(key).
  Ref<Object> KeyToPointer(const std::string& key) const {
    return ObjectFromKey(key);
  }
  // ObjectKey(object).
  std::string PointerToKey(Ref<Object> object) const {
    return ObjectKey(object.get());
  }
  // The reference count of `x`'s identity; -1 for null. The typed call
  // takes no reference; called by name, the reference held by the argument
  // is not counted.
  int32_t ObjGetRefCount(const Object* x) const;
  template <class T>
  int32_t ObjGetRefCount(const Ref<T>& x) const {
    return ObjGetRefCount(static_cast<const Object*>(x.get()));
  }
};

// Creatable (kind 2): IKeyToObject over ObjectKey / ObjectFromKey. Context
// is not used: setting it does nothing and it reads as null.
class KVL_EXPORT K2OByPointer final : public Object, public IKeyToObject {
  KVL_DECLARE_CLASS(K2OByPointer)
 public:
  Ref<Object> KeyToObject(const std::string& key) override {
    return ObjectFromKey(key);
  }
  std::string ObjectToKey(Ref<Object> object) override {
    return ObjectKey(object.get());
  }
  void SetContextRef(Ref<Object>) override {}
  Ref<Object> Context() override { return nullptr; }
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_OBJECT_KEYS_H_

// IKVLObserved: a list of observers that holds no counted reference to them,
// and IKVLObserver, the interface observers implement.
//
// Each observer is kept as its object key (ObjectKey, object_keys.h), stored
// under itself, in the order added. Observer(i) turns the i-th key back into
// the object: null when the index is out of range or the observer has ended
// (its key then stays in the list until removed or cleared). Whoever
// notifies walks Observer(1) .. Observer(ObserverCount) and calls each
// observer's NotifyHandler (KVLGeneric.NotifyObservers does so).
//
// AddObserver gives false for an observer that is registered already or
// null; RemoveObserver gives true when it removed the observer and false
// when the observer was not registered. NewEnum enumerates the stored keys
// (texts), not the observers. ObserverCount is a 16-bit count (raises 6
// beyond 32767).
//
// Threading: used on the thread that created it.
//
//   auto subject = MakeRef<IKVLObserved>();
//   subject->AddObserver(view);                  // true; view not held
//   for (int16_t i = 1; i <= subject->ObserverCount(); ++i)
//     if (Ref<Object> o = subject->Observer(i)) notify(o);
#ifndef KVL_COLLECTIONS_OBSERVED_H_
#define KVL_COLLECTIONS_OBSERVED_H_

#include <cstdint>
#include <string>

#include "kvl/collections/keyed_store.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

class IKVLObserved;

// Public interface (kind 3): told by a notifier that `o` has news `s`.
class KVL_EXPORT IKVLObserver {
 public:
  static const ClassInfo& StaticClass();
  virtual bool NotifyHandler(Ref<IKVLObserved> o, const std::string& s) = 0;

 protected:
  ~IKVLObserver() = default;
};

// Creatable (kind 2).
class KVL_EXPORT IKVLObserved : public Object {
  KVL_DECLARE_CLASS(IKVLObserved)
 public:
  bool AddObserver(Ref<Object> o);
  bool RemoveObserver(Ref<Object> o);
  void ClearObservers() { keys_.Clear(); }
  int16_t ObserverCount() const;
  // The observer at 1-based `index`, or null.
  Ref<Object> Observer(int16_t index) const;
  // An enumerator over the stored keys.
  Ref<Object> NewEnum() const;

 private:
  KeyedStore<std::string> keys_;
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_OBSERVED_H_

// KVLGeneric: small algorithms over the library's collections: filtering
// with a predicate, applying a function, notifying observers, finding the
// key of a value, and the library's unique keys.
//
// A global class (kind 1): clients call it without creating it; the
// library uses its internal instance (InternalInstance<KVLGeneric>()).
// Collections are walked by their enumerator (NewEnum), so any collection
// works, the library's or a client's. Predicates, functions, observers and
// dictionaries are called through their C++ interface when they have it,
// else by member name ("Predicate", "AFunction", "NotifyHandler",
// "ObserverCount", "Observer", "Key", "Value"). What they raise is the
// member's own failure, except in KeyForValue, which then gives "".
//
// Threading: used on the thread that created it.
//
//   Ref<IKVLCollection> big = generic.FilterItems(items, is_big);
//   std::string key = generic.KeyForValue(dict, Variant("VALUE"));
#ifndef KVL_FACTORY_KVL_GENERIC_H_
#define KVL_FACTORY_KVL_GENERIC_H_

#include <string>

#include "kvl/collections/keyed_collection.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

class KVL_EXPORT KVLGeneric : public Object {
  KVL_DECLARE_CLASS(KVLGeneric)
 public:
  KVLGeneric() = default;

  // The items of `c` for which p.Predicate(item) is true, in walk order,
  // without keys.
  Ref<IKVLCollection> FilterItems(Ref<Object> c, Ref<Object> p);
  // Calls f.AFunction(item) for every item of `c`.
  void ApplyFunction(Ref<Object> c, Ref<Object> f);
  // The same for the items where p.Predicate(item) is true.
  void ApplyFilteredFunction(Ref<Object> c, Ref<Object> p, Ref<Object> f);
  // Calls x.Observer(i).NotifyHandler(x, s) for i = 1 .. x.ObserverCount
  // (read once); observers that are gone are skipped.
  void NotifyObservers(Ref<Object> x, const std::string& s);
  // The Key of the first association of `d` whose Value equals `v`
  // (ValuesEqualText); "" when none does or when the walk fails.
  std::string KeyForValue(Ref<Object> d, const Variant& v);
  // "K." + time stamp + "." + counter (com_globals.h).
  std::string MakeUniqueKey();
};

// Two values compared as the text comparison mode compares them: texts
// ignoring letter case, numbers (and booleans, dates) by value, Empty as
// 0 or "", objects by identity; Null, arrays and a number against a text
// are never equal.
KVL_EXPORT bool ValuesEqualText(const Variant& a, const Variant& b);

}  // namespace kvl

#endif  // KVL_FACTORY_KVL_GENERIC_H_

// How a SortedCollection reaches its comparator and extractor: through the
// C++ interface when the object implements it (looked up once, when the
// object is set, so that no comparison pays for a cast), otherwise by
// member name ("compare", "Key").
//
// A handle holds a counted reference on its object and must be given a
// non-null one.
//
// Keys of a C++ extractor are kept: the collection reads an element's key
// through it once and keeps it while the element is stored and the
// extractor is set, so such an extractor must give an element the same key
// for as long as it is stored. The DefaultExtractor and extractors called by
// name are asked at every comparison.
#ifndef KVL_COLLECTIONS_SORTED_CALLERS_H_
#define KVL_COLLECTIONS_SORTED_CALLERS_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "kvl/collections/sorted_comparator.h"
#include "kvl/collections/sorted_extractor.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl::internal {

// extractor.Key(o) called by name; the result as text.
KVL_EXPORT std::string KeyByName(Object& extractor, const Ref<Object>& o);

// comparator.compare(e, o1, o2) called by name; the sign of the result
// (any numeric kind is accepted): -1, 0 or 1.
KVL_EXPORT int16_t CompareByName(Object& comparator, const Ref<Object>& e,
                                 const Ref<Object>& o1, const Ref<Object>& o2);

class KVL_EXPORT ExtractorHandle {
 public:
  explicit ExtractorHandle(Ref<Object> extractor)
      : object_(std::move(extractor)),
        typed_(object_),
        default_(dynamic_cast<DefaultExtractor*>(object_->Identity())),
        keeps_keys_(typed_ && default_ == nullptr) {}

  std::string Key(const Ref<Object>& o) const {
    return typed_ ? typed_->Key(o) : KeyByName(*object_, o);
  }
  // f(key of o), the key a string_view valid during the call: the text a
  // DefaultExtractor's element gives is read where its member left it.
  template <class F>
  auto WithKey(const Ref<Object>& o, F&& f) const {
    if (default_ == nullptr) return f(std::string_view(Key(o)));
    Variant key = default_->KeyValue(o);
    if (key.is_string()) return f(std::string_view(key.AsString()));
    return f(std::string_view(ToText(key)));
  }
  // True when the keys it gives may be kept (see above).
  bool keeps_keys() const { return keeps_keys_; }
  const Ref<Object>& object() const { return object_; }

 private:
  Ref<Object> object_;
  InterfaceRef<IExtractor> typed_;
  DefaultExtractor* default_;  // object_ itself, when it is one
  bool keeps_keys_;
};

class KVL_EXPORT ComparatorHandle {
 public:
  explicit ComparatorHandle(Ref<Object> comparator)
      : object_(std::move(comparator)),
        typed_(object_),
        is_default_(dynamic_cast<DefaultComparator*>(object_->Identity()) !=
                    nullptr) {}

  // <0, 0 or >0 as IComparator::compare.
  int Compare(const Ref<Object>& e, const Ref<Object>& o1,
              const Ref<Object>& o2) const {
    return typed_ ? typed_->compare(e, o1, o2)
                  : CompareByName(*object_, e, o1, o2);
  }
  // True for a DefaultComparator: its order is DefaultComparator::CompareKeys
  // of the extractor's keys, which the collection may then apply itself.
  bool is_default() const { return is_default_; }
  // The C++ interface, or null when the comparator is called by name.
  IComparator* typed() const { return typed_.get(); }
  const Ref<Object>& object() const { return object_; }

 private:
  Ref<Object> object_;
  InterfaceRef<IComparator> typed_;
  bool is_default_;
};

}  // namespace kvl::internal

#endif  // KVL_COLLECTIONS_SORTED_CALLERS_H_

// IExtractor and DefaultExtractor: how a SortedCollection reads the key text
// of an element.
//
// IExtractor is the interface a client implements to say what an element's
// key is: in C++ by deriving from it (next to kvl::Object) and listing
// `.Implements(&IExtractor::StaticClass)`, or late-bound by giving its object
// a member "Key" taking the element. Creating "KVLCommon.IExtractor" gives the
// interface's own body, whose Key is always "". DefaultExtractor, the
// extractor of a new SortedCollection, asks the element itself: it calls the
// element's member "Key" by name, so any object with a Key property or
// method (a C++ class listing "Key" in its member table, or a client's
// late-bound object) can be stored without writing an extractor.
//
// Extractors hold no state and no references. Like every object they are
// used on the thread that made them.
//
//   class ByName : public Object, public IExtractor {
//     KVL_DECLARE_CLASS(ByName)
//    public:
//     std::string Key(const Ref<Object>& o) override {
//       return static_cast<Person&>(*o).Name();
//     }
//   };
//   std::string k = ExtractKey(*extractor, element);   // typed or by name
#ifndef KVL_COLLECTIONS_SORTED_EXTRACTOR_H_
#define KVL_COLLECTIONS_SORTED_EXTRACTOR_H_

#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// The interface IExtractor (its table is the creatable class IExtractor).
class KVL_EXPORT IExtractor {
 public:
  static const ClassInfo& StaticClass();

  // The key text of `o` (published as taking `o` by reference; it is never
  // written). May raise; a SortedCollection passes the failure on or treats
  // it as "not found" as each of its members documents.
  virtual std::string Key(const Ref<Object>& o) = 0;

 protected:
  ~IExtractor() = default;
};

// Public, not creatable: the extractor a SortedCollection starts with.
class KVL_EXPORT DefaultExtractor final : public Object, public IExtractor {
  KVL_DECLARE_CLASS(DefaultExtractor)
 public:
  // The value of `o`'s member "Key" (a property Get or a method, called by
  // name without arguments) as text. Raises 91 when `o` is Nothing, 438
  // when it has no such member, and whatever the member or the conversion
  // to text raises.
  std::string Key(const Ref<Object>& o) override;
  // The value of `o`'s member "Key" before its conversion to text (the same
  // failures but the conversion's), so that a text result can be read
  // where the member left it.
  Variant KeyValue(const Ref<Object>& o);
};

// The key of `o` through `extractor`: its C++ IExtractor when it has one,
// otherwise its member "Key" called by name with `o` as the argument.
KVL_EXPORT std::string ExtractKey(Object& extractor, const Ref<Object>& o);

}  // namespace kvl

#endif  // KVL_COLLECTIONS_SORTED_EXTRACTOR_H_

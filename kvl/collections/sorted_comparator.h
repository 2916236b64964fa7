// IComparator and DefaultComparator: the order of a SortedCollection.
//
// IComparator is the interface a client implements to order two elements:
// in C++ by deriving from it (next to kvl::Object) and listing
// `.Implements(&IComparator::StaticClass)`, or late-bound by giving its
// object a member "compare" taking (extractor, o1, o2). The collection
// passes its own extractor so that a comparator may order by key text; a
// comparator may ignore it. DefaultComparator, the comparator of a new
// SortedCollection, orders by the extractor's keys ignoring ASCII letter
// case.
//
// Comparators are called synchronously from inside the collection's
// members and must not change the collection. DefaultComparator holds no
// state. Like every object they are used on the thread that made them.
//
//   class ByDue : public Object, public IComparator {
//     KVL_DECLARE_CLASS(ByDue)
//    public:
//     int16_t compare(const Ref<Object>&, const Ref<Object>& a,
//                     const Ref<Object>& b) override {
//       int64_t d = static_cast<Job&>(*a).Due() - static_cast<Job&>(*b).Due();
//       return d < 0 ? -1 : d > 0 ? 1 : 0;
//     }
//   };
//   collection->SetComparatorRef(MakeRef<ByDue>());
#ifndef KVL_COLLECTIONS_SORTED_COMPARATOR_H_
#define KVL_COLLECTIONS_SORTED_COMPARATOR_H_

#include <cstdint>
#include <string_view>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

// Public interface, not creatable.
class KVL_EXPORT IComparator {
 public:
  static const ClassInfo& StaticClass();

  // Negative when `o1` sorts before `o2`, 0 when they are equal, positive
  // when `o1` sorts after `o2`. `e` is the calling collection's extractor
  // (any object implementing IExtractor, typed or by name; see ExtractKey).
  // The order must be consistent for the collection's searches to work.
  virtual int16_t compare(const Ref<Object>& e, const Ref<Object>& o1,
                          const Ref<Object>& o2) = 0;

 protected:
  ~IComparator() = default;
};

// Public, not creatable: the comparator a SortedCollection starts with.
class KVL_EXPORT DefaultComparator final : public Object, public IComparator {
  KVL_DECLARE_CLASS(DefaultComparator)
 public:
  // CompareKeys of e.Key(o1) and e.Key(o2): -1, 0 or 1. Raises what the
  // extractor raises, 91 when `e` is Nothing.
  int16_t compare(const Ref<Object>& e, const Ref<Object>& o1,
                  const Ref<Object>& o2) override;

  // The default order of two key texts: ASCII letters compared without
  // case, other bytes by value; -1, 0 or 1.
  static int16_t CompareKeys(std::string_view k1, std::string_view k2) {
    int c = CompareTextNoCase(k1, k2);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
  }
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_SORTED_COMPARATOR_H_

// SortedCollection: object references kept in the order of a pluggable
// comparator, found by binary search and handed out by 0-based position.
//
// Order. Elements stand in ascending order of the comparator (IComparator,
// initially a DefaultComparator); elements that compare equal stand in the
// order they were inserted. The extractor (IExtractor, initially a
// DefaultExtractor, which reads each element's member "Key") turns an
// element into its key text: the comparator may use it, and searches by key
// text use it alone. Replacing the comparator or extractor does not re-sort
// the elements already stored. Setting either to Nothing restores the
// default one.
//
// Finding. IndexOf, Find, Item and Remove take a variant: text is searched
// as a key, an object is searched with the comparator, and (for Item and
// Remove) a number, or text that reads as one, is a position. Searches
// return the last of a run of equal elements.
//
// Ownership. The collection holds a counted reference on each element until
// it is removed, the collection is cleared or destroyed, and on its
// comparator and extractor. Nothing is never stored.
//
// Size. Up to 32680 elements: the storage starts with room for 20, doubles
// below 1000 and then grows by 100; growing past 32767 raises 6 and leaves
// the collection unchanged. It never shrinks.
//
// Threading and re-entry: used on the thread that made it. The comparator
// and extractor are called synchronously from Insert, IndexOf, Find, Item
// and Remove; while they run, the collection may be read but not changed
// (a change raises 5).
//
//   auto timers = MakeRef<SortedCollection>();
//   timers->SetComparatorRef(MakeRef<ByDue>());
//   int16_t pos = timers->Insert(job);     // its 0-based position
//   Ref<Object> first = timers->at(0);
//   int16_t p = timers->IndexOf("alpha");  // by key text, -1 when absent
#ifndef KVL_COLLECTIONS_SORTED_COLLECTION_H_
#define KVL_COLLECTIONS_SORTED_COLLECTION_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/collections/array_iterator.h"
#include "kvl/collections/sorted_callers.h"
#include "kvl/collections/sorted_slots.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Creatable class (kind 2).
class KVL_EXPORT SortedCollection : public Object {
  KVL_DECLARE_CLASS(SortedCollection)
 public:
  SortedCollection();
  ~SortedCollection() override;

  // The element at position `n`, or Nothing when `n` is negative or not
  // below Count().
  Ref<Object> at(int16_t n) const {
    return n >= 0 && n < count_ ? slots_[static_cast<size_t>(n)] : nullptr;
  }
  // Removes every element, releasing each (position 0 first).
  void Clear();
  // Property Set: the comparator (any object implementing IComparator, in
  // C++ or by name); Nothing restores a DefaultComparator.
  void SetComparatorRef(Ref<Object> comparator);
  // Property Get: the number of elements.
  int16_t Count() const { return count_; }
  // Property Get: a new iterator over the elements stored now; Nothing when
  // it cannot be made.
  Ref<ArrayIterator> Elements() const;
  // Property Set: the extractor (any object implementing IExtractor, in C++
  // or by name); Nothing restores a DefaultExtractor.
  void SetExtractorRef(Ref<Object> extractor);
  // at(IndexOf(x)).
  Ref<Object> Find(const Variant& x);
  // Text: the position of the last element whose key equals `x` ignoring
  // case. Object: the position of the last element the comparator finds
  // equal to `x` (compare(e, x, element) is 0). -1 when there is none, for
  // any other kind of value, and when the comparator or extractor fails.
  // The comparator (or, for text, the extractor) is asked once per step of
  // the binary search and of the step over equal elements, nothing more.
  int16_t IndexOf(const Variant& x);
  // Inserts `o` after every element it does not sort before and returns its
  // position. Raises 91 for Nothing, 6 when the collection is full, and
  // whatever the comparator or extractor raises (the collection is then
  // unchanged).
  int16_t Insert(Ref<Object> o);
  // The default member. A number, or text that reads as one: at(x) (Nothing
  // when out of range). Other text: Find(x). An object: the last element
  // equal to it, or Nothing; a failing comparator or extractor raises.
  // Anything else: Nothing.
  Ref<Object> Item(const Variant& x);
  // Removes one element and returns the position it had, or -1 and changes
  // nothing. A number, or text that reads as one, is a position; other text
  // and objects are found with IndexOf.
  int16_t Remove(const Variant& x);

  // C++ spellings of at and Insert.
  Ref<Object> At(int16_t n) const { return at(n); }
  int16_t Add(Ref<Object> o) { return Insert(std::move(o)); }
  // Number of elements the storage holds before it grows next (not a
  // published member).
  int16_t Capacity() const { return capacity_; }

 private:
  // Where a binary search ended: the last position of an equal run when
  // one was found, else the position of the last element that sorts
  // before (-1 for none); `equal` when the comparison at that position
  // gave 0.
  struct Found {
    int16_t position;
    bool equal;
  };
  // Binary search by `cmp(i)`, the sign of comparing the sought value with
  // element i.
  template <class Cmp>
  Found Search(const Cmp& cmp) const;
  int16_t SearchObject(const Ref<Object>& x) const;
  // Search with the comparator.
  Found SearchObjectFound(const Ref<Object>& x) const;
  Found SearchKey(std::string_view key) const;
  // DefaultComparator::CompareKeys(key, key of element `i`), with the key
  // kept for the element when the extractor's keys are kept, else read now.
  int CompareWithElement(std::string_view key, size_t i) const;
  // The position of the last element whose key equals `key`, or -1.
  int16_t LocateKey(std::string_view key) const;
  // IndexOf without catching failures of the comparator or extractor.
  int16_t Locate(const Variant& x) const;
  std::string KeyOf(const Ref<Object>& o) const;
  void RemoveAt(int16_t p);
  void Grow();
  // Raises 5 while a comparator or extractor call is in progress.
  void CheckNotCalling() const;

  int16_t capacity_ = 20;
  int16_t count_ = 0;
  // count_ elements; room for capacity_ of them.
  internal::SortedSlots slots_;
  // Declared in this order so that the comparator is released before the
  // extractor.
  internal::ExtractorHandle extractor_;
  internal::ComparatorHandle comparator_;
  mutable int calling_ = 0;
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_SORTED_COLLECTION_H_

// ArrayIterator: a one-pass walk over a snapshot of a SortedCollection's
// elements, as handed out by SortedCollection::Elements.
//
// The iterator holds its own counted references to the elements that were
// stored when it was made, so later changes to the collection do not affect
// it and the elements live at least as long as the iterator. A directly
// created iterator ("KVLCommon.ArrayIterator") has nothing to walk.
//
// Threading: used on the thread that made it.
//
//   Ref<ArrayIterator> it = collection->Elements();
//   while (it->HasMoreElements()) Use(it->NextElement());
#ifndef KVL_COLLECTIONS_ARRAY_ITERATOR_H_
#define KVL_COLLECTIONS_ARRAY_ITERATOR_H_

#include <cstddef>
#include <utility>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// Creatable class (kind 2).
class KVL_EXPORT ArrayIterator : public Object {
  KVL_DECLARE_CLASS(ArrayIterator)
 public:
  ArrayIterator() = default;
  // Walks `elements` in order; the walk ends before the first null entry.
  explicit ArrayIterator(std::vector<Ref<Object>> elements)
      : elements_(std::move(elements)) {}

  // Property Get: true while the current position holds an element.
  bool HasMoreElements() const {
    return position_ < elements_.size() && elements_[position_];
  }
  // Property Get: the element at the current position, then moves on by
  // one. Past the end it returns Nothing and stays at the end.
  Ref<Object> NextElement();

 private:
  std::vector<Ref<Object>> elements_;
  size_t position_ = 0;
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_ARRAY_ITERATOR_H_

// ITreeIterator: the two-member walking interface of everything that has
// children (parameter strings and items, configuration readers and sections,
// the XML views, tree nodes).
//
// The cursor lives in the parent: FirstItem moves the object's own child
// cursor to its first child and returns it, NextItem advances the cursor and
// returns the next child; both return null when there is no (further)
// child, and NextItem keeps returning null until FirstItem starts a new
// walk. One walk at a time per object. The returned child implements
// ITreeIterator itself, so a walker recurses with child->As<ITreeIterator>().
//
//   void Walk(ITreeIterator& node) {
//     for (Ref<Object> c = node.FirstItem(); c; c = node.NextItem())
//       if (auto* sub = c->As<ITreeIterator>()) Walk(*sub);
//   }
#ifndef KVL_COLLECTIONS_TREE_ITERATOR_H_
#define KVL_COLLECTIONS_TREE_ITERATOR_H_

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

class KVL_EXPORT ITreeIterator {
 public:
  static const ClassInfo& StaticClass();
  // Property Get: the first child, or null.
  virtual Ref<Object> FirstItem() = 0;
  // Property Get: the next child, or null after the last one.
  virtual Ref<Object> NextItem() = 0;

 protected:
  ~ITreeIterator() = default;
};

}  // namespace kvl

#endif  // KVL_COLLECTIONS_TREE_ITERATOR_H_

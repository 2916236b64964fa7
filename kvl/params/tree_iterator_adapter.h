// TreeIteratorAdapter: implements ITreeIterator for a class whose own
// FirstItem/NextItem return a typed child (Ref<ParamItem>), which C++ would
// not accept as overrides of the interface's Ref<Object> members. The class
// overrides TreeFirstItem/TreeNextItem instead.
#ifndef KVL_PARAMS_TREE_ITERATOR_ADAPTER_H_
#define KVL_PARAMS_TREE_ITERATOR_ADAPTER_H_

#include "kvl/collections/tree_iterator.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl::internal {

class KVL_EXPORT TreeIteratorAdapter : public ITreeIterator {
 public:
  Ref<Object> FirstItem() final { return TreeFirstItem(); }
  Ref<Object> NextItem() final { return TreeNextItem(); }

 protected:
  ~TreeIteratorAdapter() = default;
  virtual Ref<Object> TreeFirstItem() = 0;
  virtual Ref<Object> TreeNextItem() = 0;
};

}  // namespace kvl::internal

#endif  // KVL_PARAMS_TREE_ITERATOR_ADAPTER_H_

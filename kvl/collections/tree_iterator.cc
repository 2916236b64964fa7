#include "kvl/collections/tree_iterator.h"

#include "kvl/frame/catalogue.h"

namespace kvl {

const ClassInfo& ITreeIterator::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ITreeIterator>("ITreeIterator", ClassKind::kPublic)
          .Get<&ITreeIterator::FirstItem>("FirstItem")
          .Returns(&ITreeIterator::StaticClass)
          .Get<&ITreeIterator::NextItem>("NextItem")
          .Returns(&ITreeIterator::StaticClass)
          .Build();
  return info;
}

KVL_REGISTER_CLASS(ITreeIterator)

}  // namespace kvl

#include "kvl/collections/array_iterator.h"

#include "kvl/frame/catalogue.h"

namespace kvl {

const ClassInfo& ArrayIterator::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ArrayIterator>("ArrayIterator", ClassKind::kCreatable)
          .Get<&ArrayIterator::HasMoreElements>("HasMoreElements")
          .Get<&ArrayIterator::NextElement>("NextElement")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ArrayIterator)

Ref<Object> ArrayIterator::NextElement() {
  if (position_ >= elements_.size()) return nullptr;
  return elements_[position_++];
}

}  // namespace kvl

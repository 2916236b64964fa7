#include "kvl/runtime/enum_variant.h"

#include "kvl/runtime/error.h"

namespace kvl {

const ClassInfo& VectorEnumerator::StaticClass() {
  static const ClassInfo info("IEnumVARIANT", ClassKind::kPrivate, {});
  return info;
}

int32_t VectorEnumerator::Next(uint32_t count, Variant* out,
                               uint32_t* fetched) {
  uint32_t n = 0;
  while (n < count && position_ < items_.size()) out[n++] = items_[position_++];
  if (fetched) *fetched = n;
  return n == count ? kS_OK : kS_FALSE;
}

int32_t VectorEnumerator::Skip(uint32_t count) {
  size_t left = items_.size() - position_;
  if (count > left) {
    position_ = items_.size();
    return kS_FALSE;
  }
  position_ += count;
  return kS_OK;
}

int32_t VectorEnumerator::Reset() {
  position_ = 0;
  return kS_OK;
}

int32_t VectorEnumerator::Clone(Ref<Object>* out) {
  *out = MakeRef<VectorEnumerator>(items_, position_);
  return kS_OK;
}

Ref<Object> GetEnumerator(const Variant& collection) {
  if (!collection.is_object() || collection.is_nothing())
    Raise(kErrObjectNotSet);
  Variant e = collection.AsObject()->Invoke("NewEnum", CallKind::kMethod, {});
  if (!e.is_object() || e.is_nothing() || !e.AsObject()->As<IEnumVariant>())
    Raise(kErrTypeMismatch);
  return e.ObjectRef();
}

void ForEach(const Variant& collection,
             const std::function<bool(const Variant&)>& visit) {
  Ref<Object> holder = GetEnumerator(collection);
  IEnumVariant* e = holder->As<IEnumVariant>();
  Variant item;
  uint32_t fetched = 0;
  while (e->Next(1, &item, &fetched) == kS_OK && fetched == 1) {
    if (!visit(item)) break;
  }
}

}  // namespace kvl

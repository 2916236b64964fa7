#include "kvl/tables/accessor_link.h"

#include <utility>

#include "kvl/collections/object_keys.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl::tables_internal {

TableAccessor::TableAccessor(Ref<Object> object)
    : object_(std::move(object)), typed_(object_->As<ITableAccessor>()) {}

int32_t TableAccessor::DoubleThreshold() {
  if (typed_) return typed_->DoubleThreshold();
  return ToI4(CallByName(*object_, "DoubleThreshold", CallKind::kGet));
}

int32_t TableAccessor::IncrSize() {
  if (typed_) return typed_->IncrSize();
  return ToI4(CallByName(*object_, "IncrSize", CallKind::kGet));
}

int32_t TableAccessor::Count() {
  if (typed_) return typed_->Count();
  return ToI4(CallByName(*object_, "Count", CallKind::kGet));
}

std::string TableAccessor::Key(int which, int32_t row) {
  if (typed_) return which == 0 ? typed_->Key1(row) : typed_->Key2(row);
  return ToText(
      CallByName(*object_, which == 0 ? "Key1" : "Key2", CallKind::kGet, row));
}

Variant TableAccessor::Item(int32_t row) {
  if (typed_) return typed_->Item(row);
  return CallByName(*object_, "Item", CallKind::kGet, row);
}

bool TableAccessor::Deleted(int32_t row) {
  if (typed_) return typed_->Deleted(row);
  return ToBool(CallByName(*object_, "Deleted", CallKind::kGet, row));
}

void AccessorLink::Reset(const Ref<Object>& accessor) {
  key_ = accessor ? ObjectKey(accessor.get()) : std::string();
}

Ref<Object> AccessorLink::Get() const {
  return key_.empty() ? nullptr : ObjectFromKey(key_);
}

TableAccessor AccessorLink::Lock() const {
  Ref<Object> accessor = Get();
  if (!accessor) Raise(kErrObjectNotSet);
  return TableAccessor(std::move(accessor));
}

}  // namespace kvl::tables_internal

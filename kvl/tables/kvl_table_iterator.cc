#include "kvl/tables/kvl_table_iterator.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/error.h"

namespace kvl {

const ClassInfo& KVLTableIterator::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLTableIterator>("KVLTableIterator", ClassKind::kCreatable)
          .Set<&KVLTableIterator::SetTableAccessorRef>(
              "TableAccessor",
              {Arg("TableAccessor").As(&ITableAccessor::StaticClass)})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(KVLTableIterator)

void KVLTableIterator::SetTableAccessorRef(Ref<Object> accessor) {
  accessor_.Reset(accessor);
}

int32_t KVLTableIterator::Next(uint32_t count, Variant* out,
                               uint32_t* fetched) {
  uint32_t n = 0;
  if (Ref<Object> object = accessor_.Get()) {
    tables_internal::TableAccessor accessor(std::move(object));
    // Deleted rows are passed over without counting against `count`.
    while (n < count && position_ < std::numeric_limits<int32_t>::max()) {
      ++position_;
      if (position_ > accessor.Count()) break;
      if (accessor.Deleted(position_)) continue;
      Variant item = accessor.Item(position_);
      if (item.is_nothing()) break;
      out[n++] = std::move(item);
    }
  }
  if (fetched) *fetched = n;
  return n == 0 ? kS_FALSE : kS_OK;
}

int32_t KVLTableIterator::Skip(uint32_t count) {
  position_ = static_cast<int32_t>(std::min<int64_t>(
      int64_t{position_} + count, std::numeric_limits<int32_t>::max()));
  return kS_OK;
}

int32_t KVLTableIterator::Reset() {
  position_ = 0;
  return kS_OK;
}

int32_t KVLTableIterator::Clone(Ref<Object>*) {
  return kE_NOTIMPL;
}

}  // namespace kvl

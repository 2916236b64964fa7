// KVLTableIterator: the enumerator over a client's table that skips deleted
// rows, so that a table can hand it out from its NewEnum and clients can
// walk it with for-each.
//
// It holds the table's ITableAccessor without keeping it alive (see
// KVLTableUtils) and a position, the 1-based row last returned (0 before
// the first). Next walks rows from the position on, as the accessor's
// Count, Deleted and Item say at that moment; it stops at the end of the
// table or at a row whose Item is Nothing. Without an accessor, or once
// the accessor has ended, it yields no rows. Failures raised by the
// accessor pass through Next to the caller.
//
// Statuses: Next gives kS_OK when it fetched at least one row (also fewer
// than asked for) and kS_FALSE when it fetched none; Skip moves the position
// without looking at the rows; Clone is not supported (kE_NOTIMPL).
//
// Threading: used on the thread that created it; one pass, or Reset.
//
//   Ref<Object> NewEnum() {                     // in the client's table
//     auto it = MakeRef<KVLTableIterator>();
//     it->SetTableAccessorRef(Ref<Object>(this));
//     return it;
//   }
#ifndef KVL_TABLES_KVL_TABLE_ITERATOR_H_
#define KVL_TABLES_KVL_TABLE_ITERATOR_H_

#include <cstdint>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/tables/accessor_link.h"

namespace kvl {

// Creatable (kind 2).
class KVL_EXPORT KVLTableIterator : public Object, public IEnumVariant {
  KVL_DECLARE_CLASS(KVLTableIterator)
 public:
  // Property Set TableAccessor; null unlinks. The position is kept.
  void SetTableAccessorRef(Ref<Object> accessor);

  int32_t Next(uint32_t count, Variant* out, uint32_t* fetched) override;
  int32_t Skip(uint32_t count) override;
  int32_t Reset() override;
  int32_t Clone(Ref<Object>* out) override;

 private:
  tables_internal::AccessorLink accessor_;
  int32_t position_ = 0;
};

}  // namespace kvl

#endif  // KVL_TABLES_KVL_TABLE_ITERATOR_H_

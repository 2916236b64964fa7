// How KVLTableUtils and KVLTableIterator reach the client's table.
//
// AccessorLink is the non-owning reference: the client's table usually owns
// its utilities object, so a counted reference back would keep both alive
// for ever. The link turns back into a counted reference (Lock) for the
// span of one operation only; once the accessor has ended, Lock gives null
// and nothing is ever called through a dangling address.
//
// TableAccessor is that counted reference plus the calls: through the C++
// ITableAccessor interface when the object implements it, otherwise by
// member name, converting the results (a failed conversion raises 13 or 6).
// Failures raised by the client's members pass through to the caller.
//
// Threading: the caller's thread, like the objects that hold them.
#ifndef KVL_TABLES_ACCESSOR_LINK_H_
#define KVL_TABLES_ACCESSOR_LINK_H_

#include <cstdint>
#include <string>

#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/tables/table_interfaces.h"

namespace kvl::tables_internal {

class KVL_EXPORT TableAccessor {
 public:
  // `object` must not be null.
  explicit TableAccessor(Ref<Object> object);

  int32_t DoubleThreshold();
  int32_t IncrSize();
  int32_t Count();
  // Key1(row) for index 0, Key2(row) for index 1.
  std::string Key(int which, int32_t row);
  Variant Item(int32_t row);
  bool Deleted(int32_t row);

  const Ref<Object>& object() const { return object_; }

 private:
  Ref<Object> object_;
  ITableAccessor* typed_;
};

class KVL_EXPORT AccessorLink {
 public:
  // Links `accessor`; null unlinks.
  void Reset(const Ref<Object>& accessor);
  // The accessor while it lives; null when unlinked or ended.
  Ref<Object> Get() const;
  // The accessor for one operation; raises 91 when there is none.
  TableAccessor Lock() const;

 private:
  std::string key_;  // the accessor's object key; empty when unlinked
};

}  // namespace kvl::tables_internal

#endif  // KVL_TABLES_ACCESSOR_LINK_H_

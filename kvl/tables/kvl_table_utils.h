// KVLTableUtils: up to two sorted key indexes over a client's table (index 0
// on Key1, index 1 on Key2), lookups by key, insertion in key order, and a
// binary save and load of both indexes (IFastLoader).
//
// The table is reached through its ITableAccessor (table_interfaces.h),
// given with SetTableAccessorRef. The utilities do not keep the accessor
// alive: the client's table usually owns them, and a reference back would
// keep both for ever. Every member except TableAccessor needs the accessor
// and raises 91 when none is set or it has ended.
//
// Index entries are (key, row) in ascending key order, keys compared without
// ASCII letter case. BuildIndex puts rows with equal keys in row order;
// InsertKey puts a key after the keys equal to it. The utilities do not
// watch the table: call InsertKey before the table counts a new row (so that
// the accessor's Count equals the entries already indexed), and BuildIndex
// again after keys change. Deleted rows stay indexed; ItemIndex gives -1 for
// them. Lookups search the first Count entries, Count as the accessor says
// now.
//
// Capacity is the number of entries the arrays were last grown for: a
// build sets it to the row count; InsertKey grows it by the accessor's
// policy (doubling below DoubleThreshold, IncrSize steps from there) when
// index 0 is one short of it, always to more than the entries held.
// Loading leaves it as it is. It is the published count only: the
// indexes' memory grows in chunks as entries arrive, so an insertion costs
// the same at any size.
//
// The index file: see internal/index_file.h. SaveToFile writes a new file
// beside the old one and renames it over it, so a failed save leaves the
// old file whole; LoadFromFile changes nothing unless both blocks read
// whole.
//
// Threading: used on the thread that created it. The table must not change
// while a member runs.
//
//   auto index = MakeRef<KVLTableUtils>();
//   index->SetTableAccessorRef(table);     // table implements ITableAccessor
//   index->BuildIndex(0);
//   int32_t row = index->ItemIndex("P-1002");          // 0-based, or -1
//   index->InsertKey("P-0999", table->Count());   // before counting the row
#ifndef KVL_TABLES_KVL_TABLE_UTILS_H_
#define KVL_TABLES_KVL_TABLE_UTILS_H_

#include <cstdint>
#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/tables/accessor_link.h"
#include "kvl/tables/key_index.h"
#include "kvl/tables/table_interfaces.h"

namespace kvl {

// Creatable (kind 2); also answers for IFastLoader.
class KVL_EXPORT KVLTableUtils : public Object, public IFastLoader {
  KVL_DECLARE_CLASS(KVLTableUtils)
 public:
  // The row stored at 0-based `position` of the index (0 for `which_table`
  // 0, index 1 otherwise), or -1 outside 0 .. entries - 1. Walking the
  // positions walks the table in key order.
  int32_t DataIndexOfKeyIndex(int32_t position, int16_t which_table = 0) const;
  // Property Set TableAccessor; null unlinks.
  void SetTableAccessorRef(Ref<Object> accessor);
  // The accessor, or null when none is set or it has ended.
  Ref<Object> TableAccessor() const;
  // The growth policy applied to the accessor's Count. Raises 6 beyond
  // 32 bits.
  int32_t GrowAmount() const;
  // count >= max - 1.
  bool NeedsToGrow(int32_t count, int32_t max) const;
  // Rebuilds the index from the table's keys. The result is always false.
  // When the accessor fails the index stays as it was; a negative Count
  // raises 5.
  bool BuildIndex(int16_t which_table = 0);
  // The row whose key equals `key` (the first found by a binary search), or
  // -1 when there is none or that row is deleted.
  int32_t ItemIndex(const std::string& key, int16_t which_table = 0) const;
  // Inserts (key, row) after the entries whose keys are less than or equal
  // to `key`. Always true.
  bool InsertKey(const std::string& key, int32_t row, int16_t which_table = 0);

  // IFastLoader.
  bool SaveToFile(const std::string& file_name) override;
  bool LoadFromFile(const std::string& file_name) override;

  // Typed extras, not published: the capacity and an index's entry count.
  int32_t Capacity() const { return capacity_; }
  int32_t EntryCount(int16_t which_table) const {
    return Index(which_table).size();
  }

 private:
  // The accessor for one operation; raises 91 when there is none.
  tables_internal::TableAccessor Accessor() const;
  const tables_internal::KeyIndex& Index(int16_t which_table) const {
    return indexes_[which_table == 0 ? 0 : 1];
  }
  tables_internal::KeyIndex& Index(int16_t which_table) {
    return indexes_[which_table == 0 ? 0 : 1];
  }
  // Grows the capacity when index 0 is one entry short of it.
  void GrowIfNeeded(tables_internal::TableAccessor& accessor);

  tables_internal::AccessorLink accessor_;
  int32_t capacity_ = 0;
  tables_internal::KeyIndex indexes_[2];
};

}  // namespace kvl

#endif  // KVL_TABLES_KVL_TABLE_UTILS_H_

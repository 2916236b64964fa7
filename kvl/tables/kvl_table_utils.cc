#include "kvl/tables/kvl_table_utils.h"

#include <algorithm>
#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/replace_file.h"
#include "kvl/tables/internal/index_file.h"

namespace kvl {

using tables_internal::KeyIndex;
using tables_internal::TableAccessor;

namespace {

// The size after growing from `n`: n + IncrSize at and above
// DoubleThreshold, n * 2 below it.
int32_t GrownSize(TableAccessor& accessor, int32_t n) {
  if (n >= accessor.DoubleThreshold())
    return CheckedAdd(n, accessor.IncrSize());
  return CheckedAdd(n, n);
}

// The accessor's Count as a number of entries of `index` to search.
int32_t SearchLimit(TableAccessor& accessor, const KeyIndex& index) {
  return std::clamp(accessor.Count(), 0, index.size());
}

}  // namespace

const ClassInfo& KVLTableUtils::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLTableUtils>("KVLTableUtils", ClassKind::kCreatable)
          .Get<&KVLTableUtils::DataIndexOfKeyIndex>(
              "DataIndexOfKeyIndex",
              {Arg("KeyIndexBase0"), OptArg("WhichTable", int16_t{0})})
          .Set<&KVLTableUtils::SetTableAccessorRef>(
              "TableAccessor",
              {Arg("TableAccessor").As(&ITableAccessor::StaticClass)})
          .Get<&KVLTableUtils::TableAccessor>("TableAccessor")
          .Returns(&ITableAccessor::StaticClass)
          .Get<&KVLTableUtils::GrowAmount>("GrowAmount")
          .Get<&KVLTableUtils::NeedsToGrow>("NeedsToGrow",
                                            {Arg("aCount"), Arg("aMax")})
          .Method<&KVLTableUtils::BuildIndex>(
              "BuildIndex", {OptArg("WhichTable", int16_t{0})})
          .Method<&KVLTableUtils::ItemIndex>(
              "ItemIndex", {Arg("TheKey"), OptArg("WhichTable", int16_t{0})})
          .Method<&KVLTableUtils::InsertKey>(
              "InsertKey", {Arg("TheKey"), Arg("TheItemIndex"),
                            OptArg("WhichTable", int16_t{0})})
          .Implements(&IFastLoader::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(KVLTableUtils)

TableAccessor KVLTableUtils::Accessor() const {
  return accessor_.Lock();
}

int32_t KVLTableUtils::DataIndexOfKeyIndex(int32_t position,
                                           int16_t which_table) const {
  Accessor();
  const KeyIndex& index = Index(which_table);
  if (position < 0 || position >= index.size()) return -1;
  return index.RowAt(position);
}

void KVLTableUtils::SetTableAccessorRef(Ref<Object> accessor) {
  accessor_.Reset(accessor);
}

Ref<Object> KVLTableUtils::TableAccessor() const {
  return accessor_.Get();
}

int32_t KVLTableUtils::GrowAmount() const {
  tables_internal::TableAccessor accessor = Accessor();
  return GrownSize(accessor, accessor.Count());
}

bool KVLTableUtils::NeedsToGrow(int32_t count, int32_t max) const {
  Accessor();
  return int64_t{count} >= int64_t{max} - 1;
}

bool KVLTableUtils::BuildIndex(int16_t which_table) {
  tables_internal::TableAccessor accessor = Accessor();
  const int32_t n = accessor.Count();
  if (n < 0) Raise(kErrInvalidArgument);
  const int which = which_table == 0 ? 0 : 1;
  Index(which_table) =
      KeyIndex::Build(n, [&](int32_t row) { return accessor.Key(which, row); });
  capacity_ = n;
  return false;
}

int32_t KVLTableUtils::ItemIndex(const std::string& key,
                                 int16_t which_table) const {
  tables_internal::TableAccessor accessor = Accessor();
  const KeyIndex& index = Index(which_table);
  const int32_t row = index.Find(key, SearchLimit(accessor, index));
  if (row >= 0 && accessor.Deleted(CheckedAdd(row, 1))) return -1;
  return row;
}

void KVLTableUtils::GrowIfNeeded(tables_internal::TableAccessor& accessor) {
  if (int64_t{indexes_[0].size()} < int64_t{capacity_} - 1) return;
  // A new object, or one that was loaded, has capacity 0, which the policy
  // would keep at 0: grow from what is held instead, and always to more.
  const int32_t held = std::max(indexes_[0].size(), indexes_[1].size());
  const int32_t from = std::max({capacity_, held, int32_t{1}});
  capacity_ = std::max(GrownSize(accessor, from), CheckedAdd(held, 1));
}

bool KVLTableUtils::InsertKey(const std::string& key, int32_t row,
                              int16_t which_table) {
  tables_internal::TableAccessor accessor = Accessor();
  GrowIfNeeded(accessor);
  KeyIndex& index = Index(which_table);
  const int32_t position =
      index.InsertionPoint(key, SearchLimit(accessor, index));
  index.Insert(position, key, row);
  return true;
}

bool KVLTableUtils::SaveToFile(const std::string& file_name) {
  Accessor();
  return ReplaceFile(
             file_name,
             [this](int fd) {
               return tables_internal::WriteIndexFile(fd, indexes_[0],
                                                      indexes_[1]);
             },
             0666) == 0;
}

bool KVLTableUtils::LoadFromFile(const std::string& file_name) {
  Accessor();
  return tables_internal::ReadIndexFile(file_name, &indexes_[0], &indexes_[1]);
}

}  // namespace kvl

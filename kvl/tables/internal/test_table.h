// Test helper: a client table of rows (two keys, a deleted flag, an item),
// reachable typed (TestTable implements ITableAccessor) or late-bound
// (LateBoundView answers the same members by name and forwards them).
// Header-only, for *_test.cc files and the fuzz target.
//
//   auto table = MakeRef<TestTable>();
//   table->Add("b").Add("a", "x").Delete(1);
//   index->SetTableAccessorRef(table);            // or LateBoundView(table)
#ifndef KVL_TABLES_INTERNAL_TEST_TABLE_H_
#define KVL_TABLES_INTERNAL_TEST_TABLE_H_

#include <cstdint>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/tables/table_interfaces.h"

namespace kvl::tables_internal {

class TestTable : public Object, public ITableAccessor {
 public:
  static const ClassInfo& StaticClass() {
    static const ClassInfo info =
        ClassBuilder<TestTable>("TestTable", ClassKind::kPrivate)
            .Implements(&ITableAccessor::StaticClass)
            .Build();
    return info;
  }
  const ClassInfo& Class() const override { return StaticClass(); }

  struct Row {
    std::string key1, key2;
    bool deleted = false;
    Variant item;
  };

  // Appends a row whose item is the text "row <n>" (n 1-based).
  TestTable& Add(std::string key1, std::string key2 = {}) {
    rows_.push_back(Row{std::move(key1), std::move(key2), false,
                        Variant("row " + std::to_string(rows_.size() + 1))});
    return *this;
  }
  // Marks 1-based `row` deleted.
  TestTable& Delete(int32_t row) {
    rows_.at(static_cast<size_t>(row - 1)).deleted = true;
    return *this;
  }
  std::vector<Row>& rows() { return rows_; }

  // Count as the table reports it; rows().size() unless set.
  int32_t count_override = -1;
  int32_t double_threshold = 1000;
  int32_t incr_size = 100;
  // Key1 raises 5 for this row (a client failure).
  int32_t failing_row = -1;

  int32_t InitialSize() override { return 10; }
  int32_t DoubleThreshold() override { return double_threshold; }
  int32_t IncrSize() override { return incr_size; }
  bool Has2ndIndex() override { return true; }
  std::string Key1(int32_t row) override {
    if (row == failing_row) Raise(kErrInvalidArgument);
    return rows_.at(static_cast<size_t>(row)).key1;
  }
  std::string Key2(int32_t row) override {
    return rows_.at(static_cast<size_t>(row)).key2;
  }
  int32_t Count() override {
    return count_override >= 0 ? count_override
                               : static_cast<int32_t>(rows_.size());
  }
  Variant Item(int32_t row) override {
    return rows_.at(static_cast<size_t>(row - 1)).item;
  }
  bool Deleted(int32_t row) override {
    return rows_.at(static_cast<size_t>(row - 1)).deleted;
  }

 private:
  std::vector<Row> rows_;
};

// A late-bound object answering the accessor's members by name from
// `table` (which it keeps alive).
inline Ref<DynamicObject> LateBoundView(Ref<TestTable> t) {
  auto view = MakeRef<DynamicObject>("LateBoundTable");
  auto get = [&view](const char* name, DynamicObject::Handler body) {
    view->On(name, CallKind::kGet, std::move(body));
  };
  get("DoubleThreshold", [t](auto) { return Variant(t->DoubleThreshold()); });
  get("IncrSize", [t](auto) { return Variant(t->IncrSize()); });
  get("Count", [t](auto) { return Variant(t->Count()); });
  get("Key1", [t](auto a) { return Variant(t->Key1(ToI4(a[0]))); });
  get("Key2", [t](auto a) { return Variant(t->Key2(ToI4(a[0]))); });
  get("Item", [t](auto a) { return t->Item(ToI4(a[0])); });
  // An Integer -1 or 0, to show that results are converted.
  get("Deleted", [t](auto a) {
    return Variant(static_cast<int16_t>(t->Deleted(ToI4(a[0])) ? -1 : 0));
  });
  return view;
}

}  // namespace kvl::tables_internal

#endif  // KVL_TABLES_INTERNAL_TEST_TABLE_H_

// Keyed tables: a client's own table of parts gets a sorted index on the
// part number and one on the name, finds rows by key without letter case,
// takes new rows in key order, hands out an enumerator that skips deleted
// rows, and saves its indexes to a file that a second index object loads.
//
// Run it and compare with the output at the bottom of this file.
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/tables/kvl_table_iterator.h"
#include "kvl/tables/kvl_table_utils.h"
#include "kvl/tables/table_interfaces.h"

using kvl::ClassBuilder;
using kvl::ClassInfo;
using kvl::ClassKind;
using kvl::ITableAccessor;
using kvl::KVLTableIterator;
using kvl::KVLTableUtils;
using kvl::MakeRef;
using kvl::Ref;
using kvl::Variant;

// The client's table: rows of (number, name), some deleted. It owns its
// index object; the index refers back to it without keeping it alive.
class Parts : public kvl::Object, public ITableAccessor {
  KVL_DECLARE_CLASS(Parts)
 public:
  struct Part {
    std::string number, name;
    bool deleted = false;
  };

  void Open(std::vector<Part> parts) {
    parts_ = std::move(parts);
    index_->SetTableAccessorRef(Ref<Object>(this));
    index_->BuildIndex(0);
    index_->BuildIndex(1);
  }
  // Indexes the new row first, then counts it.
  void Add(Part part) {
    const auto row = static_cast<int32_t>(parts_.size());
    index_->InsertKey(part.number, row, 0);
    index_->InsertKey(part.name, row, 1);
    parts_.push_back(std::move(part));
  }
  void Remove(const std::string& number) {
    const int32_t row = index_->ItemIndex(number);
    if (row >= 0) parts_[row].deleted = true;
  }
  std::string NameOf(const std::string& number) {
    const int32_t row = index_->ItemIndex(number);
    return row < 0 ? "(none)" : parts_[row].name;
  }
  KVLTableUtils& index() { return *index_; }
  // The enumerator of the table, for its clients' for-each.
  Ref<Object> NewEnum() {
    auto it = MakeRef<KVLTableIterator>();
    it->SetTableAccessorRef(Ref<Object>(this));
    return it;
  }

  // ITableAccessor.
  int32_t InitialSize() override { return 16; }
  int32_t DoubleThreshold() override { return 1024; }
  int32_t IncrSize() override { return 256; }
  bool Has2ndIndex() override { return true; }
  std::string Key1(int32_t row) override { return parts_[row].number; }
  std::string Key2(int32_t row) override { return parts_[row].name; }
  int32_t Count() override { return static_cast<int32_t>(parts_.size()); }
  Variant Item(int32_t row) override {
    return Variant(parts_[row - 1].number + " " + parts_[row - 1].name);
  }
  bool Deleted(int32_t row) override { return parts_[row - 1].deleted; }

 private:
  std::vector<Part> parts_;
  Ref<KVLTableUtils> index_ = MakeRef<KVLTableUtils>();
};

const ClassInfo& Parts::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Parts>("Parts", ClassKind::kPrivate)
          .Implements(&ITableAccessor::StaticClass)
          .Build();
  return info;
}

// Prints the rows of index `which` in key order.
void PrintInOrder(const char* title, KVLTableUtils& index, Parts& parts,
                  int16_t which) {
  std::printf("%s:", title);
  for (int32_t i = 0; index.DataIndexOfKeyIndex(i, which) >= 0; ++i) {
    const int32_t row = index.DataIndexOfKeyIndex(i, which);
    std::printf(" %s", kvl::ToText(parts.Item(row + 1)).c_str());
    std::printf(i + 1 < index.EntryCount(which) ? "," : "\n");
  }
}

int main() {
  auto parts = MakeRef<Parts>();
  parts->Open({{"P-300", "anchor"}, {"P-100", "bolt"}, {"P-200", "nut"}});
  parts->Add({"P-150", "Clamp"});
  std::printf("p-150 is the %s\n", parts->NameOf("p-150").c_str());
  PrintInOrder("by number", parts->index(), *parts, 0);
  PrintInOrder("by name", parts->index(), *parts, 1);

  parts->Remove("P-200");
  std::printf("P-200 is %s\n", parts->NameOf("P-200").c_str());
  std::printf("for each:");
  Ref<kvl::Object> rows = parts->NewEnum();
  Variant row;
  while (rows->As<kvl::IEnumVariant>()->Next(1, &row, nullptr) == kvl::kS_OK)
    std::printf(" [%s]", kvl::ToText(row).c_str());
  std::printf("\n");

  char dir[] = "/tmp/table_example_XXXXXX";
  if (!mkdtemp(dir)) return 1;
  const std::string file = std::string(dir) + "/parts.idx";
  const bool saved = parts->index().SaveToFile(file);
  auto reloaded = MakeRef<KVLTableUtils>();
  reloaded->SetTableAccessorRef(parts);
  const bool loaded = reloaded->LoadFromFile(file);
  std::printf("saved %s, loaded %s\n", saved ? "yes" : "no",
              loaded ? "yes" : "no");
  PrintInOrder("loaded by name", *reloaded, *parts, 1);
  unlink(file.c_str());
  rmdir(dir);
  return 0;
}

// Output:
//   p-150 is the Clamp
//   by number: P-100 bolt, P-150 Clamp, P-200 nut, P-300 anchor
//   by name: P-300 anchor, P-100 bolt, P-150 Clamp, P-200 nut
//   P-200 is (none)
//   for each: [P-300 anchor] [P-100 bolt] [P-150 Clamp]
//   saved yes, loaded yes
//   loaded by name: P-300 anchor, P-100 bolt, P-150 Clamp, P-200 nut

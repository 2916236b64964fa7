#include "kvl/tables/kvl_table_utils.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "kvl/frame/testing/catalogue_expectations.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/tables/internal/test_table.h"

namespace kvl {
namespace {

using tables_internal::LateBoundView;
using tables_internal::TestTable;

// Each test runs against the typed table and against a late-bound object
// answering the same members by name.
class TableUtilsTest : public ::testing::TestWithParam<bool> {
 protected:
  TableUtilsTest() {
    if (GetParam()) {
      view_ = LateBoundView(table_);
      utils_->SetTableAccessorRef(view_);
    } else {
      utils_->SetTableAccessorRef(table_);
    }
  }

  // The rows of index `which` in key order.
  std::vector<int32_t> Walk(int16_t which = 0) {
    std::vector<int32_t> rows;
    while (utils_->DataIndexOfKeyIndex(static_cast<int32_t>(rows.size()),
                                       which) >= 0)
      rows.push_back(utils_->DataIndexOfKeyIndex(
          static_cast<int32_t>(rows.size()), which));
    return rows;
  }
  // Adds a row to the table the way a client does: index it, then count it.
  void AddRow(const std::string& key) {
    utils_->InsertKey(key, static_cast<int32_t>(table_->rows().size()));
    table_->Add(key);
  }

  Ref<TestTable> table_ = MakeRef<TestTable>();
  Ref<Object> view_;
  Ref<KVLTableUtils> utils_ = MakeRef<KVLTableUtils>();
};

TEST_P(TableUtilsTest, BuildsBothIndexesAndFindsKeysWithoutCase) {
  table_->Add("pear", "3").Add("Apple", "1").Add("fig", "2").Add("APPLE", "0");
  table_->Delete(3);  // fig
  utils_->BuildIndex(0);
  utils_->BuildIndex(7);  // any table but 0 is index 1
  // Equal keys stay in row order.
  EXPECT_EQ(Walk(0), (std::vector<int32_t>{1, 3, 2, 0}));
  EXPECT_EQ(Walk(1), (std::vector<int32_t>{3, 1, 2, 0}));
  EXPECT_EQ(utils_->DataIndexOfKeyIndex(-1), -1);
  EXPECT_EQ(utils_->DataIndexOfKeyIndex(4), -1);

  EXPECT_EQ(utils_->ItemIndex("PEAR"), 0);
  EXPECT_EQ(utils_->ItemIndex("fig"), -1);  // indexed, but deleted
  EXPECT_EQ(utils_->ItemIndex("kiwi"), -1);
  const int32_t apple = utils_->ItemIndex("apple");
  EXPECT_TRUE(apple == 1 || apple == 3);
  EXPECT_EQ(utils_->ItemIndex("3", 1), 0);
  EXPECT_EQ(utils_->Capacity(), 4);
}

TEST_P(TableUtilsTest, InsertedKeysGoAfterEqualKeys) {
  table_->Add("b").Add("a").Add("B");
  utils_->BuildIndex();
  AddRow("b");
  AddRow("A");
  AddRow("c");
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 4, 0, 2, 3, 5}));
  EXPECT_EQ(utils_->ItemIndex("C"), 5);
}

TEST_P(TableUtilsTest, LookupsSearchOnlyTheRowsTheTableCounts) {
  table_->Add("m");
  utils_->BuildIndex();
  // Indexed but not yet counted: "z" sits at position 1, beyond Count.
  utils_->InsertKey("z", 1);
  EXPECT_EQ(utils_->ItemIndex("z"), -1);
  table_->Add("z");
  EXPECT_EQ(utils_->ItemIndex("z"), 1);
  // Two keys indexed ahead of their rows are both kept.
  utils_->InsertKey("a", 2);
  utils_->InsertKey("b", 3);
  EXPECT_EQ(utils_->EntryCount(0), 4);
  table_->Add("a").Add("b");
  EXPECT_EQ(utils_->ItemIndex("a"), 2);
  EXPECT_EQ(utils_->ItemIndex("b"), 3);
}

TEST_P(TableUtilsTest, GrowthPolicy) {
  table_->double_threshold = 8;
  table_->incr_size = 5;
  // A new object has capacity 0 and still makes room.
  AddRow("k");
  EXPECT_EQ(utils_->Capacity(), 2);
  for (const char* k : {"a", "b", "c"}) AddRow(k);
  EXPECT_EQ(utils_->Capacity(), 8);  // 2 -> 4 -> 8 by doubling
  for (const char* k : {"d", "e", "f", "g"}) AddRow(k);
  EXPECT_EQ(utils_->Capacity(), 13);  // 8 + 5 from the threshold on
  EXPECT_EQ(Walk().size(), 8u);

  EXPECT_EQ(utils_->GrowAmount(), 13);  // Count 8 -> 8 + 5
  table_->double_threshold = 100;
  EXPECT_EQ(utils_->GrowAmount(), 16);
  table_->count_override = 0x40000000;
  table_->double_threshold = INT32_MAX;
  EXPECT_EQ(RaisedNumber([&] { utils_->GrowAmount(); }), kErrOverflow);

  EXPECT_TRUE(utils_->NeedsToGrow(9, 10));
  EXPECT_FALSE(utils_->NeedsToGrow(8, 10));
  EXPECT_TRUE(utils_->NeedsToGrow(0, INT32_MIN));

  // A policy that would not grow at all still leaves room for each key.
  table_->double_threshold = 0;
  table_->incr_size = 0;
  table_->count_override = -1;
  for (const char* k : {"h", "i", "j", "k", "l", "m"}) AddRow(k);
  EXPECT_EQ(utils_->Capacity(), 14);
  EXPECT_EQ(Walk().size(), 14u);
}

TEST_P(TableUtilsTest, AFailingBuildKeepsTheOldIndex) {
  table_->Add("b").Add("a");
  utils_->BuildIndex();
  table_->Add("c");
  table_->failing_row = 2;
  EXPECT_EQ(RaisedNumber([&] { utils_->BuildIndex(); }), kErrInvalidArgument);
  EXPECT_EQ(Walk(), (std::vector<int32_t>{1, 0}));
}

INSTANTIATE_TEST_SUITE_P(TypedAndLateBound, TableUtilsTest, ::testing::Bool(),
                         [](const auto& info) {
                           return info.param ? "LateBound" : "Typed";
                         });

TEST(TableUtilsAccessorTest, MissingOrEndedAccessorIsAMissingObject) {
  auto utils = MakeRef<KVLTableUtils>();
  auto every_member_raises_91 = [&] {
    for (auto call : std::vector<std::function<void()>>{
             [&] { utils->DataIndexOfKeyIndex(0); },
             [&] { utils->ItemIndex("a"); }, [&] { utils->InsertKey("a", 0); },
             [&] { utils->LoadFromFile("/nonexistent/x"); }}) {
      EXPECT_EQ(RaisedNumber(call), kErrObjectNotSet);
    }
  };
  every_member_raises_91();
  EXPECT_EQ(utils->TableAccessor(), nullptr);

  LiveObjectCheck leaks;
  {
    auto table = MakeRef<TestTable>();
    table->Add("a");
    utils->SetTableAccessorRef(table);
    EXPECT_EQ(utils->TableAccessor().get(), table.get());
    utils->BuildIndex();
  }
  // The utilities did not keep the table alive, and do not call it now.
  EXPECT_EQ(leaks.Delta(), 0);
  EXPECT_EQ(utils->TableAccessor(), nullptr);
  every_member_raises_91();
}

TEST(TableUtilsAccessorTest, LateBoundCallsOnTheUtilities) {
  auto table = MakeRef<TestTable>();
  table->Add("b").Add("a");
  Ref<Object> utils = CreateObject("KVLCommon.KVLTableUtils");
  Variant accessor(table);
  utils->Invoke("TableAccessor", CallKind::kSet, {&accessor, 1});
  utils->Invoke("BuildIndex", CallKind::kMethod, {});
  Variant key("A");
  EXPECT_EQ(ToI4(utils->Invoke("ItemIndex", CallKind::kMethod, {&key, 1})), 1);
  Variant args[] = {Variant("c"), Variant(int32_t{2})};
  EXPECT_TRUE(ToBool(utils->Invoke("InsertKey", CallKind::kMethod, args)));
  EXPECT_EQ(utils->Invoke("TableAccessor", CallKind::kGet, {}).AsObject(),
            table.get());
  // The file members are reached through IFastLoader.
  Variant missing("/nonexistent/dir/index.bin");
  EXPECT_FALSE(
      ToBool(utils->QueryInterface("IFastLoader")
                 ->Invoke("LoadFromFile", CallKind::kMethod, {&missing, 1})));
}

TEST(TableUtilsCatalogueTest, KindsAndCreation) {
  ExpectCatalogueKinds({
      {"KVLTableUtils", ClassKind::kCreatable},
      {"KVLTableIterator", ClassKind::kCreatable},
      {"ITableAccessor", ClassKind::kPublic},
      {"ITableItem", ClassKind::kPublic},
      {"IFastLoader", ClassKind::kPublic},
  });
}

// A plain model of an index: the rows in key order, a stable sort to build
// it, insertion after the last key that is not greater, and a binary search
// halving [lo, hi] that stops at the first equal key.
class IndexModel {
 public:
  void Add(std::string key) { keys_.push_back(std::move(key)); }
  const std::vector<std::string>& keys() const { return keys_; }
  const std::vector<int32_t>& rows() const { return rows_; }

  void Build() {
    rows_.resize(keys_.size());
    for (size_t i = 0; i < keys_.size(); ++i)
      rows_[i] = static_cast<int32_t>(i);
    std::stable_sort(rows_.begin(), rows_.end(), [&](int32_t a, int32_t b) {
      return CompareTextNoCase(keys_[a], keys_[b]) < 0;
    });
  }
  // Inserts a new row with `key`; its row number.
  int32_t Insert(const std::string& key) {
    const auto at = std::upper_bound(
        rows_.begin(), rows_.end(), key, [&](const std::string& k, int32_t r) {
          return CompareTextNoCase(k, keys_[r]) < 0;
        });
    const auto row = static_cast<int32_t>(keys_.size());
    rows_.insert(at, row);
    keys_.push_back(key);
    return row;
  }
  int32_t Find(const std::string& key) const {
    for (int64_t lo = 0, hi = static_cast<int64_t>(rows_.size()) - 1;
         lo <= hi;) {
      const int64_t mid = (lo + hi) / 2;
      const int c = CompareTextNoCase(key, keys_[rows_[mid]]);
      if (c == 0) return rows_[mid];
      if (c > 0) {
        lo = mid + 1;
      } else {
        hi = mid - 1;
      }
    }
    return -1;
  }

 private:
  std::vector<std::string> keys_;
  std::vector<int32_t> rows_;
};

class TableUtilsModelTest : public ::testing::Test {
 protected:
  TableUtilsModelTest() { Reset(); }

  // An empty table, index and model.
  void Reset() {
    table_ = MakeRef<TestTable>();
    utils_ = MakeRef<KVLTableUtils>();
    utils_->SetTableAccessorRef(table_);
    model_ = IndexModel();
  }
  void AddBuiltRow(const std::string& key) {
    model_.Add(key);
    table_->Add(key);
  }
  void Build() {
    utils_->BuildIndex();
    model_.Build();
  }
  void Insert(const std::string& key) {
    utils_->InsertKey(key, model_.Insert(key));
    table_->Add(key);
  }
  // The index walks in the model's order, and every key in `probes` is
  // found as the model's search finds it.
  void ExpectModel(const std::vector<std::string>& probes) {
    const std::vector<int32_t>& rows = model_.rows();
    ASSERT_EQ(utils_->EntryCount(0), static_cast<int32_t>(rows.size()));
    for (size_t i = 0; i < rows.size(); ++i)
      ASSERT_EQ(utils_->DataIndexOfKeyIndex(static_cast<int32_t>(i)), rows[i]);
    for (const std::string& key : probes)
      ASSERT_EQ(utils_->ItemIndex(key), model_.Find(key)) << key;
  }

  // Saves the index and loads it into new utilities over the same table.
  void SaveAndReload() {
    const std::string path =
        "/tmp/kvl_tables_model." + std::to_string(getpid());
    ASSERT_TRUE(utils_->SaveToFile(path));
    utils_ = MakeRef<KVLTableUtils>();
    utils_->SetTableAccessorRef(table_);
    ASSERT_TRUE(utils_->LoadFromFile(path));
    std::remove(path.c_str());
  }

  Ref<TestTable> table_;
  Ref<KVLTableUtils> utils_;
  IndexModel model_;
};

// Keys are drawn from letters of both cases, the bytes between the upper
// and lower case letters, a high byte and NUL, with lengths around the
// eight bytes the index compares at once, so that many keys tie or share
// prefixes.
TEST_F(TableUtilsModelTest, MatchesThePlainModel) {
  std::mt19937 random(12345);
  const std::string alphabet = std::string("aAbB[_`zZ\xe9", 10) + '\0';
  auto random_key = [&] {
    std::string key(random() % 12, 'a');
    for (char& c : key) c = alphabet[random() % alphabet.size()];
    if (random() % 2) key = "prefix__" + key;
    return key;
  };
  for (int round = 0; round < 20; ++round) {
    Reset();
    const int rows = 1 + static_cast<int>(random() % 300);
    for (int i = 0; i < rows; ++i) AddBuiltRow(random_key());
    Build();
    for (int i = 0; i < 50; ++i) Insert(random_key());
    std::vector<std::string> probes;
    for (int i = 0; i < 200; ++i) {
      const auto& keys = model_.keys();
      probes.push_back(i % 2 ? random_key() : keys[random() % keys.size()]);
    }
    ExpectModel(probes);
  }
}

// Indexes of tens of thousands of entries, with insertions crowded into
// one stretch of keys, appended at the end and spread out, then saved and
// loaded: the order, the search and the file stay those of the model.
TEST_F(TableUtilsModelTest, LargeIndexesTakeInsertionsAnywhere) {
  std::mt19937 random(777);
  auto numbered = [](const char* stem, uint32_t n) {
    return stem + std::to_string(n);
  };
  for (int i = 0; i < 20000; ++i) AddBuiltRow(numbered("m", random() % 50000));
  Build();
  for (int i = 0; i < 9000; ++i) Insert(numbered("M", 30000 + i % 97));
  for (int i = 0; i < 5000; ++i) Insert(numbered("z", 100000 + i));
  for (int i = 0; i < 5000; ++i) Insert(numbered("", random() % 1000000));
  std::vector<std::string> probes;
  for (int i = 0; i < 4000; ++i)
    probes.push_back(model_.keys()[random() % model_.keys().size()]);
  probes.push_back("m30050");
  probes.push_back("zz");
  ExpectModel(probes);

  SaveAndReload();
  ExpectModel(probes);
  for (int i = 0; i < 3000; ++i) Insert(numbered("m3", i % 7));
  ExpectModel(probes);
}

// A file whose keys all have one length loads as runs of records; keys of
// that length and of others then go in anywhere.
TEST_F(TableUtilsModelTest, LoadedKeysOfOneLengthTakeInsertions) {
  std::mt19937 random(99);
  auto fixed = [&random] {
    return std::to_string(1000000 + random() % 9000000);
  };
  for (int i = 0; i < 10000; ++i) AddBuiltRow(fixed());
  Build();
  SaveAndReload();
  std::vector<std::string> probes = {"1", "99999999", "5000000"};
  for (int i = 0; i < 2000; ++i)
    probes.push_back(model_.keys()[random() % model_.keys().size()]);
  ExpectModel(probes);
  for (int i = 0; i < 6000; ++i) Insert(i % 3 ? fixed() : fixed() + "x");
  ExpectModel(probes);
}

}  // namespace
}  // namespace kvl

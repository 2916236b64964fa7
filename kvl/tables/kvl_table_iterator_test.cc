#include "kvl/tables/kvl_table_iterator.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/tables/internal/test_table.h"

namespace kvl {
namespace {

using tables_internal::LateBoundView;
using tables_internal::TestTable;

class TableIteratorTest : public ::testing::TestWithParam<bool> {
 protected:
  TableIteratorTest() {
    table_->Add("a").Add("b").Add("c").Add("d");
    if (GetParam()) view_ = LateBoundView(table_);
    iterator_->SetTableAccessorRef(GetParam() ? view_ : Ref<Object>(table_));
  }

  // Next(count): the texts fetched, the status and the number reported.
  std::vector<std::string> Next(uint32_t count, int32_t* status = nullptr) {
    std::vector<Variant> out(count);
    uint32_t fetched = 99;
    const int32_t s = iterator_->Next(count, out.data(), &fetched);
    if (status) *status = s;
    std::vector<std::string> texts;
    for (uint32_t i = 0; i < fetched; ++i) texts.push_back(ToText(out[i]));
    return texts;
  }

  Ref<TestTable> table_ = MakeRef<TestTable>();
  Ref<Object> view_;
  Ref<KVLTableIterator> iterator_ = MakeRef<KVLTableIterator>();
};

TEST_P(TableIteratorTest, SkipsDeletedRows) {
  table_->Delete(2).Delete(3);
  int32_t status = -1;
  EXPECT_EQ(Next(1, &status), std::vector<std::string>{"row 1"});
  EXPECT_EQ(status, kS_OK);
  // Fewer rows than asked for is still success; then no more.
  EXPECT_EQ(Next(5, &status), std::vector<std::string>{"row 4"});
  EXPECT_EQ(status, kS_OK);
  EXPECT_TRUE(Next(1, &status).empty());
  EXPECT_EQ(status, kS_FALSE);

  iterator_->Reset();
  EXPECT_EQ(Next(5), (std::vector<std::string>{"row 1", "row 4"}));
}

TEST_P(TableIteratorTest, SkipMovesWithoutLookingAndNothingEnds) {
  EXPECT_EQ(iterator_->Skip(2), kS_OK);
  EXPECT_EQ(Next(1), std::vector<std::string>{"row 3"});
  EXPECT_EQ(iterator_->Skip(100), kS_OK);  // past the end is no failure
  EXPECT_TRUE(Next(1).empty());

  iterator_->Reset();
  table_->rows()[1].item = Variant::Nothing();
  EXPECT_EQ(Next(4), std::vector<std::string>{"row 1"});

  Ref<Object> clone;
  EXPECT_EQ(iterator_->Clone(&clone), kE_NOTIMPL);
}

INSTANTIATE_TEST_SUITE_P(TypedAndLateBound, TableIteratorTest,
                         ::testing::Bool(), [](const auto& info) {
                           return info.param ? "LateBound" : "Typed";
                         });

TEST(TableIteratorAccessorTest, NoRowsWithoutALiveAccessor) {
  auto iterator = MakeRef<KVLTableIterator>();
  Variant out;
  uint32_t fetched = 7;
  EXPECT_EQ(iterator->Next(1, &out, &fetched), kS_FALSE);
  EXPECT_EQ(fetched, 0u);
  {
    auto table = MakeRef<TestTable>();
    table->Add("a");
    iterator->SetTableAccessorRef(table);
  }
  EXPECT_EQ(iterator->Next(1, &out, nullptr), kS_FALSE);
}

// A late-bound client table hands the iterator out from its NewEnum, and a
// for-each walks the rows that are not deleted.
TEST(TableIteratorAccessorTest, ForEachOverALateBoundTable) {
  auto table = MakeRef<TestTable>();
  table->Add("a").Add("b").Add("c").Delete(2);
  Ref<DynamicObject> client = tables_internal::LateBoundView(table);
  DynamicObject* self = client.get();
  client->OnMethod("NewEnum", [self](std::span<Variant>) {
    Ref<Object> it = CreateObject("KVLCommon.KVLTableIterator");
    Variant accessor(self);
    it->Invoke("TableAccessor", CallKind::kSet, {&accessor, 1});
    return Variant(it);
  });
  std::vector<std::string> seen;
  ForEach(Variant(client), [&](const Variant& row) {
    seen.push_back(ToText(row));
    return true;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"row 1", "row 3"}));
}

}  // namespace
}  // namespace kvl

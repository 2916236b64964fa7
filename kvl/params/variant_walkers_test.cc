#include "kvl/params/variant_walkers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/params/param_item.h"
#include "kvl/params/tokens.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

Ref<ParamItem> Named(const std::string& keyword) {
  Ref<ParamItem> item = MakeRef<ParamItem>();
  item->SetKeyword(keyword);
  return item;
}

Ref<CVParamItem> Container(std::initializer_list<const char*> keywords) {
  Ref<CVParamItem> c = MakeRef<CVParamItem>();
  for (const char* k : keywords) c->Add(Named(k));
  return c;
}

std::vector<std::string> Keywords(const CVParamItem& c) {
  std::vector<std::string> out;
  for (int32_t i = 1; i <= c.Count(); ++i) out.push_back(c.Item(i)->Keyword());
  return out;
}

TEST(CVParamItemTest, SlotsOfANewAndAGrownContainer) {
  Ref<CVParamItem> c = MakeRef<CVParamItem>();
  EXPECT_EQ(c->Count(), 0);
  EXPECT_EQ(c->Item(0), nullptr);
  EXPECT_EQ(c->Item(1), nullptr);
  EXPECT_EQ(c->Item(10), nullptr);
  EXPECT_EQ(RaisedNumber([&] { c->Item(11); }), kErrSubscriptOutOfRange);

  c->Add(Named("a"));
  EXPECT_EQ(c->Count(), 1);
  EXPECT_EQ(c->Item(1)->Keyword(), "a");
  EXPECT_EQ(c->Item(2), nullptr);  // the spare slot
  EXPECT_EQ(RaisedNumber([&] { c->Item(3); }), kErrSubscriptOutOfRange);
  EXPECT_EQ(c->Item(-5), nullptr);
}

TEST(CVParamItemTest, RemoveShiftsDownAndIgnoresOtherIndexes) {
  Ref<CVParamItem> c = Container({"a", "b", "c"});
  c->Remove(0);
  c->Remove(4);
  EXPECT_EQ(Keywords(*c), (std::vector<std::string>{"a", "b", "c"}));
  c->Remove(1);
  EXPECT_EQ(Keywords(*c), (std::vector<std::string>{"b", "c"}));
  EXPECT_EQ(c->Item(3), nullptr);
  EXPECT_EQ(RaisedNumber([&] { c->Item(4); }), kErrSubscriptOutOfRange);
}

TEST(CVParamItemTest, LateBoundMembersAndDefaultMember) {
  Ref<Object> c = CreateObject("KVLCommon.CVParamItem");
  Ref<ParamItem> item = Named("k");
  CallByName(*c, "Add", CallKind::kMethod, Variant(item));
  EXPECT_EQ(ToI4(CallByName(*c, "Count", CallKind::kGet)), 1);
  const MemberInfo* by_id =
      c->Class().FindByDispId(kDispIdItem, CallKind::kGet);
  ASSERT_NE(by_id, nullptr);
  EXPECT_EQ(by_id->name, "Item");
  EXPECT_EQ(CallByName(*c, "item", CallKind::kGet, 1).AsObject(), item.get());
  EXPECT_EQ(RaisedNumber([&] {
              CallByName(*c, "Add", CallKind::kMethod, Variant("text"));
            }),
            kErrTypeMismatch);
}

TEST(CVTokenTest, ItemSetLastAndChunk) {
  Ref<CVToken> c = MakeRef<CVToken>();
  EXPECT_EQ(c->Chunk(), 10);
  c->SetChunk(500);
  EXPECT_EQ(c->Chunk(), 100);
  c->SetChunk(0);
  EXPECT_EQ(c->Chunk(), 100);
  c->SetChunk(7);
  EXPECT_EQ(c->Chunk(), 7);

  EXPECT_EQ(c->Last(), 1);
  Ref<Token> t = MakeRef<Token>();
  c->SetItemRef(3, t);  // beyond the next index: it becomes 4
  EXPECT_EQ(c->Last(), 4);
  EXPECT_EQ(c->Count(), Variant(int32_t{3}));
  EXPECT_EQ(c->Item(3), t);
  EXPECT_EQ(c->Item(1), nullptr);
  c->SetLast(2);
  EXPECT_EQ(c->Count(), Variant(int32_t{1}));
  EXPECT_EQ(RaisedNumber([&] { c->Item(3); }), kErrSubscriptOutOfRange);
  c->SetLast(0);  // ignored
  EXPECT_EQ(c->Last(), 2);
  EXPECT_EQ(RaisedNumber([&] { c->SetItemRef(0, t); }),
            kErrSubscriptOutOfRange);
}

struct NextCall {
  uint32_t asked;
  int32_t status;
  uint32_t fetched;
};

TEST(CEnumVariantTest, NextSkipResetAndClone) {
  Ref<CVParamItem> c = Container({"a", "b", "c"});
  Ref<CEnumVariant> e = c->NewEnum();
  Variant out[5];
  uint32_t fetched = 99;
  EXPECT_EQ(e->Skip(2), kS_OK);
  EXPECT_EQ(e->Next(1, out, &fetched), kS_OK);
  EXPECT_EQ(fetched, 1u);
  EXPECT_EQ(static_cast<ParamItem*>(out[0].AsObject())->Keyword(), "c");

  EXPECT_EQ(e->Reset(), kS_OK);
  const NextCall calls[] = {{5, kS_OK, 3}, {5, kS_FALSE, 0}, {1, kS_FALSE, 0}};
  for (const NextCall& call : calls) {
    EXPECT_EQ(e->Next(call.asked, out, &fetched), call.status);
    EXPECT_EQ(fetched, call.fetched);
  }
  Ref<Object> clone;
  EXPECT_EQ(e->Clone(&clone), kE_NOTIMPL);
  EXPECT_EQ(clone, nullptr);
  // More than a 16-bit count.
  EXPECT_EQ(e->Next(40000, out, &fetched), ToStatus(kErrOverflow));
  EXPECT_EQ(fetched, 0u);
}

TEST(CEnumVariantTest, EmptyContainerAndForEach) {
  Ref<CVParamItem> empty = MakeRef<CVParamItem>();
  Variant out;
  uint32_t fetched = 7;
  EXPECT_EQ(empty->NewEnum()->Next(1, &out, &fetched), kS_FALSE);
  EXPECT_EQ(fetched, 0u);

  std::vector<std::string> seen;
  ForEach(Variant(Container({"x", "y"})), [&](const Variant& v) {
    seen.push_back(static_cast<ParamItem*>(v.AsObject())->Keyword());
    return true;
  });
  EXPECT_EQ(seen, (std::vector<std::string>{"x", "y"}));
}

// A late-bound walker that yields 1, 2, then fails with `error`.
Ref<DynamicObject> FailingWalker(int32_t error) {
  auto walker = MakeRef<DynamicObject>("Walker");
  auto count = std::make_shared<int>(0);
  walker->OnMethod("More", [count, error](std::span<Variant> a) {
    if (++*count > 2) Raise(error);
    a[0] = Variant(*count);
    return Variant(true);
  });
  walker->OnMethod("Skip",
                   [error](std::span<Variant>) -> Variant { Raise(error); });
  walker->OnMethod("Reset", [count](std::span<Variant>) {
    *count = 0;
    return Variant();
  });
  return walker;
}

TEST(CEnumVariantTest, FailuresOfALateBoundWalkerBecomeStatuses) {
  struct Case {
    int32_t error;
    int32_t status;
  } cases[] = {
      {9, static_cast<int32_t>(0x800A0009)}, {1, 1}, {kE_NOTIMPL, kE_NOTIMPL}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.error);
    Ref<CEnumVariant> e = MakeRef<CEnumVariant>();
    e->Attach(FailingWalker(c.error));
    Variant out[4] = {Variant("x"), Variant("x"), Variant("x"), Variant("x")};
    uint32_t fetched = 9;
    EXPECT_EQ(e->Next(4, out, &fetched), c.status);
    EXPECT_EQ(fetched, 0u);
    EXPECT_TRUE(out[0].is_empty());  // fetched, then released
    EXPECT_TRUE(out[1].is_empty());
    EXPECT_EQ(out[2], Variant("x"));  // never reached
    EXPECT_EQ(e->Skip(1), c.status);
    EXPECT_EQ(e->Reset(), kS_OK);
    EXPECT_EQ(e->Next(2, out, &fetched), kS_OK);
    EXPECT_EQ(fetched, 2u);
  }
  Ref<CEnumVariant> unattached = MakeRef<CEnumVariant>();
  Variant out;
  EXPECT_EQ(unattached->Next(1, &out, nullptr), ToStatus(kErrObjectNotSet));
}

TEST(CEnumVariantTest, WalkerSkipOverflowAndLateBoundPair) {
  Ref<CVParamItem> c = Container({"a"});
  Ref<CEnumVariant> e = c->NewEnum();
  int32_t big = INT32_MAX;
  e->ClsSkip(big);
  EXPECT_EQ(e->Skip(1), ToStatus(kErrOverflow));
  // The walker answers for IVariantWalker late-bound too.
  Ref<CVParamItemWalker> walker = MakeRef<CVParamItemWalker>();
  CallByName(*walker, "Attach", CallKind::kMethod, Variant(c));
  Ref<Object> view = walker->QueryInterface("IVariantWalker");
  ASSERT_NE(view, nullptr);
  Variant args[1];
  EXPECT_TRUE(ToBool(view->Invoke("More", CallKind::kMethod, args)));
  EXPECT_EQ(static_cast<ParamItem*>(args[0].AsObject())->Keyword(), "a");
  EXPECT_FALSE(ToBool(view->Invoke("More", CallKind::kMethod, args)));
}

TEST(CEnumVariantTest, ReleasingTheEnumeratorReleasesWalkerAndContainer) {
  LiveObjectCheck leaks;
  {
    Ref<CEnumVariant> e;
    {
      Ref<CVParamItem> c = Container({"a", "b"});
      e = c->NewEnum();
    }
    // The container lives while the client holds the enumerator.
    Variant out[2];
    uint32_t fetched = 0;
    EXPECT_EQ(e->Next(2, out, &fetched), kS_OK);
    EXPECT_EQ(fetched, 2u);
  }
  {
    Ref<CVToken> tokens = MakeRef<CVToken>();
    tokens->Add(MakeRef<Token>());
    Ref<CVTokenWalker> walker = MakeRef<CVTokenWalker>();
    walker->Attach(tokens);
    Ref<CEnumVariant> first = walker->NewEnum();
    EXPECT_EQ(walker->NewEnum(), first);  // one enumerator per walker
    first.reset();
    // The walker outlived its enumerator: it makes a new one.
    EXPECT_NE(walker->NewEnum(), nullptr);
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

}  // namespace
}  // namespace kvl

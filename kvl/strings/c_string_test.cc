#include "kvl/strings/c_string.h"

#include <gtest/gtest.h>

#include <string>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/test_support.h"

namespace kvl {
namespace {

TEST(CStringTest, GrowsByThreeTimesUsedPlusPiecePlus100) {
  Ref<CString> text = MakeRef<CString>();
  text->SetValue("abc");
  EXPECT_EQ(text->Capacity(), 103);
  std::string expected = "abc";
  int32_t growths = 0;
  for (int i = 0; i < 100000; ++i) {
    const std::string piece = i < 10 ? std::string(40, 'x') : "12345,";
    const int32_t used = text->Length();
    const int32_t before = text->Capacity();
    text->Append(piece);
    expected += piece;
    const bool grew = used + static_cast<int32_t>(piece.size()) >= before;
    EXPECT_EQ(
        text->Capacity(),
        grew ? 3 * used + static_cast<int32_t>(piece.size()) + 100 : before);
    growths += grew;
    ASSERT_LT(text->Length(), text->Capacity());
  }
  EXPECT_LE(growths, 12);  // geometric growth: appends cost linear time
  EXPECT_EQ(text->Value(), expected);
}

TEST(CStringTest, AppendCStringLateBoundAndPrivate) {
  LiveObjectCheck leaks;
  {
    Ref<CString> a = MakeRef<CString>();
    Ref<CString> b = MakeRef<CString>();
    EXPECT_EQ(a->Value(), "");
    CallByName(*a, "Value", CallKind::kLet, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(CallByName(*a, "Length", CallKind::kGet), Variant(5));  // bytes
    CallByName(*b, "Append", CallKind::kMethod, "<");
    CallByName(*b, "AppendCString", CallKind::kMethod, a);
    b->AppendCString(b);
    EXPECT_EQ(CallByName(*b, "Value", CallKind::kGet),
              Variant("<\xC3\xA9t\xC3\xA9<\xC3\xA9t\xC3\xA9"));
    EXPECT_EQ(RaisedNumber([&] { a->AppendCString(nullptr); }),
              kErrObjectNotSet);
    EXPECT_EQ(CString::StaticClass().kind(), ClassKind::kPrivate);
    EXPECT_EQ(CString::StaticClass().members()[3].params[0].TypeName(),
              "CString");
    EXPECT_EQ(RaisedNumber([] { CreateObject("KVLCommon.CString"); }),
              kCLASS_E_CLASSNOTAVAILABLE);
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

}  // namespace
}  // namespace kvl

#include "kvl/runtime/guid.h"

#include <gtest/gtest.h>

#include "kvl/runtime/error.h"

namespace kvl {
namespace {

TEST(GuidTest, LibraryBlockAndTextRoundTrip) {
  Guid g = LibraryGuid("KVLCommon.ParamString");
  std::string text = g.ToString();
  EXPECT_EQ(text.size(), 38u);
  EXPECT_EQ(text.substr(9), "-9BE3-11D4-A4D8-00B0D02B011D}");
  Guid back;
  ASSERT_TRUE(Guid::Parse(text, &back));
  EXPECT_EQ(back, g);
  std::string lower = text.substr(1, 36);
  for (char& c : lower) c = static_cast<char>(std::tolower(c));
  ASSERT_TRUE(Guid::Parse(lower, &back));
  EXPECT_EQ(back, g);
  EXPECT_FALSE(Guid::Parse("{1234}", &back));
  EXPECT_FALSE(Guid::Parse("{G0000000-9BE3-11D4-A4D8-00B0D02B011D}", &back));
  EXPECT_NE(LibraryGuid("a"), LibraryGuid("b"));
}

TEST(ErrorTest, StatusMappingAndRecord) {
  EXPECT_EQ(ToStatus(0), 0);
  EXPECT_EQ(ToStatus(1), 1);
  EXPECT_EQ(ToStatus(kE_NOTIMPL), kE_NOTIMPL);
  EXPECT_EQ(static_cast<uint32_t>(ToStatus(5)), 0x800A0005u);
  EXPECT_EQ(static_cast<uint32_t>(ToStatus(1001)), 0x800A03E9u);
  try {
    Raise(kErrDuplicateKey);
  } catch (const KVLError& e) {
    EXPECT_EQ(e.source(), "KVLCommon");
    EXPECT_NE(e.description().find("already associated"), std::string::npos);
    SetErrorRecord(e);
  }
  ErrorRecord r = TakeErrorRecord();
  EXPECT_TRUE(r.set);
  EXPECT_EQ(r.number, kErrDuplicateKey);
  EXPECT_FALSE(TakeErrorRecord().set);
}

}  // namespace
}  // namespace kvl

#include "kvl/runtime/checked.h"

namespace kvl {
namespace {

TEST(CheckedTest, CountsStopAtTheirMaximum) {
  EXPECT_EQ(CheckedAdd<int16_t>(32766, 1), 32767);
  EXPECT_THROW(CheckedAdd<int16_t>(32767, 1), KVLError);
  EXPECT_THROW(CheckedAdd<int16_t>(-32768, -1), KVLError);
  EXPECT_EQ(CheckedAdd<int32_t>(2147483646, 1), 2147483647);
  EXPECT_THROW(CheckedAdd<int32_t>(2147483647, 1), KVLError);
  EXPECT_EQ(CheckedCast<int16_t>(size_t{32767}), 32767);
  EXPECT_THROW(CheckedCast<int16_t>(size_t{32768}), KVLError);
}

}  // namespace
}  // namespace kvl

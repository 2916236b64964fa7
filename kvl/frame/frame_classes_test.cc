#include "kvl/frame/frame_classes.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/kvl_constants.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/variant.h"

namespace kvl {
namespace {

struct MessageCase {
  int32_t code;
  const char* text;
};

constexpr MessageCase kMessages[] = {
    {0, "OK"},
    {10001, "This operation would cause a dangling reference"},
    {10002, "Invalid parameter passed to this method"},
    {10003, "The specified item was not found"},
    {10004, "The specified operation would cause a duplicate value"},
    {10005, "The specified value is out of range"},
    {10006, "The specified value is invalid for this operation"},
    {10007, "Uninitialized object"},
    {10008, "The specified reference is invalid"},
    {10009, "Unknown exception code"},
    {-1, "Unknown exception code"},
    {10000, "Unknown exception code"},
};

TEST(KVLConstantsTest, MessagesTypedAndLateBound) {
  Ref<KVLConstants> constants = MakeRef<KVLConstants>();
  for (const MessageCase& c : kMessages) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(KVLExceptionString(c.code), c.text);
    EXPECT_EQ(
        constants->kKVLExceptionString(static_cast<KVLExceptions>(c.code)),
        c.text);
    Variant result =
        CallByName(*constants, "kKVLExceptionString", CallKind::kGet, c.code);
    ASSERT_TRUE(result.is_string());
    EXPECT_EQ(result.AsString(), c.text);
  }
}

TEST(KVLConstantsTest, GlobalInstanceAnswersByNameInAnyCase) {
  Ref<Object> constants = GlobalObject("KVLCommon.KVLConstants");
  Variant result = CallByName(*constants, "KKVLEXCEPTIONSTRING", CallKind::kGet,
                              int16_t{10003});
  EXPECT_EQ(result.AsString(), "The specified item was not found");
}

TEST(KVLCommonGlobalTest, InitCanBeCalledRepeatedly) {
  Ref<Object> hook = GlobalObject("KVLCommonGlobal");
  for (int i = 0; i < 3; ++i) {
    Variant result = CallByName(*hook, "KVLCommonInit", CallKind::kMethod);
    EXPECT_TRUE(result.is_empty());
  }
  Ref<Object> fresh = CreateObject("KVLCommon.KVLCommonGlobal");
  CallByName(*fresh, "KVLCommonInit", CallKind::kMethod);
}

TEST(FrameClassesTest, KindsAndMemberTables) {
  EXPECT_EQ(KVLConstants::StaticClass().kind(), ClassKind::kGlobal);
  EXPECT_EQ(KVLCommonGlobal::StaticClass().kind(), ClassKind::kGlobal);
  EXPECT_EQ(KVLGlobalTypes::StaticClass().kind(), ClassKind::kGlobal);
  EXPECT_TRUE(KVLGlobalTypes::StaticClass().members().empty());

  const ClassInfo& cleanup = IKVLCleanup::StaticClass();
  EXPECT_EQ(cleanup.kind(), ClassKind::kPrivate);
  ASSERT_EQ(cleanup.members().size(), 3u);
  EXPECT_EQ(cleanup.members()[0].name, "Initialize");
  EXPECT_EQ(cleanup.members()[1].name, "Terminate");
  EXPECT_EQ(cleanup.members()[2].name, "IsActive");
  EXPECT_EQ(cleanup.members()[0].result, VarType::kBool);
  EXPECT_EQ(cleanup.members()[1].result, VarType::kEmpty);
}

TEST(FrameClassesTest, CleanupDoesNothing) {
  Ref<IKVLCleanup> cleanup = MakeRef<IKVLCleanup>();
  EXPECT_FALSE(cleanup->Initialize());
  cleanup->Terminate();
  EXPECT_FALSE(cleanup->IsActive());
  Variant active = CallByName(*cleanup, "IsActive", CallKind::kMethod);
  EXPECT_EQ(active, Variant(false));
}

}  // namespace
}  // namespace kvl

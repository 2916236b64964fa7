// The trace classes in the catalogue, used late-bound as a script client
// does; KVLDebugTrace's notification; ResourceLock.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/frame/testing/catalogue_expectations.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/trace/debug_trace.h"
#include "kvl/trace/resource_lock.h"
#include "kvl/trace/testing/trace_recorder.h"

namespace kvl {
namespace {

Variant Call(Object& o, const char* name, std::vector<Variant> args = {},
             CallKind kind = CallKind::kMethod) {
  return o.Invoke(name, kind, args);
}

// A late-bound client that records what a member `name` receives.
Ref<DynamicObject> Client(const char* name, Lines& seen) {
  auto client = MakeRef<DynamicObject>("Client");
  client->OnMethod(name, [&seen](std::span<Variant> a) {
    std::string line;
    for (const Variant& v : a) line += "[" + ToText(v) + "]";
    seen.push_back(line);
    return Variant();
  });
  return client;
}

TEST(TraceCatalogueTest, KindsAndTables) {
  ExpectCatalogueKinds({
      {"KVLTrace", ClassKind::kGlobal},
      {"KVLDebugTrace", ClassKind::kCreatable},
      {"KVLStreamTrace", ClassKind::kCreatable},
      {"IKVLTraceMechanism", ClassKind::kPublic},
      {"ResourceLock", ClassKind::kPrivate},
  });
  const auto& members = Catalogue::FindByName("KVLTrace")->Info().members();
  ASSERT_EQ(members.size(), 14u);
  EXPECT_EQ(members.front().kind, CallKind::kSet);
  EXPECT_EQ(members.back().name, "LeaveFunction");
  EXPECT_EQ(
      Catalogue::FindByName("KVLDebugTrace")->Info().notifications()->name(),
      "__KVLDebugTrace");
}

class TraceLateBoundTest : public TraceTest {};

TEST_F(TraceLateBoundTest, ScriptClientTracesThroughItsOwnMechanism) {
  Ref<Object> trace = GlobalObject("KVLTrace");  // kept by the thread
  LiveObjectCheck leaks;
  {
    Lines seen;
    auto mechanism = Client("Trace", seen);
    Call(*trace, "TraceMechanism", {Variant(mechanism)}, CallKind::kSet);
    Call(*trace, "TraceFilter", {Variant(int32_t{STF_FunctionEntry})},
         CallKind::kLet);
    Call(*trace, "TraceCallTreeEnabled", {Variant(true)}, CallKind::kLet);
    EXPECT_EQ(Call(*trace, "TraceFilter", {}, CallKind::kGet),
              Variant(int32_t{15}));

    Call(*trace, "Trace", {Variant(int16_t{2}), Variant("Src"), Variant("m")});
    Variant args = Variant::MakeArray(VarType::kVariant, 0, 1);
    args.Array().At(0) = Variant(int32_t{1});
    args.Array().At(1) = Variant("a");
    Call(*trace, "EnterFunction", {Variant("Load"), args});
    Call(*trace, "EnterFunction", {Variant("Parse"), Variant("one")});
    Call(*trace, "TraceCallTree", {Variant(int32_t{1}), Variant("T")});
    Call(*trace, "LeaveFunction");  // the name comes from the stack
    EXPECT_EQ(seen,
              (Lines{"[2024/03/05 07:08:09][Src][  m]",
                     "[2024/03/05 07:08:09][Load][      Enter Load 1 a]",
                     "[2024/03/05 07:08:09][Parse][      Enter Parse one]",
                     "[2024/03/05 07:08:09][T][Calltree: Parse;Load]",
                     "[2024/03/05 07:08:09][Parse][      Leave Parse]"}));
    EXPECT_EQ(KVLTrace::CallStack(), Lines{"Load"});
    // The client has no Connect: the failure reaches the caller.
    EXPECT_EQ(RaisedNumber([&] { Call(*trace, "TraceConnect"); }), 438);
    Reset();
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST_F(TraceLateBoundTest, DebugTraceFiresOneNotificationPerLine) {
  LiveObjectCheck leaks;
  {
    Ref<Object> debug = CreateObject("KVLCommon.KVLDebugTrace");
    Lines seen;
    static_cast<KVLDebugTrace*>(debug.get())->Connect(Client("Trace", seen));
    trace_->SetTraceMechanismRef(debug);
    trace_->SetTraceFilter(STF_Moderate);
    EXPECT_TRUE(trace_->TraceConnect());
    EXPECT_TRUE(trace_->TraceConnected());
    trace_->Trace(STL_Moderate, "S", "filtered");
    trace_->Trace(STL_Verbose, "S", "passes");
    // By name through the interface it implements; its own table is empty.
    Ref<Object> mechanism = debug->QueryInterface("IKVLTraceMechanism");
    Call(*mechanism, "Trace", {Variant("t"), Variant("src"), Variant("as is")});
    EXPECT_EQ(seen,
              (Lines{"[2024/03/05 07:08:09][S][  passes]", "[t][src][as is]"}));
    // Members of an implemented interface answer on the object too.
    EXPECT_EQ(RaisedNumber([&] { Call(*debug, "Connected"); }), 0);
    Reset();
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST(ResourceLockTest, CreateOnceObtainRecursivelyTakeOverAbandoned) {
  LiveObjectCheck leaks;
  {
    auto lock = MakeRef<ResourceLock>();
    EXPECT_FALSE(lock->ObtainLock());  // no mutex yet
    EXPECT_NE(lock->CreateLock("journal", true), 0);
    EXPECT_EQ(lock->CreateLock("other", false), 0);
    EXPECT_EQ(Call(*lock, "Name", {}, CallKind::kGet), Variant("journal"));
    EXPECT_EQ(Call(*lock, "ObtainLock"), Variant(true));  // owner: recursive
    // It ends while its thread holds it twice: released and closed.

    auto shared = MakeRef<ResourceLock>();
    ASSERT_NE(shared->CreateLock("shared", false), 0);
    bool obtained = false;
    std::thread([&] { obtained = shared->ObtainLock(); }).join();  // kept
    EXPECT_TRUE(obtained);
    EXPECT_TRUE(shared->ObtainLock());  // taken over from the ended thread
    shared->ReleaseLock();
    std::thread([&] {
      obtained = shared->ObtainLock();
      shared->ReleaseLock();
    }).join();
    EXPECT_TRUE(obtained);
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

}  // namespace
}  // namespace kvl

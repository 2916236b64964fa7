#include "kvl/runtime/client_call.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <new>
#include <stdexcept>
#include <string>
#include <thread>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/notifier.h"

namespace kvl {
namespace {

class ClientCallTest : public testing::Test {
 protected:
  void SetUp() override { ClearErrorRecord(); }
  // Leaves a failure in the error record, as an earlier call might.
  static void LeaveStaleRecord() {
    SetErrorRecord(KVLError(kErrOverflow, "Earlier", "stale"));
  }
};

TEST_F(ClientCallTest, ContainsEveryFailureAsAKVLError) {
  auto contained = [](auto raise) {
    return CallClient(ClientFailure::kReturn, raise).value();
  };
  KVLError own = contained([] { Raise(kErrTypeMismatch, "Client"); });
  EXPECT_EQ(own.number(), kErrTypeMismatch);
  EXPECT_EQ(own.source(), "Client");
  KVLError standard = contained([] { throw std::runtime_error("disk full"); });
  EXPECT_EQ(standard.number(), kE_FAIL);
  EXPECT_EQ(standard.description(), "disk full");
  KVLError other = contained([] { throw 42; });
  EXPECT_EQ(other.number(), kE_FAIL);
  EXPECT_EQ(other.description(), "Unknown failure");
  EXPECT_FALSE(CallClient(ClientFailure::kReturn, [] {}));
  EXPECT_FALSE(TakeErrorRecord().set);  // kReturn leaves the record alone
}

TEST_F(ClientCallTest, OutOfMemoryPropagatesWhateverThePolicy) {
  for (ClientFailure policy :
       {ClientFailure::kRecord, ClientFailure::kClear, ClientFailure::kReturn}) {
    EXPECT_THROW(CallClient(policy, [] { throw std::bad_alloc(); }),
                 std::bad_alloc);
  }
}

TEST_F(ClientCallTest, RecordKeepsTheFailureAndClearLeavesNone) {
  CallClient(ClientFailure::kRecord, [] { Raise(kErrInvalidArgument); });
  ErrorRecord record = TakeErrorRecord();
  EXPECT_TRUE(record.set);
  EXPECT_EQ(record.number, kErrInvalidArgument);

  LeaveStaleRecord();
  CallClient(ClientFailure::kRecord, [] {});
  EXPECT_EQ(TakeErrorRecord().description, "stale");  // success records none

  LeaveStaleRecord();
  bool saw_clear_record = false;
  CallClient(ClientFailure::kClear, [&] {
    saw_clear_record = !TakeErrorRecord().set;
    Raise(kErrInvalidArgument);
  });
  EXPECT_TRUE(saw_clear_record);
  EXPECT_FALSE(TakeErrorRecord().set);
}

// Cancellation unwinds through the helper: pthread_exit from client code
// ends the thread instead of being contained (which would abort).
TEST_F(ClientCallTest, ThreadCancellationPropagates) {
  bool went_on = false;
  std::thread([&] {
    CallClient(ClientFailure::kRecord, [] { pthread_exit(nullptr); });
    went_on = true;
  }).join();
  EXPECT_FALSE(went_on);
}

class ITick {
 public:
  virtual void Tick() = 0;

 protected:
  ~ITick() = default;
};

class ThrowingSink : public Object, public ITick {
  KVL_DECLARE_CLASS(ThrowingSink)
 public:
  void Tick() override {
    ++calls;
    if (out_of_memory) throw std::bad_alloc();
    throw 7;  // not even a std::exception
  }
  int calls = 0;
  bool out_of_memory = false;
};

const ClassInfo& ThrowingSink::StaticClass() {
  static const ClassInfo info("ThrowingSink", ClassKind::kPrivate, {});
  return info;
}

TEST_F(ClientCallTest, NotifierRecordsASinksFailureAndCallsTheRest) {
  Notifier<ITick> tick;
  auto first = MakeRef<ThrowingSink>();
  auto second = MakeRef<ThrowingSink>();
  tick.Connect(first);
  tick.Connect(second);
  tick.Fire<&ITick::Tick>("Tick");
  EXPECT_EQ(first->calls + second->calls, 2);
  EXPECT_EQ(TakeErrorRecord().description, "Unknown failure");

  first->out_of_memory = true;
  EXPECT_THROW(tick.Fire<&ITick::Tick>("Tick"), std::bad_alloc);
}

}  // namespace
}  // namespace kvl

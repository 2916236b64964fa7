// The bus's heartbeat and the deferred start, under virtual time.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "kvl/events/event_bus.h"
#include "kvl/events/thread_starter.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/message_loop.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

class HeartbeatTest : public ::testing::Test {
 protected:
  HeartbeatTest() {
    StartLibrary();
    receiver_->OnMethod("EventHandler", [this](std::span<Variant> a) {
      Variant text = a[0].AsObject()->Invoke("ToString", CallKind::kGet, {});
      ticks_.push_back(ToText(text));
      if (fail_) Raise(kErrInvalidArgument);
      return Variant();
    });
  }
  // A running heartbeat of `frequency` s checked every `resolution` ms,
  // listened to with `pattern`.
  void Start(int16_t frequency, int16_t resolution,
             const std::string& pattern = "EventBus/From/Tick") {
    bus_->ListenString(receiver_, pattern);
    bus_->SetTickFrequency(frequency);
    bus_->SetTimerResolution(resolution);
    bus_->SetTimerEnabled(true);
  }
  void Run(int64_t ms) { MessageLoop::Current().RunFor(ms); }

  ScopedManualClock clock_{MakeDate(2024, 3, 5, 7, 8, 9), 0u};
  Ref<EventBus> bus_ = MakeRef<EventBus>();
  Ref<DynamicObject> receiver_ = MakeRef<DynamicObject>("Receiver");
  std::vector<std::string> ticks_;
  bool fail_ = false;
};

TEST_F(HeartbeatTest, ResolutionIsCappedByFrequencyInSixteenBits) {
  bus_->SetTimerResolution(500);
  EXPECT_EQ(bus_->TimerResolution(), 0);
  bus_->SetTickFrequency(1);
  bus_->SetTimerResolution(500);
  EXPECT_EQ(bus_->TimerResolution(), 500);
  bus_->SetTickFrequency(2);
  bus_->SetTimerResolution(5000);
  EXPECT_EQ(bus_->TimerResolution(), 2000);
  EXPECT_EQ(RaisedNumber([&] { bus_->SetTickFrequency(33); }), kErrOverflow);
  EXPECT_EQ(bus_->TickFrequency(), 33);
  EXPECT_EQ(RaisedNumber([&] { bus_->SetTimerResolution(1); }), kErrOverflow);
  EXPECT_EQ(bus_->TimerResolution(), 2000);
  // Late-bound, at the head of the member table.
  Variant v(int16_t{4});
  bus_->Invoke("TickFrequency", CallKind::kLet, std::span<Variant>(&v, 1));
  EXPECT_EQ(ToI2(bus_->Invoke("TickFrequency", CallKind::kGet, {})), 4);
  EXPECT_EQ(bus_->Class().members()[0].name, "TickFrequency");
}

TEST_F(HeartbeatTest, TicksCarryTheTimeOncePerFrequency) {
  Start(1, 250);
  Run(3000);
  ASSERT_EQ(ticks_.size(), 3u);
  EXPECT_EQ(ticks_[0],
            "EventBus/From/Tick TimeString=20240305070810 Year=2024 Month=3 "
            "Day=5 Hour=7 Minute=8 Second=10");
  EXPECT_NE(ticks_[1].find("Second=11"), std::string::npos);
  EXPECT_NE(ticks_[2].find("Second=12"), std::string::npos);
}

TEST_F(HeartbeatTest, QualifierPicksFullMinutesAndFailuresDoNotStopIt) {
  fail_ = true;
  Start(1, 500, "EventBus/From/Tick Second=0");
  Run(120000);
  ASSERT_EQ(ticks_.size(), 2u);
  EXPECT_NE(ticks_[0].find("Minute=9 Second=0"), std::string::npos);
  EXPECT_NE(ticks_[1].find("Minute=10 Second=0"), std::string::npos);
}

TEST_F(HeartbeatTest, SwitchingRestartsTheCountAndOffStopsTheTimer) {
  size_t idle_timers = MessageLoop::Current().TimerCount();
  bus_->SetTimerEnabled(false);  // nothing to stop
  Start(2, 500);
  Run(1500);
  bus_->SetTimerEnabled(true);  // the count starts again
  EXPECT_EQ(MessageLoop::Current().TimerCount(), idle_timers + 1);
  Run(1500);
  EXPECT_TRUE(ticks_.empty());
  Run(500);
  EXPECT_EQ(ticks_.size(), 1u);
  bus_->SetTimerEnabled(false);
  EXPECT_EQ(MessageLoop::Current().TimerCount(), idle_timers);
  Run(10000);
  EXPECT_EQ(ticks_.size(), 1u);
}

TEST_F(HeartbeatTest, BusMayEndFromInsideItsOwnTick) {
  LiveObjectCheck leaks;
  size_t idle_timers = MessageLoop::Current().TimerCount();
  {
    auto bus = MakeRef<EventBus>();
    auto dropper = MakeRef<DynamicObject>("Dropper");
    dropper->OnMethod("EventHandler", [&](std::span<Variant>) {
      ticks_.push_back("tick");
      bus = nullptr;  // the delivery keeps the bus until the tick ends
      return Variant();
    });
    bus->ListenString(dropper, "EventBus/From/Tick");
    bus->SetTickFrequency(1);
    bus->SetTimerResolution(100);
    bus->SetTimerEnabled(true);
    Run(5000);
    EXPECT_EQ(ticks_.size(), 1u);
  }
  EXPECT_EQ(MessageLoop::Current().TimerCount(), idle_timers);
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST_F(HeartbeatTest, ThreadStarterRunsOnceFromTheLoopThenLetsGo) {
  LiveObjectCheck leaks;
  int runs = 0;
  {
    auto job = MakeRef<DynamicObject>("Job");
    job->OnMethod("Run", [&](std::span<Variant>) {
      ++runs;
      return Variant();
    });
    auto first = MakeRef<DynamicObject>("First");
    first->OnMethod("Run", [&](std::span<Variant>) {
      runs += 100;
      return Variant();
    });
    Ref<Object> starter = CreateObject("KVLCommon.ThreadStarter");
    Variant r(first);
    starter->Invoke("Runnable", CallKind::kSet, std::span<Variant>(&r, 1));
    static_cast<ThreadStarter&>(*starter).SetRunnableRef(job);  // replaces
  }
  Run(219);
  EXPECT_EQ(runs, 0);
  Run(1);
  EXPECT_EQ(runs, 1);
  Run(5000);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST_F(HeartbeatTest, ArmedStarterAndHeartbeatEndWithTheirThread) {
  LiveObjectCheck leaks;
  int runs = 0;
  std::thread([&] {
    auto job = MakeRef<DynamicObject>("Job");
    job->OnMethod("Run", [&](std::span<Variant>) {
      ++runs;
      return Variant();
    });
    MakeRef<ThreadStarter>()->SetRunnableRef(job);
    auto bus = MakeRef<EventBus>();
    bus->SetTickFrequency(1);
    bus->SetTimerResolution(100);
    bus->SetTimerEnabled(true);
  }).join();
  EXPECT_EQ(runs, 0);
  EXPECT_EQ(leaks.Delta(), 0);
}

}  // namespace
}  // namespace kvl

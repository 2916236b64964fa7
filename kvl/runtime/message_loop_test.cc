#include "kvl/runtime/message_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>

#include <chrono>
#include <future>
#include <latch>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/error.h"

namespace kvl {
namespace {

using ::testing::ElementsAre;

class MessageLoopTest : public ::testing::Test {
 protected:
  MessageLoopTest() : clock_(MakeDate(2024, 3, 5, 7, 8, 9), 1000) {}
  ~MessageLoopTest() override {
    for (uint32_t id : ids_) loop_.KillTimer(id);
    loop_.Pump();  // drain tasks left by a failed test
  }
  // A timer that logs "name@ms since the test began".
  uint32_t Every(uint32_t ms, std::string name) {
    return Keep(loop_.SetTimer(ms, [this, name](uint32_t) { Log(name); }));
  }
  uint32_t Keep(uint32_t id) {
    ids_.push_back(id);
    return id;
  }
  void Log(const std::string& name) {
    log_.push_back(name + "@" + std::to_string(Clock::TickCount() - 1000));
  }

  ScopedManualClock clock_;
  MessageLoop& loop_ = MessageLoop::Current();
  std::vector<std::string> log_;
  std::vector<uint32_t> ids_;
};

TEST_F(MessageLoopTest, TimersFireInDueOrderAsTheClockRuns) {
  Every(300, "a");
  Every(200, "b");
  loop_.RunFor(650);
  EXPECT_THAT(log_, ElementsAre("b@200", "a@300", "b@400", "a@600", "b@600"));
  EXPECT_EQ(Clock::TickCount(), 1650u);
  // The clock's date moved with the ticks (text rounds to the second).
  EXPECT_EQ(FormatDateTime(Clock::Now(), "hh:nn:ss"), "07:08:10");
  loop_.RunFor(1000);
  EXPECT_EQ(FormatDateTime(Clock::Now(), "hh:nn:ss"), "07:08:11");
}

TEST_F(MessageLoopTest, LateTimerFiresOnceAndCountsFromThen) {
  Every(100, "t");
  clock_.Advance(350);  // the loop did not run meanwhile
  EXPECT_EQ(loop_.Pump(), 1);
  EXPECT_EQ(loop_.Pump(), 0);
  EXPECT_EQ(loop_.NextDueIn(), 100u);
  EXPECT_THAT(log_, ElementsAre("t@350"));
}

TEST_F(MessageLoopTest, CallbacksMayKillAndSetTimers) {
  uint32_t victim = Every(50, "victim");
  int fired = 0;
  uint32_t killer = loop_.SetTimer(20, [&](uint32_t self) {
    ++fired;
    loop_.KillTimer(self);
    loop_.KillTimer(victim);
    Keep(loop_.SetTimer(5, [&](uint32_t) { log_.push_back("new"); }));
  });
  loop_.RunFor(35);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(loop_.KillTimer(killer));
  EXPECT_FALSE(loop_.KillTimer(victim));
  // The new timer was raised to the minimum interval: due at 30.
  EXPECT_THAT(log_, ElementsAre("new"));
}

TEST_F(MessageLoopTest, ResetTimerCountsTheNewIntervalFromNow) {
  uint32_t id = Every(100, "t");
  loop_.RunFor(50);
  EXPECT_TRUE(loop_.ResetTimer(id, 300));
  loop_.RunFor(700);
  EXPECT_THAT(log_, ElementsAre("t@350", "t@650"));
  EXPECT_FALSE(loop_.ResetTimer(12345, 10));
}

TEST_F(MessageLoopTest, PostedTasksRunBeforeTimersAndRunStopsWhenIdle) {
  std::vector<int> order;
  loop_.Post([&] {
    order.push_back(1);
    loop_.Post([&] { order.push_back(3); });  // next pump
  });
  Keep(loop_.SetTimer(10, [&](uint32_t self) {
    order.push_back(2);
    loop_.KillTimer(self);
  }));
  loop_.Run();  // manual clock: moves to the timer, then nothing is left
  EXPECT_THAT(order, ElementsAre(1, 3, 2));
  EXPECT_EQ(loop_.TimerCount(), 0u);
}

TEST_F(MessageLoopTest, TicksWrapAroundWithoutLosingTimers) {
  ScopedManualClock near_wrap(MakeDate(2024, 1, 1), 0xFFFFFF00u);
  int fired = 0;
  Keep(loop_.SetTimer(0x200, [&](uint32_t) { ++fired; }));
  loop_.RunFor(0x1FF);
  EXPECT_EQ(fired, 0);
  loop_.RunFor(1);
  EXPECT_EQ(fired, 1);
}

// A callback that runs the loop (a long load that keeps the application
// responsive) sees the other due timers fire once, inside it, and never
// again for the same due time afterwards.
TEST_F(MessageLoopTest, CallbacksThatRunTheLoopFireEachDueTimeOnce) {
  Keep(loop_.SetTimer(100, [&](uint32_t) {
    Log("pump");
    loop_.Pump();
  }));
  Every(100, "b");
  Every(100, "c");
  clock_.Advance(100);
  EXPECT_EQ(loop_.Pump(), 1);  // b and c fired in the nested pump
  EXPECT_THAT(log_, ElementsAre("pump@100", "b@100", "c@100"));

  log_.clear();
  uint32_t load = Keep(loop_.SetTimer(250, [&](uint32_t self) {
    Log("load");
    loop_.KillTimer(self);  // its callback still runs to the end
    loop_.RunFor(120);
    Log("loaded");
  }));
  loop_.RunFor(300);
  EXPECT_FALSE(loop_.KillTimer(load));
  EXPECT_THAT(log_,
              ElementsAre("pump@200", "b@200", "c@200",  //
                          "pump@300", "b@300", "c@300",  //
                          "load@350",                    //
                          "pump@400", "b@400", "c@400",  // inside the load
                          "loaded@470"));
}

TEST_F(MessageLoopTest, RunForTakesSixtyFourBitStretches) {
  int fired = 0;
  Keep(loop_.SetTimer(3'600'000, [&](uint32_t) { ++fired; }));
  const int64_t stretch = (int64_t{1} << 32) + 5;
  loop_.RunFor(stretch);
  EXPECT_EQ(fired, 1193);  // 2^32 ms is 1193.05 hours
  EXPECT_EQ(Clock::TickCount64(), 1000u + static_cast<uint64_t>(stretch));
  loop_.RunFor(-5);  // nothing: the clock stays
  EXPECT_EQ(Clock::TickCount64(), 1000u + static_cast<uint64_t>(stretch));
}

TEST_F(MessageLoopTest, WrappedIdNeverReplacesALiveTimer) {
  loop_.SetNextTimerIdForTesting(0xFFFFFFFFu);
  uint32_t last = Every(100, "last");
  uint32_t first = Every(100, "first");  // the counter wrapped past 0
  EXPECT_EQ(last, 0xFFFFFFFFu);
  EXPECT_EQ(first, 1u);
  loop_.SetNextTimerIdForTesting(last);
  uint32_t fresh = Every(100, "fresh");
  EXPECT_NE(fresh, last);
  EXPECT_NE(fresh, first);
  EXPECT_NE(fresh, 0u);
  EXPECT_EQ(loop_.TimerCount(), 3u);
  loop_.RunFor(100);
  EXPECT_THAT(log_, ElementsAre("last@100", "first@100", "fresh@100"));
}

TEST_F(MessageLoopTest, FailingCallbacksAreContainedAndTheLoopGoesOn) {
  Keep(loop_.SetTimer(100, [](uint32_t) { throw std::runtime_error("x"); }));
  Keep(loop_.SetTimer(100, [](uint32_t) { Raise(kErrOverflow); }));
  Every(100, "ok");
  loop_.Post([] { throw std::logic_error("task"); });
  loop_.Post([&] { log_.push_back("after"); });
  loop_.RunFor(250);
  EXPECT_THAT(log_, ElementsAre("after", "ok@100", "ok@200"));
}

// What a callback raises is kept in the error record, whatever its type;
// out of memory ends the run, and the loop works on afterwards.
TEST_F(MessageLoopTest, FailuresFollowTheClientCallRule) {
  ClearErrorRecord();
  loop_.Post([] { throw 42; });
  loop_.Pump();
  EXPECT_EQ(TakeErrorRecord().description, "Unknown failure");
  bool starved = true;
  Keep(loop_.SetTimer(100, [&](uint32_t) {
    if (std::exchange(starved, false)) throw std::bad_alloc();
    Log("fed");
  }));
  EXPECT_THROW(loop_.RunFor(100), std::bad_alloc);
  loop_.RunFor(100);
  EXPECT_THAT(log_, ElementsAre("fed@200"));
}

// Switching clocks keeps the tick counter, so a timer keeps its due time
// whichever clock it was armed on; scoped clocks restore what they found.
TEST(ClockSwitchTest, TimersKeepTheirDueTimeAcrossClockSwitches) {
  MessageLoop& loop = MessageLoop::Current();
  uint32_t id = loop.SetTimer(60'000, [](uint32_t) {});
  {
    ScopedManualClock clock(MakeDate(2024, 1, 1));
    EXPECT_GT(loop.NextDueIn(), 50'000u);
    clock.Advance(10'000);
    {
      ScopedManualClock inner(MakeDate(2030, 1, 1), 5);
      EXPECT_EQ(Clock::TickCount(), 5u);
    }
    EXPECT_TRUE(Clock::IsManual());
    EXPECT_EQ(FormatDateTime(Clock::Now(), "yyyy-mm-dd hh:nn:ss"),
              "2024-01-01 00:00:10");
    EXPECT_TRUE(loop.KillTimer(id));

    id = loop.SetTimer(60'000, [](uint32_t) {});
    clock.Advance(20'000);
  }
  EXPECT_FALSE(Clock::IsManual());
  EXPECT_LE(loop.NextDueIn(), 40'000u);
  EXPECT_GT(loop.NextDueIn(), 30'000u);
  loop.KillTimer(id);
}

// Cross-thread posting runs on the system clock with real threads.
class LoopThreadsTest : public ::testing::Test {
 protected:
  MessageLoop& loop_ = MessageLoop::Current();
};

TEST_F(LoopThreadsTest, PostsFromOtherThreadsRunOnTheOwnerAndWakeRun) {
  const std::thread::id owner = std::this_thread::get_id();
  int ran = 0;  // only the owner touches it
  bool all_on_owner = true;
  std::vector<std::thread> workers;
  {
    LoopHandle handle = loop_.Handle();
    for (int w = 0; w < 3; ++w) {
      workers.emplace_back([handle, &ran, &all_on_owner, owner] {
        for (int i = 0; i < 500; ++i) {
          EXPECT_TRUE(handle.Post([&ran, &all_on_owner, owner] {
            ++ran;
            all_on_owner &= std::this_thread::get_id() == owner;
          }));
        }
      });
    }
  }
  // Run waits (no timers) until the workers are done and their handles
  // gone.
  loop_.Run();
  for (std::thread& w : workers) w.join();
  EXPECT_EQ(ran, 1500);
  EXPECT_TRUE(all_on_owner);
}

TEST_F(LoopThreadsTest, APostWakesRunForAtOnce) {
  std::promise<void> waiting;
  LoopHandle handle = loop_.Handle();
  std::thread worker([&] {
    waiting.get_future().wait();
    handle.Post([] { MessageLoop::Current().Quit(); });
  });
  const auto start = std::chrono::steady_clock::now();
  loop_.Post([&] { waiting.set_value(); });
  loop_.RunFor(600'000);  // ten minutes unless the post wakes it
  worker.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::minutes(1));
}

TEST_F(LoopThreadsTest, PollFdIsReadableExactlyWhileWorkIsDue) {
  int fd = loop_.PollFd();
  EXPECT_EQ(loop_.PollFd(), fd);
  loop_.Pump();  // whatever earlier tests left
  auto readable = [fd](int timeout_ms) {
    pollfd p{fd, POLLIN, 0};
    return poll(&p, 1, timeout_ms) == 1;
  };
  EXPECT_FALSE(readable(0));

  std::thread worker([handle = loop_.Handle()] { handle.Post([] {}); });
  EXPECT_TRUE(readable(-1));
  worker.join();
  EXPECT_EQ(loop_.Pump(), 1);
  EXPECT_FALSE(readable(0));

  int fired = 0;
  uint32_t id = loop_.SetTimer(10, [&](uint32_t) { ++fired; });
  EXPECT_FALSE(readable(0));
  EXPECT_TRUE(readable(60'000));
  EXPECT_EQ(loop_.Pump(), 1);
  EXPECT_FALSE(readable(0));  // re-armed for the next time
  loop_.KillTimer(id);
  EXPECT_EQ(fired, 1);
}

// Counts its live instances; its destructor may call into the loop.
struct Tracked {
  explicit Tracked(std::function<void()> on_end = nullptr)
      : on_end(std::move(on_end)) {
    ++live;
  }
  ~Tracked() {
    --live;
    if (on_end) on_end();
  }
  std::function<void()> on_end;
  static inline std::atomic<int> live{0};
};

TEST_F(LoopThreadsTest, AThreadEndsWithArmedTimersAndQueuedTasks) {
  std::promise<LoopHandle> handed;
  std::thread worker([&] {
    MessageLoop& loop = MessageLoop::Current();
    // Dropped callbacks that call back into the dying loop.
    auto reentrant = std::make_shared<Tracked>([&loop] {
      loop.KillTimer(1);
      EXPECT_EQ(loop.SetTimer(10, [](uint32_t) {}), 0u);
      EXPECT_FALSE(loop.Post([] {}));
    });
    loop.SetTimer(10, [reentrant](uint32_t) {});
    loop.SetTimer(20, [t = std::make_shared<Tracked>()](uint32_t) {});
    loop.Post([reentrant] {});
    loop.Post([t = std::make_shared<Tracked>()] {});
    reentrant.reset();
    handed.set_value(loop.Handle());
  });
  LoopHandle handle = handed.get_future().get();
  worker.join();
  EXPECT_EQ(Tracked::live, 0);
  auto kept = std::make_shared<int>(0);
  EXPECT_FALSE(handle.Post([kept] {}));
  EXPECT_EQ(kept.use_count(), 1);  // the refused task is gone
  EXPECT_FALSE(LoopHandle().Post([] {}));
}

}  // namespace
}  // namespace kvl

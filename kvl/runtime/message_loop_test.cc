#include "kvl/runtime/message_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"

namespace kvl {
namespace {

class MessageLoopTest : public ::testing::Test {
 protected:
  MessageLoopTest() : clock_(MakeDate(2024, 3, 5, 7, 8, 9), 1000) {}
  ~MessageLoopTest() override {
    for (uint32_t id : ids_) loop_.KillTimer(id);
    loop_.Pump();  // drain tasks left by a failed test
  }
  uint32_t Every(uint32_t ms, std::string name) {
    uint32_t id = loop_.SetTimer(ms, [this, name](uint32_t) {
      log_.push_back(name + "@" + std::to_string(Clock::TickCount() - 1000));
    });
    ids_.push_back(id);
    return id;
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
  EXPECT_THAT(log_, ::testing::ElementsAre("b@200", "a@300", "b@400",
                                           "a@600", "b@600"));
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
  EXPECT_THAT(log_, ::testing::ElementsAre("t@350"));
}

TEST_F(MessageLoopTest, CallbacksMayKillAndSetTimers) {
  uint32_t victim = Every(50, "victim");
  int fired = 0;
  uint32_t killer = loop_.SetTimer(20, [&](uint32_t self) {
    ++fired;
    loop_.KillTimer(self);
    loop_.KillTimer(victim);
    ids_.push_back(loop_.SetTimer(5, [&](uint32_t) { log_.push_back("new"); }));
  });
  loop_.RunFor(35);
  EXPECT_EQ(fired, 1);
  EXPECT_FALSE(loop_.KillTimer(killer));
  EXPECT_FALSE(loop_.KillTimer(victim));
  // The new timer was raised to the minimum interval: due at 30.
  EXPECT_THAT(log_, ::testing::ElementsAre("new"));
}

TEST_F(MessageLoopTest, PostedTasksRunBeforeTimersAndRunStopsWhenIdle) {
  std::vector<int> order;
  loop_.Post([&] {
    order.push_back(1);
    loop_.Post([&] { order.push_back(3); });  // next pump
  });
  uint32_t id = loop_.SetTimer(10, [&](uint32_t self) {
    order.push_back(2);
    loop_.KillTimer(self);
  });
  ids_.push_back(id);
  loop_.Run();  // manual clock: moves to the timer, then nothing is left
  EXPECT_THAT(order, ::testing::ElementsAre(1, 3, 2));
  EXPECT_EQ(loop_.TimerCount(), 0u);
}

TEST_F(MessageLoopTest, TicksWrapAroundWithoutLosingTimers) {
  ScopedManualClock near_wrap(MakeDate(2024, 1, 1), 0xFFFFFF00u);
  int fired = 0;
  ids_.push_back(loop_.SetTimer(0x200, [&](uint32_t) { ++fired; }));
  loop_.RunFor(0x1FF);
  EXPECT_EQ(fired, 0);
  loop_.RunFor(1);
  EXPECT_EQ(fired, 1);
}

}  // namespace
}  // namespace kvl

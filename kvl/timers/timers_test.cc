// Timers under virtual time: callback timers and their table, the timer
// control, long timers run down in one-minute steps, and queues of named
// timers over one control.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "kvl/collections/sorted_collection.h"
#include "kvl/frame/library.h"
#include "kvl/frame/testing/catalogue_expectations.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/message_loop.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/timers/internal/timer_table.h"
#include "kvl/timers/long_timer.h"
#include "kvl/timers/queued_timer.h"
#include "kvl/timers/timer_control.h"
#include "kvl/timers/timer_obj.h"

namespace kvl {
namespace {

class TimersTest : public ::testing::Test {
 protected:
  TimersTest() { StartLibrary(); }

  // A late-bound object recording each call of `member` (with its first
  // argument, if any) into log_.
  Ref<DynamicObject> Recorder(const std::string& member,
                              std::function<void()> also = {}) {
    auto o = MakeRef<DynamicObject>("Recorder");
    o->OnMethod(member, [this, member, also](std::span<Variant> a) {
      log_.push_back(a.empty() ? member : ToText(a[0]));
      if (also) also();
      return Variant();
    });
    return o;
  }
  void Run(int64_t ms) { MessageLoop::Current().RunFor(ms); }
  TimerTable& table() { return LibraryState<TimerTable>(); }

  ScopedManualClock clock_{MakeDate(2024, 3, 5, 7, 8, 9), 0u};
  std::vector<std::string> log_;
};

TEST_F(TimersTest, Catalogue) {
  ExpectCatalogueKinds({{"TimerObj", ClassKind::kCreatable},
                        {"TimerControl", ClassKind::kCreatable},
                        {"LongTimer", ClassKind::kCreatable},
                        {"QueuedTimer", ClassKind::kCreatable},
                        {"TimerComparator", ClassKind::kCreatable}});
}

TEST_F(TimersTest, TimerObjFiresOnceOrRepeatsUntilStopped) {
  LiveObjectCheck leaks;
  {
    auto once = MakeRef<TimerObj>();
    once->Connect(Recorder("Time"));
    once->SetInterval(500);
    Run(2000);
    EXPECT_EQ(log_.size(), 1u);
    EXPECT_EQ(once->TimerId(), 0u);

    log_.clear();
    auto again = MakeRef<TimerObj>();
    again->SetTriggerOnce(false);
    again->Connect(Recorder("Time"));
    again->SetInterval(500);
    Run(1600);
    EXPECT_EQ(log_.size(), 3u);
    EXPECT_FALSE(again->StopTimer());
    Run(2000);
    EXPECT_EQ(log_.size(), 3u);
    EXPECT_EQ(table().size(), 0u);
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST_F(TimersTest, TimerObjStartRulesAndRestart) {
  auto t = MakeRef<TimerObj>();
  EXPECT_FALSE(t->StartTimer());  // Interval 0
  t->SetStartNow(false);
  t->SetInterval(300);
  EXPECT_EQ(table().size(), 0u);
  EXPECT_TRUE(t->StartTimer());
  size_t loop_timers = MessageLoop::Current().TimerCount();
  EXPECT_TRUE(t->StartTimer());  // replaces its loop timer
  EXPECT_EQ(table().size(), 1u);
  EXPECT_EQ(MessageLoop::Current().TimerCount(), loop_timers);
  t->SetInterval(0);  // does not stop it
  EXPECT_TRUE(table().IsActive(t->TimerId()));
  t->StopTimer();
  EXPECT_EQ(table().size(), 0u);
}

TEST_F(TimersTest, RunningTimerOutlivesTheClientsReferenceAndLateBinding) {
  LiveObjectCheck leaks;
  {
    Ref<Object> t = MakeRef<TimerObj>();
    Variant id("job 7");
    t->Invoke("ID", CallKind::kLet, std::span<Variant>(&id, 1));
    static_cast<TimerObj&>(*t).Connect(Recorder("Time"));
    Variant ms(int32_t{250});
    t->Invoke("Interval", CallKind::kLet, std::span<Variant>(&ms, 1));
    EXPECT_EQ(ToText(t->Invoke("ID", CallKind::kGet, {})), "job 7");
  }
  EXPECT_EQ(table().size(), 1u);
  Run(250);
  EXPECT_EQ(log_, std::vector<std::string>{"Time"});
  EXPECT_EQ(leaks.Delta(), 0);
}

TEST_F(TimersTest, FullTableRaisesTooManyTimers) {
  table().SetMaximumForTesting(1);
  auto a = MakeRef<TimerObj>();
  auto b = MakeRef<TimerObj>();
  a->SetInterval(100);
  try {
    b->SetInterval(100);
    ADD_FAILURE() << "no failure";
  } catch (const KVLError& e) {
    EXPECT_EQ(e.number(), 1001);
    EXPECT_EQ(e.source(), "KVLTimer.StartATimer");
    EXPECT_EQ(e.description(), "Too many timers");
  }
  table().SetMaximumForTesting(0);
  a->StopTimer();
}

TEST_F(TimersTest, TimerControlFiresWhileEnabledAndEndsQuietly) {
  auto c = MakeRef<TimerControl>();
  c->Connect(Recorder("Timer"));
  c->SetInterval(100);
  Run(300);
  EXPECT_TRUE(log_.empty());
  c->SetEnabled(true);
  Run(250);
  c->SetEnabled(true);  // already counting: no restart
  Run(100);
  EXPECT_EQ(log_.size(), 3u);
  EXPECT_EQ(RaisedNumber([&] { c->SetInterval(-1); }), kErrInvalidArgument);
  size_t before = MessageLoop::Current().TimerCount();
  c = nullptr;
  EXPECT_EQ(MessageLoop::Current().TimerCount(), before - 1);
}

class LongTimerTest : public TimersTest {
 protected:
  // A long timer named "Backup" over a TimerControl whose firings are
  // forwarded to it, notifying log_.
  Ref<LongTimer> Make() {
    auto t = MakeRef<LongTimer>();
    t->SetName("Backup");
    t->SetNotifyRef(Recorder("TimerExpire"));
    t->SetTimerRef(control_);
    LongTimer* raw = t.get();
    auto forward = MakeRef<DynamicObject>("Forward");
    forward->OnMethod("Timer", [raw](std::span<Variant>) {
      raw->expire();
      return Variant();
    });
    control_->Connect(forward);
    return t;
  }
  Ref<TimerControl> control_ = MakeRef<TimerControl>();
};

TEST_F(LongTimerTest, RunsDownInOneMinuteStepsThenExpires) {
  Ref<LongTimer> t = Make();
  t->SetIntervalSeconds(150);  // 2727 ticks: 149985 ms
  EXPECT_TRUE(t->Running());
  EXPECT_EQ(control_->Interval(), 60000);
  Run(60000);
  EXPECT_EQ(control_->Interval(), 60000);
  Run(60000);
  EXPECT_EQ(control_->Interval(), 29975);  // the rest, in whole ticks
  EXPECT_TRUE(log_.empty());
  Run(29975);
  EXPECT_EQ(log_, std::vector<std::string>{"Backup"});
  EXPECT_EQ(t->expired(), Variant(true));
  EXPECT_FALSE(control_->Enabled());
  t->SetInterval(1000);  // expiry is never reset
  EXPECT_TRUE(t->IsExpired());
  t->cancelTimer();
}

TEST_F(LongTimerTest, ZeroExpiresAtOnceAndRoundingGoesToEven) {
  Ref<LongTimer> t = Make();
  t->SetFineInterval(0);
  EXPECT_EQ(log_, std::vector<std::string>{"Backup"});
  EXPECT_FALSE(t->Running());

  t->SetInterval(5500);
  EXPECT_EQ(t->RemainingSeconds(), 6);
  t->SetInterval(16500);
  EXPECT_EQ(t->RemainingSeconds(), 16);
  t->SetInterval(1234);
  EXPECT_EQ(t->RemainingMilliSeconds() % 55, 0);
  EXPECT_EQ(t->ToString(), "Name=Backup Remaining=1210 Completion=07:08:10");
  EXPECT_EQ(RaisedNumber([&] { t->SetIntervalSeconds(2147484); }),
            kErrOverflow);
  // Clock ticks round to the nearest 55 ms.
  clock_.Advance(27);
  EXPECT_EQ(LongTimer::ClockTick(), 0);
  clock_.Advance(1);
  EXPECT_EQ(LongTimer::ClockTick(), 1);
}

TEST_F(LongTimerTest, FailuresOfControlAndNotifyReachTheCaller) {
  auto t = MakeRef<LongTimer>();
  auto bad = MakeRef<DynamicObject>("NoControl");
  EXPECT_EQ(RaisedNumber([&] { t->SetTimerRef(bad); }), kErrNotSupported);
  t->SetTimerRef(control_);
  auto failing = MakeRef<DynamicObject>("Failing");
  failing->OnMethod("TimerExpire", [](std::span<Variant>) -> Variant {
    Raise(kErrInvalidArgument);
  });
  t->SetNotifyRef(failing);
  EXPECT_EQ(RaisedNumber([&] { t->SetFineInterval(0); }), kErrInvalidArgument);
}

class QueuedTimerTest : public TimersTest {
 protected:
  QueuedTimerTest() {
    queue_->SetTimerRef(control_);
    notify_ = Recorder("TimerExpire");
  }
  Ref<LongTimer> Add(const std::string& name, int32_t ms) {
    return queue_->AddFineTimer(name, ms, notify_);
  }
  std::string Query() { return queue_->Query(); }

  Ref<TimerControl> control_ = MakeRef<TimerControl>();
  Ref<QueuedTimer> queue_ = MakeRef<QueuedTimer>();
  Ref<DynamicObject> notify_;
};

TEST_F(QueuedTimerTest, KeepsCompletionOrderAndArmsForTheFirst) {
  Add("Five", 5000);
  Add("One", 1000);
  Add("Three", 3000);
  EXPECT_EQ(Query(),
            "Timer interval: 990 Timer enabled:True QueueSize:3 "
            "Timer=One Remaining=990 Timer=Three Remaining=3025 "
            "Timer=Five Remaining=5005");
  Run(6000);  // the control's own firings drive the queue
  EXPECT_EQ(log_, (std::vector<std::string>{"One", "Three", "Five"}));
  EXPECT_EQ(Query(), "Timer interval: 1980 Timer enabled:False QueueSize:0");
}

TEST_F(QueuedTimerTest, TimersDueInOnePassAreAllNotifiedAndRemoved) {
  Add("B", 1000);
  Add("A", 1000);
  Add("Long", 600000);
  EXPECT_EQ(control_->Interval(), 990);
  clock_.Advance(2000);  // both overdue when the control finally fires
  queue_->expire();
  EXPECT_EQ(log_, (std::vector<std::string>{"B", "A"}));
  EXPECT_EQ(queue_->Queue()->Count(), 1);
  EXPECT_EQ(control_->Interval(), 60000);  // the 10-minute timer, one step
}

TEST_F(QueuedTimerTest, InvalidAddsReturnNothingAndChangeNothing) {
  EXPECT_FALSE(Add("", 1000));
  EXPECT_FALSE(queue_->AddFineTimer("X", 1000, nullptr));
  auto bare = MakeRef<QueuedTimer>();
  EXPECT_FALSE(bare->AddFineTimer("X", 1000, notify_));
  EXPECT_EQ(bare->Query(), "No Timer control; QueueSize:0");
  EXPECT_EQ(RaisedNumber([&] { bare->Clear(); }), kErrObjectNotSet);
  EXPECT_EQ(RaisedNumber([&] { bare->ReSynch(); }), kErrObjectNotSet);
  EXPECT_EQ(queue_->Queue()->Count(), 0);
  EXPECT_EQ(RaisedNumber([&] { queue_->AddTimer("X", 2147484, notify_); }),
            kErrOverflow);
}

TEST_F(QueuedTimerTest, CancelMatchesCaseAndRearmsForTheNewFirst) {
  Add("Poll", 1000);
  Ref<LongTimer> second = Add("Poll", 4000);
  queue_->CancelByName("poll");
  EXPECT_EQ(queue_->Queue()->Count(), 2);
  queue_->Cancel(second);  // the first of that name goes
  EXPECT_EQ(queue_->Queue()->Count(), 1);
  EXPECT_EQ(queue_->Queue()->at(0).get(), second.get());
  EXPECT_EQ(control_->Interval(), 4015);
  EXPECT_TRUE(control_->Enabled());
}

TEST_F(QueuedTimerTest, NotifierThatAddsFindsItsTimerArmed) {
  auto chain = MakeRef<DynamicObject>("Chain");
  QueuedTimer* queue = queue_.get();
  chain->OnMethod("TimerExpire",
                  [&, queue, chain_raw = chain.get()](std::span<Variant> a) {
                    log_.push_back(ToText(a[0]));
                    if (log_.size() == 1)
                      queue->AddFineTimer("Next", 2000, Ref<Object>(chain_raw));
                    return Variant();
                  });
  queue_->AddFineTimer("First", 1000, chain);
  Run(990);
  EXPECT_EQ(queue_->Queue()->Count(), 1);
  EXPECT_TRUE(control_->Enabled());
  EXPECT_EQ(control_->Interval(), 1980);
  Run(1980);
  EXPECT_EQ(log_, (std::vector<std::string>{"First", "Next"}));
}

TEST_F(QueuedTimerTest, FailingNotifierIsRetriedByReSynchAndClearDropsAll) {
  int calls = 0;
  auto failing = MakeRef<DynamicObject>("Failing");
  failing->OnMethod("TimerExpire", [&](std::span<Variant>) -> Variant {
    if (++calls == 1) throw std::runtime_error("not a library failure");
    return Variant();
  });
  queue_->AddFineTimer("Flaky", 0, failing);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(queue_->Queue()->Count(), 1);
  EXPECT_FALSE(control_->Enabled());
  queue_->ReSynch();
  EXPECT_EQ(calls, 2);
  EXPECT_EQ(queue_->Queue()->Count(), 0);

  Add("A", 1000);
  Add("B", 2000);
  queue_->Clear();
  EXPECT_EQ(queue_->Queue()->Count(), 0);
  EXPECT_FALSE(control_->Enabled());
  EXPECT_TRUE(log_.empty());
}

TEST_F(QueuedTimerTest, PublishedQueueIsTheStorageFromThenOn) {
  Add("Late", 3000);
  Add("Tie1", 1000);
  Add("Tie2", 1000);
  Ref<SortedCollection> published = queue_->Queue();
  EXPECT_EQ(queue_->Queue().get(), published.get());
  auto name_at = [&](int16_t i) {
    return published->at(i)->As<LongTimer>()->Name();
  };
  ASSERT_EQ(published->Count(), 3);
  EXPECT_EQ(name_at(0) + name_at(1) + name_at(2), "Tie1Tie2Late");
  Add("Tie3", 1000);  // after the equal ones already queued
  EXPECT_EQ(name_at(2), "Tie3");
  published->Remove(Variant(int16_t{0}));  // the client's change counts
  EXPECT_EQ(Query(),
            "Timer interval: 990 Timer enabled:True QueueSize:3 "
            "Timer=Tie2 Remaining=990 Timer=Tie3 Remaining=990 "
            "Timer=Late Remaining=3025");
  Run(3100);
  EXPECT_EQ(log_, (std::vector<std::string>{"Tie2", "Tie3", "Late"}));
}

TEST_F(QueuedTimerTest, FullQueueRefusesTheNextTimerAndLeavesTheControlOff) {
  for (int i = 0; i < 32680; ++i) ASSERT_TRUE(Add("T", 60000 + i));
  EXPECT_FALSE(Add("Extra", 1000));
  EXPECT_FALSE(control_->Enabled());
  EXPECT_EQ(control_->Interval(), 0);
  EXPECT_EQ(queue_->Queue()->Count(), 32680);
  queue_->ReSynch();
  EXPECT_TRUE(control_->Enabled());
}

TEST_F(QueuedTimerTest, LateBoundAndNoLeaks) {
  LiveObjectCheck leaks;
  {
    Ref<Object> q = CreateObject("KVLCommon.QueuedTimer");
    Ref<Object> c = CreateObject("KVLCommon.TimerControl");
    Variant cv(c);
    q->Invoke("Timer", CallKind::kSet, std::span<Variant>(&cv, 1));
    std::vector<Variant> args = {Variant("Job"), Variant(int32_t{2}),
                                 Variant(notify_)};
    Variant t = q->Invoke("AddTimer", CallKind::kMethod, args);
    EXPECT_EQ(ToText(t.AsObject()->Invoke("Name", CallKind::kGet, {})), "Job");
    Run(2000);
    EXPECT_EQ(log_, std::vector<std::string>{"Job"});
    EXPECT_EQ(ToText(q->Invoke("Query", CallKind::kGet, {})),
              "Timer interval: 1980 Timer enabled:False QueueSize:0");
  }
  EXPECT_EQ(leaks.Delta(), 0);
}

}  // namespace
}  // namespace kvl

// MessageLoop: the per-thread loop from which timer callbacks and posted
// work run.
//
// The library has no thread of its own. Timers armed by its classes fire
// on the thread that armed them, when that thread's loop runs: Pump() (the
// library's "let the loop run": due timers and posted tasks, then return),
// Run() until Quit(), or RunFor() for a stretch of time. Time is the
// library clock (clock.h): with a manual clock, RunFor() moves the clock
// from one due timer to the next, so tests drive hours of timers without
// sleeping.
//
// Timers repeat every interval until killed. Like the platform's timer
// messages, a timer that fell behind fires once when the loop gets to it,
// not once per missed interval; its next time is counted from that firing.
// Callbacks may set and kill timers (their own too) and post tasks; a timer
// killed before its turn does not fire.
//
// Threading: one loop per thread (Current()); use it only on its thread.
//
//   MessageLoop& loop = MessageLoop::Current();
//   uint32_t id = loop.SetTimer(1000, [&](uint32_t) { ++ticks; });
//   loop.RunFor(5000);        // manual clock: five ticks, clock +5 s
//   loop.KillTimer(id);
#ifndef KVL_RUNTIME_MESSAGE_LOOP_H_
#define KVL_RUNTIME_MESSAGE_LOOP_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>

namespace kvl {

class MessageLoop {
 public:
  using TimerCallback = std::function<void(uint32_t timer_id)>;
  using Task = std::function<void()>;

  // The shortest interval; shorter requests (also 0) are raised to it.
  static constexpr uint32_t kMinimumInterval = 10;

  static MessageLoop& Current();

  // Starts a repeating timer, first due `interval_ms` from now; returns its
  // id (never 0).
  uint32_t SetTimer(uint32_t interval_ms, TimerCallback callback);
  // Gives timer `id` a new interval counted from now; false when unknown.
  bool ResetTimer(uint32_t id, uint32_t interval_ms);
  // Stops timer `id`; false when unknown.
  bool KillTimer(uint32_t id);
  size_t TimerCount() const { return timers_.size(); }
  // Milliseconds until the next timer is due (0 when overdue), or nothing
  // without timers.
  std::optional<uint32_t> NextDueIn() const;

  // Queues `task` to run from the loop.
  void Post(Task task);

  // Runs the tasks posted before the call, then every timer due now (each
  // once). Returns how many callbacks ran.
  int Pump();
  // Pumps until Quit() is called. Between pumps it waits for the next timer
  // (sleeping on the system clock; moving a manual clock forward). Returns
  // when nothing is left that could ever run.
  void Run();
  void Quit() { quit_ = true; }
  // Runs the loop for `milliseconds` of clock time: each timer fires at its
  // due times in order. With a manual clock the clock is moved to each due
  // time and finally by the whole stretch.
  void RunFor(int64_t milliseconds);

 private:
  struct Timer {
    uint32_t interval;
    uint32_t due;  // tick count
    TimerCallback callback;
  };
  // Fires every timer due at tick `now`; returns how many fired.
  int FireDue(uint32_t now);
  // Runs the tasks queued now; returns how many ran.
  int RunTasks();
  // The id of the timer due first, if any.
  std::optional<uint32_t> EarliestTimer() const;
  // Waits until tick `until` has passed (manual clock: moves it there).
  static void WaitUntil(uint32_t until);

  std::map<uint32_t, Timer> timers_;
  std::deque<Task> tasks_;
  uint32_t next_id_ = 1;
  bool quit_ = false;
};

}  // namespace kvl

#endif  // KVL_RUNTIME_MESSAGE_LOOP_H_

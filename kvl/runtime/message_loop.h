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
// Timers due at the same tick fire in the order they were scheduled.
// Callbacks may set and kill timers (their own too), post tasks, and run
// the loop themselves (Pump, RunFor): a nested run fires what is due then,
// and a timer never fires twice for one due time. A timer killed before its
// turn does not fire. Callbacks and tasks are called with CallClient
// (client_call.h): a failure is kept in the thread's error record and the
// loop goes on with the next one; out of memory and thread cancellation
// propagate out of the run, leaving the loop consistent.
//
// Threading: one loop per thread (Current()); its timers and runs belong to
// that thread. Post() may be called from any thread while the loop lives;
// other threads keep a LoopHandle, which stays safe to use after the loop's
// thread has ended (posting then fails). Posting wakes a loop that is
// waiting in Run() or RunFor() at once.
//
// Applications with a loop of their own watch PollFd() and call Pump()
// when it is readable (see examples/poll_loop.cc).
//
// Teardown: the loop ends with its thread, after the thread's library state
// (which may still kill timers and post). Tasks still queued then are
// destroyed without running, timer callbacks are destroyed, and posts
// through handles fail from then on.
//
//   MessageLoop& loop = MessageLoop::Current();
//   uint32_t id = loop.SetTimer(1000, [&](uint32_t) { ++ticks; });
//   loop.RunFor(5000);        // manual clock: five ticks, clock +5 s
//   loop.KillTimer(id);
//
//   LoopHandle owner = MessageLoop::Current().Handle();
//   std::thread worker([owner] { owner.Post([] { /* on the owner */ }); });
#ifndef KVL_RUNTIME_MESSAGE_LOOP_H_
#define KVL_RUNTIME_MESSAGE_LOOP_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

#include "kvl/runtime/export.h"

namespace kvl {

namespace internal {
class LoopChannel;
struct LoopHandleToken;
}  // namespace internal

// A handle to one thread's loop through which any thread hands work to that
// thread: the way calls reach an object that must be used on its owner
// thread. Copyable; thread-safe; outlives the loop safely.
class KVL_EXPORT LoopHandle {
 public:
  // A handle to no loop: posting fails.
  LoopHandle() = default;

  // Queues `task` to run on the loop's thread, from its loop, and wakes the
  // loop. Returns false when the loop's thread has ended (or is ending), or
  // for a handle to no loop; the task is then destroyed on the calling
  // thread without running.
  bool Post(std::function<void()> task) const;

 private:
  friend class MessageLoop;
  explicit LoopHandle(std::shared_ptr<const internal::LoopHandleToken> token)
      : token_(std::move(token)) {}
  std::shared_ptr<const internal::LoopHandleToken> token_;
};

class KVL_EXPORT MessageLoop {
 public:
  using TimerCallback = std::function<void(uint32_t timer_id)>;
  using Task = std::function<void()>;

  // The shortest interval; shorter requests (also 0) are raised to it.
  static constexpr uint32_t kMinimumInterval = 10;

  static MessageLoop& Current();

  MessageLoop(const MessageLoop&) = delete;
  MessageLoop& operator=(const MessageLoop&) = delete;

  // Starts a repeating timer, first due `interval_ms` from now; returns its
  // id: never 0 and never the id of a live timer (0 only while the thread's
  // loop is being torn down).
  uint32_t SetTimer(uint32_t interval_ms, TimerCallback callback);
  // Gives timer `id` a new interval counted from now; false when unknown.
  bool ResetTimer(uint32_t id, uint32_t interval_ms);
  // Stops timer `id`; false when unknown. A callback of the timer that is
  // running goes on to its end.
  bool KillTimer(uint32_t id);
  size_t TimerCount() const { return ids_.size(); }
  // Milliseconds until the next timer is due (0 when overdue), or nothing
  // without timers.
  std::optional<uint32_t> NextDueIn() const;

  // Queues `task` to run from the loop; callable from any thread while the
  // loop lives. Returns false, destroying the task, once the loop is being
  // torn down.
  bool Post(Task task);
  // A handle through which other threads post to this loop.
  LoopHandle Handle();

  // Runs the tasks posted before the call, then every timer due now (each
  // once). Returns how many callbacks ran.
  int Pump();
  // Pumps until Quit() is called. Between pumps it waits for the next timer
  // or a post (sleeping on the system clock; moving a manual clock
  // forward). Returns when nothing could ever run again: no task queued, no
  // timer armed and no LoopHandle left.
  void Run();
  void Quit() { quit_ = true; }
  // Runs the loop for `milliseconds` of clock time (none when negative):
  // each timer fires at its due times in order, posted tasks run as they
  // come. With a manual clock the clock is moved to each due time and
  // finally by the whole stretch.
  void RunFor(int64_t milliseconds);

  // A descriptor that is readable while work is due: a task is queued, or
  // (on the system clock) the first timer's time has come. For applications
  // that run a loop of their own: poll it for input and call Pump() when it
  // is readable; Pump() clears it (it may be readable once with nothing to
  // do, after the last handle went). Under a manual clock timers are due
  // when the clock is advanced, so tests drive the loop directly. Owned by
  // the loop; valid until the thread ends.
  int PollFd();

  // The id the next SetTimer() tries first.
  void SetNextTimerIdForTesting(uint32_t id) { next_id_ = id == 0 ? 1 : id; }

 private:
  MessageLoop();
  ~MessageLoop();

  struct Timer {
    uint32_t id = 0;
    uint32_t interval = 0;
    uint32_t generation = 0;  // bumped when killed or reset
    uint32_t running = 0;     // callbacks of this timer on the stack
    bool live = false;
  };
  // Scheduled firings: a min-heap on (due, order). Entries whose generation
  // no longer matches their timer's are stale and skipped; the top entry is
  // never stale between calls.
  struct Firing {
    uint64_t due;
    uint64_t order;
    uint32_t slot;
    uint32_t generation;
  };
  struct Later {
    bool operator()(const Firing& a, const Firing& b) const {
      return a.due != b.due ? a.due > b.due : a.order > b.order;
    }
  };

  void Schedule(uint32_t slot, uint64_t due);
  void DropStaleTop();
  // Frees the slot of a killed timer whose callback is not running. Returns
  // the callback for the caller to destroy once the loop's own state is
  // consistent again: what it holds may call back into the loop.
  TimerCallback Retire(uint32_t slot);
  // Fires every timer due at tick `now`; returns how many fired.
  int FireDue(uint64_t now);
  // Runs the tasks queued before the call; returns how many ran.
  int RunTasks();
  bool TasksQueued() const;
  std::optional<uint64_t> NextDue() const;
  // Waits until tick `until` (forever without) or a post, whichever comes
  // first. A manual clock is moved to `until` instead.
  void Wait(std::optional<uint64_t> until);
  void SyncPollTimer(bool expired);

  std::vector<Timer> timers_;            // by slot
  std::deque<TimerCallback> callbacks_;  // by slot; addresses stay put
  std::vector<uint32_t> free_slots_;
  std::unordered_map<uint32_t, uint32_t> ids_;  // id -> slot
  std::vector<Firing> heap_;
  uint64_t order_ = 0;
  uint64_t task_limit_ = 0;  // tasks queued below it belong to the batch
  int tasks_running_ = 0;
  uint32_t next_id_ = 1;
  bool quit_ = false;
  bool ending_ = false;

  std::shared_ptr<internal::LoopChannel> channel_;
  int poll_fd_ = -1;  // epoll set over the channel's eventfd and timer_fd_
  int timer_fd_ = -1;
  std::optional<uint64_t> poll_armed_;  // due time timer_fd_ is set for
};

}  // namespace kvl

#endif  // KVL_RUNTIME_MESSAGE_LOOP_H_

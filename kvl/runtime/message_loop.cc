#include "kvl/runtime/message_loop.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <mutex>
#include <system_error>
#include <utility>

#include "kvl/runtime/client_call.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/error.h"

namespace kvl {
namespace internal {

// The queue that every thread posts to. The eventfd is readable exactly
// while `signalled` is set; both change under the lock, so a post can never
// be lost between the loop's check and its wait. The channel outlives the
// loop for as long as a handle refers to it.
class LoopChannel {
 public:
  LoopChannel() : event_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (event_fd_ < 0)
      throw std::system_error(errno, std::generic_category(), "eventfd");
  }
  ~LoopChannel() { close(event_fd_); }
  LoopChannel(const LoopChannel&) = delete;
  LoopChannel& operator=(const LoopChannel&) = delete;

  int fd() const { return event_fd_; }

  bool Push(std::function<void()>& task) {
    std::lock_guard<std::mutex> lock(mu_);
    if (closed_) return false;
    queue_.push_back(Entry{next_order_++, std::move(task)});
    SignalLocked();
    return true;
  }

  // Wakes the loop without giving it work.
  void Wake() {
    std::lock_guard<std::mutex> lock(mu_);
    if (!closed_) SignalLocked();
  }

  // Whether a post came since the last Drain(). A false answer may be stale
  // by the time it is used; the eventfd stays readable then.
  bool Signalled() const { return signalled_.load(std::memory_order_acquire); }

  // Clears the signal; returns the order below which queued tasks belong
  // to the caller's batch.
  uint64_t Drain() {
    std::lock_guard<std::mutex> lock(mu_);
    ClearLocked();
    return next_order_;
  }

  // The oldest task if it was queued before `limit`.
  bool Take(uint64_t limit, std::function<void()>& task) {
    std::lock_guard<std::mutex> lock(mu_);
    if (queue_.empty() || queue_.front().order >= limit) return false;
    task = std::move(queue_.front().task);
    queue_.pop_front();
    return true;
  }

  bool Empty() const {
    std::lock_guard<std::mutex> lock(mu_);
    return queue_.empty();
  }

  // Refuses further posts; returns what was still queued.
  std::deque<std::function<void()>> Close() {
    std::deque<std::function<void()>> left;
    std::lock_guard<std::mutex> lock(mu_);
    closed_ = true;
    ClearLocked();
    for (Entry& e : queue_) left.push_back(std::move(e.task));
    queue_.clear();
    return left;
  }

  std::atomic<int> handles{0};

 private:
  struct Entry {
    uint64_t order;
    std::function<void()> task;
  };

  void SignalLocked() {
    if (signalled_.load(std::memory_order_relaxed)) return;
    signalled_.store(true, std::memory_order_release);
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = write(event_fd_, &one, sizeof one);
  }

  void ClearLocked() {
    if (!signalled_.load(std::memory_order_relaxed)) return;
    uint64_t count;
    [[maybe_unused]] ssize_t n = read(event_fd_, &count, sizeof count);
    signalled_.store(false, std::memory_order_relaxed);
  }

  const int event_fd_;
  mutable std::mutex mu_;
  std::deque<Entry> queue_;
  uint64_t next_order_ = 0;
  bool closed_ = false;
  std::atomic<bool> signalled_{false};
};

// One per LoopHandle() call, shared by the copies of that handle: while any
// exists, Run() waits for posts instead of returning.
struct LoopHandleToken {
  explicit LoopHandleToken(std::shared_ptr<LoopChannel> c)
      : channel(std::move(c)) {
    channel->handles.fetch_add(1, std::memory_order_relaxed);
  }
  ~LoopHandleToken() {
    // The last handle going may end a Run() that waits only for posts.
    if (channel->handles.fetch_sub(1, std::memory_order_acq_rel) == 1)
      channel->Wake();
  }
  std::shared_ptr<LoopChannel> channel;
};

}  // namespace internal

namespace {

uint32_t Clamp(uint32_t interval) {
  return interval < MessageLoop::kMinimumInterval
             ? MessageLoop::kMinimumInterval
             : interval;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) {
  return a > UINT64_MAX - b ? UINT64_MAX : a + b;
}

}  // namespace

bool LoopHandle::Post(std::function<void()> task) const {
  return token_ && token_->channel->Push(task);
}

MessageLoop::MessageLoop()
    : channel_(std::make_shared<internal::LoopChannel>()) {}

MessageLoop::~MessageLoop() {
  // Whatever the dropped tasks and callbacks release may still call the
  // loop: posts fail, kills find nothing, new timers get id 0.
  ending_ = true;
  channel_->Close();  // the tasks die here, on the loop's thread
  heap_.clear();
  ids_.clear();
  std::deque<TimerCallback> callbacks = std::move(callbacks_);
  callbacks_.clear();
  timers_.clear();
  free_slots_.clear();
  callbacks.clear();
  if (poll_fd_ >= 0) close(poll_fd_);
  if (timer_fd_ >= 0) close(timer_fd_);
}

MessageLoop& MessageLoop::Current() {
  thread_local MessageLoop loop;
  return loop;
}

void MessageLoop::Schedule(uint32_t slot, uint64_t due) {
  heap_.push_back(Firing{due, order_++, slot, timers_[slot].generation});
  std::push_heap(heap_.begin(), heap_.end(), Later());
}

void MessageLoop::DropStaleTop() {
  while (!heap_.empty() &&
         heap_.front().generation != timers_[heap_.front().slot].generation) {
    std::pop_heap(heap_.begin(), heap_.end(), Later());
    heap_.pop_back();
  }
  // Kills and resets leave stale entries behind; sweep them out before they
  // outnumber the live ones.
  if (heap_.size() > 2 * ids_.size() + 64) {
    std::erase_if(heap_, [this](const Firing& f) {
      return f.generation != timers_[f.slot].generation;
    });
    std::make_heap(heap_.begin(), heap_.end(), Later());
  }
  if (poll_fd_ >= 0) SyncPollTimer(false);
}

uint32_t MessageLoop::SetTimer(uint32_t interval_ms, TimerCallback callback) {
  if (ending_) return 0;
  while (next_id_ == 0 || ids_.contains(next_id_)) ++next_id_;
  uint32_t id = next_id_++;
  uint32_t slot;
  if (free_slots_.empty()) {
    slot = static_cast<uint32_t>(timers_.size());
    timers_.emplace_back();
    callbacks_.emplace_back();
  } else {
    slot = free_slots_.back();
    free_slots_.pop_back();
  }
  ids_.emplace(id, slot);
  Timer& t = timers_[slot];
  t.id = id;
  t.interval = Clamp(interval_ms);
  t.live = true;
  callbacks_[slot] = std::move(callback);
  Schedule(slot, Clock::TickCount64() + t.interval);
  if (poll_fd_ >= 0) SyncPollTimer(false);
  return id;
}

bool MessageLoop::ResetTimer(uint32_t id, uint32_t interval_ms) {
  auto it = ids_.find(id);
  if (it == ids_.end()) return false;
  Timer& t = timers_[it->second];
  t.interval = Clamp(interval_ms);
  ++t.generation;
  Schedule(it->second, Clock::TickCount64() + t.interval);
  DropStaleTop();
  return true;
}

bool MessageLoop::KillTimer(uint32_t id) {
  auto it = ids_.find(id);
  if (it == ids_.end()) return false;
  uint32_t slot = it->second;
  ids_.erase(it);
  Timer& t = timers_[slot];
  t.live = false;
  ++t.generation;
  TimerCallback dying = t.running == 0 ? Retire(slot) : nullptr;
  DropStaleTop();
  return true;
}

MessageLoop::TimerCallback MessageLoop::Retire(uint32_t slot) {
  TimerCallback callback = std::move(callbacks_[slot]);
  callbacks_[slot] = nullptr;
  free_slots_.push_back(slot);
  return callback;
}

std::optional<uint64_t> MessageLoop::NextDue() const {
  if (heap_.empty()) return std::nullopt;
  return heap_.front().due;
}

std::optional<uint32_t> MessageLoop::NextDueIn() const {
  std::optional<uint64_t> due = NextDue();
  if (!due) return std::nullopt;
  uint64_t now = Clock::TickCount64();
  if (*due <= now) return 0u;
  return static_cast<uint32_t>(std::min<uint64_t>(*due - now, UINT32_MAX));
}

bool MessageLoop::Post(Task task) {
  return channel_->Push(task);
}

LoopHandle MessageLoop::Handle() {
  return LoopHandle(
      std::make_shared<const internal::LoopHandleToken>(channel_));
}

bool MessageLoop::TasksQueued() const {
  return !channel_->Empty();
}

int MessageLoop::RunTasks() {
  // A nested run goes on with the batch of the run around it.
  if (channel_->Signalled()) {
    task_limit_ = channel_->Drain();
  } else if (tasks_running_ == 0) {
    return 0;
  }
  ++tasks_running_;
  struct Done {
    int& depth;
    ~Done() { --depth; }
  } done{tasks_running_};
  int ran = 0;
  Task task;
  while (channel_->Take(task_limit_, task)) {
    CallClient(ClientFailure::kRecord, task);
    task = nullptr;
    ++ran;
  }
  return ran;
}

int MessageLoop::FireDue(uint64_t now) {
  int fired = 0;
  while (!heap_.empty() && heap_.front().due <= now) {
    const Firing f = heap_.front();
    std::pop_heap(heap_.begin(), heap_.end(), Later());
    heap_.pop_back();
    Timer& t = timers_[f.slot];
    if (f.generation != t.generation) continue;
    Schedule(f.slot, now + t.interval);
    const uint32_t id = t.id;
    ++t.running;
    {
      struct Done {
        MessageLoop& loop;
        uint32_t slot;
        ~Done() {
          Timer& t = loop.timers_[slot];
          if (--t.running == 0 && !t.live) loop.Retire(slot);
        }
      } done{*this, f.slot};
      // callbacks_ is a deque: the callback stays put while it runs, even if
      // it sets new timers.
      CallClient(ClientFailure::kRecord, [&] { callbacks_[f.slot](id); });
    }
    ++fired;
  }
  DropStaleTop();
  return fired;
}

int MessageLoop::Pump() {
  if (poll_fd_ >= 0) {
    uint64_t expirations;
    SyncPollTimer(read(timer_fd_, &expirations, sizeof expirations) > 0);
  }
  int ran = RunTasks();
  return ran + FireDue(Clock::TickCount64());
}

void MessageLoop::Wait(std::optional<uint64_t> until) {
  uint64_t now = Clock::TickCount64();
  if (until && *until <= now) return;
  if (Clock::IsManual() && until) {
    Clock::Advance(
        static_cast<int64_t>(std::min<uint64_t>(*until - now, INT64_MAX)));
    return;
  }
  // The system clock, or a manual clock with nothing to move it to: sleep
  // until a post arrives or the time comes.
  int timeout = -1;
  if (until)
    timeout = static_cast<int>(std::min<uint64_t>(*until - now, INT_MAX));
  pollfd p{channel_->fd(), POLLIN, 0};
  poll(&p, 1, timeout);
}

void MessageLoop::Run() {
  quit_ = false;
  while (true) {
    Pump();
    if (quit_) break;
    if (channel_->Signalled()) continue;
    std::optional<uint64_t> due = NextDue();
    if (!due && channel_->handles.load(std::memory_order_acquire) == 0 &&
        !TasksQueued())
      break;  // nothing could ever run again
    Wait(due);
  }
  quit_ = false;
}

void MessageLoop::RunFor(int64_t milliseconds) {
  const uint64_t end =
      SaturatingAdd(Clock::TickCount64(),
                    static_cast<uint64_t>(std::max<int64_t>(milliseconds, 0)));
  quit_ = false;
  while (true) {
    RunTasks();
    if (quit_) break;
    const uint64_t now = Clock::TickCount64();
    std::optional<uint64_t> due = NextDue();
    if (due && *due <= now) {
      FireDue(now);
      if (quit_) break;
      continue;
    }
    if (now >= end) break;
    if (channel_->Signalled()) continue;
    Wait(due ? std::min(*due, end) : end);
  }
  quit_ = false;
}

int MessageLoop::PollFd() {
  if (poll_fd_ >= 0) return poll_fd_;
  timer_fd_ = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
  poll_fd_ = epoll_create1(EPOLL_CLOEXEC);
  if (timer_fd_ < 0 || poll_fd_ < 0) {
    int err = errno;
    if (timer_fd_ >= 0) close(timer_fd_);
    if (poll_fd_ >= 0) close(poll_fd_);
    timer_fd_ = poll_fd_ = -1;
    throw std::system_error(err, std::generic_category(), "poll descriptor");
  }
  epoll_event ev{};
  ev.events = EPOLLIN;
  ev.data.fd = channel_->fd();
  epoll_ctl(poll_fd_, EPOLL_CTL_ADD, channel_->fd(), &ev);
  ev.data.fd = timer_fd_;
  epoll_ctl(poll_fd_, EPOLL_CTL_ADD, timer_fd_, &ev);
  SyncPollTimer(true);
  return poll_fd_;
}

void MessageLoop::SyncPollTimer(bool expired) {
  std::optional<uint64_t> due = NextDue();
  if (!expired && due == poll_armed_) return;
  poll_armed_ = due;
  itimerspec spec{};
  if (due) {
    // Relative to a tick read before arming: when it expires the tick
    // counter has reached `due`. Zero would disarm, so overdue is 1 ns.
    uint64_t now = Clock::TickCount64();
    uint64_t wait = *due > now ? *due - now : 0;
    spec.it_value.tv_sec = static_cast<time_t>(wait / 1000);
    spec.it_value.tv_nsec = static_cast<long>(wait % 1000) * 1'000'000;
    if (wait == 0) spec.it_value.tv_nsec = 1;
  }
  timerfd_settime(timer_fd_, 0, &spec, nullptr);
}

}  // namespace kvl

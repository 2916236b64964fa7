#include "kvl/timers/queued_timer.h"

#include <limits>
#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/client_call.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/runtime/weak_ref.h"
#include "kvl/timers/internal/control.h"
#include "kvl/timers/internal/timer_queue.h"
#include "kvl/timers/timer_control.h"

namespace kvl {
namespace internal {

// The queue's sink on a TimerControl: forwards Timer to expire. Refers to
// the queue without owning it; the queue disconnects it when it ends or
// follows another control.
class QueueFollower final : public Object, public TimerControlEvents {
  KVL_DECLARE_CLASS(QueueFollower)
 public:
  explicit QueueFollower(QueuedTimer* queue) : queue_(queue) {}
  void Timer() override {
    if (Ref<QueuedTimer> queue = queue_.Lock()) queue->expire();
  }
  // Ends the link at once, also for a firing already under way.
  void Cut() { queue_ = WeakRef<QueuedTimer>(); }

 private:
  WeakRef<QueuedTimer> queue_;
};

const ClassInfo& QueueFollower::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<QueueFollower>("QueueFollower", ClassKind::kPrivate)
          .Method<&QueueFollower::Timer>("Timer")
          .Implements(&TimerControlEvents::StaticClass)
          .Build();
  return info;
}

}  // namespace internal

namespace {

int32_t RemainingTicksOf(const Ref<Object>& o) {
  if (!o) Raise(kErrObjectNotSet);
  if (auto* t = o->As<LongTimer>()) return t->RemainingClockTicks();
  return ToI4(internal::GetMember(*o, "RemainingClockTicks"));
}

}  // namespace

const ClassInfo& TimerComparator::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TimerComparator>("TimerComparator", ClassKind::kCreatable)
          .Method<&TimerComparator::compare>(
              "compare", {Arg("dummy"), Arg("o1"), Arg("o2")})
          .Implements(&IComparator::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(TimerComparator)

namespace {

// The LongTimer `o` is, or null. Objects whose table is LongTimer's are
// LongTimers themselves (an interface view has its interface's table), so
// the queue's own timers are recognised without a dynamic_cast.
LongTimer* AsTimer(const Ref<Object>& o) {
  if (!o) return nullptr;
  if (&o->Class() == &LongTimer::StaticClass())
    return static_cast<LongTimer*>(o.get());
  return o->As<LongTimer>();
}

}  // namespace

int16_t TimerComparator::compare(const Ref<Object>&, const Ref<Object>& o1,
                                 const Ref<Object>& o2) {
  LongTimer* t1 = AsTimer(o1);
  LongTimer* t2 = AsTimer(o2);
  // Two long timers read the same current tick: their completions decide.
  int64_t d = t1 && t2 ? int64_t{t1->CompletionTick()} - t2->CompletionTick()
                       : int64_t{RemainingTicksOf(o1)} - RemainingTicksOf(o2);
  return d < 0 ? -1 : d > 0 ? 1 : 0;
}

const ClassInfo& QueuedTimer::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<QueuedTimer>("QueuedTimer", ClassKind::kCreatable)
          .Method<&QueuedTimer::AddFineTimer>(
              "AddFineTimer",
              {Arg("Name"), Arg("MilliSeconds"), Arg("notifier")})
          .Method<&QueuedTimer::AddTimer>(
              "AddTimer", {Arg("Name"), Arg("Interval"), Arg("notifier")})
          .Method<&QueuedTimer::Cancel>("Cancel", {Arg("t")})
          .Method<&QueuedTimer::CancelByName>("CancelByName", {Arg("Name")})
          .Method<&QueuedTimer::Clear>("Clear")
          .Method<&QueuedTimer::expire>("expire")
          .Get<&QueuedTimer::Query>("Query")
          .Get<&QueuedTimer::Queue>("Queue")
          .Method<&QueuedTimer::ReSynch>("ReSynch")
          .Get<&QueuedTimer::Timer>("Timer")
          .Set<&QueuedTimer::SetTimerRef>("Timer")
          .Let<&QueuedTimer::SetTrace>("Trace")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(QueuedTimer)

QueuedTimer::QueuedTimer() : queue_(std::make_unique<internal::TimerQueue>()) {}

QueuedTimer::~QueuedTimer() {
  Unfollow();
}

Ref<LongTimer> QueuedTimer::AddFineTimer(const std::string& Name,
                                         int32_t MilliSeconds,
                                         Ref<Object> notifier) {
  if (Name.empty() || !notifier || !control_) return nullptr;
  Ref<LongTimer> result;
  try {
    auto t = MakeRef<LongTimer>();
    t->SetName(Name);
    if (AddArmed(t, MilliSeconds, notifier)) return t;
    t->SetTimerRef(control_);
    t->SetNotifyRef(std::move(notifier));
    t->SetInterval(MilliSeconds);
    queue_->Insert(t);
    result = std::move(t);
    if (!busy_) expire();
  } catch (const KVLError&) {
  }
  return result;
}

// Applies to a TimerControl, outside a pass, while the timers are in the
// queue's own order, when the timer that will be first has time left. The
// pass would then only arm the control for that timer. Giving the new timer
// the control without disabling it first is not seen by anyone: no client
// code runs in between and the control ends armed, its count restarted,
// either way. Nothing here raises before the timer is queued.
bool QueuedTimer::AddArmed(const Ref<LongTimer>& t, int32_t ms,
                           Ref<Object>& notifier) {
  if (busy_ || queue_->Published() ||
      queue_->Count() >= internal::TimerQueue::kMaxCount ||
      internal::AsTimerControl(*control_) == nullptr) {
    return false;
  }
  int32_t now = LongTimer::ClockTick();
  try {
    t->SetIntervalAt(ms, now);
  } catch (const KVLError&) {
    return false;  // the full path raises it again, in its place
  }
  LongTimer* first = AsTimer(queue_->First());
  LongTimer* next =
      first && first->CompletionTick() <= t->CompletionTick() ? first : t.get();
  int64_t rem =
      (int64_t{next->CompletionTick()} - now) * LongTimer::kTickMilliseconds;
  // A queued timer the client gave another control (or none) is left to
  // the full path.
  if (rem < 1 || rem > std::numeric_limits<int32_t>::max() ||
      (next != t.get() && next->Control().get() != control_.get())) {
    return false;
  }
  t->control_ = control_;
  t->notify_ = std::move(notifier);
  queue_->Insert(t);
  next->RunDown(static_cast<int32_t>(rem), now);
  return true;
}

Ref<LongTimer> QueuedTimer::AddTimer(const std::string& Name, int32_t Interval,
                                     Ref<Object> notifier) {
  return AddFineTimer(Name, CheckedCast<int32_t>(int64_t{Interval} * 1000),
                      std::move(notifier));
}

void QueuedTimer::Cancel(Ref<LongTimer> t) {
  if (!t) Raise(kErrObjectNotSet);
  CancelByName(t->Name());
}

void QueuedTimer::CancelByName(const std::string& Name) {
  try {
    if (Ref<LongTimer> t = queue_->FindNamed(Name)) {
      t->cancelTimer();
      queue_->Remove(t.get());
    }
    if (!busy_) expire();
  } catch (const KVLError&) {
  }
}

void QueuedTimer::Clear() {
  if (!control_) Raise(kErrObjectNotSet);
  internal::DisableControl(*control_);
  queue_->Clear();
}

void QueuedTimer::expire() {
  if (busy_) {
    run_again_ = true;
    return;
  }
  Ref<QueuedTimer> keep(this);  // a notifier may drop the last reference
  // The flags are reset however the pass ends, also when running out of
  // memory propagates.
  struct Idle {
    QueuedTimer& queue;
    ~Idle() { queue.busy_ = queue.run_again_ = false; }
  } idle{*this};
  // A failing notifier or a broken queue ends the pass; the failure is
  // the client's and is not raised back into the timer.
  CallClient(ClientFailure::kReturn, [&] {
    do {
      run_again_ = false;
      busy_ = true;
      for (Ref<Object> first = queue_->First(); first;
           first = queue_->First()) {
        LongTimer* t = AsTimer(first);
        if (!t) Raise(kErrTypeMismatch);
        t->expire();
        if (!t->IsExpired()) break;
        // The notifier may have queued or cancelled timers meanwhile: take
        // out the expired timer itself, wherever it stands now.
        queue_->Remove(first.get());
      }
    } while (run_again_);
  });
}

std::string QueuedTimer::Query() {
  std::string text;
  if (control_) {
    text =
        "Timer interval: " +
        ToText(internal::GetMember(*control_, "Interval")) +
        " Timer enabled:" + ToText(internal::GetMember(*control_, "Enabled"));
  } else {
    text = "No Timer control;";
  }
  text += " QueueSize:" + std::to_string(queue_->Count());
  queue_->ForEach([&](const Ref<Object>& t) {
    text += " Timer=" + ToText(internal::GetMember(*t, "Name")) +
            " Remaining=" +
            ToText(internal::GetMember(*t, "RemainingMilliSeconds"));
  });
  return text;
}

Ref<SortedCollection> QueuedTimer::Queue() const {
  return queue_->Collection();
}

void QueuedTimer::ReSynch() {
  if (!control_) Raise(kErrObjectNotSet);
  if (queue_->Count() > 0 &&
      !ToBool(internal::GetMember(*control_, "Enabled"))) {
    expire();
  }
}

void QueuedTimer::SetTimerRef(Ref<Object> control) {
  Unfollow();
  control_ = std::move(control);
  if (control_) Follow(control_);
}

void QueuedTimer::Follow(Ref<Object> control) {
  auto* tc = control->As<TimerControl>();
  if (tc == nullptr) return;
  follower_ = MakeRef<internal::QueueFollower>(this);
  follow_cookie_ = tc->Connect(follower_);
}

void QueuedTimer::Unfollow() {
  if (!follower_) return;
  follower_->Cut();
  if (control_) {
    if (auto* tc = control_->As<TimerControl>()) tc->Disconnect(follow_cookie_);
  }
  follower_ = nullptr;
  follow_cookie_ = 0;
}

}  // namespace kvl

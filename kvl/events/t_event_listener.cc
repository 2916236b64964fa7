#include "kvl/events/t_event_listener.h"

#include <utility>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/clock.h"

namespace kvl {

const ClassInfo& QueuedEvent::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<QueuedEvent>("QueuedEvent", ClassKind::kPublic)
          .Get<&QueuedEvent::EventObject>("EventObject")
          .Get<&QueuedEvent::ID>("ID")
          .Get<&QueuedEvent::Flag>("Flag")
          .Get<&QueuedEvent::TimeStamp>("TimeStamp")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(QueuedEvent)

const ClassInfo& TEventListenerEvents::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TEventListenerEvents>("__TEventListener",
                                         ClassKind::kNotification)
          .Method<&TEventListenerEvents::EventAvailable>("EventAvailable",
                                                         {Arg("qe")})
          .Build();
  return info;
}

const ClassInfo& TEventListener::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<TEventListener>("TEventListener", ClassKind::kCreatable)
          .Let<&TEventListener::SetNotifyEnabled>("NotifyEnabled")
          .Get<&TEventListener::NotifyEnabled>("NotifyEnabled")
          .Get<&TEventListener::NextQueuedEvent>("NextQueuedEvent")
          .Get<&TEventListener::Count>("Count")
          .Method<&TEventListener::EventHandler>(
              "EventHandler", {RefArg("e"), RefArg("ID"), RefArg("Flag")})
          .Implements(&IEventReceiver::StaticClass)
          .Implements(&IRunnable::StaticClass)
          .Notifies(&TEventListenerEvents::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(TEventListener)

TEventListener::~TEventListener() = default;

Ref<QueuedEvent> TEventListener::NextQueuedEvent() {
  if (queue_.empty()) return nullptr;
  Ref<QueuedEvent> oldest = std::move(queue_.front());
  queue_.pop_front();
  return oldest;
}

int16_t TEventListener::Count() const {
  return CheckedCast<int16_t>(queue_.size());
}

void TEventListener::EventHandler(const Ref<EventObject>& e, int32_t ID,
                                  int16_t Flag) {
  auto record = MakeRef<QueuedEvent>(e, ID, Flag, Clock::Now());
  if (notify_enabled_) {
    notifications_.Fire<&TEventListenerEvents::EventAvailable>("EventAvailable",
                                                               record);
  } else {
    queue_.push_back(std::move(record));
  }
}

}  // namespace kvl

// TEventListener: a ready-made receiver that keeps the events it receives,
// so that a client can register it on a bus and read the events later
// (NextQueuedEvent, oldest first), or be told of each one at once
// (NotifyEnabled and the notification EventAvailable of __TEventListener).
// QueuedEvent is the record it keeps: the event, the listener id and role
// it was delivered for, and the local date and time it arrived.
//
// With NotifyEnabled false each event is queued; with it true the record is
// not queued but handed to the connected sinks at once (switching it on
// does not flush what is queued). The listener implements IEventReceiver
// (the bus calls it typed) and IRunnable (Run and Quit do nothing).
//
// Ownership: the queue owns its records, the records their events. Sinks
// are held until disconnected. Used on the bus's thread.
//
//   auto inbox = MakeRef<TEventListener>();
//   bus->Listen(inbox, "Job/*", Variant());
//   bus->SendString("Job/Done Id=4");
//   bus->FireAllEvents();
//   Ref<QueuedEvent> qe = inbox->NextQueuedEvent();   // Job/Done, or null
#ifndef KVL_EVENTS_T_EVENT_LISTENER_H_
#define KVL_EVENTS_T_EVENT_LISTENER_H_

#include <cstdint>
#include <deque>

#include "kvl/events/event_listener.h"
#include "kvl/events/event_object.h"
#include "kvl/events/runnable.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Public, not creatable (kind 3).
class KVL_EXPORT QueuedEvent : public Object {
  KVL_DECLARE_CLASS(QueuedEvent)
 public:
  QueuedEvent() = default;
  QueuedEvent(Ref<kvl::EventObject> e, int32_t id, int16_t flag, Date stamp)
      : event_(std::move(e)), id_(id), flag_(flag), time_stamp_(stamp) {}

  Ref<kvl::EventObject> EventObject() const { return event_; }
  int32_t ID() const { return id_; }
  int16_t Flag() const { return flag_; }
  Date TimeStamp() const { return time_stamp_; }

 private:
  Ref<kvl::EventObject> event_;
  int32_t id_ = 0;
  int16_t flag_ = 0;
  Date time_stamp_;
};

// The outgoing interface __TEventListener.
class KVL_EXPORT TEventListenerEvents {
 public:
  static const ClassInfo& StaticClass();
  virtual void EventAvailable(Ref<QueuedEvent> qe) = 0;

 protected:
  ~TEventListenerEvents() = default;
};

// Creatable (kind 2).
class KVL_EXPORT TEventListener : public Object,
                                  public IEventReceiver,
                                  public IRunnable {
  KVL_DECLARE_CLASS(TEventListener)
 public:
  TEventListener() = default;
  ~TEventListener() override;

  void SetNotifyEnabled(bool enabled) { notify_enabled_ = enabled; }
  bool NotifyEnabled() const { return notify_enabled_; }
  // Takes the oldest record out of the queue; Nothing when it is empty.
  Ref<QueuedEvent> NextQueuedEvent();
  // Records queued; raises 6 above 32767.
  int16_t Count() const;
  // Makes a record stamped with the current local date and time, then
  // queues it or, with NotifyEnabled, fires EventAvailable with it.
  void EventHandler(const Ref<EventObject>& e, int32_t ID,
                    int16_t Flag) override;

  // IRunnable: nothing to do.
  void Run() override {}
  void Quit() override {}

  // Connects a sink of __TEventListener (typed or by name); see notifier.h.
  uint32_t Connect(Ref<kvl::Object> sink) {
    return notifications_.Connect(std::move(sink));
  }
  bool Disconnect(uint32_t cookie) { return notifications_.Disconnect(cookie); }

 private:
  std::deque<Ref<QueuedEvent>> queue_;
  Notifier<TEventListenerEvents> notifications_;
  bool notify_enabled_ = false;
};

}  // namespace kvl

#endif  // KVL_EVENTS_T_EVENT_LISTENER_H_

// EventBus: in-process publish/subscribe. Receivers register listeners with
// an event-name pattern and qualifiers («Job/To/*», [«Copies=*»]) in a role
// (Listen: normal, Monitor: called but not counted, Catch: called only when
// no normal listener of its priority class took the event), or for an event
// id (ListenId); senders queue events (Send, SendString, SendEvent, SendId);
// FireAllEvents delivers the queue.
//
// Sending never delivers: events wait in the queue until FireAllEvents,
// which delivers the oldest event first, each to the listeners of priority
// class 1, then 2, then 3 (2 is the default; SetListenerPriority moves a
// listener), in the order they were registered. Events sent by receivers
// are delivered by the same call, after those queued before them.
//
// Re-entrancy: receivers may send, register, unlisten and call
// FireAllEvents (which then returns at once). A listener registered during
// delivery is armed, and receives events, from the next event on; one
// removed before its turn is not called; a listener is called at most once
// per event, also when it is moved during the delivery. A receiver is
// called with CallClient (client_call.h): what it raises is cleared from the
// thread's error record and ignored, and the others are still called; out
// of memory and thread cancellation propagate out of FireAllEvents, and the
// event being delivered is then dropped from the queue. The bus
// keeps itself, the event and the listener being called alive across each
// call, so a receiver may drop the last reference to any of them.
//
// Calls: a receiver implementing IEventReceiver is called through it;
// any other receiver by name: "EventHandler"(event by reference, listener
// id, flag) for pattern listeners, "eventId"(event by reference) for id
// listeners. A receiver called by name that assigns another EventObject to
// its first argument passes that event on to the later listeners of the
// delivery.
//
// Ownership: the bus owns its listeners, listeners own their receivers. A
// receiver that keeps a reference to the bus forms a cycle that the client
// breaks with Unlisten or UnlistenAll. Used on the client's thread; no
// locks.
//
//   auto bus = MakeRef<EventBus>();
//   bus->Listen(printer, "Job/To/*", Variant("Copies=*"));
//   bus->SendString("Job/To/Printer Copies=2");
//   bus->FireAllEvents();      // printer's EventHandler(event, id, 0)
#ifndef KVL_EVENTS_EVENT_BUS_H_
#define KVL_EVENTS_EVENT_BUS_H_

#include <array>
#include <cstdint>
#include <deque>
#include <initializer_list>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/collections/keyed_store.h"
#include "kvl/events/event_listener.h"
#include "kvl/events/event_object.h"
#include "kvl/events/listener_index.h"
#include "kvl/events/timer_form.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Creatable (kind 2).
class KVL_EXPORT EventBus : public Object {
  KVL_DECLARE_CLASS(EventBus)
 public:
  EventBus() = default;
  ~EventBus() override;

  // ---- heartbeat ----
  //
  // With TimerEnabled true the bus sends itself «EventBus/From/Tick
  // TimeString=yyyymmddhhnnss Year=… Month=… Day=… Hour=… Minute=…
  // Second=…» every TickFrequency seconds, checked every TimerResolution
  // milliseconds on the loop, and fires its queue after each. The two
  // values reach the running heartbeat only when it is switched on.

  // Stores `v`, then lowers TimerResolution to v * 1000 when it is above;
  // raises 6 (after storing) when v * 1000 leaves 16 bits.
  void SetTickFrequency(int16_t v);
  int16_t TickFrequency() const { return tick_frequency_; }
  // Stores `v` lowered to TickFrequency * 1000; raises 6, storing nothing,
  // when that product leaves 16 bits.
  void SetTimerResolution(int16_t v);
  int16_t TimerResolution() const { return timer_resolution_; }
  // Switches the heartbeat; switching it on while it runs restarts its
  // count.
  void SetTimerEnabled(bool v);
  bool TimerEnabled() const { return timer_enabled_; }

  // ---- registration ----
  //
  // Each returns the new listener's id. `quals` is an array of
  // «keyword=value» qualifier texts (a single text is one qualifier; Empty
  // means none); the ...String members take a listener string «Name K=V Flag»
  // instead. All raise 91 for a Nothing receiver and the conversion
  // failure for a qualifier without text; nothing is registered then.

  int32_t Catch(Ref<Object> x, const std::string& n, const Variant& quals);
  int32_t CatchString(Ref<Object> x, const std::string& s);
  int32_t CatchTag(Ref<Object> x, const std::string& t, const std::string& n,
                   const Variant& quals);
  // Events queued, including the one being delivered; raises 6 above 32767.
  int16_t EventCount() const;
  // Delivers queued events until the queue is empty; returns at once when
  // called while delivering.
  void FireAllEvents();
  // Browsing pattern listeners: the first listener (from class 1) whose
  // receiver is `x` (any receiver for Nothing) and whose name matches the
  // wildcard pattern `p` (any for ""); Nothing when there is none.
  Ref<EventListener> FirstListener(Ref<Object> x, const std::string& p);
  // SendId(theId), then ListenId(x, theId).
  void InvokeById(Ref<Object> x, int32_t& theId);
  // InvokeById with a fresh id (the counter advances by two); returns the
  // id of the event.
  int32_t InvokeByNewId(Ref<Object> x);
  int32_t Listen(Ref<Object> x, const std::string& n, const Variant& quals);
  // Pattern listeners of all classes; raises 6 above 32767.
  int16_t ListenerCount() const;
  // Registers `x` for the id events with id `theId` (a new id for 0) and
  // returns the id. Raises 457 when a listener of class 2 has that id.
  int32_t ListenId(Ref<Object> x, int32_t theId);
  int32_t ListenString(Ref<Object> x, const std::string& s);
  int32_t ListenTag(Ref<Object> x, const std::string& t, const std::string& n,
                    const Variant& quals);
  int32_t Monitor(Ref<Object> x, const std::string& n, const Variant& quals);
  int32_t MonitorString(Ref<Object> x, const std::string& s);
  int32_t MonitorTag(Ref<Object> x, const std::string& t, const std::string& n,
                     const Variant& quals);
  // The next id (ids start at 1); raises 6 past 2147483647.
  int32_t NewId();
  // Browsing: the next listener after the browse cursor that passes the
  // same test as FirstListener; Nothing after class 3. Before any
  // FirstListener the cursor stands at the start of class 2.
  Ref<EventListener> NextListener(Ref<Object> x, const std::string& p);
  // Queues an event named `n` with parameters from «keyword=value» texts
  // (the value raw: not trimmed or unquoted; «Flag» and «Flag=» give an
  // empty string); an element «keyword :=» takes the next element as the
  // value, unchanged (objects stay objects). Elements without text are
  // skipped, Empty elements too.
  void Send(const std::string& n, std::span<const Variant> params = {});
  void Send(const std::string& n, std::initializer_list<Variant> params) {
    Send(n, std::span<const Variant>(params.begin(), params.size()));
  }
  // Queues `e` by reference (an event sent twice is delivered twice) and
  // sets its bus. Raises 91 for Nothing.
  void SendEvent(Ref<EventObject> e);
  // Queues an id event (EventType 1, empty name) with a fresh id, which is
  // stored in `theId`.
  void SendId(int32_t& theId);
  // Queues the event of an event string «Name K1=V1 K2='a b' Flag».
  void SendString(const std::string& s);
  // Moves the listener `ID` to the end of class 1 or 3 (nNewPriority 1 or
  // 3) or 2 (any other value); false when there is no such listener.
  // Raises 457 when the target class has a listener under that id; the
  // listener is then removed.
  bool SetListenerPriority(int32_t ID, const Variant& nNewPriority);
  // The first non-empty tag of a listener with this id, looking in class
  // 1, 2, 3 (pattern, then id listeners); "" when there is none.
  std::string TagForId(int32_t ID) const;
  // Removes the listener with this id (the first found from class 1); an
  // unknown id is ignored.
  void Unlisten(int32_t ID);
  // Removes every listener of receiver `x`; every listener for Nothing.
  void UnlistenAll(Ref<Object> x);
  // Removes every listener of `x` (of any receiver for Nothing) whose tag
  // equals `t` ignoring case.
  void UnlistenTag(Ref<Object> x, const std::string& t);


 private:
  using Store = KeyedStore<Ref<EventListener>>;
  // Priority class 1..3 and kind: 0 pattern, 1 id listeners.
  Store& StoreFor(int16_t priority, int16_t type) {
    return stores_[Slot(priority, type)];
  }
  static size_t Slot(int16_t priority, int16_t type);

  int32_t Register(Ref<Object> x, std::string_view n, std::string t,
                   int16_t flag, int16_t type, int32_t id,
                   const std::string& listen_string, const Variant* quals);
  // Adds `listener` at the end of stores_[slot] under its key (and to the
  // index when it is a pattern listener); false when the key is taken.
  bool Insert(size_t slot, const Ref<EventListener>& listener, int32_t id);
  // Takes the listener at `position` of `store` out, keeping the delivery
  // cursor on the listener it stood on.
  Ref<EventListener> TakeListener(Store& store, size_t position);
  // Lets a removed listener go: at once when idle; while delivering only
  // after the current event, so that a listener (and its receiver) being
  // called stays alive without a reference per call.
  void Retire(Ref<EventListener> listener);
  void ReleaseRetired();
  template <class Pred>
  void RemoveWhere(Pred pred);
  // The store and position of the listener with `id` in Unlisten order.
  bool FindListener(int32_t id, Store** store, size_t* position);

  void Deliver(const Ref<EventObject>& e);
  void DeliverToPatterns(internal::ListenerIndex::Walk& walk,
                         size_t priority_class, Ref<EventObject>& current);
  void DeliverToIds(Store& store, Ref<EventObject>& current);
  void CallPatternListener(EventListener& listener, Ref<EventObject>& current);
  // Calls by name hand a replaced event back in `current`.
  void CallByName(EventListener& listener, std::string_view member,
                  Ref<EventObject>& current);
  // Arms the listeners registered during the delivery of an event.
  void ArmAdded();
  // The heartbeat's tick: queues the tick event and fires the queue.
  void Tick();

  // Class 1 pattern, class 1 id, class 2 pattern, ... (Unlisten order).
  std::array<Store, 6> stores_;
  // The pattern listeners of stores_, by the leading word of their name.
  internal::ListenerIndex index_;
  std::deque<Ref<EventObject>> queue_;
  std::vector<Ref<EventListener>> retired_;
  // Registered while delivering, armed once the event is delivered.
  std::vector<Ref<EventListener>> unarmed_;
  int32_t last_id_ = 0;
  int16_t browse_class_ = 2;
  int16_t browse_position_ = 0;
  bool firing_ = false;
  // The id listeners' delivery in progress: which store is walked and the
  // position of the listener being called, kept right when listeners are
  // removed.
  Store* walking_ = nullptr;
  size_t walk_position_ = 0;
  uint64_t delivery_ = 0;
  int16_t tick_frequency_ = 0;
  int16_t timer_resolution_ = 0;
  bool timer_enabled_ = false;
  // Exists exactly while the heartbeat is on.
  std::unique_ptr<internal::TimerForm> form_;
};

}  // namespace kvl

#endif  // KVL_EVENTS_EVENT_BUS_H_

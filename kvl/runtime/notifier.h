// Notifier: the outgoing notifications of a class (its __X interface).
//
// A class that fires notifications declares a C++ sink interface (for
// example TimerObjEvents with `Time`) with its member table of kind
// kNotification named "__TimerObj", and holds a Notifier<TimerObjEvents>.
// Clients connect sinks: an object that implements the C++ interface is
// called through it; any other object is called late-bound by member name.
// Firing with no sink does nothing. Sinks are held (counted references)
// until disconnected. Sinks are called with CallClient (client_call.h): a
// sink's failure is kept in the thread's error record and the remaining
// sinks are still called; thread cancellation and out of memory propagate.
// Sinks may connect or disconnect while a notification is being fired (the
// change applies to the next one).
//
// A firing allocates nothing: the sink list is shared, copied only when it
// changes while a firing holds it. Whether a sink implements the C++
// interface is decided once, when it connects (an object's type is fixed).
//
// Connection points: every class whose member table names its outgoing
// interface (`.Notifies(&TimerObjEvents::StaticClass)`) and that holds a
// Notifier of that interface as a member (of itself or of a base class)
// answers for the interface "IConnectionPoint": `Connect(sink)` returns a
// cookie, `Disconnect(cookie)` ends that connection, `InterfaceName` names
// the outgoing interface. Late-bound clients reach it by name
// (QueryInterface("IConnectionPoint"), or by calling Connect on the object);
// C++ clients that do not know the class call ConnectSink / DisconnectSink.
// Nothing else is needed: the Notifier announces itself when it is built,
// and the runtime finds it inside the object.
//
// Threading: used on the owning object's thread.
//
//   Notifier<TimerObjEvents> time_;
//   uint32_t cookie = time_.Connect(sink);
//   time_.Fire<&TimerObjEvents::Time>("Time", Variant(now));
//
//   uint32_t c = ConnectSink(*any_object, sink);   // without its C++ class
//   DisconnectSink(*any_object, c);
#ifndef KVL_RUNTIME_NOTIFIER_H_
#define KVL_RUNTIME_NOTIFIER_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/client_call.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// The side of a Notifier that the connection point uses without knowing the
// sink's C++ interface. Each NotifierBase records its address while it
// lives, so that the runtime can find the one inside an object.
class KVL_EXPORT NotifierBase {
 public:
  // Connects `sink` and returns its cookie (never 0); null gives 0.
  virtual uint32_t ConnectSink(Ref<Object> sink) = 0;
  // Disconnects the connection `cookie`; false when there is none.
  virtual bool DisconnectCookie(uint32_t cookie) = 0;
  // The table of the outgoing interface, or null when the sink interface
  // publishes none.
  virtual const ClassInfo* Interface() const = 0;

  // The notifier of `object`'s outgoing interface, or null when its class
  // names none or holds no notifier of that interface.
  static NotifierBase* Of(Object& object);

 protected:
  NotifierBase();
  NotifierBase(const NotifierBase&);
  NotifierBase& operator=(const NotifierBase&) { return *this; }
  virtual ~NotifierBase();
};

// Connects `sink` to the notifications of `source`, whatever its class;
// returns the cookie. Raises 438 when `source` fires none, 91 for a null
// sink.
KVL_EXPORT uint32_t ConnectSink(Object& source, Ref<Object> sink);
// Ends the connection `cookie` of `source`; false when there is none.
// Raises 438 when `source` fires no notifications.
KVL_EXPORT bool DisconnectSink(Object& source, uint32_t cookie);

// The table of the connection-point interface "IConnectionPoint":
// Connect(sink As Object) As Long, Disconnect(cookie As Long) As Boolean,
// InterfaceName As String.
KVL_EXPORT const ClassInfo& ConnectionPointInterface();

template <class Sink>
class KVL_EXPORT Notifier final : public NotifierBase {
 public:
  // Connects `sink` and returns its cookie (never 0); null is ignored and
  // gives 0.
  uint32_t Connect(Ref<Object> sink) {
    if (!sink) return 0;
    Sink* typed = sink->template As<Sink>();
    Writable().push_back(Connection{next_cookie_, std::move(sink), typed});
    return next_cookie_++;
  }
  // Disconnects the connection `cookie`; false when there is none.
  bool Disconnect(uint32_t cookie) {
    if (!sinks_) return false;
    for (size_t i = 0; i < sinks_->size(); ++i) {
      if ((*sinks_)[i].cookie == cookie) {
        List& list = Writable();
        list.erase(list.begin() + static_cast<std::ptrdiff_t>(i));
        return true;
      }
    }
    return false;
  }
  // Disconnects every connection of `sink`.
  bool Disconnect(const Object* sink) {
    if (!sinks_) return false;
    Object* identity = const_cast<Object*>(sink)->Identity();
    auto same = [&](const Connection& c) {
      return c.sink->Identity() == identity;
    };
    if (std::none_of(sinks_->begin(), sinks_->end(), same)) return false;
    std::erase_if(Writable(), same);
    return true;
  }
  void DisconnectAll() { sinks_.reset(); }

  uint32_t ConnectSink(Ref<Object> sink) override {
    return Connect(std::move(sink));
  }
  bool DisconnectCookie(uint32_t cookie) override { return Disconnect(cookie); }
  const ClassInfo* Interface() const override {
    if constexpr (requires { Sink::StaticClass(); }) {
      return &Sink::StaticClass();
    } else {
      return nullptr;
    }
  }
  size_t size() const { return sinks_ ? sinks_->size() : 0; }
  bool empty() const { return size() == 0; }

  // Calls `F` (a member of Sink) on every connected sink, or the member
  // `name` by name on sinks that do not implement Sink. Arguments passed as
  // non-const lvalues for by-reference parameters receive what the last
  // sink wrote.
  template <auto F, class... A>
  void Fire(std::string_view name, A&&... args) {
    if (empty()) return;
    // Pinned, not copied: a sink that connects or disconnects meanwhile
    // makes the notifier take a copy of its own, and the sinks of this
    // firing stay alive until it ends.
    const std::shared_ptr<const List> pinned = sinks_;
    for (const Connection& c : *pinned) {
      CallClient(ClientFailure::kRecord, [&] {
        if (c.typed != nullptr) {
          (c.typed->*F)(args...);
        } else {
          FireByName<F>(*c.sink, name, std::index_sequence_for<A...>{},
                        args...);
        }
      });
    }
  }

 private:
  struct Connection {
    uint32_t cookie;
    Ref<Object> sink;
    Sink* typed;  // the sink's C++ interface, or null: called by name
  };
  using List = std::vector<Connection>;

  // The list to change: the shared one when nothing else holds it (no
  // firing under way, no copied notifier), else a copy that replaces it.
  List& Writable() {
    if (!sinks_) {
      sinks_ = std::make_shared<List>();
    } else if (sinks_.use_count() > 1) {
      sinks_ = std::make_shared<List>(*sinks_);
    }
    return *sinks_;
  }

  template <auto F, size_t... I, class... A>
  static void FireByName(Object& sink, std::string_view name,
                         std::index_sequence<I...>, A&... args) {
    using Params = typename internal::FnTraits<decltype(F)>::Args;
    Variant argv[sizeof...(A) > 0 ? sizeof...(A) : 1] = {
        ValueTraits<std::remove_cvref_t<A>>::To(args)...};
    sink.Invoke(name, CallKind::kMethod,
                std::span<Variant>(argv, sizeof...(A)));
    (WriteBack<std::tuple_element_t<I, Params>>(args, argv[I]), ...);
  }

  template <class P, class A>
  static void WriteBack(A& arg, const Variant& v) {
    if constexpr (internal::ArgHolder<P>::kOut &&
                  !std::is_const_v<std::remove_reference_t<A>>) {
      arg = ValueTraits<std::remove_cvref_t<A>>::From(v);
    }
  }

  std::shared_ptr<List> sinks_;
  uint32_t next_cookie_ = 1;
};

}  // namespace kvl

#endif  // KVL_RUNTIME_NOTIFIER_H_

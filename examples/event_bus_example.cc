// A first look at the event bus: listeners with name patterns and
// qualifiers, a monitor that sees everything, a catch listener for what no
// one else handled, events sent as text and as parameters, and one call of
// FireAllEvents that delivers them all.
//
// Run it and compare with the output at the bottom of this file.
#include <cstdio>
#include <span>
#include <string>

#include "kvl/events/event_bus.h"
#include "kvl/events/event_listener.h"
#include "kvl/events/t_event_listener.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/variant_convert.h"

using kvl::ClassBuilder;
using kvl::ClassInfo;
using kvl::ClassKind;
using kvl::DynamicObject;
using kvl::EventBus;
using kvl::EventObject;
using kvl::IEventReceiver;
using kvl::MakeRef;
using kvl::QueuedEvent;
using kvl::Ref;
using kvl::TEventListener;
using kvl::Variant;

// A C++ receiver: implements IEventReceiver, so the bus calls it typed.
class Reporter : public kvl::Object, public IEventReceiver {
  KVL_DECLARE_CLASS(Reporter)
 public:
  explicit Reporter(const char* name) : name_(name) {}
  void EventHandler(const Ref<EventObject>& e, int32_t /*ID*/,
                    int16_t /*Flag*/) override {
    std::printf("%s got %s\n", name_, e->ToString().c_str());
  }

 private:
  const char* name_;
};

const ClassInfo& Reporter::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Reporter>("Reporter", ClassKind::kPrivate)
          .Implements(&IEventReceiver::StaticClass)
          .Build();
  return info;
}

int main() {
  auto bus = MakeRef<EventBus>();

  // Jobs for any device under Job/To/, when they say how many copies.
  bus->Listen(MakeRef<Reporter>("printer"), "Job/To/*", Variant("Copies=*"));

  // A late-bound receiver (as a script would write it): any object with an
  // "EventHandler" member. Listens for urgent jobs, written as one string.
  auto archiver = MakeRef<DynamicObject>("Archiver");
  archiver->OnMethod("EventHandler", [](std::span<Variant> args) {
    auto* e = static_cast<EventObject*>(args[0].AsObject());
    std::printf("archiver got %s (Pages=%s)\n", e->ToString().c_str(),
                kvl::ToText(e->Value("pages")).c_str());
    return Variant();
  });
  bus->ListenString(archiver, "Job/* Priority=[hH]igh");

  // A monitor is called for every event it matches and never counts as
  // having handled it. This one keeps the events in a queue to read later.
  auto inbox = MakeRef<TEventListener>();
  bus->MonitorString(inbox, "*");

  // A catch listener is called only when no normal listener took the event.
  bus->Catch(MakeRef<Reporter>("fallback"), "Job/*", Variant());

  // Sending only queues; FireAllEvents delivers, oldest first.
  bus->SendString("Job/To/Printer Copies=2 Doc='report.pdf'");
  bus->Send("Job/To/Fax", {Variant("Priority=High"), Variant("Pages=3")});
  bus->SendString("Job/To/Plotter Size=A0");
  bus->SendString("Disk/From/Monitor Free=12");
  std::printf("queued: %d events\n", bus->EventCount());
  bus->FireAllEvents();

  std::printf("monitor saw %d events:\n", inbox->Count());
  while (Ref<QueuedEvent> qe = inbox->NextQueuedEvent())
    std::printf("  %s\n", qe->EventObject()->ToString().c_str());

  // Listeners hold their receivers; drop them all before leaving.
  bus->UnlistenAll(nullptr);
  return 0;
}

// Output:
//   queued: 4 events
//   printer got Job/To/Printer Copies=2 Doc=report.pdf
//   archiver got Job/To/Fax Priority=High Pages=3 (Pages=3)
//   fallback got Job/To/Plotter Size=A0
//   monitor saw 4 events:
//     Job/To/Printer Copies=2 Doc=report.pdf
//     Job/To/Fax Priority=High Pages=3
//     Job/To/Plotter Size=A0
//     Disk/From/Monitor Free=12

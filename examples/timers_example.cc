// Periodic and scheduled work on the library's message loop: an event bus
// heartbeat whose ticks reach an ordinary listener, and a queue of named
// timers over one TimerControl that fires jobs when their time comes.
//
//   timers_example             runs about 3.2 seconds on the real clock
//   timers_example --virtual   the same on a manual clock, at once (the
//                              output is then always the same)
#include <cstdio>
#include <cstring>
#include <optional>
#include <span>
#include <string>

#include "kvl/events/event_bus.h"
#include "kvl/runtime/clock.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/message_loop.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/timers/queued_timer.h"
#include "kvl/timers/timer_control.h"

using kvl::CallKind;
using kvl::DynamicObject;
using kvl::EventBus;
using kvl::MakeRef;
using kvl::Variant;

int main(int argc, char** argv) {
  std::optional<kvl::ScopedManualClock> manual;
  if (argc > 1 && std::strcmp(argv[1], "--virtual") == 0) {
    manual.emplace(kvl::MakeDate(2024, 3, 5, 7, 8, 9));
  }
  kvl::MessageLoop& loop = kvl::MessageLoop::Current();

  // The heartbeat: a tick event every second, checked four times a second.
  auto bus = MakeRef<EventBus>();
  auto listener = MakeRef<DynamicObject>("TickPrinter");
  listener->OnMethod("EventHandler", [](std::span<Variant> a) {
    kvl::Object& e = *a[0].AsObject();
    Variant key("TimeString");
    Variant time = e.Invoke("Value", CallKind::kGet, std::span(&key, 1));
    std::printf("tick %s\n", kvl::ToText(time).c_str());
    return Variant();
  });
  bus->ListenString(listener, "EventBus/From/Tick");
  bus->SetTickFrequency(1);
  bus->SetTimerResolution(250);
  bus->SetTimerEnabled(true);

  // Named jobs on one control; the queue follows a TimerControl by itself.
  auto queue = MakeRef<kvl::QueuedTimer>();
  queue->SetTimerRef(MakeRef<kvl::TimerControl>());
  auto jobs = MakeRef<DynamicObject>("Jobs");
  jobs->OnMethod("TimerExpire", [](std::span<Variant> a) {
    std::printf("job %s\n", kvl::ToText(a[0]).c_str());
    return Variant();
  });
  queue->AddFineTimer("Report", 3000, jobs);
  queue->AddFineTimer("Poll", 1500, jobs);
  queue->AddFineTimer("Backup", 2500, jobs);
  std::printf("%s\n", queue->Query().c_str());

  loop.RunFor(3200);
  bus->SetTimerEnabled(false);
  std::printf("%s\n", queue->Query().c_str());
  return 0;
}

// Output of --virtual:
//
// Timer interval: 1485 Timer enabled:True QueueSize:3 Timer=Poll
//   Remaining=1485 Timer=Backup Remaining=2475 Timer=Report Remaining=3025
// tick 20240305070810
// job Poll
// tick 20240305070811
// job Backup
// tick 20240305070812
// job Report
// Timer interval: 550 Timer enabled:False QueueSize:0

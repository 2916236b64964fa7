// Late-bound access to a timer control: any object with settable "Enabled"
// and "Interval" (milliseconds), addressed by name so that a client's own
// control works as well as a TimerControl. Failures of the control reach
// the caller.
#ifndef KVL_TIMERS_INTERNAL_CONTROL_H_
#define KVL_TIMERS_INTERNAL_CONTROL_H_

#include <cstdint>
#include <string_view>

#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/timers/timer_control.h"

namespace kvl::internal {

inline void LetMember(Object& o, std::string_view name, Variant value) {
  o.Invoke(name, CallKind::kLet, std::span<Variant>(&value, 1));
}

inline Variant GetMember(Object& o, std::string_view name) {
  return o.Invoke(name, CallKind::kGet, {});
}

// The TimerControl `control` is, or null; the exact class is recognised
// without a cast through the hierarchy.
inline TimerControl* AsTimerControl(Object& control) {
  if (&control.Class() == &TimerControl::StaticClass())
    return static_cast<TimerControl*>(&control);
  return control.As<TimerControl>();
}

// Sets the control's "Interval", then enables it. A TimerControl is called
// directly, to the same effect.
inline void ArmControl(Object& control, int32_t interval_ms) {
  if (auto* tc = AsTimerControl(control)) {
    tc->SetInterval(interval_ms);
    tc->SetEnabled(true);
    return;
  }
  LetMember(control, "Interval", Variant(interval_ms));
  LetMember(control, "Enabled", Variant(true));
}

inline void DisableControl(Object& control) {
  if (auto* tc = AsTimerControl(control)) return tc->SetEnabled(false);
  LetMember(control, "Enabled", Variant(false));
}

// Disables the control and sets its "Interval" to 0.
inline void ResetControl(Object& control) {
  DisableControl(control);
  if (auto* tc = AsTimerControl(control)) return tc->SetInterval(0);
  LetMember(control, "Interval", Variant(int32_t{0}));
}

}  // namespace kvl::internal

#endif  // KVL_TIMERS_INTERNAL_CONTROL_H_

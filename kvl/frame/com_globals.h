// The library's unique keys: "K." + time stamp + "." + counter, used for tree
// node keys and by KVLGeneric.MakeUniqueKey.
//
// The counter is process-wide (one atomic 32-bit counter for all threads),
// starts at 0 and is incremented before use, so the first key ends in ".1".
// It never wraps: once it stands at 2147483647 every further key raises
// overflow (6). The time stamp comes from kvl::Clock (clock.h), so tests fix
// it with ScopedManualClock.
//
//   ScopedManualClock clock(MakeDate(2004, 2, 3, 14, 5, 9));
//   UniqueTimeStamp();   // "200434140509"
//   MakeUniqueKey();     // "K.200434140509.5" when the counter stood at 4
#ifndef KVL_FRAME_COM_GLOBALS_H_
#define KVL_FRAME_COM_GLOBALS_H_

#include <string>

#include "kvl/runtime/export.h"

namespace kvl {

// "K." + UniqueTimeStamp() + "." + the incremented counter in decimal.
// Safe from any thread; raises 6 when the counter is exhausted.
KVL_EXPORT std::string MakeUniqueKey();

// The current local date and time as four-digit year, day of the year
// without leading zeros (1..366), then hours (24-hour clock), minutes and
// seconds with two digits each.
KVL_EXPORT std::string UniqueTimeStamp();

}  // namespace kvl

#endif  // KVL_FRAME_COM_GLOBALS_H_

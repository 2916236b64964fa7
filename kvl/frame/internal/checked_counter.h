// An atomic 32-bit counter that raises overflow (6) instead of wrapping.
//
//   std::atomic<int32_t> counter{0};
//   int32_t n = IncrementChecked(counter);   // 1
#ifndef KVL_FRAME_INTERNAL_CHECKED_COUNTER_H_
#define KVL_FRAME_INTERNAL_CHECKED_COUNTER_H_

#include <atomic>
#include <cstdint>
#include <limits>

#include "kvl/runtime/error.h"

namespace kvl::internal {

// Adds one to `counter` and returns the new value; at the maximum the
// counter is left unchanged and 6 is raised.
inline int32_t IncrementChecked(std::atomic<int32_t>& counter) {
  int32_t current = counter.load(std::memory_order_relaxed);
  do {
    if (current == std::numeric_limits<int32_t>::max()) Raise(kErrOverflow);
  } while (!counter.compare_exchange_weak(current, current + 1,
                                          std::memory_order_relaxed));
  return current + 1;
}

}  // namespace kvl::internal

#endif  // KVL_FRAME_INTERNAL_CHECKED_COUNTER_H_

// Checked arithmetic for published 16-bit and 32-bit counts and indexes.
//
// Counts stop at their maximum: arithmetic that would go beyond the range
// raises overflow (6) instead of wrapping.
//
//   count_ = CheckedAdd(count_, 1);     // int16_t count_: 32767 + 1 raises 6
#ifndef KVL_RUNTIME_CHECKED_H_
#define KVL_RUNTIME_CHECKED_H_

#include <cstdint>
#include <limits>
#include <type_traits>

#include "kvl/runtime/error.h"

namespace kvl {

// a + b in T (int16_t or int32_t); raises 6 when the sum leaves T's range.
template <class T>
T CheckedAdd(T a, int64_t b) {
  static_assert(std::is_integral_v<T> && std::is_signed_v<T>);
  int64_t sum = static_cast<int64_t>(a) + b;
  if (sum < std::numeric_limits<T>::min() ||
      sum > std::numeric_limits<T>::max())
    Raise(kErrOverflow);
  return static_cast<T>(sum);
}

// `value` narrowed to T; raises 6 when it does not fit.
template <class T, class U>
T CheckedCast(U value) {
  static_assert(std::is_integral_v<T> && std::is_integral_v<U>);
  if (!std::in_range<T>(value)) Raise(kErrOverflow);
  return static_cast<T>(value);
}

}  // namespace kvl

#endif  // KVL_RUNTIME_CHECKED_H_

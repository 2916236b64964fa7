// The range of day numbers that hold a calendar date of years 100..9999.
#ifndef KVL_RUNTIME_INTERNAL_DATE_RANGE_H_
#define KVL_RUNTIME_INTERNAL_DATE_RANGE_H_

namespace kvl::internal {

// 0100-01-01 is day -657434 and 9999-12-31 is day 2958465. A negative day
// counts back with its fraction still counting forward from midnight, so the
// valid values are the open interval (kFirstDay - 1, kLastDay + 1).
inline constexpr double kFirstDay = -657434;
inline constexpr double kLastDay = 2958465;

// True for a finite value in the date range; false for NaN and infinities.
constexpr bool IsDateInRange(double days) {
  return days > kFirstDay - 1 && days < kLastDay + 1;
}

}  // namespace kvl::internal

#endif  // KVL_RUNTIME_INTERNAL_DATE_RANGE_H_

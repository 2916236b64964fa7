// Scanning of numeric text for the conversion layer (variant_convert.cc).
//
// The grammar is the one IsNumericText documents: blanks, an optional sign,
// digits with at most one ".", an optional exponent ("E" or "D", either
// case, optional sign, digits), blanks; or blanks, "&H" hexadecimal or "&O"
// octal digits, blanks. Blanks are space, tab, CR, LF, VT and FF.
#ifndef KVL_RUNTIME_INTERNAL_NUMERIC_TEXT_H_
#define KVL_RUNTIME_INTERNAL_NUMERIC_TEXT_H_

#include <cstdint>
#include <string_view>

namespace kvl::internal {

// Exponents beyond this are clamped; any such value is out of every range.
inline constexpr int64_t kMaxExponent = 1'000'000'000;

// Scanned numeric text. Views point into the scanned text.
struct NumericText {
  bool negative = false;
  // "&H"/"&O" text: `radix_value` holds the value. Up to 0xFFFF the value
  // is a 16-bit integer (so "&HFFFF" is -1), up to 0xFFFFFFFF a 32-bit one.
  bool radix = false;
  int32_t radix_value = 0;
  std::string_view int_digits;   // may be empty when frac_digits is not
  std::string_view frac_digits;  // digits after the ".", may be empty
  int64_t exponent = 0;          // the written exponent, clamped
};

enum class ScanResult {
  kNotNumeric,
  kOk,
  kOverflow,  // "&H"/"&O" text beyond 32 bits
};

ScanResult ScanNumericText(std::string_view text, NumericText* out);

// The value of scanned text as a double. Returns false when it is beyond
// the double range; values below the smallest denormal read as zero.
bool NumericTextToDouble(const NumericText& n, double* out);

constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' ||
         c == '\f';
}
std::string_view TrimBlanks(std::string_view text);

}  // namespace kvl::internal

#endif  // KVL_RUNTIME_INTERNAL_NUMERIC_TEXT_H_

#include "kvl/runtime/variant_convert.h"

#include <algorithm>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "kvl/runtime/date_time.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/internal/date_range.h"
#include "kvl/runtime/internal/numeric_text.h"
#include "kvl/runtime/object.h"

namespace kvl {
namespace {

using internal::NumericText;
using internal::ScanNumericText;
using internal::ScanResult;
using internal::TrimBlanks;
using u128 = unsigned __int128;

constexpr u128 kMax96 = (u128{1} << 96) - 1;
constexpr int kMaxDecimalScale = 28;
// Decimal magnitudes have at most 29 digits (2^96 - 1 is 7.9E+28).
constexpr int64_t kMaxDecimalDigits = 29;
constexpr double kTwoPow96 = 79228162514264337593543950336.0;

constexpr u128 Pow10(int n) {
  u128 p = 1;
  for (int i = 0; i < n; ++i) p *= 10;
  return p;
}

// ---- rounding --------------------------------------------------------------

// `x` rounded to an integer, ties to even.
double RoundHalfEven(double x) {
  double floor = std::floor(x);
  double diff = x - floor;
  if (diff > 0.5) return floor + 1;
  if (diff < 0.5) return floor;
  return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

// value / divisor rounded half to even. divisor > 0.
u128 DivideHalfEven(u128 value, u128 divisor) {
  u128 quotient = value / divisor;
  u128 twice_rest = (value % divisor) * 2;  // < 2 * 10^38 < 2^128
  if (twice_rest > divisor || (twice_rest == divisor && (quotient & 1))) {
    ++quotient;
  }
  return quotient;
}

// A magnitude of scale `from` expressed at scale `to`, rounded half to even
// when digits are dropped. Raising the scale must not overflow: callers
// raise by at most 4 places a magnitude below 2^96.
u128 Rescale(u128 magnitude, int from, int to) {
  if (to >= from) return magnitude * Pow10(to - from);
  int drop = from - to;
  if (drop > 38) return 0;  // the magnitude is below 10^29
  return DivideHalfEven(magnitude, Pow10(drop));
}

int64_t CheckedRound(double x, int64_t lo, int64_t hi) {
  if (std::isnan(x)) Raise(kErrOverflow);
  double r = RoundHalfEven(x);
  if (r < static_cast<double>(lo) || r > static_cast<double>(hi)) {
    Raise(kErrOverflow);
  }
  return static_cast<int64_t>(r);
}

int64_t CheckedRange(int64_t x, int64_t lo, int64_t hi) {
  if (x < lo || x > hi) Raise(kErrOverflow);
  return x;
}

// ---- decimal ---------------------------------------------------------------

u128 Magnitude(const Decimal& d) {
  return (static_cast<u128>(d.hi) << 64) | d.lo;
}

Decimal MakeDecimal(u128 magnitude, int scale, bool negative) {
  Decimal d;
  d.hi = static_cast<uint32_t>(magnitude >> 64);
  d.lo = static_cast<uint64_t>(magnitude);
  d.scale = static_cast<uint8_t>(scale);
  d.negative = negative && magnitude != 0;
  return d;
}

// `d` with trailing zeros after the point removed.
Decimal TrimTrailingZeros(const Decimal& d) {
  u128 magnitude = Magnitude(d);
  int scale = d.scale;
  while (scale > 0 && magnitude % 10 == 0) {
    magnitude /= 10;
    --scale;
  }
  return MakeDecimal(magnitude, scale, d.negative);
}

u128 DigitsValue(std::string_view digits) {
  u128 value = 0;
  for (char c : digits) value = value * 10 + static_cast<unsigned>(c - '0');
  return value;
}

// The decimal (int_digits.frac_digits) * 10^exponent. Digits beyond 28
// decimals, or beyond what fits in 96 bits, are rounded off half to even;
// false when the integer part does not fit in 96 bits.
bool DecimalFromDigits(bool negative, std::string_view int_digits,
                       std::string_view frac_digits, int64_t exponent,
                       Decimal* out) {
  std::string digits;
  digits.reserve(int_digits.size() + frac_digits.size());
  digits.append(int_digits);
  digits.append(frac_digits);
  size_t lead = digits.find_first_not_of('0');
  digits.erase(0, lead == std::string::npos ? digits.size() : lead);
  const int64_t count = static_cast<int64_t>(digits.size());
  const int64_t scale = static_cast<int64_t>(frac_digits.size()) - exponent;

  if (count == 0) {
    *out = MakeDecimal(
        0, static_cast<int>(std::clamp<int64_t>(scale, 0, kMaxDecimalScale)),
        false);
    return true;
  }
  if (scale <= 0) {
    if (count - scale > kMaxDecimalDigits) return false;
    u128 magnitude = DigitsValue(digits) * Pow10(static_cast<int>(-scale));
    if (magnitude > kMax96) return false;
    *out = MakeDecimal(magnitude, 0, negative);
    return true;
  }
  // Drop trailing digits until the scale is at most 28 and the rest fits.
  int64_t drop = std::max<int64_t>(
      {0, scale - kMaxDecimalScale, count - kMaxDecimalDigits});
  for (;; ++drop) {
    if (drop > scale) return false;
    const int64_t keep = count - drop;
    u128 magnitude = 0;
    if (keep >= 0) {
      magnitude = DigitsValue(std::string_view(digits).substr(0, keep));
      if (drop > 0) {
        char first = digits[keep];
        bool sticky =
            digits.find_first_not_of('0', keep + 1) != std::string::npos;
        if (first > '5' || (first == '5' && (sticky || (magnitude & 1)))) {
          ++magnitude;
        }
      }
    }
    if (magnitude <= kMax96) {
      *out = MakeDecimal(magnitude, static_cast<int>(scale - drop), negative);
      return true;
    }
  }
}

// `value` rounded to `digits` significant digits, as a decimal. |value| must
// be below 2^96.
Decimal DecimalFromSignificant(double value, int digits) {
  if (value == 0) return Decimal{};
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                              std::chars_format::scientific, digits - 1);
  std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  NumericText n;
  Decimal d;
  if (ScanNumericText(text, &n) != ScanResult::kOk ||
      !DecimalFromDigits(n.negative, n.int_digits, n.frac_digits, n.exponent,
                         &d)) {
    Raise(kErrOverflow);
  }
  return TrimTrailingZeros(d);
}

Decimal DecimalFromInteger(int64_t value) {
  uint64_t magnitude = value < 0 ? 0 - static_cast<uint64_t>(value)
                                 : static_cast<uint64_t>(value);
  return MakeDecimal(magnitude, 0, value < 0);
}

// The signed integer nearest to `d` (ties to even); raises 6 beyond lo..hi.
int64_t DecimalToInteger(const Decimal& d, int64_t lo, int64_t hi) {
  u128 magnitude = Rescale(Magnitude(d), d.scale, 0);
  if (magnitude > (u128{1} << 63)) Raise(kErrOverflow);
  int64_t value;
  if (!d.negative) {
    if (magnitude == (u128{1} << 63)) Raise(kErrOverflow);
    value = static_cast<int64_t>(magnitude);
  } else if (magnitude == (u128{1} << 63)) {
    value = std::numeric_limits<int64_t>::min();
  } else {
    value = -static_cast<int64_t>(magnitude);
  }
  return CheckedRange(value, lo, hi);
}

Currency CurrencyFromDecimal(const Decimal& d) {
  u128 magnitude = Rescale(Magnitude(d), d.scale, 4);
  constexpr u128 kLimit = u128{1} << 63;
  if (magnitude > kLimit || (magnitude == kLimit && !d.negative)) {
    Raise(kErrOverflow);
  }
  if (magnitude == kLimit) return Currency{std::numeric_limits<int64_t>::min()};
  int64_t scaled = static_cast<int64_t>(magnitude);
  return Currency{d.negative ? -scaled : scaled};
}

Decimal DecimalFromCurrency(Currency c) {
  bool negative = c.scaled < 0;
  uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(c.scaled)
                                : static_cast<uint64_t>(c.scaled);
  return TrimTrailingZeros(MakeDecimal(magnitude, 4, negative));
}

// Compares magnitudes a / 10^sa and b / 10^sb with sa <= sb.
int CompareScaledMagnitudes(u128 a, int sa, u128 b, int sb) {
  int diff = sb - sa;
  u128 quotient = 0;
  u128 rest = b;
  if (diff <= 38) {
    u128 p = Pow10(diff);
    quotient = b / p;
    rest = b % p;
  }
  if (a != quotient) return a < quotient ? -1 : 1;
  return rest != 0 ? -1 : 0;
}

// ---- text ------------------------------------------------------------------

// "True" or "False" in any case, ignoring blanks: sets *out to the boolean.
bool ReadBooleanText(std::string_view text, bool* out) {
  text = TrimBlanks(text);
  if (EqualsNoCase(text, "True")) {
    *out = true;
    return true;
  }
  if (EqualsNoCase(text, "False")) {
    *out = false;
    return true;
  }
  return false;
}

// Scans numeric text; raises 13 when it is not numeric, 6 for "&H"/"&O"
// text beyond 32 bits.
NumericText ScanOrRaise(std::string_view text) {
  NumericText n;
  switch (ScanNumericText(text, &n)) {
    case ScanResult::kOk: return n;
    case ScanResult::kOverflow: Raise(kErrOverflow);
    case ScanResult::kNotNumeric: break;
  }
  Raise(kErrTypeMismatch);
}

double TextToDouble(std::string_view text) {
  bool b;
  if (ReadBooleanText(text, &b)) return b ? -1 : 0;
  double value;
  if (!internal::NumericTextToDouble(ScanOrRaise(text), &value)) {
    Raise(kErrOverflow);
  }
  return value;
}

Decimal TextToDecimal(std::string_view text) {
  bool b;
  if (ReadBooleanText(text, &b)) return DecimalFromInteger(b ? -1 : 0);
  NumericText n = ScanOrRaise(text);
  if (n.radix) return DecimalFromInteger(n.radix_value);
  Decimal d;
  if (!DecimalFromDigits(n.negative, n.int_digits, n.frac_digits, n.exponent,
                         &d)) {
    Raise(kErrOverflow);
  }
  return d;
}

// `value` with `digits` significant digits (no trailing zeros), plain when
// its decimal exponent is within -5 .. digits - 1, else "d.dddE+XX".
std::string FormatSignificant(double value, int digits) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  if (value == 0) return "0";
  char buffer[64];
  auto result = std::to_chars(buffer, buffer + sizeof buffer, value,
                              std::chars_format::scientific, digits - 1);
  std::string_view text(buffer, static_cast<size_t>(result.ptr - buffer));
  bool negative = text[0] == '-';
  if (negative) text.remove_prefix(1);
  size_t e = text.find('e');
  std::string mantissa;
  for (char c : text.substr(0, e)) {
    if (c != '.') mantissa += c;
  }
  mantissa.erase(mantissa.find_last_not_of('0') + 1);
  int exponent = 0;
  std::string_view exp_text = text.substr(e + 1);
  if (exp_text[0] == '+') exp_text.remove_prefix(1);
  std::from_chars(exp_text.data(), exp_text.data() + exp_text.size(), exponent);

  std::string out = negative ? "-" : "";
  const int count = static_cast<int>(mantissa.size());
  if (exponent >= -5 && exponent < digits) {
    if (exponent < 0) {
      out += "0.";
      out.append(static_cast<size_t>(-exponent - 1), '0');
      out += mantissa;
    } else if (count <= exponent + 1) {
      out += mantissa;
      out.append(static_cast<size_t>(exponent + 1 - count), '0');
    } else {
      out.append(mantissa, 0, static_cast<size_t>(exponent + 1));
      out += '.';
      out.append(mantissa, static_cast<size_t>(exponent + 1));
    }
    return out;
  }
  out += mantissa[0];
  if (count > 1) {
    out += '.';
    out.append(mantissa, 1);
  }
  out += exponent < 0 ? "E-" : "E+";
  int magnitude = exponent < 0 ? -exponent : exponent;
  if (magnitude < 10) out += '0';
  out += std::to_string(magnitude);
  return out;
}

// ---- kinds -----------------------------------------------------------------

[[noreturn]] void RaiseNull() {
  Raise(kErrInvalidUseOfNull);
}

// The integer nearest to `v` (ties to even), checked against lo..hi.
int64_t ToInteger(const Variant& v, int64_t lo, int64_t hi) {
  switch (v.type()) {
    case VarType::kEmpty: return CheckedRange(0, lo, hi);
    case VarType::kNull: RaiseNull();
    case VarType::kI2: return CheckedRange(v.AsI2(), lo, hi);
    case VarType::kI4: return CheckedRange(v.AsI4(), lo, hi);
    case VarType::kByte: return CheckedRange(v.AsByte(), lo, hi);
    case VarType::kBool: return CheckedRange(v.AsBool() ? -1 : 0, lo, hi);
    case VarType::kR4: return CheckedRound(v.AsR4(), lo, hi);
    case VarType::kR8:
    case VarType::kDate: return CheckedRound(v.AsR8(), lo, hi);
    case VarType::kCurrency:
      return DecimalToInteger(DecimalFromCurrency(v.AsCurrency()), lo, hi);
    case VarType::kDecimal: return DecimalToInteger(v.AsDecimal(), lo, hi);
    case VarType::kString: {
      bool b;
      if (ReadBooleanText(v.AsString(), &b)) {
        return CheckedRange(b ? -1 : 0, lo, hi);
      }
      NumericText n = ScanOrRaise(v.AsString());
      if (n.radix) return CheckedRange(n.radix_value, lo, hi);
      Decimal d;
      if (!DecimalFromDigits(n.negative, n.int_digits, n.frac_digits,
                             n.exponent, &d)) {
        Raise(kErrOverflow);
      }
      return DecimalToInteger(d, lo, hi);
    }
    default: Raise(kErrTypeMismatch);
  }
}

Variant ConvertArray(const Variant& v, VarType element) {
  if (!v.is_array()) Raise(kErrTypeMismatch);
  const SafeArray& source = v.Array();
  SafeArray result(element, source.lower(), source.upper());
  for (int32_t i = source.lower(); i <= source.upper(); ++i) {
    result.Put(i, source.At(i));
  }
  return Variant(std::move(result));
}

}  // namespace

// ---- scalar conversions ----------------------------------------------------

int16_t ToI2(const Variant& v) {
  return static_cast<int16_t>(ToInteger(v, INT16_MIN, INT16_MAX));
}

int32_t ToI4(const Variant& v) {
  return static_cast<int32_t>(ToInteger(v, INT32_MIN, INT32_MAX));
}

uint8_t ToByte(const Variant& v) {
  // True is 255 as a byte: the low byte of -1.
  bool b;
  if (v.type() == VarType::kBool) return v.AsBool() ? 255 : 0;
  if (v.is_string() && ReadBooleanText(v.AsString(), &b)) return b ? 255 : 0;
  return static_cast<uint8_t>(ToInteger(v, 0, 255));
}

double ToR8(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty: return 0;
    case VarType::kNull: RaiseNull();
    case VarType::kI2: return v.AsI2();
    case VarType::kI4: return v.AsI4();
    case VarType::kByte: return v.AsByte();
    case VarType::kBool: return v.AsBool() ? -1 : 0;
    case VarType::kR4: return v.AsR4();
    case VarType::kR8:
    case VarType::kDate: return v.AsR8();
    case VarType::kCurrency:
      return static_cast<double>(v.AsCurrency().scaled) / 10000.0;
    case VarType::kDecimal: return DecimalToDouble(v.AsDecimal());
    case VarType::kString: return TextToDouble(v.AsString());
    default: Raise(kErrTypeMismatch);
  }
}

float ToR4(const Variant& v) {
  if (v.type() == VarType::kR4) return v.AsR4();
  double x = ToR8(v);
  if (std::isfinite(x) && std::fabs(x) > FLT_MAX) Raise(kErrOverflow);
  return static_cast<float>(x);
}

bool ToBool(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty: return false;
    case VarType::kNull: RaiseNull();
    case VarType::kBool: return v.AsBool();
    case VarType::kCurrency: return v.AsCurrency().scaled != 0;
    case VarType::kDecimal: return Magnitude(v.AsDecimal()) != 0;
    case VarType::kString: {
      bool b;
      if (ReadBooleanText(v.AsString(), &b)) return b;
      return TextToDouble(v.AsString()) != 0;
    }
    default: return ToR8(v) != 0;
  }
}

std::string ToText(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty: return std::string();
    case VarType::kNull: RaiseNull();
    case VarType::kI2: return std::to_string(v.AsI2());
    case VarType::kI4: return std::to_string(v.AsI4());
    case VarType::kByte: return std::to_string(v.AsByte());
    case VarType::kBool: return v.AsBool() ? "True" : "False";
    case VarType::kR4: return FormatSingle(v.AsR4());
    case VarType::kR8: return FormatDouble(v.AsR8());
    case VarType::kDate: return FormatGeneralDate(v.AsDate());
    case VarType::kCurrency: return CurrencyToText(v.AsCurrency());
    case VarType::kDecimal: return DecimalToText(v.AsDecimal());
    case VarType::kString: return v.AsString();
    case VarType::kError: return "Error " + std::to_string(v.AsError());
    default: Raise(kErrTypeMismatch);
  }
}

Date ToDate(const Variant& v) {
  double days = 0;
  switch (v.type()) {
    case VarType::kDate: return v.AsDate();
    case VarType::kString: {
      Date parsed;
      if (ParseDateText(v.AsString(), &parsed)) return parsed;
      double value;
      if (!internal::NumericTextToDouble(ScanOrRaise(v.AsString()), &value)) {
        Raise(kErrOverflow);
      }
      days = value;
      break;
    }
    default: days = ToR8(v);
  }
  if (!internal::IsDateInRange(days)) Raise(kErrOverflow);
  return Date{days};
}

Currency ToCurrency(const Variant& v) {
  switch (v.type()) {
    case VarType::kCurrency: return v.AsCurrency();
    case VarType::kDecimal: return CurrencyFromDecimal(v.AsDecimal());
    case VarType::kString:
      return CurrencyFromDecimal(TextToDecimal(v.AsString()));
    case VarType::kI2:
    case VarType::kI4:
    case VarType::kByte:
    case VarType::kBool:
    case VarType::kEmpty:
      return Currency{ToInteger(v, INT32_MIN, INT32_MAX) * 10000};
    default: {
      // Doubles are read with their 15 significant digits, so 2.00015
      // rounds to 2.0002 as it reads, not by its binary approximation.
      double x = ToR8(v);
      if (!(std::fabs(x) < 1e15)) Raise(kErrOverflow);
      return CurrencyFromDecimal(DecimalFromDouble(x));
    }
  }
}

Decimal ToDecimal(const Variant& v) {
  switch (v.type()) {
    case VarType::kDecimal: return v.AsDecimal();
    case VarType::kCurrency: return DecimalFromCurrency(v.AsCurrency());
    case VarType::kString: return TextToDecimal(v.AsString());
    case VarType::kR4: {
      double x = v.AsR4();
      if (!std::isfinite(x) || std::fabs(x) >= kTwoPow96) {
        Raise(kErrOverflow);
      }
      return DecimalFromSignificant(x, 7);
    }
    case VarType::kR8:
    case VarType::kDate: return DecimalFromDouble(v.AsR8());
    default: return DecimalFromInteger(ToInteger(v, INT32_MIN, INT32_MAX));
  }
}

Variant ChangeType(const Variant& v, VarType to) {
  if (to == VarType::kVariant) return v;
  if (IsArrayType(to)) return ConvertArray(v, ElementType(to));
  if (v.is_array()) Raise(kErrTypeMismatch);
  switch (to) {
    case VarType::kEmpty: return Variant();
    case VarType::kNull:
      if (!v.is_null()) Raise(kErrTypeMismatch);
      return Variant::Null();
    case VarType::kI2: return Variant(ToI2(v));
    case VarType::kI4: return Variant(ToI4(v));
    case VarType::kR4: return Variant(ToR4(v));
    case VarType::kR8: return Variant(ToR8(v));
    case VarType::kCurrency: return Variant(ToCurrency(v));
    case VarType::kDate: return Variant(ToDate(v));
    case VarType::kString: return Variant(ToText(v));
    case VarType::kBool: return Variant(ToBool(v));
    case VarType::kDecimal: return Variant(ToDecimal(v));
    case VarType::kByte: return Variant(ToByte(v));
    case VarType::kObject:
      if (v.is_object()) return Variant(v.AsObject());
      if (v.is_empty()) return Variant::Nothing();
      if (v.is_null()) RaiseNull();
      Raise(kErrTypeMismatch);
    case VarType::kUnknown:
      if (v.is_object()) return Variant::Unknown(v.AsObject());
      if (v.is_empty()) return Variant::Unknown(nullptr);
      if (v.is_null()) RaiseNull();
      Raise(kErrTypeMismatch);
    case VarType::kError:
      if (v.type() == VarType::kError) return v;
      if (v.is_null()) RaiseNull();
      Raise(kErrTypeMismatch);
    default: Raise(kErrTypeMismatch);
  }
}

void SafeArray::Put(int32_t index, Variant value) {
  Variant& slot = At(index);
  if (element_ == VarType::kVariant) {
    slot = std::move(value);
  } else {
    slot = ChangeType(value, element_);
  }
}

// ---- numeric text ----------------------------------------------------------

bool IsNumeric(const Variant& v) {
  switch (v.type()) {
    case VarType::kEmpty:
    case VarType::kI2:
    case VarType::kI4:
    case VarType::kR4:
    case VarType::kR8:
    case VarType::kCurrency:
    case VarType::kDate:
    case VarType::kBool:
    case VarType::kDecimal:
    case VarType::kByte: return true;
    case VarType::kString: return IsNumericText(v.AsString());
    default: return false;
  }
}

bool IsNumericText(std::string_view text) {
  double unused;
  return ParseDouble(text, &unused);
}

bool ParseDouble(std::string_view text, double* out) {
  NumericText n;
  if (ScanNumericText(text, &n) != ScanResult::kOk) return false;
  return internal::NumericTextToDouble(n, out);
}

std::string FormatDouble(double value) {
  return FormatSignificant(value, 15);
}

std::string FormatSingle(float value) {
  return FormatSignificant(value, 7);
}

// ---- names -----------------------------------------------------------------

namespace {
const char* KindName(VarType t) {
  switch (t) {
    case VarType::kEmpty: return "Empty";
    case VarType::kNull: return "Null";
    case VarType::kI2: return "Integer";
    case VarType::kI4: return "Long";
    case VarType::kR4: return "Single";
    case VarType::kR8: return "Double";
    case VarType::kCurrency: return "Currency";
    case VarType::kDate: return "Date";
    case VarType::kString: return "String";
    case VarType::kObject: return "Object";
    case VarType::kError: return "Error";
    case VarType::kBool: return "Boolean";
    case VarType::kVariant: return "Variant";
    case VarType::kDecimal: return "Decimal";
    case VarType::kByte: return "Byte";
    default: return "Unknown";
  }
}
}  // namespace

std::string TypeName(const Variant& v) {
  if (v.is_array()) return std::string(KindName(ElementType(v.type()))) + "()";
  if (v.is_object()) {
    return v.AsObject() ? v.AsObject()->ClassName() : "Nothing";
  }
  return KindName(v.type());
}

// ---- decimal and currency --------------------------------------------------

bool DecimalFromText(std::string_view text, Decimal* out) {
  NumericText n;
  if (ScanNumericText(text, &n) != ScanResult::kOk || n.radix ||
      text.find_first_of("eEdD") != std::string_view::npos) {
    return false;
  }
  return DecimalFromDigits(n.negative, n.int_digits, n.frac_digits, 0, out);
}

std::string DecimalToText(const Decimal& d) {
  u128 magnitude = Magnitude(d);
  if (magnitude == 0) return "0";
  std::string digits;
  for (; magnitude != 0; magnitude /= 10) {
    digits += static_cast<char>('0' + static_cast<int>(magnitude % 10));
  }
  std::reverse(digits.begin(), digits.end());
  const size_t scale = d.scale;
  if (scale > 0) {
    if (digits.size() <= scale)
      digits.insert(0, scale + 1 - digits.size(), '0');
    digits.insert(digits.size() - scale, 1, '.');
    digits.erase(digits.find_last_not_of('0') + 1);
    if (digits.back() == '.') digits.pop_back();
  }
  return d.negative ? "-" + digits : digits;
}

double DecimalToDouble(const Decimal& d) {
  std::string text = DecimalToText(d);
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

Decimal DecimalFromDouble(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= kTwoPow96) {
    Raise(kErrOverflow);
  }
  return DecimalFromSignificant(value, 15);
}

int CompareDecimal(const Decimal& a, const Decimal& b) {
  u128 ma = Magnitude(a);
  u128 mb = Magnitude(b);
  int sign_a = ma == 0 ? 0 : (a.negative ? -1 : 1);
  int sign_b = mb == 0 ? 0 : (b.negative ? -1 : 1);
  if (sign_a != sign_b) return sign_a < sign_b ? -1 : 1;
  if (sign_a == 0) return 0;
  int c = a.scale <= b.scale
              ? CompareScaledMagnitudes(ma, a.scale, mb, b.scale)
              : -CompareScaledMagnitudes(mb, b.scale, ma, a.scale);
  return sign_a * c;
}

std::string CurrencyToText(Currency c) {
  uint64_t magnitude = c.scaled < 0 ? 0 - static_cast<uint64_t>(c.scaled)
                                    : static_cast<uint64_t>(c.scaled);
  std::string text = c.scaled < 0 ? "-" : "";
  text += std::to_string(magnitude / 10000);
  if (uint64_t frac = magnitude % 10000; frac != 0) {
    std::string digits = std::to_string(frac + 10000).substr(1);
    digits.erase(digits.find_last_not_of('0') + 1);
    text += '.';
    text += digits;
  }
  return text;
}

}  // namespace kvl

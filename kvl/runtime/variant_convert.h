// Conversions between variant kinds and their text forms, in the C locale.
//
// These are the library's equivalents of the platform's variant coercions:
// every member that takes a number, text or boolean accepts any variant that
// converts. Conversions raise KVLError: 13 (type mismatch) when the value
// cannot be read as the target kind, 6 (overflow) when it is out of range,
// 94 (invalid use of Null) when converting Null to anything but a variant.
//
// Rules (docs/platform-notes.md has the full table):
// - Integer targets round half to even (2.5 -> 2, 3.5 -> 4, -2.5 -> -2).
// - Empty converts to 0, "" or False; True is -1 as a number (255 as a
//   byte).
// - Text reads as a number when IsNumericText says so; "True"/"False"
//   (any case) read as booleans; text converts to a date when it is a
//   number or a date in the form FormatDateTime writes.
// - Numbers become text with up to 15 significant digits (doubles) or 7
//   (singles), no trailing zeros, exponent form "1E+20" / "1.5E-05" beyond
//   the plain range; booleans become "True" / "False"; dates the
//   "General Date" form of date_time.h.
//
//   int16_t n = ToI2(Variant("12.5"));   // 12
//   std::string t = ToText(Variant(0.1 + 0.2));   // "0.3"
#ifndef KVL_RUNTIME_VARIANT_CONVERT_H_
#define KVL_RUNTIME_VARIANT_CONVERT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Text comparison and hashing ignoring ASCII letter case come with the
// conversions: EqualsNoCase, CompareTextNoCase, NoCaseHash, NoCaseEqual.
#include "kvl/runtime/ascii.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/no_case_hash.h"
#include "kvl/runtime/variant.h"

namespace kvl {

KVL_EXPORT int16_t ToI2(const Variant& v);
KVL_EXPORT int32_t ToI4(const Variant& v);
KVL_EXPORT float ToR4(const Variant& v);
KVL_EXPORT double ToR8(const Variant& v);
KVL_EXPORT bool ToBool(const Variant& v);
KVL_EXPORT uint8_t ToByte(const Variant& v);
KVL_EXPORT std::string ToText(const Variant& v);
KVL_EXPORT Date ToDate(const Variant& v);
KVL_EXPORT Currency ToCurrency(const Variant& v);
KVL_EXPORT Decimal ToDecimal(const Variant& v);

// The value converted to kind `to` (a scalar kind, kVariant for a copy, or
// an array kind for an array of matching element kind). Raises as above.
KVL_EXPORT Variant ChangeType(const Variant& v, VarType to);

// The platform's numeric test: true for numbers, booleans, dates and Empty,
// and for text that IsNumericText accepts.
KVL_EXPORT bool IsNumeric(const Variant& v);
// Text that reads as a number: optional blanks, an optional sign, digits
// with at most one ".", an optional exponent ("E" or "D", sign, digits),
// optional blanks; also "&H" hexadecimal and "&O" octal integers. At least
// one digit is required, and the value must be in range: beyond the double
// range, or an "&H"/"&O" value beyond 32 bits, is not numeric (converting
// such text raises 6). "&H"/"&O" values up to &HFFFF are 16-bit ("&HFFFF"
// is -1), up to &HFFFFFFFF 32-bit.
KVL_EXPORT bool IsNumericText(std::string_view text);
// Reads numeric text (as IsNumericText accepts it) into a double; false when
// the text is not numeric or out of double range.
KVL_EXPORT bool ParseDouble(std::string_view text, double* out);

// Number to text as described above.
KVL_EXPORT std::string FormatDouble(double value);
KVL_EXPORT std::string FormatSingle(float value);

// True for the number kinds: Integer, Long, Single, Double, Currency,
// Decimal and Byte (not Empty, Boolean, Date or text).
constexpr bool IsNumberType(VarType t) {
  switch (t) {
    case VarType::kI2:
    case VarType::kI4:
    case VarType::kR4:
    case VarType::kR8:
    case VarType::kCurrency:
    case VarType::kDecimal:
    case VarType::kByte: return true;
    default: return false;
  }
}

// The standard name of a variant's kind: "Empty", "Null", "Integer",
// "Long", "Single", "Double", "Currency", "Date", "String", "Object",
// "Error", "Boolean", "Variant", "Decimal", "Byte"; arrays add "()"
// ("Variant()", "Byte()"). An object gives its class name, or "Nothing".
KVL_EXPORT std::string TypeName(const Variant& v);

// Decimal: 96-bit magnitude, scale 0..28 (up to 28 digits after the point).
// Reads integer or fixed-point text (sign, digits, optional "."); false when
// the text is not such a number or its integer part does not fit in 96 bits.
// Decimals beyond 28 places, or beyond what fits in 96 bits, are rounded
// half to even.
KVL_EXPORT bool DecimalFromText(std::string_view text, Decimal* out);
KVL_EXPORT std::string DecimalToText(const Decimal& d);
KVL_EXPORT double DecimalToDouble(const Decimal& d);
// `value` rounded to 15 significant digits (0.1 gives exactly 0.1). Raises 6
// when |value| >= 2^96 or it is not finite.
KVL_EXPORT Decimal DecimalFromDouble(double value);
// <0, 0, >0.
KVL_EXPORT int CompareDecimal(const Decimal& a, const Decimal& b);

// Currency: text with up to four decimals ("1.5", "-0.0001").
KVL_EXPORT std::string CurrencyToText(Currency c);

}  // namespace kvl

#endif  // KVL_RUNTIME_VARIANT_CONVERT_H_

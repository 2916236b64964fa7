#include "kvl/strings/internal/value_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

#include "kvl/runtime/ascii.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/internal/text_chars.h"

namespace kvl::strings_internal {
namespace {

// Largest magnitude that still reads as a single-precision number.
constexpr double kSingleLimit = 3.402823E+38;

constexpr Decimal DecimalOf(uint64_t magnitude, bool negative) {
  return Decimal{0, magnitude, 0, negative};
}
constexpr Decimal kI2Min = DecimalOf(32768, true);
constexpr Decimal kI2Max = DecimalOf(32767, false);
constexpr Decimal kI4Min = DecimalOf(2147483648u, true);
constexpr Decimal kI4Max = DecimalOf(2147483647, false);

bool InRange(const Decimal& d, const Decimal& lo, const Decimal& hi) {
  return CompareDecimal(d, lo) >= 0 && CompareDecimal(d, hi) <= 0;
}

// Reads [+-]digits with one to nine digits starting at `i`: the common
// case, read without the general numeric scan and with the same value.
// Returns the position after the digits, or npos (nothing read).
size_t ScanPlainInteger(std::string_view text, size_t i, int32_t* value) {
  const size_t n = text.size();
  const bool negative = i < n && text[i] == '-';
  if (negative || (i < n && text[i] == '+')) ++i;
  const size_t first = i;
  int32_t magnitude = 0;
  for (; i < n && IsAsciiDigit(text[i]); ++i) {
    if (i - first == 9) return std::string_view::npos;
    magnitude = magnitude * 10 + (text[i] - '0');
  }
  if (i == first) return std::string_view::npos;
  *value = negative ? -magnitude : magnitude;
  return i;
}

bool FitsI2(int32_t value) {
  return value >= INT16_MIN && value <= INT16_MAX;
}

bool ReadPlainInteger(std::string_view text, Variant* out) {
  int32_t value = 0;
  if (ScanPlainInteger(text, 0, &value) != text.size()) return false;
  *out = FitsI2(value) ? Variant(static_cast<int16_t>(value)) : Variant(value);
  return true;
}

bool EnclosedIn(std::string_view text, char quote) {
  return text.size() >= 2 && text.front() == quote && text.back() == quote;
}

// Scalar steps: integer, real, boolean, string. Raises when a conversion
// fails; ReadScalar turns that into the text itself.
Variant ReadScalarOrRaise(std::string_view text, ValueTextForm form) {
  Variant number;
  if (ReadPlainInteger(text, &number)) return number;
  if (IsNumericText(text)) {
    const Variant as_text(text);
    if (text.find('.') == std::string_view::npos) {
      const Decimal d = ToDecimal(as_text);
      if (InRange(d, kI2Min, kI2Max)) return Variant(ToI2(Variant(d)));
      if (InRange(d, kI4Min, kI4Max)) return Variant(ToI4(Variant(d)));
      return Variant(d);
    }
    const double x = ToR8(as_text);
    if (std::fabs(x) <= kSingleLimit) return Variant(static_cast<float>(x));
    return Variant(x);
  }
  if (EqualsNoCase(text, "true") || EqualsNoCase(text, "#true#"))
    return Variant(true);
  if (EqualsNoCase(text, "false") || EqualsNoCase(text, "#false#"))
    return Variant(false);
  if (EnclosedIn(text, '\'')) {
    const std::string_view inner = text.substr(1, text.size() - 2);
    const bool unquote = form == ValueTextForm::kFirst
                             ? text.find(',') == std::string_view::npos
                             : IsNumericText(inner);
    if (unquote) return Variant(inner);
  }
  return Variant(text);
}

Variant ReadScalar(std::string_view text, ValueTextForm form) {
  try {
    return ReadScalarOrRaise(text, form);
  } catch (const KVLError&) {
    return Variant(text);
  }
}

bool IsListBlank(char c) {
  return c == ' ' || c == '\t';
}

// A plain integer element (see ScanPlainInteger) followed by spaces and
// "," or "]", stored straight into `items`. On success `*stop` is the
// position of the "," or "]"; otherwise nothing is stored.
bool ReadPlainListInteger(std::string_view text, size_t i, size_t* stop,
                          std::vector<Variant>& items) {
  int32_t value = 0;
  i = ScanPlainInteger(text, i, &value);
  if (i == std::string_view::npos) return false;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i >= text.size() || (text[i] != ',' && text[i] != ']')) return false;
  *stop = i;
  if (FitsI2(value)) {
    items.emplace_back(static_cast<int16_t>(value));
  } else {
    items.emplace_back(value);
  }
  return true;
}

// `text` is trimmed and starts with "[". Empty when malformed.
Variant ReadList(std::string_view text) {
  SafeArray array(VarType::kVariant, 0, -1);
  std::vector<Variant>& items = array.items();
  // Every element but the last ends at a ",": with the spare slot this
  // bounds the count, so the elements are built in place, never moved.
  const auto commas = std::count(text.begin(), text.end(), ',');
  items.reserve(static_cast<size_t>(commas) + 2);
  const size_t n = text.size();
  size_t i = 1;
  for (;;) {
    while (i < n && IsListBlank(text[i])) ++i;
    if (i >= n) return Variant();
    // One slot stays for the spare element.
    if (items.size() >= static_cast<size_t>(INT32_MAX) - 1) return Variant();
    size_t stop;  // position of the "," or "]" after the element
    if (!ReadPlainListInteger(text, i, &stop, items)) {
      std::string_view element;
      if (text[i] == '\'') {
        size_t close = i + 1;
        for (;;) {
          close = text.find('\'', close);
          if (close == std::string_view::npos) return Variant();
          if (text[close - 1] != '\\') break;
          ++close;
        }
        element = text.substr(i, close - i + 1);
        stop = close + 1;
        while (stop < n && IsListBlank(text[stop])) ++stop;
        if (stop >= n || (text[stop] != ',' && text[stop] != ']'))
          return Variant();
      } else {
        stop = text.find_first_of(",]", i);
        if (stop == std::string_view::npos) return Variant();
        element = text.substr(i, stop - i);
      }
      element = TrimSpaces(element);
      if (element.empty()) return Variant();
      items.push_back(ReadScalar(element, ValueTextForm::kFirst));
    }
    i = stop + 1;
    if (text[stop] == ']') break;
  }
  items.emplace_back();
  return Variant(std::move(array));
}

// Hexadecimal bytes separated by spaces; Empty when malformed.
Variant ReadBytes(std::string_view text) {
  text = TrimSpaces(text);
  if (text.empty()) return Variant(uint8_t{0});
  std::vector<Variant> bytes;
  const size_t n = text.size();
  size_t i = 0;
  while (i < n) {
    if (text[i] == ' ') {
      ++i;
      continue;
    }
    const int high = HexDigitValue(text[i]);
    if (high < 0) return Variant();
    const int low = i + 1 < n ? HexDigitValue(text[i + 1]) : -1;
    if (low >= 0) {
      bytes.emplace_back(static_cast<uint8_t>(high * 16 + low));
      i += 2;
    } else if (i + 1 == n || text[i + 1] == ' ') {
      bytes.emplace_back(static_cast<uint8_t>(high));
      i += 1;
    } else {
      return Variant();
    }
  }
  if (bytes.size() <= 1) return bytes.empty() ? Variant(uint8_t{0}) : bytes[0];
  if (bytes.size() >= static_cast<size_t>(INT32_MAX)) return Variant();
  bytes.emplace_back(uint8_t{0});
  SafeArray array(VarType::kByte, 0, -1);
  array.items() = std::move(bytes);
  return Variant(std::move(array));
}

void AppendHexByte(std::string& out, uint8_t b) {
  constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[b >> 4];
  out += kDigits[b & 15];
}

void AppendValueText(std::string& out, const Variant& value,
                     ValueTextForm form);

void AppendList(std::string& out, const SafeArray& array) {
  const bool bytes = array.At(0).type() == VarType::kByte;
  const std::vector<Variant>& items = array.items();
  if (!bytes) out += '[';
  // The last slot is the spare one and is not written.
  for (size_t k = 0; k + 1 < items.size(); ++k) {
    if (k > 0) out += bytes ? ' ' : ',';
    AppendValueText(out, items[k], ValueTextForm::kFirst);
  }
  if (!bytes) out += ']';
}

template <class Int>
void AppendInteger(std::string& out, Int value) {
  char digits[12];
  const auto [end, ec] = std::to_chars(digits, digits + sizeof digits, value);
  out.append(digits, end);
}

void AppendValueText(std::string& out, const Variant& value,
                     ValueTextForm form) {
  // Integers, the usual list elements, need neither the text conversion
  // nor quoting.
  switch (value.type()) {
    case VarType::kI2: return AppendInteger(out, value.AsI2());
    case VarType::kI4: return AppendInteger(out, value.AsI4());
    case VarType::kByte: return AppendHexByte(out, value.AsByte());
    case VarType::kEmpty: out += "!!EMPTY!!"; return;
    default: break;
  }
  if (value.is_array()) return AppendList(out, value.Array());
  const std::string text = ToText(value);
  const bool numeric_string = value.is_string() && IsNumericText(text);
  bool quote = numeric_string;
  if (form == ValueTextForm::kFirst) {
    quote = quote ||
            (text.find(',') != std::string::npos && !EnclosedIn(text, '\'')) ||
            (!text.empty() && text.back() == ' ');
  }
  if (quote) out += '\'';
  out += text;
  if (quote) out += '\'';
}

}  // namespace

Variant ReadValueText(std::string_view text, bool is_binary,
                      ValueTextForm form) {
  if (is_binary) return ReadBytes(text);
  if (TrimLeftSpaces(text).starts_with('[') &&
      TrimRightSpaces(text).ends_with(']'))
    return ReadList(TrimSpaces(text));
  return ReadScalar(text, form);
}

std::string WriteValueText(const Variant& value, ValueTextForm form) {
  std::string out;
  AppendValueText(out, value, form);
  return out;
}

}  // namespace kvl::strings_internal

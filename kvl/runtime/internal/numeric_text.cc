#include "kvl/runtime/internal/numeric_text.h"

#include <charconv>
#include <string>
#include <system_error>

#include "kvl/runtime/ascii.h"

namespace kvl::internal {
namespace {

size_t DigitRun(std::string_view text, size_t i) {
  while (i < text.size() && IsAsciiDigit(text[i])) ++i;
  return i;
}

// Digit value of `c` in `base` (8 or 16), or -1.
int RadixDigit(char c, int base) {
  const int d = HexDigitValue(c);
  return d < base ? d : -1;
}

ScanResult ScanRadix(std::string_view text, NumericText* out) {
  // text starts with '&'.
  if (text.size() < 3) return ScanResult::kNotNumeric;
  int base = 0;
  if (text[1] == 'h' || text[1] == 'H') {
    base = 16;
  } else if (text[1] == 'o' || text[1] == 'O') {
    base = 8;
  } else {
    return ScanResult::kNotNumeric;
  }
  uint64_t value = 0;
  bool overflow = false;
  for (char c : text.substr(2)) {
    int d = RadixDigit(c, base);
    if (d < 0) return ScanResult::kNotNumeric;
    if (!overflow) {
      value = value * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
      overflow = value > 0xFFFFFFFFu;
    }
  }
  if (overflow) return ScanResult::kOverflow;
  *out = NumericText{};
  out->radix = true;
  out->radix_value = value <= 0xFFFF
                         ? static_cast<int16_t>(static_cast<uint16_t>(value))
                         : static_cast<int32_t>(static_cast<uint32_t>(value));
  return ScanResult::kOk;
}

}  // namespace

std::string_view TrimBlanks(std::string_view text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

ScanResult ScanNumericText(std::string_view text, NumericText* out) {
  text = TrimBlanks(text);
  if (text.empty()) return ScanResult::kNotNumeric;
  if (text[0] == '&') return ScanRadix(text, out);

  NumericText n;
  size_t i = 0;
  if (text[i] == '+' || text[i] == '-') {
    n.negative = text[i] == '-';
    ++i;
  }
  size_t end = DigitRun(text, i);
  n.int_digits = text.substr(i, end - i);
  i = end;
  if (i < text.size() && text[i] == '.') {
    end = DigitRun(text, ++i);
    n.frac_digits = text.substr(i, end - i);
    i = end;
  }
  if (n.int_digits.empty() && n.frac_digits.empty()) {
    return ScanResult::kNotNumeric;
  }
  if (i < text.size()) {
    char e = text[i];
    if (e != 'e' && e != 'E' && e != 'd' && e != 'D') {
      return ScanResult::kNotNumeric;
    }
    ++i;
    bool exp_negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
      exp_negative = text[i] == '-';
      ++i;
    }
    end = DigitRun(text, i);
    if (end == i || end != text.size()) return ScanResult::kNotNumeric;
    int64_t exponent = 0;
    for (; i < end; ++i) {
      exponent = exponent * 10 + (text[i] - '0');
      if (exponent > kMaxExponent) exponent = kMaxExponent;
    }
    n.exponent = exp_negative ? -exponent : exponent;
  }
  *out = n;
  return ScanResult::kOk;
}

bool NumericTextToDouble(const NumericText& n, double* out) {
  if (n.radix) {
    *out = n.radix_value;
    return true;
  }
  std::string buffer;
  buffer.reserve(n.int_digits.size() + n.frac_digits.size() + 16);
  if (n.negative) buffer += '-';
  buffer += n.int_digits.empty() ? std::string_view("0") : n.int_digits;
  if (!n.frac_digits.empty()) {
    buffer += '.';
    buffer += n.frac_digits;
  }
  buffer += 'e';
  buffer += std::to_string(n.exponent);

  double value = 0;
  auto result =
      std::from_chars(buffer.data(), buffer.data() + buffer.size(), value);
  if (result.ec == std::errc()) {
    *out = value;
    return true;
  }
  // Out of range: tell underflow (reads as zero) from overflow by the
  // decimal exponent of the leading significant digit.
  size_t lead = n.int_digits.find_first_not_of('0');
  int64_t magnitude = 0;
  if (lead != std::string_view::npos) {
    magnitude = n.exponent + static_cast<int64_t>(n.int_digits.size() - lead);
  } else {
    size_t frac_lead = n.frac_digits.find_first_not_of('0');
    if (frac_lead == std::string_view::npos) {
      *out = n.negative ? -0.0 : 0.0;
      return true;
    }
    magnitude = n.exponent - static_cast<int64_t>(frac_lead);
  }
  if (magnitude <= 0) {
    *out = n.negative ? -0.0 : 0.0;
    return true;
  }
  return false;
}

}  // namespace kvl::internal

// ASCII character rules: letter case, digits and hexadecimal digits.
//
// The library ignores letter case for the ASCII letters only; every other
// byte (including each byte of a UTF-8 sequence) compares as it is, and
// bytes compare as unsigned values. These helpers are the one place that
// rule is written down; they are constexpr, allocate nothing, and are safe
// on any thread.
//
// The character functions take any character or code type (char, unsigned
// char, int, char32_t) and return the same type, so a decoded code point
// folds the same way as a byte:
//
//   AsciiToLower('Q');                 // 'q'
//   AsciiToLower(U'\u00C9');           // unchanged: not an ASCII letter
//   HexDigitValue('b');                // 11
//   EqualsNoCase("Item", "ITEM");      // true
#ifndef KVL_RUNTIME_ASCII_H_
#define KVL_RUNTIME_ASCII_H_

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace kvl {

template <class C>
constexpr bool IsAsciiUpper(C c) {
  return c >= 'A' && c <= 'Z';
}
template <class C>
constexpr bool IsAsciiLower(C c) {
  return c >= 'a' && c <= 'z';
}
template <class C>
constexpr bool IsAsciiLetter(C c) {
  return IsAsciiUpper(c) || IsAsciiLower(c);
}
template <class C>
constexpr bool IsAsciiDigit(C c) {
  return c >= '0' && c <= '9';
}

template <class C>
constexpr C AsciiToLower(C c) {
  return IsAsciiUpper(c) ? static_cast<C>(c + ('a' - 'A')) : c;
}
template <class C>
constexpr C AsciiToUpper(C c) {
  return IsAsciiLower(c) ? static_cast<C>(c - ('a' - 'A')) : c;
}

// Eight bytes held in one word, each ASCII capital turned into its small
// letter at once; every other byte (UTF-8 sequences included) is kept.
constexpr uint64_t AsciiToLowerEightBytes(uint64_t x) {
  constexpr uint64_t kOnes = 0x0101010101010101ull;
  constexpr uint64_t kHighBits = 0x8080808080808080ull;
  // Per byte, the high bit of `at_least_a` says the low seven bits are
  // >= 'A', of `beyond_z` that they are > 'Z'; no sum carries into the next
  // byte because low7 + 0x3f < 0x100.
  const uint64_t low7 = x & ~kHighBits;
  const uint64_t at_least_a = low7 + (0x80 - 'A') * kOnes;
  const uint64_t beyond_z = low7 + (0x7f - 'Z') * kOnes;
  const uint64_t capital = at_least_a & ~beyond_z & ~x & kHighBits;
  return x | (capital >> 2);  // 0x80 >> 2 is the case bit 0x20
}

// 0-15 for "0"-"9", "a"-"f" and "A"-"F"; -1 for anything else.
template <class C>
constexpr int HexDigitValue(C c) {
  if (IsAsciiDigit(c)) return static_cast<int>(c - '0');
  const C lower = AsciiToLower(c);
  if (lower >= 'a' && lower <= 'f') return static_cast<int>(lower - 'a') + 10;
  return -1;
}

// Text comparison ignoring ASCII letter case, bytes as unsigned values:
// <0, 0, >0.
constexpr int CompareTextNoCase(std::string_view a, std::string_view b) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    const auto x = AsciiToLower(static_cast<unsigned char>(a[i]));
    const auto y = AsciiToLower(static_cast<unsigned char>(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

constexpr bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (AsciiToLower(a[i]) != AsciiToLower(b[i])) return false;
  return true;
}

}  // namespace kvl

#endif  // KVL_RUNTIME_ASCII_H_

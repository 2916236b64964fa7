// Byte-level helpers of the string functions: where a UTF-8 character
// starts and ends, hexadecimal digits, and trimming of spaces.
//
// Text is UTF-8 held in std::string; a position is a byte offset. A
// "character" is one well-formed UTF-8 sequence, or a single byte where the
// bytes do not form one, so every text splits into characters without loss.
// Only the space (32) is trimmed here: tabs and other blanks are kept.
//
//   size_t n = CharLengthAt("\xC3\xA9t\xC3\xA9", 0);   // 2
//   std::string_view t = TrimSpaces("  a b  ");        // "a b"
#ifndef KVL_STRINGS_INTERNAL_TEXT_CHARS_H_
#define KVL_STRINGS_INTERNAL_TEXT_CHARS_H_

#include <cstddef>
#include <string_view>

namespace kvl::strings_internal {

// Byte length of the character starting at byte `i` (i < text.size()): the
// length of the UTF-8 sequence when it is well formed and complete, else 1.
size_t CharLengthAt(std::string_view text, size_t i);

// The first and the last character of `text`; empty for an empty text.
std::string_view FirstChar(std::string_view text);
std::string_view LastChar(std::string_view text);

// 0-15 for "0"-"9", "a"-"f", "A"-"F"; -1 for any other byte.
constexpr int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view TrimLeftSpaces(std::string_view text);
std::string_view TrimRightSpaces(std::string_view text);
std::string_view TrimSpaces(std::string_view text);

}  // namespace kvl::strings_internal

#endif  // KVL_STRINGS_INTERNAL_TEXT_CHARS_H_

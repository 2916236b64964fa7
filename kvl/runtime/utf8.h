// UTF-8 characters in byte strings: where a character starts and ends, what
// it decodes to, and which characters count as letters in words.
//
// Text is UTF-8 held in std::string and positions are byte offsets. A
// character is one well-formed UTF-8 sequence: the shortest form of a code
// point up to U+10FFFF that is not a surrogate. A byte that starts no such
// sequence (a stray continuation byte, the lead byte of a truncated or
// overlong sequence or of a surrogate, C0, C1, F5-FF) is a character of its
// own, so every byte string splits into characters without loss and without
// failing. Nothing here allocates; everything is safe on any thread.
//
// Words. Scanners that define words by character classes (the parameter
// string tokenizer, the configuration scanner) keep their ASCII classes and
// add one rule from here: a well-formed multi-byte sequence is, as a whole,
// a word character and a word-start character. Malformed bytes are not.
//
//   std::string_view s = "caf\xC3\xA9";
//   Utf8CharLength(s, 3);              // 2
//   size_t n;
//   DecodeUtf8(s, 3, &n);              // U+00E9, n == 2
//   Utf8WordCharLength(s, 3);          // 2: a letter for word scanners
//   Utf8WordCharLength("\xC3", 0);     // 0: truncated, not a letter
#ifndef KVL_RUNTIME_UTF8_H_
#define KVL_RUNTIME_UTF8_H_

#include <cstddef>
#include <string_view>

#include "kvl/runtime/export.h"

namespace kvl {

// A byte of the form 10xxxxxx, which only continues a sequence.
constexpr bool IsUtf8Continuation(unsigned char b) {
  return (b & 0xC0) == 0x80;
}

// The byte length (1-4) of the well-formed sequence that starts at byte `i`
// of `text` (i < text.size()), or 0 when none starts there.
KVL_EXPORT size_t Utf8SequenceLength(std::string_view text, size_t i);

// The byte length of the character at byte `i` (i < text.size()): the
// well-formed sequence there, or 1 for a byte that starts none.
inline size_t Utf8CharLength(std::string_view text, size_t i) {
  if (static_cast<unsigned char>(text[i]) < 0x80) return 1;
  const size_t n = Utf8SequenceLength(text, i);
  return n ? n : 1;
}

// The length of the well-formed multi-byte sequence at byte `i`
// (i < text.size()), 2-4, which word scanners count as a letter; 0 for an
// ASCII byte (the scanner's own classes decide) and for a malformed one.
inline size_t Utf8WordCharLength(std::string_view text, size_t i) {
  if (static_cast<unsigned char>(text[i]) < 0x80) return 0;
  return Utf8SequenceLength(text, i);
}

// What a byte that starts no well-formed sequence decodes to: this base
// plus the byte, a code that no character has.
inline constexpr char32_t kUtf8StrayByteBase = 0x110000;

KVL_EXPORT char32_t DecodeUtf8Slow(std::string_view text, size_t i,
                                   size_t* length);

// The code point of the character at byte `i` (i < text.size()), with its
// byte length in `*length`; a stray byte b gives kUtf8StrayByteBase + b.
inline char32_t DecodeUtf8(std::string_view text, size_t i, size_t* length) {
  const auto b = static_cast<unsigned char>(text[i]);
  if (b < 0x80) {
    *length = 1;
    return b;
  }
  return DecodeUtf8Slow(text, i, length);
}

// The byte offset where the character that ends just before byte `end`
// starts (floor < end <= text.size()), never looking before `floor`. It
// agrees with reading the text forward from `floor` character by
// character.
KVL_EXPORT size_t Utf8CharStartBefore(std::string_view text, size_t end,
                                      size_t floor = 0);

// The first and the last character of `text`; empty for an empty text.
inline std::string_view FirstUtf8Char(std::string_view text) {
  return text.empty() ? text : text.substr(0, Utf8CharLength(text, 0));
}
inline std::string_view LastUtf8Char(std::string_view text) {
  return text.empty() ? text
                      : text.substr(Utf8CharStartBefore(text, text.size()));
}

}  // namespace kvl

#endif  // KVL_RUNTIME_UTF8_H_

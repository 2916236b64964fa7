#include "kvl/runtime/utf8.h"

namespace kvl {

size_t Utf8SequenceLength(std::string_view text, size_t i) {
  const auto lead = static_cast<unsigned char>(text[i]);
  if (lead < 0x80) return 1;
  size_t length;
  // The second byte's range excludes overlong forms, surrogates and values
  // beyond U+10FFFF; the bytes after it only need to be continuations.
  unsigned char second_lo = 0x80;
  unsigned char second_hi = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) second_lo = 0xA0;
    if (lead == 0xED) second_hi = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) second_lo = 0x90;
    if (lead == 0xF4) second_hi = 0x8F;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  const auto second = static_cast<unsigned char>(text[i + 1]);
  if (second < second_lo || second > second_hi) return 0;
  for (size_t k = 2; k < length; ++k)
    if (!IsUtf8Continuation(static_cast<unsigned char>(text[i + k]))) return 0;
  return length;
}

char32_t DecodeUtf8Slow(std::string_view text, size_t i, size_t* length) {
  const auto lead = static_cast<unsigned char>(text[i]);
  const size_t n = Utf8SequenceLength(text, i);
  if (n == 0) {
    *length = 1;
    return kUtf8StrayByteBase + lead;
  }
  *length = n;
  // The lead keeps 7 - n payload bits (n >= 2), each continuation six.
  char32_t code = lead & (0x7Fu >> n);
  for (size_t k = 1; k < n; ++k)
    code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3Fu);
  return code;
}

size_t Utf8CharStartBefore(std::string_view text, size_t end, size_t floor) {
  const size_t last = end - 1;
  if (!IsUtf8Continuation(static_cast<unsigned char>(text[last]))) return last;
  // A sequence is at most four bytes, and its lead is the nearest byte
  // before it that is not a continuation.
  for (size_t back = 1; back <= 3 && last >= floor + back; ++back) {
    const size_t lead = last - back;
    if (IsUtf8Continuation(static_cast<unsigned char>(text[lead]))) continue;
    return lead + Utf8CharLength(text, lead) == end ? lead : last;
  }
  return last;
}

}  // namespace kvl

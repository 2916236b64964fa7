#include "kvl/strings/internal/text_chars.h"

#include <cstdint>

namespace kvl::strings_internal {
namespace {

bool IsContinuation(uint8_t b) {
  return (b & 0xC0) == 0x80;
}

}  // namespace

size_t CharLengthAt(std::string_view text, size_t i) {
  const uint8_t lead = static_cast<uint8_t>(text[i]);
  if (lead < 0x80) return 1;
  size_t length = 0;
  // The second byte's range excludes overlong forms, surrogates and values
  // beyond U+10FFFF.
  uint8_t second_lo = 0x80;
  uint8_t second_hi = 0xBF;
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
    return 1;
  }
  if (text.size() - i < length) return 1;
  const uint8_t second = static_cast<uint8_t>(text[i + 1]);
  if (second < second_lo || second > second_hi) return 1;
  for (size_t k = 2; k < length; ++k)
    if (!IsContinuation(static_cast<uint8_t>(text[i + k]))) return 1;
  return length;
}

std::string_view FirstChar(std::string_view text) {
  if (text.empty()) return text;
  return text.substr(0, CharLengthAt(text, 0));
}

std::string_view LastChar(std::string_view text) {
  if (text.empty()) return text;
  const size_t end = text.size();
  // A sequence is at most four bytes: look back for its lead byte.
  for (size_t back = 2; back <= 4 && back <= end; ++back) {
    const size_t start = end - back;
    if (!IsContinuation(static_cast<uint8_t>(text[end - back + 1]))) break;
    if (CharLengthAt(text, start) == back) return text.substr(start);
  }
  return text.substr(end - 1);
}

std::string_view TrimLeftSpaces(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view()
                                         : text.substr(first);
}

std::string_view TrimRightSpaces(std::string_view text) {
  const size_t last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? std::string_view()
                                        : text.substr(0, last + 1);
}

std::string_view TrimSpaces(std::string_view text) {
  return TrimRightSpaces(TrimLeftSpaces(text));
}

}  // namespace kvl::strings_internal

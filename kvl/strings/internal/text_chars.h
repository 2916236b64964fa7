// Trimming of spaces for the string functions. Only the space (32) is
// trimmed here: tabs and other blanks are kept. Characters, their lengths
// and hexadecimal digits come from the runtime (utf8.h, ascii.h).
//
//   std::string_view t = TrimSpaces("  a b  ");        // "a b"
#ifndef KVL_STRINGS_INTERNAL_TEXT_CHARS_H_
#define KVL_STRINGS_INTERNAL_TEXT_CHARS_H_

#include <string_view>

namespace kvl::strings_internal {

std::string_view TrimLeftSpaces(std::string_view text);
std::string_view TrimRightSpaces(std::string_view text);
std::string_view TrimSpaces(std::string_view text);

}  // namespace kvl::strings_internal

#endif  // KVL_STRINGS_INTERNAL_TEXT_CHARS_H_

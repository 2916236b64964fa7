#include "kvl/strings/internal/text_chars.h"

namespace kvl::strings_internal {

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

#include "kvl/events/internal/event_words.h"

#include "kvl/runtime/checked.h"
#include "kvl/runtime/utf8.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl::internal {

int32_t FindWordEnd(std::string_view s, int32_t pos, int32_t hi) {
  int brackets = 0;
  int braces = 0;
  int parens = 0;
  char quote = 0;  // the quote of the stretch we are in, or 0
  const auto size = static_cast<int32_t>(s.size());
  for (int32_t i = pos; i < hi;) {
    const char c = i >= 1 && i <= size ? s[static_cast<size_t>(i - 1)] : '\0';
    if (c == '\\') {
      // Skips the backslash and the character after it, which may be a
      // UTF-8 sequence of several bytes.
      const auto next = static_cast<size_t>(i);  // 0-based: after the "\"
      i += 1 + (next < s.size() ? static_cast<int32_t>(Utf8CharLength(s, next))
                                : 1);
      if (i >= hi) return 0;
      continue;
    }
    if (quote) {
      if (c == quote) quote = 0;
    } else {
      switch (c) {
        case '\'':
        case '"': quote = c; break;
        case '[': ++brackets; break;
        case ']': --brackets; break;
        case '{': ++braces; break;
        case '}': --braces; break;
        case '(': ++parens; break;
        case ')': --parens; break;
        case ' ':
          if (brackets <= 0 && braces <= 0 && parens <= 0) return i;
          break;
        default: break;
      }
    }
    ++i;
  }
  return 0;
}

std::vector<std::string> SplitEventWords(const std::string& s) {
  const int32_t length = CheckedCast<int32_t>(s.size());
  std::vector<std::string> words;
  int32_t pos = 1;
  while (true) {
    const int32_t end = FindWordEnd(s, pos, length);
    if (end == 0) {
      words.push_back(s.substr(static_cast<size_t>(pos - 1)));
      break;
    }
    words.push_back(
        s.substr(static_cast<size_t>(pos - 1), static_cast<size_t>(end - pos)));
    pos = Strings().SkipWhite(s, end, length);
    if (pos > length) break;
  }
  return words;
}

}  // namespace kvl::internal

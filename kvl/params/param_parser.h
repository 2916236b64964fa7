// The two passes of ParamString.Parse over the scanned tokens: the checking
// pass (a recursive-descent recogniser that accepts or rejects the text and
// records the furthest error) and the building pass (a fresh tree).
#ifndef KVL_PARAMS_PARAM_PARSER_H_
#define KVL_PARAMS_PARAM_PARSER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {
class ParamItem;
}  // namespace kvl

namespace kvl::internal {

// Values nested inside values (lists, arrays, and a value after "=" that is
// itself a pair) deeper than this make the text unacceptable, so that
// neither pass recurses without bound.
inline constexpr int32_t kMaxValueNesting = 256;

// The settings that items made by the parser carry.
struct KVL_EXPORT ParseSettings {
  bool smart_quotes = true;
  std::string_view quote_chars = "''";
  bool show_types = false;
};

// The furthest error recorded by the checking pass, kept unformatted: most
// parses record one, few callers read it.
struct KVL_EXPORT ParseError {
  const char* message = nullptr;  // null: nothing recorded
  int32_t pos = 0;                // token position (1-based)
  std::string token;              // the token's text, "EOS" past the end

  // "<message> at token <pos>:<token>", or "" when nothing was recorded.
  std::string Format() const;
};

struct KVL_EXPORT ParseResult {
  bool accepted = false;
  // Also after an accepted parse.
  ParseError error;
  // The new root (a list item marked Root) when accepted.
  Ref<ParamItem> root;
};

// Parses `text` (at most 32767 bytes; the caller refuses longer text).
KVL_EXPORT ParseResult ParseParamText(std::string_view text,
                                      const ParseSettings& settings);

}  // namespace kvl::internal

#endif  // KVL_PARAMS_PARAM_PARSER_H_

// The scanner of parameter strings as plain functions over a text: what
// H2Lexxer and Lexxer do, without making an object per token. The parser
// uses it directly; the token objects are made from it only when asked for.
//
// A RawToken refers to the text it was read from (or, for a token merged by
// the parser, to text the parser keeps); it is valid as long as that text.
#ifndef KVL_PARAMS_INTERNAL_SCANNER_H_
#define KVL_PARAMS_INTERNAL_SCANNER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/runtime/variant.h"

namespace kvl::internal {

// Positions are stored in 16 bits: the longest text that can be scanned.
inline constexpr int32_t kMaxParamTextLength = 32767;

// What the token's value holds: its text, or the number or boolean read.
enum class TokenValueKind : uint8_t { kText, kInteger, kDouble, kBoolean };

struct RawToken {
  int16_t kind = 0;  // a Token::Kind (the parser adds its command kind)
  TokenValueKind value_kind = TokenValueKind::kText;
  bool merged = false;      // made by the parser from a leading path
  int32_t start = 0;        // 1-based position of the first byte
  int32_t end = 0;          // 1-based position of the last byte
  std::string_view source;  // the token's characters as written
  union {
    int32_t i = 0;  // kInteger value
    double d;       // kDouble value
    bool b;         // kBoolean value
  };
};

// Reads one token at 1-based `pos` of `text` into `*token`. Returns the
// position after it, or -1 at the end of the text (token kind 0) or at a
// scanner stop.
int32_t ScanToken(std::string_view text, int32_t pos, RawToken* token);

// Tokenizes the whole text into `*tokens` (cleared first), dropping
// commas. Stops early at a scanner stop and at the first token that would
// end beyond kMaxParamTextLength.
void ScanText(std::string_view text, std::vector<RawToken>* tokens);

// The token's value as a Token holds it.
Variant RawTokenValue(const RawToken& token);
// The token's value as text: the number or boolean written in the C locale
// ("12", "2.5", "True"), otherwise the characters.
std::string RawTokenText(const RawToken& token);

}  // namespace kvl::internal

#endif  // KVL_PARAMS_INTERNAL_SCANNER_H_

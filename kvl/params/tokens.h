// The tokenizer of parameter strings: Token (one token), H2Lexxer (reads one
// token at a position), Lexxer (tokenizes a whole text into a CVToken
// list, dropping commas), and the shared helpers of the format: type
// suffixes, boolean words and quote characters.
//
// These classes are private to the library (ParamString.Parse is their
// user); they work late-bound like every class. The scanner never fails:
// an unterminated quoted string, an exponent "e" followed by anything but a
// digit, a minus sign or a word, and an exponent minus sign without a digit
// end the scan early, keeping the tokens read before. Positions are 1-based
// byte positions held in 16 bits, so a text can be at most 32767 bytes
// long; Lexxer.Scan stops at the first token that would end beyond that.
//
// Ownership: a Lexxer owns its scanner and its token list until Terminate.
// Threading: used on the thread that created them.
//
//   Ref<Lexxer> lex = MakeRef<Lexxer>();
//   lex->SetInputString("Foo/Bar K=12");
//   lex->Scan();
//   Ref<CVToken> tokens = lex->Tokens();   // Foo / Bar K = 12
#ifndef KVL_PARAMS_TOKENS_H_
#define KVL_PARAMS_TOKENS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "kvl/params/variant_walkers.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Private: one token.
class KVL_EXPORT Token : public Object {
  KVL_DECLARE_CLASS(Token)
 public:
  // Token kinds. 6 is not used.
  enum Kind : int16_t {
    kRoot = 0,  // a token not yet classified; also "end of input"
    kInteger = 1,
    kFloat = 2,
    kLeftBracket = 3,
    kRightBracket = 4,
    kEquals = 5,
    kSeperator = 7,
    kIdentifier = 8,
    kString = 9,
    kSlash = 10,
    kBoolean = 11,
    kSingleChar = 12,
    kLeftBrace = 13,
    kRightBrace = 14,
  };

  int16_t TokenType() const { return token_type_; }
  void SetTokenType(int16_t kind) { token_type_ = kind; }
  int16_t StartPos() const { return start_pos_; }
  void SetStartPos(int16_t pos) { start_pos_ = pos; }
  int16_t EndPos() const { return end_pos_; }
  void SetEndPos(int16_t pos) { end_pos_ = pos; }
  // The diagnostic text "<kind name> : <value>"; returned to the caller
  // and written nowhere else.
  std::string Dump() const;
  // EndPos - StartPos (0 for a one-character token); raises 6 when the
  // difference leaves 16 bits.
  int16_t Length() const;
  // A string, except a 32-bit integer for kInteger, a double for kFloat and
  // a boolean for kBoolean.
  const Variant& Value() const { return value_; }
  void SetValue(Variant value) { value_ = std::move(value); }

 private:
  int16_t token_type_ = kRoot;
  int16_t start_pos_ = 0;
  int16_t end_pos_ = 0;
  Variant value_;
};

// Private: the scanner. It keeps only the input; the caller passes the
// position in and receives the next one.
class KVL_EXPORT H2Lexxer : public Object {
  KVL_DECLARE_CLASS(H2Lexxer)
 public:
  void SetInputString(std::string text) { input_ = std::move(text); }
  // Reads one token at 1-based `pos`: `token` is always a new Token;
  // `next` is the position after it, or -1 at the end of the input or when
  // the scan must stop. `length` is not consulted.
  void Tokenize(int32_t pos, int32_t length, Ref<Token>& token, int32_t& next);

 private:
  std::string input_;
};

// Private: runs the scanner over a whole text.
class KVL_EXPORT Lexxer : public Object {
  KVL_DECLARE_CLASS(Lexxer)
 public:
  Lexxer();
  ~Lexxer() override;

  // Stores the text; the current and start positions become 1.
  void SetInputString(std::string text);
  // Tokenizes the whole input into a fresh token list, dropping commas.
  void Scan();
  // Releases the scanner and the token list.
  void Terminate();
  // The token list of the last Scan (null after Terminate).
  Ref<CVToken> Tokens() const { return tokens_; }

 private:
  std::string input_;
  int32_t current_ = 1;
  int32_t start_ = 1;
  Ref<H2Lexxer> scanner_;
  Ref<CVToken> tokens_;
};

// The name of a token kind ("kInteger"); "Unknown Token Type: <n>" for 6,
// negative values and values above 14.
KVL_EXPORT std::string TokenTypeName(int16_t kind);
// The KVLType flag of a type suffix ("I4" -> ST_I4), ignoring case;
// ST_None for anything else.
KVL_EXPORT int16_t TypeSuffixToFlag(std::string_view suffix);
// The suffix of one of the fourteen suffixed flags; "V" for any other value.
KVL_EXPORT std::string_view TypeFlagToSuffix(int16_t flag);
// "true" or "false" in any letter case.
KVL_EXPORT bool IsBooleanWord(std::string_view s);
// Exactly one character, an apostrophe or a double quote character.
KVL_EXPORT bool IsQuoteChar(std::string_view s);
// Drops a leading quote character, then (separately) a trailing one.
KVL_EXPORT std::string_view StripEnclosingQuotes(std::string_view s);

}  // namespace kvl

#endif  // KVL_PARAMS_TOKENS_H_

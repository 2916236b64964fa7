#include "kvl/params/internal/scanner.h"

#include <charconv>
#include <cstring>

#include "kvl/params/tokens.h"
#include "kvl/runtime/ascii.h"
#include "kvl/runtime/utf8.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl::internal {
namespace {

// The ASCII character classes, indexed by byte value. Beyond ASCII a
// well-formed UTF-8 character is a letter: a word-start and a word
// character (Utf8WordCharLength); a malformed byte is neither.
// What a token starting with a byte is, by the first step that decides it.
enum StartAction : uint8_t {
  kStartSingle,  // a character of its own
  kStartPunct,   // one of , / = [ ] { }: `punct_kind`
  kStartWord,    // an ASCII word-start character
  kStartDigit,
  kStartQuote,
  kStartFullStop,
  kStartMinus,
  kStartNonAscii,  // a word when a well-formed UTF-8 character starts here
};

struct CharClasses {
  bool word_start[128] = {};
  bool word[128] = {};
  bool ascii_word[256] = {};  // `word` over every byte value
  StartAction start[256] = {};
  int16_t punct_kind[128] = {};
  constexpr CharClasses() {
    for (int c = 0; c < 128; ++c) word_start[c] = word[c] = IsAsciiLetter(c);
    word_start[int{'_'}] = word_start[int{'\\'}] = true;
    for (int c = '0'; c <= '9'; ++c) word[c] = true;
    for (char c : std::string_view("-_|:;.!@#$%^&*()~\\")) {
      word[static_cast<unsigned char>(c)] = true;
    }
    for (int c = 0; c < 256; ++c) {
      ascii_word[c] = c < 0x80 && word[c];
      if (c >= 0x80) {
        start[c] = kStartNonAscii;
      } else if (word_start[c]) {
        start[c] = kStartWord;
      } else if (c >= '0' && c <= '9') {
        start[c] = kStartDigit;
      }
    }
    start[int{'\''}] = start[int{'"'}] = kStartQuote;
    start[int{'.'}] = kStartFullStop;
    start[int{'-'}] = kStartMinus;
    const struct {
      char c;
      int16_t kind;
    } punct[] = {{',', Token::kSeperator},    {'/', Token::kSlash},
                 {'=', Token::kEquals},       {'[', Token::kLeftBracket},
                 {']', Token::kRightBracket}, {'{', Token::kLeftBrace},
                 {'}', Token::kRightBrace}};
    for (const auto& [c, kind] : punct) {
      start[static_cast<unsigned char>(c)] = kStartPunct;
      punct_kind[static_cast<unsigned char>(c)] = kind;
    }
  }
};
constexpr CharClasses kClasses;

// Reads the text of one token; positions are 1-based, -1 is "no character".
class TokenReader {
 public:
  TokenReader(std::string_view text, RawToken* token)
      : text_(text), n_(static_cast<int32_t>(text.size())), token_(token) {}

  void set_token(RawToken* token) { token_ = token; }

  // Reads the token at `pos` into a token that holds its initial values.
  // Read and Word are inlined into the scan loop: as calls they cost
  // about a tenth of a scan in saved registers alone.
  [[gnu::always_inline]] int32_t Read(int32_t pos);

 private:
  int Char(int32_t p) const {
    return p >= 1 && p <= n_ ? static_cast<unsigned char>(text_[p - 1]) : -1;
  }
  // s..e lie within the text.
  std::string_view Text(int32_t s, int32_t e) const {
    return std::string_view(text_.data() + (s - 1),
                            static_cast<size_t>(e - s + 1));
  }
  // The byte length of the character at p when it is in the class: an
  // ASCII byte that `ascii` lists, or a well-formed multi-byte UTF-8
  // character; 0 otherwise, also past the end.
  int32_t InClass(const bool (&ascii)[128], int32_t p) const {
    const int c = Char(p);
    if (c < 0) return 0;
    if (c < 0x80) return ascii[c] ? 1 : 0;
    return static_cast<int32_t>(
        Utf8WordCharLength(text_, static_cast<size_t>(p - 1)));
  }
  int32_t WordStartAt(int32_t p) const {
    return InClass(kClasses.word_start, p);
  }
  int32_t WordCharAt(int32_t p) const { return InClass(kClasses.word, p); }
  int32_t Make(int16_t kind, int32_t s, int32_t e) {
    token_->kind = kind;
    token_->start = s;
    token_->end = e;
    token_->source = Text(s, e);
    return e + 1;
  }
  int32_t Single(int32_t s);
  int32_t Number(int32_t s, int32_t p);
  int32_t AtFullStop(int32_t s, int32_t p);
  int32_t FractionDigits(int32_t s, int32_t p);
  int32_t Exponent(int32_t s, int32_t p);
  [[gnu::always_inline]] int32_t Word(int32_t s, int32_t p);
  int32_t Quoted(int32_t s, int32_t p);
  int32_t Integer(int32_t s, int32_t e);
  int32_t Float(int32_t s, int32_t e);

  std::string_view text_;
  int32_t n_;
  RawToken* token_;
};

inline int32_t TokenReader::Read(int32_t pos) {
  int32_t p = pos < 1 ? 1 : pos;
  while (p <= n_ && text_[p - 1] == ' ') ++p;
  if (p > n_) return -1;
  const unsigned char c = static_cast<unsigned char>(text_[p - 1]);
  const int32_t s = p;
  switch (kClasses.start[c]) {
    case kStartPunct: return Make(kClasses.punct_kind[c], s, s);
    case kStartWord: return Word(s, p);
    case kStartNonAscii:
      if (WordStartAt(p)) return Word(s, p);
      return Single(s);
    case kStartDigit: return Number(s, p);
    case kStartQuote: return Quoted(s, p);
    case kStartFullStop: return AtFullStop(s, p);
    case kStartMinus: {
      const int d = Char(p + 1);
      if (IsAsciiDigit(d)) return Number(s, p + 1);
      if (d == '.') return AtFullStop(s, p + 1);
      return Single(s);
    }
    case kStartSingle: break;
  }
  return Single(s);
}

// Any other character: one byte, since every well-formed multi-byte UTF-8
// character starts a word, and a malformed byte is a character of its own.
int32_t TokenReader::Single(int32_t s) {
  return Make(Token::kSingleChar, s, s);
}

// p is on the first digit; s may be on a minus sign before it.
int32_t TokenReader::Number(int32_t s, int32_t p) {
  while (IsAsciiDigit(Char(p))) ++p;
  const int c = Char(p);
  if (c == '.') return FractionDigits(s, p);
  if (c == 'e' || c == 'E') return Exponent(s, p);
  if (WordStartAt(p)) return Word(s, p);
  return Integer(s, p - 1);
}

// p is on a full stop that may start a fraction (s on it, or on a minus
// sign just before it).
int32_t TokenReader::AtFullStop(int32_t s, int32_t p) {
  if (IsAsciiDigit(Char(p + 1))) return FractionDigits(s, p);
  // A full stop that starts no number is a character of its own; a minus
  // sign before it is returned alone and the full stop read next time.
  return Single(s);
}

// p is on the full stop before the fraction digits.
int32_t TokenReader::FractionDigits(int32_t s, int32_t p) {
  ++p;
  while (IsAsciiDigit(Char(p))) ++p;
  const int c = Char(p);
  if (c == 'e' || c == 'E') return Exponent(s, p);
  return Float(s, p - 1);
}

// p is on the e of an exponent.
int32_t TokenReader::Exponent(int32_t s, int32_t p) {
  ++p;
  int c = Char(p);
  if (c == '-') {
    ++p;
    if (!IsAsciiDigit(Char(p))) return -1;  // scanner stop
  } else if (!IsAsciiDigit(c)) {
    if (WordStartAt(p)) return Word(s, p);
    return -1;  // scanner stop: "1e+5", "1e" at the end, ...
  }
  while (IsAsciiDigit(Char(p))) ++p;
  return Float(s, p - 1);
}

inline int32_t TokenReader::Word(int32_t s, int32_t p) {
  while (true) {
    // ASCII word characters without the class lookup's bounds and UTF-8
    // tests; anything else through WordCharAt.
    while (p <= n_ &&
           kClasses.ascii_word[static_cast<unsigned char>(text_[p - 1])])
      ++p;
    const int32_t n = WordCharAt(p);
    if (n == 0) break;
    p += n;
  }
  int32_t next = Make(Token::kIdentifier, s, p - 1);
  const size_t length = token_->source.size();
  const char first = AsciiToLower(token_->source[0]);
  if ((length == 4 || length == 5) && (first == 't' || first == 'f') &&
      IsBooleanWord(token_->source)) {
    token_->kind = Token::kBoolean;
    token_->value_kind = TokenValueKind::kBoolean;
    token_->b = AsciiToLower(token_->source[0]) == 't';
  }
  return next;
}

int32_t TokenReader::Quoted(int32_t s, int32_t p) {
  const char q = text_[p - 1];
  const void* close =
      std::memchr(text_.data() + p, q, static_cast<size_t>(n_ - p));
  if (!close) return -1;  // scanner stop: the quote is never closed
  return Make(
      Token::kString, s,
      static_cast<int32_t>(static_cast<const char*>(close) - text_.data()) + 1);
}

int32_t TokenReader::Integer(int32_t s, int32_t e) {
  int32_t next = Make(Token::kString, s, e);
  int32_t value = 0;
  std::string_view digits = token_->source;
  auto [end, ec] =
      std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (ec == std::errc() && end == digits.data() + digits.size()) {
    token_->kind = Token::kInteger;
    token_->value_kind = TokenValueKind::kInteger;
    token_->i = value;
  }
  return next;
}

int32_t TokenReader::Float(int32_t s, int32_t e) {
  int32_t next = Make(Token::kString, s, e);
  const std::string_view text = token_->source;
  double value = 0;
  // A short decimal without exponent, digits first («2.5», «-0.75»), is
  // read directly: it can neither overflow nor underflow, and the numeric
  // text rules give it the same correctly rounded value.
  bool read = false;
  if (text.size() <= 24 && IsAsciiDigit(text[text[0] == '-' ? 1 : 0]) &&
      text.find_first_of("eE") == std::string_view::npos) {
    const char* end = text.data() + text.size();
    auto [stop, ec] = std::from_chars(text.data(), end, value);
    read = ec == std::errc() && stop == end;
  }
  if (read || ParseDouble(text, &value)) {
    token_->kind = Token::kFloat;
    token_->value_kind = TokenValueKind::kDouble;
    token_->d = value;
  }
  return next;
}

}  // namespace

int32_t ScanToken(std::string_view text, int32_t pos, RawToken* token) {
  *token = RawToken();
  return TokenReader(text, token).Read(pos);
}

void ScanText(std::string_view text, std::vector<RawToken>* tokens) {
  tokens->clear();
  const int32_t n = static_cast<int32_t>(
      text.size() > static_cast<size_t>(INT32_MAX) ? INT32_MAX : text.size());
  text = text.substr(0, static_cast<size_t>(n));
  TokenReader reader(text, nullptr);
  int32_t pos = 1;
  while (pos <= n) {
    // Read straight into the next slot; drop it again when it is not kept.
    RawToken& token = tokens->emplace_back();
    reader.set_token(&token);
    int32_t next = reader.Read(pos);
    if (next < 0 || token.end > kMaxParamTextLength) {
      tokens->pop_back();
      break;
    }
    if (token.kind == Token::kSeperator) tokens->pop_back();
    pos = next;
  }
}

Variant RawTokenValue(const RawToken& token) {
  switch (token.value_kind) {
    case TokenValueKind::kInteger: return Variant(token.i);
    case TokenValueKind::kDouble: return Variant(token.d);
    case TokenValueKind::kBoolean: return Variant(token.b);
    case TokenValueKind::kText: break;
  }
  return Variant(token.source);
}

std::string RawTokenText(const RawToken& token) {
  switch (token.value_kind) {
    case TokenValueKind::kInteger: return std::to_string(token.i);
    case TokenValueKind::kDouble: return FormatDouble(token.d);
    case TokenValueKind::kBoolean: return token.b ? "True" : "False";
    case TokenValueKind::kText: break;
  }
  return std::string(token.source);
}

}  // namespace kvl::internal

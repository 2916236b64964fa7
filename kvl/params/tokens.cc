#include "kvl/params/tokens.h"

#include <array>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/kvl_types.h"
#include "kvl/params/internal/scanner.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

// ---- Token
// -------------------------------------------------------------------

const ClassInfo& Token::StaticClass() {
  // The kind is published twice: as the field Kind and as the property
  // TokenType, both reading and writing the same value.
  static const ClassInfo info =
      ClassBuilder<Token>("Token", ClassKind::kPrivate)
          .Get<&Token::TokenType>("Kind")
          .Let<&Token::SetTokenType>("Kind")
          .Get<&Token::StartPos>("StartPos")
          .Let<&Token::SetStartPos>("StartPos")
          .Get<&Token::EndPos>("EndPos")
          .Let<&Token::SetEndPos>("EndPos")
          .Method<&Token::Dump>("Dump")
          .Returns(VarType::kEmpty)
          .Get<&Token::Length>("Length")
          .Let<&Token::SetTokenType>("TokenType")
          .Get<&Token::TokenType>("TokenType")
          .Let<&Token::SetValue>("Value")
          .Get<&Token::Value>("Value")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(Token)

std::string Token::Dump() const {
  return "<" + TokenTypeName(token_type_) + "> : <" + ToText(value_) + ">";
}

int16_t Token::Length() const {
  return CheckedAdd<int16_t>(end_pos_, -static_cast<int64_t>(start_pos_));
}

// ---- H2Lexxer
// ----------------------------------------------------------------

const ClassInfo& H2Lexxer::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<H2Lexxer>("H2Lexxer", ClassKind::kPrivate)
          .Let<&H2Lexxer::SetInputString>("InputString")
          .Method<&H2Lexxer::Tokenize>("Tokenize", {Arg("pos"), Arg("length"),
                                                    Arg("token"), Arg("next")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(H2Lexxer)

void H2Lexxer::Tokenize(int32_t pos, int32_t /*length*/, Ref<Token>& token,
                        int32_t& next) {
  token = MakeRef<Token>();
  internal::RawToken raw;
  next = internal::ScanToken(input_, pos, &raw);
  // A token whose positions do not fit in 16 bits stops the scan.
  if (next < 0 || raw.end > internal::kMaxParamTextLength) {
    next = -1;
    return;
  }
  token->SetTokenType(raw.kind);
  token->SetStartPos(static_cast<int16_t>(raw.start));
  token->SetEndPos(static_cast<int16_t>(raw.end));
  token->SetValue(internal::RawTokenValue(raw));
}

// ---- Lexxer
// --------------------------------------------------------------------

const ClassInfo& Lexxer::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Lexxer>("Lexxer", ClassKind::kPrivate)
          .Let<&Lexxer::SetInputString>("InputString")
          .Method<&Lexxer::Scan>("Scan")
          .Method<&Lexxer::Terminate>("Terminate")
          .Get<&Lexxer::Tokens>("Tokens")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(Lexxer)

Lexxer::Lexxer() : scanner_(MakeRef<H2Lexxer>()), tokens_(MakeRef<CVToken>()) {}

Lexxer::~Lexxer() {
  Terminate();
}

void Lexxer::SetInputString(std::string text) {
  input_ = std::move(text);
  current_ = 1;
  start_ = 1;
}

void Lexxer::Scan() {
  current_ = 1;
  tokens_ = MakeRef<CVToken>();
  if (!scanner_) scanner_ = MakeRef<H2Lexxer>();
  scanner_->SetInputString(input_);
  const int32_t length = CheckedCast<int32_t>(input_.size());
  while (current_ <= length) {
    start_ = current_;
    Ref<Token> token;
    int32_t next = -1;
    scanner_->Tokenize(current_, length, token, next);
    if (next < 0) break;
    if (token->TokenType() != Token::kSeperator) tokens_->Add(token);
    current_ = next;
  }
}

void Lexxer::Terminate() {
  if (scanner_) scanner_.reset();
  if (tokens_) tokens_.reset();
}

// ---- shared functions
// ------------------------------------------------------------

std::string TokenTypeName(int16_t kind) {
  static constexpr std::array<const char*, 15> kNames = {
      "kRoot",   "kInteger", "kFloat",      "kLeftBracket", "kRightBracket",
      "kEquals", nullptr,    "kSeperator",  "kIdentifier",  "kString",
      "kSlash",  "kBoolean", "kSingleChar", "kLeftBrace",   "kRightBrace"};
  if (kind >= 0 && kind < static_cast<int16_t>(kNames.size()) && kNames[kind])
    return kNames[kind];
  return "Unknown Token Type: " + std::to_string(kind);
}

namespace {

struct SuffixFlag {
  std::string_view suffix;
  int16_t flag;
};
constexpr SuffixFlag kSuffixes[] = {
    {"L", ST_List}, {"A", ST_Ascii},         {"B", ST_B},   {"I1", ST_I1},
    {"I2", ST_I2},  {"I4", ST_I4},           {"I8", ST_I8}, {"U1", ST_U1},
    {"U2", ST_U2},  {"U4", ST_U4},           {"U8", ST_U8}, {"F4", ST_F4},
    {"F8", ST_F8},  {"BOOLEAN", ST_BOOLEAN},
};

}  // namespace

int16_t TypeSuffixToFlag(std::string_view suffix) {
  for (const SuffixFlag& s : kSuffixes)
    if (EqualsNoCase(suffix, s.suffix)) return s.flag;
  return ST_None;
}

std::string_view TypeFlagToSuffix(int16_t flag) {
  for (const SuffixFlag& s : kSuffixes)
    if (flag == s.flag) return s.suffix;
  return "V";
}

bool IsBooleanWord(std::string_view s) {
  return EqualsNoCase(s, "true") || EqualsNoCase(s, "false");
}

bool IsQuoteChar(std::string_view s) {
  return s.size() == 1 && (s[0] == '\'' || s[0] == '"');
}

std::string_view StripEnclosingQuotes(std::string_view s) {
  if (!s.empty() && (s.front() == '\'' || s.front() == '"')) s.remove_prefix(1);
  if (!s.empty() && (s.back() == '\'' || s.back() == '"')) s.remove_suffix(1);
  return s;
}

}  // namespace kvl

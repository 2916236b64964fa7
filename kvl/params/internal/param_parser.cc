#include "kvl/params/param_parser.h"

#include <charconv>
#include <vector>

#include "kvl/frame/kvl_types.h"
#include "kvl/params/internal/scanner.h"
#include "kvl/params/param_item.h"
#include "kvl/params/tokens.h"
#include "kvl/runtime/client_call.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl::internal {
namespace {

// The kind the checking pass gives the command token.
constexpr int16_t kCommandToken = 20;
// What Kind() answers past the last token.
constexpr int16_t kNoToken = -1;
// The ParamType of an array value in braces before a declared type applies.
constexpr int16_t kArrayType = 28;

// The token list of one parse, addressed 1-based as T(p).
class TokenList {
 public:
  std::vector<RawToken>& tokens() { return tokens_; }
  int32_t size() const { return static_cast<int32_t>(tokens_.size()); }
  int16_t Kind(int32_t p) const {
    return p >= 1 && p <= size() ? tokens_[static_cast<size_t>(p - 1)].kind
                                 : kNoToken;
  }
  RawToken& At(int32_t p) { return tokens_[static_cast<size_t>(p - 1)]; }
  const RawToken& At(int32_t p) const {
    return tokens_[static_cast<size_t>(p - 1)];
  }
  // Text held for merged tokens; stable while the list lives.
  std::string& merged_text() { return merged_text_; }

 private:
  std::vector<RawToken> tokens_;
  std::string merged_text_;
};

bool TextIsBoolean(const RawToken& t) {
  return t.value_kind == TokenValueKind::kBoolean ||
         (t.value_kind == TokenValueKind::kText && IsBooleanWord(t.source));
}

// ---- checking pass
// ------------------------------------------------------------

class Checker {
 public:
  explicit Checker(TokenList& t) : t_(t), n_(t.size()) {}

  // Rule Start. Returns the verdict; LastError() describes the furthest
  // error recorded.
  bool Start();
  ParseError Error() const;

 private:
  // Keeps the first message at the furthest position.
  void Record(const char* message, int32_t p) {
    if (p > error_pos_) {
      error_pos_ = p;
      error_message_ = message;
    }
  }
  bool Terminal(int32_t& p, int16_t kind, const char* message) {
    if (p > n_) return false;
    if (t_.Kind(p) != kind) {
      Record(message, p);
      return false;
    }
    ++p;
    return true;
  }

  void MergeLeadingPath();
  bool Statement();
  bool Pairs(int32_t& p);
  bool Pair(int32_t& p, bool* tried_lists);
  bool KeywordDecl(int32_t& p);
  bool Value(int32_t& p);
  bool List(int32_t& p);
  bool Values(int32_t& p);
  bool Array(int32_t& p);
  bool Number(int32_t& p);
  bool Name(int32_t& p);
  bool String(int32_t& p);
  bool Boolean(int32_t& p);

  TokenList& t_;
  int32_t n_;
  int32_t error_pos_ = 0;
  const char* error_message_ = nullptr;
  int32_t depth_ = 0;
  int32_t too_deep_at_ = 0;  // the position where nesting went too deep
};

bool Checker::Start() {
  if (!Statement()) return false;
  return too_deep_at_ == 0;
}

ParseError Checker::Error() const {
  ParseError error;
  if (too_deep_at_ > 0) {
    error.message = "Values nested too deeply";
    error.pos = too_deep_at_;
  } else if (error_message_) {
    error.message = error_message_;
    error.pos = error_pos_;
  } else {
    return error;
  }
  error.token =
      error.pos > n_ ? std::string("EOS") : RawTokenText(t_.At(error.pos));
  return error;
}

// A run Identifier (Slash Identifier)... at the start, ended by an
// identifier that is followed by anything but a slash, becomes one string
// token; a single identifier that is the whole input becomes a string.
void Checker::MergeLeadingPath() {
  if (t_.Kind(1) != Token::kIdentifier) return;
  int32_t last = 1;
  while (t_.Kind(last + 1) == Token::kSlash &&
         t_.Kind(last + 2) == Token::kIdentifier)
    last += 2;
  if (t_.Kind(last + 1) == Token::kSlash) return;  // ends in a slash
  if (last == 1) {
    if (n_ == 1) t_.At(1).kind = Token::kString;
    return;
  }
  std::string& text = t_.merged_text();
  for (int32_t p = 1; p <= last; ++p) text += t_.At(p).source;
  RawToken merged = t_.At(1);
  merged.kind = Token::kString;
  merged.value_kind = TokenValueKind::kText;
  merged.merged = true;
  merged.end = t_.At(last).end;
  merged.source = text;
  auto& tokens = t_.tokens();
  tokens.erase(tokens.begin() + 1, tokens.begin() + last);
  tokens[0] = merged;
  n_ = t_.size();
}

bool Checker::Statement() {
  MergeLeadingPath();
  int32_t p = 1;
  if (String(p) && Pairs(p)) {
    t_.At(1).kind = kCommandToken;
    return true;
  }
  p = 1;
  if (Pairs(p)) return true;
  Record("Expected Command or statement", 1);
  return false;
}

bool Checker::Pairs(int32_t& p) {
  for (bool first = true;; first = false) {
    if (p > n_) return true;
    const int32_t start = p;
    bool tried_lists = false;
    if (!Pair(p, &tried_lists)) {
      p = start;
      Record("Expected keyword/value", start);
      return !first;
    }
  }
}

// `*tried_lists` tells whether List and Array were tried (and failed) at
// the Pair's position: trying them again there would change nothing.
bool Checker::Pair(int32_t& p, bool* tried_lists) {
  const int32_t start = p;
  if (KeywordDecl(p)) {
    if (!Terminal(p, Token::kEquals, "Expected equals-sign")) return true;
    const int32_t at = p;
    if (Value(p)) return true;
    Record("Expected value", at);
    p = start;
    return false;
  }
  p = start;
  if (List(p) || Array(p)) return true;
  *tried_lists = true;
  Record("Expected list/array", start);
  return false;
}

bool Checker::KeywordDecl(int32_t& p) {
  const int32_t start = p;
  if (!Name(p)) {
    Record("Expected Identifier", start);
    return false;
  }
  const int32_t after_name = p;
  if (!Terminal(p, Token::kSlash, "Expected slash")) {
    p = after_name;
    return true;
  }
  if (!Name(p)) {
    Record("Expected type name", p);
    p = start;
    return false;
  }
  const int32_t after_type = p;
  if (!Terminal(p, Token::kLeftBracket, "Expected left bracket")) {
    p = after_type;
    return true;
  }
  const int32_t size_at = p;
  if (!Value(p)) p = size_at;
  if (!Terminal(p, Token::kRightBracket, "Expected right bracket")) {
    Record("Expected right bracket", p);
    p = start;
    return false;
  }
  return true;
}

bool Checker::Value(int32_t& p) {
  if (too_deep_at_ > 0) return false;
  if (depth_ >= kMaxValueNesting) {
    too_deep_at_ = p;
    return false;
  }
  struct Nesting {
    int32_t& depth;
    explicit Nesting(int32_t& d) : depth(d) { ++depth; }
    ~Nesting() { --depth; }
  } nesting(depth_);

  const int32_t start = p;
  bool tried_lists = false;
  if (Pair(p, &tried_lists)) return true;
  if (!tried_lists && (List(p) || Array(p))) return true;
  if (Number(p) || Boolean(p) || String(p)) return true;
  Record("Expected value", start);
  return false;
}

bool Checker::List(int32_t& p) {
  const int32_t start = p;
  if (!Terminal(p, Token::kLeftBracket, "Expected left bracket")) {
    Record("Expected left bracket", p);
    return false;
  }
  const int32_t at = p;
  if (!Values(p)) {
    Record("Expected list value", at);
    p = start;
    return false;
  }
  if (!Terminal(p, Token::kRightBracket, "Expected right bracket")) {
    Record("Expected right bracket", p);
    p = start;
    return false;
  }
  return true;
}

bool Checker::Values(int32_t& p) {
  const int32_t start = p;
  if (!Value(p)) {
    p = start;
    Record("Expected list value", start);
    return false;
  }
  while (true) {
    const int32_t at = p;
    if (!Value(p)) {
      p = at;
      return true;
    }
  }
}

bool Checker::Array(int32_t& p) {
  const int32_t start = p;
  if (!Terminal(p, Token::kLeftBrace, "Expected left brace")) {
    Record("Expected left brace", p);
    return false;
  }
  const int32_t at = p;
  if (!Values(p)) {
    Record("Expected list/array value", at);
    p = start;
    return false;
  }
  if (!Terminal(p, Token::kRightBrace, "Expected right brace")) {
    Record("Expected right brace", p);
    p = start;
    return false;
  }
  return true;
}

bool Checker::Number(int32_t& p) {
  if (p > n_) return false;
  const int16_t kind = t_.Kind(p);
  if (kind != Token::kInteger && kind != Token::kFloat) {
    Record("Expected Number", p);
    return false;
  }
  ++p;
  return true;
}

bool Checker::Name(int32_t& p) {
  if (p > n_) return false;
  RawToken& t = t_.At(p);
  const bool unquoted_string =
      t.kind == Token::kString && t.value_kind == TokenValueKind::kText &&
      !t.source.empty() && t.source[0] != '\'' && t.source[0] != '"';
  if (t.kind != Token::kIdentifier && !unquoted_string) {
    Record("Expected non-quoted string or identifier", p);
    return false;
  }
  t.kind = Token::kIdentifier;
  ++p;
  return true;
}

bool Checker::String(int32_t& p) {
  if (p > n_) return false;
  RawToken& t = t_.At(p);
  const bool boolean = TextIsBoolean(t);
  if ((t.kind == Token::kString || t.kind == Token::kIdentifier) && !boolean) {
    t.kind = Token::kString;
    ++p;
    return true;
  }
  Record(boolean || t.kind == Token::kBoolean
             ? "Expected identifier or string, got a boolean"
             : "Expected identifier or string",
         p);
  return false;
}

bool Checker::Boolean(int32_t& p) {
  if (p > n_) return false;
  RawToken& t = t_.At(p);
  if (t.kind != Token::kBoolean && !TextIsBoolean(t)) {
    Record("Expected boolean", p);
    return false;
  }
  t.kind = Token::kBoolean;
  ++p;
  return true;
}

// ---- building pass
// --------------------------------------------------------------

// Raised inside the building pass for a step that cannot be taken (a token
// that is not there, nesting too deep); the element concerned yields no
// item.
struct NoItem {};

class Builder {
 public:
  Builder(const TokenList& t, const ParseSettings& settings)
      : t_(t), n_(t.size()), settings_(settings) {}

  Ref<ParamItem> Build();

 private:
  Ref<ParamItem> NewItem() const {
    return NewParamItem(settings_.smart_quotes, settings_.quote_chars,
                        settings_.show_types);
  }
  const RawToken& At(int32_t p) const {
    if (p < 1 || p > n_) throw NoItem{};
    return t_.At(p);
  }
  // Builds one element at p; null when it yields no item. p ends on the
  // last token the element used.
  Ref<ParamItem> Element(int32_t& p, bool in_list);
  Ref<ParamItem> ElementOrThrow(int32_t& p, bool in_list);
  Ref<ParamItem> ListElement(int32_t& p);
  Ref<ParamItem> ArrayElement(int32_t& p);
  Ref<ParamItem> KeywordElement(int32_t& p, bool in_list);
  void ApplyDeclaredType(ParamItem& item, int16_t declared, int16_t size,
                         bool sized);
  // The value text of `value` read back (the library's string functions).
  static Variant Reread(const Variant& value, bool binary) {
    KVLStrings& strings = Strings();
    return strings.CStrToVariant(strings.CVariantToStr(value), binary);
  }

  const TokenList& t_;
  int32_t n_;
  const ParseSettings& settings_;
  int32_t depth_ = 0;
};

Ref<ParamItem> Builder::Build() {
  Ref<ParamItem> root = NewItem();
  root->SetParamType(ST_List);
  root->SetValueRef(MakeRef<CVParamItem>());
  root->SetRoot(true);
  CVParamItem* children = root->Children();
  children->slots().Reserve(8);
  int32_t p = 0;
  while (true) {
    ++p;
    if (t_.Kind(p) == kCommandToken) {
      root->SetKeyword(RawTokenText(t_.At(p)));
      ++p;
    }
    if (p > n_) break;  // no token: no item
    Ref<ParamItem> item = Element(p, false);
    if (!item) break;
    children->Add(std::move(item));
    if (p >= n_) break;
  }
  return root;
}

Ref<ParamItem> Builder::Element(int32_t& p, bool in_list) {
  // A step that cannot be taken, or any failure on the way, gives no item;
  // out of memory propagates (client_call.h has the rule).
  Ref<ParamItem> item;
  CallClient(ClientFailure::kReturn, [&] {
    try {
      item = ElementOrThrow(p, in_list);
    } catch (const NoItem&) {
    }
  });
  return item;
}

Ref<ParamItem> Builder::ElementOrThrow(int32_t& p, bool in_list) {
  const RawToken& t = At(p);
  switch (t.kind) {
    case Token::kInteger: {
      Ref<ParamItem> item = NewItem();
      if (t.i >= INT16_MIN && t.i <= INT16_MAX) {
        item->SetValue(Variant(static_cast<int16_t>(t.i)));
        item->SetParamType(ST_I2);
      } else {
        item->SetValue(Variant(t.i));
        item->SetParamType(ST_I4);
      }
      return item;
    }
    case Token::kFloat: {
      Ref<ParamItem> item = NewItem();
      item->SetValue(Variant(t.d));
      item->SetParamType(ST_F8);
      return item;
    }
    case Token::kString: {
      Ref<ParamItem> item = NewItem();
      if (t.value_kind == TokenValueKind::kText) {
        item->SetValue(Variant(StripEnclosingQuotes(t.source)));
      } else {
        item->SetValue(
            Variant(std::string(StripEnclosingQuotes(RawTokenText(t)))));
      }
      item->SetParamType(ST_Ascii);
      return item;
    }
    case Token::kBoolean: {
      Ref<ParamItem> item = NewItem();
      item->SetValue(Variant(EqualsNoCase(RawTokenText(t), "TRUE")));
      item->SetParamType(ST_BOOLEAN);
      return item;
    }
    case Token::kLeftBracket: return ListElement(p);
    case Token::kLeftBrace: return ArrayElement(p);
    case Token::kIdentifier: return KeywordElement(p, in_list);
    default: return nullptr;
  }
}

struct BuildNesting {
  int32_t& depth;
  explicit BuildNesting(int32_t& d) : depth(d) {
    if (depth >= kMaxValueNesting) throw NoItem{};
    ++depth;
  }
  ~BuildNesting() { --depth; }
};

Ref<ParamItem> Builder::ListElement(int32_t& p) {
  BuildNesting nesting(depth_);
  Ref<ParamItem> item = NewItem();
  item->SetParamType(ST_List);
  Ref<CVParamItem> children = MakeRef<CVParamItem>();
  children->slots().Reserve(4);
  item->SetValueRef(children);
  while (true) {
    ++p;
    if (At(p).kind == Token::kRightBracket) break;
    if (Ref<ParamItem> child = Element(p, true))
      children->Add(std::move(child));
  }
  return item;
}

Ref<ParamItem> Builder::ArrayElement(int32_t& p) {
  BuildNesting nesting(depth_);
  SafeArray array(VarType::kVariant, 0, -1);
  std::vector<Variant>& elements = array.items();
  elements.reserve(4);
  ++p;
  while (At(p).kind != Token::kRightBrace) {
    Ref<ParamItem> child = Element(p, true);
    if (!child) return nullptr;
    if (child->ParamType() == ST_List) {
      elements.emplace_back(child);
    } else {
      elements.push_back(std::move(child->MutableValue()));
    }
    ++p;
  }
  elements.emplace_back();  // the spare slot
  Ref<ParamItem> item = NewItem();
  item->SetValue(Variant(std::move(array)));
  item->SetParamType(kArrayType);
  return item;
}

Ref<ParamItem> Builder::KeywordElement(int32_t& p, bool in_list) {
  const bool merged = At(p).merged;
  std::string keyword = RawTokenText(At(p));
  int16_t declared = ST_None;
  int16_t size = 0;
  bool sized = false;
  ++p;
  if (p <= n_) {
    if (At(p).kind == Token::kSlash) {
      ++p;
      declared = TypeSuffixToFlag(RawTokenText(At(p)));
      ++p;
      if (t_.Kind(p) == Token::kLeftBracket) {
        ++p;
        if (At(p).kind != Token::kRightBracket) {
          size = ToI2(RawTokenValue(At(p)));
          if (declared != ST_List) sized = true;
          ++p;
        }
        if (At(p).kind != Token::kRightBracket) throw NoItem{};
        ++p;
      }
    } else if (size_t slash = merged ? keyword.find('/') : std::string::npos;
               slash != std::string::npos) {
      // A keyword merged by the leading-path rule: «N/I4».
      std::string_view type = std::string_view(keyword).substr(slash + 1);
      if (type.find('/') == std::string_view::npos) {
        declared = TypeSuffixToFlag(type);
        keyword.resize(slash);
        while (!keyword.empty() && keyword.back() == ' ') keyword.pop_back();
        size_t lead = keyword.find_first_not_of(' ');
        keyword.erase(0, lead == std::string::npos ? keyword.size() : lead);
      }
    }
  }
  if (t_.Kind(p) != Token::kEquals) {
    // A bare keyword; inside a list or array the word is the value.
    Ref<ParamItem> item = NewItem();
    if (in_list) {
      item->SetValue(Variant(std::move(keyword)));
    } else {
      item->SetKeyword(std::move(keyword));
      item->SetValue(Variant(std::string()));
    }
    item->SetParamType(ST_Ascii);
    --p;
    return item;
  }
  ++p;
  Ref<ParamItem> item = ElementOrThrow(p, in_list);
  if (!item) throw NoItem{};
  item->SetKeyword(std::move(keyword));
  ApplyDeclaredType(*item, declared, size, sized);
  return item;
}

void Builder::ApplyDeclaredType(ParamItem& item, int16_t declared, int16_t size,
                                bool sized) {
  const int16_t type = item.ParamType();
  if (declared == ST_None && !sized && type != kArrayType) return;
  Variant& value = item.MutableValue();
  if (type != kArrayType && !sized) {
    if (declared == ST_BOOLEAN || type == ST_BOOLEAN) {
      std::string text = ToText(value);
      if (EqualsNoCase(text, "TRUE")) {
        value = Variant(true);
      } else if (EqualsNoCase(text, "FALSE")) {
        value = Variant(false);
      }
    } else if (declared == ST_B) {
      value = Reread(value, true);
    } else if (IsNumeric(value) && (declared == ST_Ascii || type == ST_Ascii)) {
      value = Variant(ToText(value));
    }
    item.SetParamType(declared);
    return;
  }
  const bool binary = declared == ST_B;
  if (CVParamItem* children = item.Children()) {
    const auto& elements = children->slots().elements();
    SafeArray array(VarType::kVariant, 0,
                    static_cast<int32_t>(elements.size()));
    for (size_t i = 0; i < elements.size(); ++i) {
      if (!elements[i]) throw NoItem{};
      array.items()[i] = Reread(elements[i]->Value(), binary);
    }
    value = Variant(std::move(array));
  } else if (binary) {
    if (!value.is_array()) throw NoItem{};
    const SafeArray& from = value.Array();
    SafeArray bytes(VarType::kByte, from.lower(), from.upper());
    for (int32_t i = 0; i < from.upper(); ++i) {
      bytes.Put(i, Variant(ToByte(Reread(from.At(i), true))));
    }
    value = Variant(std::move(bytes));
  } else if (declared == ST_Ascii) {
    std::string text(StripEnclosingQuotes(ToText(value)));
    if (size > 0 && text.size() < static_cast<size_t>(size))
      text.resize(static_cast<size_t>(size), ' ');
    value = Variant(std::move(text));
  }
  item.SetParamType(declared);
}

}  // namespace

std::string ParseError::Format() const {
  if (!message) return {};
  std::string text = message;
  text += " at token ";
  text += std::to_string(pos);
  text += ":<";
  text += token;
  text += '>';
  return text;
}

ParseResult ParseParamText(std::string_view text,
                           const ParseSettings& settings) {
  // The token list is scratch space reused by the parses of this thread.
  thread_local TokenList scratch;
  TokenList& tokens = scratch;
  tokens.merged_text().clear();
  ScanText(text, &tokens.tokens());

  ParseResult result;
  Checker checker(tokens);
  result.accepted = checker.Start();
  result.error = checker.Error();
  if (!result.accepted) return result;

  // A word after an equals sign is a string value.
  auto& list = tokens.tokens();
  for (size_t i = 1; i < list.size(); ++i) {
    if (list[i].kind == Token::kIdentifier &&
        list[i - 1].kind == Token::kEquals)
      list[i].kind = Token::kString;
  }
  result.root = Builder(tokens, settings).Build();
  return result;
}

}  // namespace kvl::internal

#include "kvl/params/param_parser.h"

#include <charconv>
#include <functional>
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

// What rule Name accepts: an identifier, or a string not in quotes.
bool IsName(const RawToken& t) {
  return t.kind == Token::kIdentifier ||
         (t.kind == Token::kString && t.value_kind == TokenValueKind::kText &&
          !t.source.empty() && t.source[0] != '\'' && t.source[0] != '"');
}

// The messages that both the checking pass and the one-pass parse record.
constexpr char kExpectedName[] = "Expected non-quoted string or identifier";
constexpr char kExpectedSlash[] = "Expected slash";
constexpr char kExpectedEquals[] = "Expected equals-sign";
constexpr char kExpectedLeftBracket[] = "Expected left bracket";

// The furthest error of a parse: the first message recorded at the
// furthest token position.
struct FurthestError {
  int32_t pos = 0;
  const char* message = nullptr;

  void Record(const char* m, int32_t p) {
    if (p > pos) {
      pos = p;
      message = m;
    }
  }
  // With the text of the token it names ("EOS" past the last one).
  ParseError Error(const TokenList& t) const {
    ParseError error;
    if (!message) return error;
    error.message = message;
    error.pos = pos;
    if (pos > t.size()) {
      error.token = "EOS";
      return error;
    }
    const RawToken& token = t.At(pos);
    switch (token.value_kind) {
      case TokenValueKind::kText: error.token = token.source; break;
      case TokenValueKind::kInteger: error.value = token.i; break;
      case TokenValueKind::kDouble: error.value = token.d; break;
      case TokenValueKind::kBoolean: error.value = token.b; break;
    }
    error.value_kind = static_cast<uint8_t>(token.value_kind);
    return error;
  }
};

// A run Identifier (Slash Identifier)... at the start, ended by an
// identifier that is followed by anything but a slash, becomes one string
// token; a single identifier that is the whole input becomes a string.
// Running it again changes nothing.
void MergeLeadingPath(TokenList& t) {
  if (t.Kind(1) != Token::kIdentifier) return;
  int32_t last = 1;
  while (t.Kind(last + 1) == Token::kSlash &&
         t.Kind(last + 2) == Token::kIdentifier)
    last += 2;
  if (t.Kind(last + 1) == Token::kSlash) return;  // ends in a slash
  if (last == 1) {
    if (t.size() == 1) t.At(1).kind = Token::kString;
    return;
  }
  std::string& text = t.merged_text();
  for (int32_t p = 1; p <= last; ++p) text += t.At(p).source;
  RawToken merged = t.At(1);
  merged.kind = Token::kString;
  merged.value_kind = TokenValueKind::kText;
  merged.merged = true;
  merged.end = t.At(last).end;
  merged.source = text;
  auto& tokens = t.tokens();
  tokens.erase(tokens.begin() + 1, tokens.begin() + last);
  tokens[0] = merged;
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
  void Record(const char* message, int32_t p) { record_.Record(message, p); }
  bool Terminal(int32_t& p, int16_t kind, const char* message) {
    if (p > n_) return false;
    if (t_.Kind(p) != kind) {
      Record(message, p);
      return false;
    }
    ++p;
    return true;
  }

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
  FurthestError record_;
  int32_t depth_ = 0;
  int32_t too_deep_at_ = 0;  // the position where nesting went too deep
};

bool Checker::Start() {
  if (!Statement()) return false;
  return too_deep_at_ == 0;
}

ParseError Checker::Error() const {
  if (too_deep_at_ == 0) return record_.Error(t_);
  FurthestError too_deep;
  too_deep.Record("Values nested too deeply", too_deep_at_);
  return too_deep.Error(t_);
}

bool Checker::Statement() {
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
    if (!Terminal(p, Token::kEquals, kExpectedEquals)) return true;
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
  if (!Terminal(p, Token::kSlash, kExpectedSlash)) {
    p = after_name;
    return true;
  }
  if (!Name(p)) {
    Record("Expected type name", p);
    p = start;
    return false;
  }
  const int32_t after_type = p;
  if (!Terminal(p, Token::kLeftBracket, kExpectedLeftBracket)) {
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
  if (!IsName(t)) {
    Record(kExpectedName, p);
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

// Raised inside the one-pass parse where the text takes a turn it does not
// follow; the two passes then decide.
struct GiveUp {};

// Values nested deeper than this are left to the two passes.
constexpr int32_t kOnePassNesting = 64;

}  // namespace

// Fills a ParamTree from the final token list. Elements are node indexes;
// -1 is "no item".
class TreeBuilder {
 public:
  TreeBuilder(const TokenList& t, std::string_view input, ParamTree& tree)
      : t_(t), n_(t.size()), input_(input), tree_(tree) {}

  void Build();

  // Decides and builds the text in one walk over the tokens, for texts of
  // the usual shape: a command (or none, when the first pair starts the
  // text), then pairs whose values are words, numbers, strings, booleans,
  // lists and arrays. The walk follows the checking rules along the one
  // derivation such a text has and records the errors they record, in the
  // same order, and builds each element as the building pass builds it
  // from the final token kinds. It changes no token. False when the text
  // takes a turn it does not follow (an alternative that fails, text after
  // the last good pair, a value that is itself a pair, an element that
  // yields no item, deep nesting); the tree then holds nothing useful and
  // the two passes decide. True: accepted, with `*error` set.
  bool BuildInOnePass(ParseError* error);

 private:
  using Node = ParamTree::Node;
  using ValueKind = ParamTree::ValueKind;

  const RawToken& At(int32_t p) const {
    if (p < 1 || p > n_) throw NoItem{};
    return t_.At(p);
  }
  Node& N(int32_t i) { return tree_.nodes_[static_cast<size_t>(i)]; }
  int32_t NewNode(int16_t type, ValueKind kind) {
    tree_.nodes_.emplace_back();
    Node& node = tree_.nodes_.back();
    node.type = type;
    node.kind = kind;
    return static_cast<int32_t>(tree_.nodes_.size() - 1);
  }
  // Appends `child` to the children of `parent`, whose last child is
  // `*last`.
  void Append(int32_t parent, int32_t* last, int32_t child) {
    if (*last < 0) {
      N(parent).first_child = child;
    } else {
      N(*last).next_sibling = child;
    }
    *last = child;
  }
  // A span of the tree's text holding `s`: the parsed text where `s` lies
  // in it, else a copy appended to the tree's text.
  ParamTree::Span Intern(std::string_view s);
  void SetValue(int32_t node, Variant value) {
    N(node).kind = ValueKind::kVariant;
    N(node).index = static_cast<uint32_t>(tree_.variants_.size());
    tree_.variants_.push_back(std::move(value));
  }
  // Builds one element at p; -1 when it yields no item. p ends on the
  // last token the element used.
  int32_t Element(int32_t& p, bool in_list);
  int32_t ElementOrThrow(int32_t& p, bool in_list);
  int32_t ListElement(int32_t& p);
  int32_t ArrayElement(int32_t& p);
  int32_t KeywordElement(int32_t& p, bool in_list);
  void ApplyDeclaredType(int32_t node, int16_t declared, int16_t size,
                         bool sized);
  // The element of an array made from node `child`: a list as its item,
  // anything else as its value.
  void AddArrayElement(std::vector<Variant>& elements, int32_t child) {
    if (N(child).type == ST_List) {
      elements.emplace_back(tree_.MaterializeNode(N(child), true));
    } else {
      elements.push_back(tree_.NodeValue(N(child), true));
    }
  }
  int32_t ArrayNode(SafeArray array) {
    array.items().emplace_back();  // the spare slot
    const int32_t node = NewNode(kArrayType, ValueKind::kVariant);
    SetValue(node, Variant(std::move(array)));
    return node;
  }
  int32_t BareKeyword(std::string_view keyword, bool in_list) {
    const ParamTree::Span text = Intern(keyword);
    const int32_t node = NewNode(ST_Ascii, ValueKind::kText);
    if (in_list) {
      N(node).text = text;
    } else {
      N(node).keyword = text;
    }
    return node;
  }

  // The one-pass parse (BuildInOnePass). Positions are left after the
  // tokens used, as the checking rules leave them; each returns the node
  // built or raises GiveUp.
  void OneStatement();
  int32_t OnePair(int32_t& p, bool in_list);
  int32_t OneValue(int32_t& p, bool in_list, bool after_equals);
  int32_t OneList(int32_t& p);
  int32_t OneArray(int32_t& p);

  // The value text of `value` read back (the library's string functions).
  static Variant Reread(const Variant& value, bool binary) {
    KVLStrings& strings = Strings();
    return strings.CStrToVariant(strings.CVariantToStr(value), binary);
  }

  const TokenList& t_;
  int32_t n_;
  std::string_view input_;
  ParamTree& tree_;
  int32_t depth_ = 0;
  FurthestError record_;  // the one-pass parse's errors
};

inline ParamTree::Span TreeBuilder::Intern(std::string_view s) {
  if (s.empty()) return {};
  const std::less_equal<const char*> le;
  if (le(input_.data(), s.data()) &&
      le(s.data() + s.size(), input_.data() + input_.size())) {
    return {static_cast<uint32_t>(s.data() - input_.data()),
            static_cast<uint32_t>(s.size())};
  }
  ParamTree::Span span{static_cast<uint32_t>(tree_.text_.size()),
                       static_cast<uint32_t>(s.size())};
  tree_.text_.append(s);
  return span;
}

void TreeBuilder::Build() {
  tree_.text_.assign(input_);
  int32_t last = -1;
  int32_t p = 0;
  while (true) {
    ++p;
    if (t_.Kind(p) == kCommandToken) {
      tree_.command_ = RawTokenText(t_.At(p));
      ++p;
    }
    if (p > n_) break;  // no token: no item
    const int32_t item = Element(p, false);
    if (item < 0) break;
    Append(0, &last, item);
    if (p >= n_) break;
  }
}

int32_t TreeBuilder::Element(int32_t& p, bool in_list) {
  // A step that cannot be taken, or any failure on the way, gives no item
  // and drops what the element had built; out of memory propagates
  // (client_call.h has the rule).
  const size_t nodes = tree_.nodes_.size();
  const size_t variants = tree_.variants_.size();
  int32_t item = -1;
  CallClient(ClientFailure::kReturn, [&] {
    try {
      item = ElementOrThrow(p, in_list);
    } catch (const NoItem&) {
      item = -1;
    }
  });
  if (item < 0) {
    tree_.nodes_.resize(nodes);
    tree_.variants_.resize(variants);
  }
  return item;
}

int32_t TreeBuilder::ElementOrThrow(int32_t& p, bool in_list) {
  const RawToken& t = At(p);
  switch (t.kind) {
    case Token::kInteger: {
      const bool small = t.i >= INT16_MIN && t.i <= INT16_MAX;
      const int32_t node = NewNode(small ? ST_I2 : ST_I4,
                                   small ? ValueKind::kInt16 : ValueKind::kInt32);
      N(node).i = t.i;
      return node;
    }
    case Token::kFloat: {
      const int32_t node = NewNode(ST_F8, ValueKind::kDouble);
      N(node).d = t.d;
      return node;
    }
    case Token::kString: {
      const ParamTree::Span text =
          t.value_kind == TokenValueKind::kText
              ? Intern(StripEnclosingQuotes(t.source))
              : Intern(StripEnclosingQuotes(RawTokenText(t)));
      const int32_t node = NewNode(ST_Ascii, ValueKind::kText);
      N(node).text = text;
      return node;
    }
    case Token::kBoolean: {
      const int32_t node = NewNode(ST_BOOLEAN, ValueKind::kBoolean);
      N(node).b = t.value_kind == TokenValueKind::kBoolean
                      ? t.b
                      : EqualsNoCase(RawTokenText(t), "TRUE");
      return node;
    }
    case Token::kLeftBracket: return ListElement(p);
    case Token::kLeftBrace: return ArrayElement(p);
    case Token::kIdentifier: return KeywordElement(p, in_list);
    default: return -1;
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

int32_t TreeBuilder::ListElement(int32_t& p) {
  BuildNesting nesting(depth_);
  const int32_t node = NewNode(ST_List, ValueKind::kList);
  int32_t last = -1;
  while (true) {
    ++p;
    if (At(p).kind == Token::kRightBracket) break;
    const int32_t child = Element(p, true);
    if (child >= 0) Append(node, &last, child);
  }
  return node;
}

int32_t TreeBuilder::ArrayElement(int32_t& p) {
  BuildNesting nesting(depth_);
  SafeArray array(VarType::kVariant, 0, -1);
  std::vector<Variant>& elements = array.items();
  elements.reserve(4);
  ++p;
  while (At(p).kind != Token::kRightBrace) {
    const int32_t child = Element(p, true);
    if (child < 0) return -1;
    AddArrayElement(elements, child);
    ++p;
  }
  return ArrayNode(std::move(array));
}

int32_t TreeBuilder::KeywordElement(int32_t& p, bool in_list) {
  const RawToken& token = At(p);
  const bool merged = token.merged;
  std::string owned;
  std::string_view keyword = token.source;
  if (token.value_kind != TokenValueKind::kText) {
    owned = RawTokenText(token);
    keyword = owned;
  }
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
      std::string_view type = keyword.substr(slash + 1);
      if (type.find('/') == std::string_view::npos) {
        declared = TypeSuffixToFlag(type);
        keyword = keyword.substr(0, slash);
        while (!keyword.empty() && keyword.back() == ' ')
          keyword.remove_suffix(1);
        while (!keyword.empty() && keyword.front() == ' ')
          keyword.remove_prefix(1);
      }
    }
  }
  if (t_.Kind(p) != Token::kEquals) {
    // A bare keyword; inside a list or array the word is the value.
    --p;
    return BareKeyword(keyword, in_list);
  }
  ++p;
  const int32_t node = ElementOrThrow(p, in_list);
  if (node < 0) throw NoItem{};
  N(node).keyword = Intern(keyword);
  ApplyDeclaredType(node, declared, size, sized);
  return node;
}

void TreeBuilder::ApplyDeclaredType(int32_t node, int16_t declared,
                                    int16_t size, bool sized) {
  const int16_t type = N(node).type;
  if (declared == ST_None && !sized && type != kArrayType) return;
  if (type != kArrayType && !sized) {
    if (declared == ST_BOOLEAN || type == ST_BOOLEAN) {
      Variant value = tree_.NodeValue(N(node), true);
      std::string text = ToText(value);
      if (EqualsNoCase(text, "TRUE")) {
        value = Variant(true);
      } else if (EqualsNoCase(text, "FALSE")) {
        value = Variant(false);
      }
      SetValue(node, std::move(value));
    } else if (declared == ST_B) {
      SetValue(node, Reread(tree_.NodeValue(N(node), true), true));
    } else if (declared == ST_Ascii || type == ST_Ascii) {
      Variant value = tree_.NodeValue(N(node), true);
      if (IsNumeric(value)) value = Variant(ToText(value));
      SetValue(node, std::move(value));
    }
    N(node).type = declared;
    return;
  }
  const bool binary = declared == ST_B;
  if (N(node).kind == ValueKind::kText && declared == ST_Ascii) {
    // A string of a declared size stays in the text buffer, padded there.
    const ParamTree::Span span = N(node).text;
    const std::string_view text = tree_.Text(span);
    const std::string_view stripped = StripEnclosingQuotes(text);
    ParamTree::Span result{
        span.offset + static_cast<uint32_t>(stripped.data() - text.data()),
        static_cast<uint32_t>(stripped.size())};
    if (size > 0 && stripped.size() < static_cast<size_t>(size)) {
      std::string& buffer = tree_.text_;
      const uint32_t offset = static_cast<uint32_t>(buffer.size());
      buffer.append(buffer, result.offset, result.size);
      buffer.append(static_cast<size_t>(size) - result.size, ' ');
      result = {offset, static_cast<uint32_t>(size)};
    }
    N(node).text = result;
    N(node).type = declared;
    return;
  }
  Variant value;
  if (N(node).kind == ValueKind::kList) {
    int32_t count = 0;
    for (int32_t c = N(node).first_child; c >= 0; c = N(c).next_sibling)
      ++count;
    SafeArray array(VarType::kVariant, 0, count);
    int32_t i = 0;
    for (int32_t c = N(node).first_child; c >= 0; c = N(c).next_sibling)
      array.items()[static_cast<size_t>(i++)] =
          Reread(tree_.NodeValue(N(c), true), binary);
    value = Variant(std::move(array));
  } else {
    value = tree_.NodeValue(N(node), true);
    if (binary) {
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
  }
  N(node).first_child = -1;
  SetValue(node, std::move(value));
  N(node).type = declared;
}

// ---- the one-pass parse
// ---------------------------------------------------------

bool TreeBuilder::BuildInOnePass(ParseError* error) {
  // GiveUp, and any failure of a conversion on the way, leave the text to
  // the two passes, which give it its exact result; out of memory
  // propagates (client_call.h has the rule).
  if (CallClient(ClientFailure::kReturn, [&] { OneStatement(); })) return false;
  *error = record_.Error(t_);
  return true;
}

void TreeBuilder::OneStatement() {
  tree_.text_.assign(input_);
  if (n_ == 0) return;
  const RawToken& first = t_.At(1);
  int32_t p = 1;
  if (IsName(first) && !first.merged && t_.Kind(2) == Token::kEquals) {
    // The statement with a command fails at the equals sign, where no pair
    // starts; the pairs from the first token are the statement.
    record_.Record(kExpectedName, 2);
  } else if (first.kind == Token::kString || first.kind == Token::kIdentifier) {
    tree_.command_ = RawTokenText(first);
    p = 2;
  } else {
    throw GiveUp{};
  }
  int32_t last = -1;
  while (p <= n_) Append(0, &last, OnePair(p, false));
}

int32_t TreeBuilder::OnePair(int32_t& p, bool in_list) {
  const RawToken& t = t_.At(p);
  if (!IsName(t)) {
    record_.Record(kExpectedName, p);
    if (t.kind == Token::kLeftBracket) return OneList(p);
    if (t.kind == Token::kLeftBrace) return OneArray(p);
    throw GiveUp{};
  }
  if (t.merged) throw GiveUp{};  // a leading path as keyword: «N/I4=5»
  ++p;
  int16_t declared = ST_None;
  int16_t size = 0;
  bool sized = false;
  if (t_.Kind(p) == Token::kSlash) {
    ++p;
    if (p > n_ || !IsName(t_.At(p))) throw GiveUp{};
    declared = TypeSuffixToFlag(RawTokenText(t_.At(p)));
    ++p;
    if (t_.Kind(p) == Token::kLeftBracket) {
      // Only a size of 16 bits written as a number.
      const int32_t at = p + 1;
      if (t_.Kind(at) != Token::kInteger ||
          t_.Kind(at + 1) != Token::kRightBracket)
        throw GiveUp{};
      const int32_t value = t_.At(at).i;
      if (value < INT16_MIN || value > INT16_MAX) throw GiveUp{};
      record_.Record(kExpectedName, at);  // the size is tried as a pair
      size = static_cast<int16_t>(value);
      sized = declared != ST_List;
      p = at + 2;
    } else if (p <= n_) {
      record_.Record(kExpectedLeftBracket, p);
    }
  } else if (p <= n_) {
    record_.Record(kExpectedSlash, p);
  }
  if (t_.Kind(p) != Token::kEquals) {
    if (p <= n_) record_.Record(kExpectedEquals, p);
    return BareKeyword(t.source, in_list);
  }
  ++p;
  const int32_t node = OneValue(p, in_list, true);
  N(node).keyword = Intern(t.source);
  if (declared != ST_None || sized || N(node).type == kArrayType)
    ApplyDeclaredType(node, declared, size, sized);
  return node;
}

int32_t TreeBuilder::OneValue(int32_t& p, bool in_list, bool after_equals) {
  if (p > n_ || depth_ >= kOnePassNesting) throw GiveUp{};
  ++depth_;
  const RawToken& t = t_.At(p);
  int32_t node;
  if (IsName(t) && !after_equals) {
    node = OnePair(p, in_list);  // a keyword in a list, bare or with a value
  } else if (IsName(t)) {
    // A word: a bare keyword to the checking rules, a string once marked
    // as the word after an equals sign. A pair as value («K=J=1») is left
    // to the two passes.
    const int16_t next = t_.Kind(p + 1);
    if (next == Token::kEquals || next == Token::kSlash) throw GiveUp{};
    if (p < n_) record_.Record(kExpectedSlash, p + 1);
    node = NewNode(ST_Ascii, ValueKind::kText);
    N(node).text = Intern(StripEnclosingQuotes(t.source));
    ++p;
  } else {
    record_.Record(kExpectedName, p);
    switch (t.kind) {
      case Token::kLeftBracket: node = OneList(p); break;
      case Token::kLeftBrace: node = OneArray(p); break;
      case Token::kInteger:
      case Token::kFloat:
      case Token::kBoolean:
      case Token::kString:  // in quotes
        node = ElementOrThrow(p, in_list);
        ++p;
        break;
      default: throw GiveUp{};
    }
  }
  --depth_;
  return node;
}

int32_t TreeBuilder::OneList(int32_t& p) {
  const int32_t node = NewNode(ST_List, ValueKind::kList);
  ++p;
  if (t_.Kind(p) == Token::kRightBracket) throw GiveUp{};  // no value
  int32_t last = -1;
  while (t_.Kind(p) != Token::kRightBracket) {
    Append(node, &last, OneValue(p, true, false));
  }
  record_.Record(kExpectedName, p);  // one more value is tried at "]"
  ++p;
  return node;
}

int32_t TreeBuilder::OneArray(int32_t& p) {
  SafeArray array(VarType::kVariant, 0, -1);
  std::vector<Variant>& elements = array.items();
  elements.reserve(4);
  ++p;
  if (t_.Kind(p) == Token::kRightBrace) throw GiveUp{};  // no value
  while (t_.Kind(p) != Token::kRightBrace) {
    AddArrayElement(elements, OneValue(p, true, false));
  }
  record_.Record(kExpectedName, p);  // one more value is tried at "}"
  ++p;
  return ArrayNode(std::move(array));
}

// ---- the tree
// -------------------------------------------------------------------

void ParamTree::Clear(const ParseSettings& settings, size_t nodes) {
  nodes_.clear();
  nodes_.reserve(nodes);
  nodes_.emplace_back();
  nodes_[0].type = ST_List;
  nodes_[0].kind = ValueKind::kList;
  text_.clear();
  variants_.clear();
  command_.clear();
  SetSettings(settings);
}

void ParamTree::SetSettings(const ParseSettings& settings) {
  smart_quotes_ = settings.smart_quotes;
  quote_chars_.assign(settings.quote_chars);
  show_types_ = settings.show_types;
}

Ref<ParamItem> ParamTree::Materialize() {
  if (nodes_.empty()) {
    const std::string quote_chars = quote_chars_;
    Clear({smart_quotes_, quote_chars, show_types_});
  }
  Ref<ParamItem> root = MaterializeNode(nodes_[0], false);
  root->SetKeyword(command_);
  root->SetRoot(true);
  return root;
}

Ref<ParamItem> ParamTree::MaterializeNode(const Node& node, bool take) {
  Ref<ParamItem> item = NewParamItem(smart_quotes_, quote_chars_, show_types_);
  item->SetParamType(node.type);
  if (node.keyword.size) item->SetKeyword(std::string(Text(node.keyword)));
  item->SetValue(NodeValue(node, take));
  return item;
}

Variant ParamTree::NodeValue(const Node& node, bool take) {
  switch (node.kind) {
    case ValueKind::kText: return Variant(Text(node.text));
    case ValueKind::kInt16: return Variant(static_cast<int16_t>(node.i));
    case ValueKind::kInt32: return Variant(node.i);
    case ValueKind::kDouble: return Variant(node.d);
    case ValueKind::kBoolean: return Variant(node.b);
    case ValueKind::kVariant:
      if (take) return std::move(variants_[node.index]);
      return variants_[node.index];
    case ValueKind::kList: break;
  }
  Ref<CVParamItem> children = MakeRef<CVParamItem>();
  size_t count = 0;
  for (int32_t c = node.first_child; c >= 0;
       c = nodes_[static_cast<size_t>(c)].next_sibling)
    ++count;
  children->slots().Reserve(count);
  for (int32_t c = node.first_child; c >= 0;
       c = nodes_[static_cast<size_t>(c)].next_sibling)
    children->Add(MaterializeNode(nodes_[static_cast<size_t>(c)], take));
  return Variant(children);
}

std::string ParseError::Format() const {
  if (!message) return {};
  std::string text = message;
  text += " at token ";
  text += std::to_string(pos);
  text += ":<";
  switch (static_cast<TokenValueKind>(value_kind)) {
    case TokenValueKind::kText: text += token; break;
    case TokenValueKind::kInteger:
      text += std::to_string(static_cast<int32_t>(value));
      break;
    case TokenValueKind::kDouble: text += FormatDouble(value); break;
    case TokenValueKind::kBoolean: text += value != 0 ? "True" : "False"; break;
  }
  text += '>';
  return text;
}

bool ParseParamText(std::string_view text, const ParseSettings& settings,
                    ParamTree* tree, ParseError* error) {
  // The token list is scratch space reused by the parses of this thread.
  // (initial-exec: no call into the dynamic linker to find it).
  thread_local TokenList scratch __attribute__((tls_model("initial-exec")));
  TokenList& tokens = scratch;
  tokens.merged_text().clear();
  ScanText(text, &tokens.tokens());
  MergeLeadingPath(tokens);

  // Every node starts at a token of its own: one allocation for the nodes.
  const size_t nodes = tokens.tokens().size() + 1;
  tree->Clear(settings, nodes);
  if (TreeBuilder(tokens, text, *tree).BuildInOnePass(error)) return true;

  Checker checker(tokens);
  const bool accepted = checker.Start();
  *error = checker.Error();
  if (!accepted) return false;

  // A word after an equals sign is a string value.
  auto& list = tokens.tokens();
  for (size_t i = 1; i < list.size(); ++i) {
    if (list[i].kind == Token::kIdentifier &&
        list[i - 1].kind == Token::kEquals)
      list[i].kind = Token::kString;
  }
  tree->Clear(settings, nodes);
  TreeBuilder(tokens, text, *tree).Build();
  return true;
}

}  // namespace kvl::internal

// The parser of ParamString and the compact tree it parses into.
//
// A text of the usual shape is decided and built in one walk over the
// scanned tokens, which follows the checking rules along the text's one
// derivation. Any other text gets a checking pass (a recursive-descent
// recogniser that accepts or rejects it and records the furthest error)
// and, only when that accepts, a building pass; both ways give the same
// verdict, error and tree. Building makes no objects: it fills a
// ParamTree, a flat array of nodes whose texts live in one buffer. The
// ParamItem objects of a tree are made from it when a client first reaches any
// item (ParamTree::Materialize) and are then the tree, so identity and every
// observable result are those of items made at once. A tree's storage is kept
// and reused by the next parse into it.
#ifndef KVL_PARAMS_PARAM_PARSER_H_
#define KVL_PARAMS_PARAM_PARSER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

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

// The furthest error recorded by the checking rules, kept unformatted: most
// parses record one, few callers read it.
struct KVL_EXPORT ParseError {
  const char* message = nullptr;  // null: nothing recorded
  int32_t pos = 0;                // token position (1-based)
  std::string token;              // the token's text, "EOS" past the end
  // A number or boolean token is written only when formatted: what it is
  // (1 integer, 2 double, 3 boolean; 0 when `token` is its text) and its
  // value.
  uint8_t value_kind = 0;
  double value = 0;

  // "<message> at token <pos>:<token>", or "" when nothing was recorded.
  std::string Format() const;
};

// A parsed tree before its items exist: node 0 is the root (a list whose
// keyword is the command). Not copyable; one per ParamString.
class KVL_EXPORT ParamTree {
 public:
  // Where a node's value is held.
  enum class ValueKind : uint8_t {
    kText,     // text_ span
    kInt16,    // i
    kInt32,    // i
    kDouble,   // d
    kBoolean,  // b
    kList,     // the children first_child, next_sibling...
    kVariant,  // variants_[index]: converted values and arrays
  };
  // A span of text_.
  struct Span {
    uint32_t offset = 0;
    uint32_t size = 0;
  };
  struct Node {
    int16_t type = 0;  // the item's ParamType
    ValueKind kind = ValueKind::kText;
    Span keyword;
    union {
      Span text;
      int32_t i;
      double d;
      bool b;
      uint32_t index;
    };
    int32_t first_child = -1;
    int32_t next_sibling = -1;
    Node() : text() {}
  };

  // Holds no nodes until the first Clear (Materialize then gives an empty
  // root with the tree's settings), so an unused tree costs nothing.
  ParamTree() = default;
  ParamTree(const ParamTree&) = delete;
  ParamTree& operator=(const ParamTree&) = delete;

  // An empty tree (no command, no items) carrying `settings`; the storage
  // is kept, with room for `nodes` nodes.
  void Clear(const ParseSettings& settings, size_t nodes = 1);
  // The settings an empty tree's root gets; allocates nothing.
  void SetSettings(const ParseSettings& settings);
  // The root and every item below it as new objects. The tree is left as
  // it was, so a call that fails (out of memory) can be repeated.
  Ref<ParamItem> Materialize();
  const std::string& command() const { return command_; }
  bool show_types() const { return show_types_; }

 private:
  friend class TreeBuilder;

  std::string_view Text(Span s) const {
    return std::string_view(text_).substr(s.offset, s.size);
  }
  // With `take`, a value held in the side table is moved out of it (the
  // building pass consumes the values it converts).
  Ref<ParamItem> MaterializeNode(const Node& node, bool take);
  // The node's value as an item holds it (a list's children as objects).
  Variant NodeValue(const Node& node, bool take);

  std::vector<Node> nodes_;
  // The parsed text itself, then the texts the parse derived from it.
  std::string text_;
  std::vector<Variant> variants_;
  std::string command_;
  bool smart_quotes_ = true;
  std::string quote_chars_;
  bool show_types_ = false;
};

// Parses `text` (at most 32767 bytes; the caller refuses longer text) into
// `*tree`, which is cleared first; false when the text is rejected (the
// tree then holds nothing useful). `*error` is set also after an accepted
// parse.
KVL_EXPORT bool ParseParamText(std::string_view text,
                               const ParseSettings& settings, ParamTree* tree,
                               ParseError* error);

}  // namespace kvl::internal

#endif  // KVL_PARAMS_PARAM_PARSER_H_

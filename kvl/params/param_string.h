// ParamString: parses the one-line parameter-string format into a tree of
// ParamItems and writes the tree back.
//
// The format: an optional command, then keyword/value pairs separated by
// blanks (commas count as blanks):
//   «Foo/To/Whatever K1=V1 K2=V2»   «Ev N/I4=5 S/A[10]=abc L=[1, 2, x=3]»
//   «Ev A={1, 2.5, 'x'}»            «Ev Flag»   «K=1 J=2» (no command)
// Values get their types from their text: 16-bit or 32-bit integers
// (ST_I2, ST_I4), doubles (ST_F8), strings (ST_Ascii; quoted with ' or ",
// without escapes), booleans (ST_BOOLEAN), lists in brackets (ST_List,
// children in a CVParamItem) and arrays in braces (variant arrays 0..n
// with a spare empty slot); «Key/Type[size]=value» declares a type and, for
// strings, a padded size.
//
// Parse checks the text and, only when it is accepted, replaces the tree
// (usual texts in one walk over the tokens). The items of a parsed tree are
// made when a client first reaches one (AsParamItem, the cursor and keyword
// members, ToString...) and then kept: a parse that nobody reads makes no
// objects. It never raises for bad text: it
// returns false, keeps the previous tree, and LastError names the furthest
// error: "<message> at token <n>:<token text>" or ":<EOS>" past the end
// («=5» gives "Expected identifier or string at token 1:<=>"). Garbage
// after at least one good pair is ignored. A text longer than 32767 bytes,
// or values nested more than 256 deep, are refused the same way.
//
// Settings: SmartQuotes (quote string values only where needed, default
// true) and QuoteChars (default two apostrophes) apply to trees made by
// later parses; ShowTypes (write «K/I2=5 S/A[3]=abc») applies at once to
// the whole tree.
//
// Ownership: the ParamString owns its root; the tree is a strict hierarchy.
// Used on the thread that created it.
//
//   Ref<ParamString> ps = MakeRef<ParamString>();
//   if (!ps->Parse("Ev N=5 F=2.5 S='a b'")) std::puts(ps->LastError().c_str());
//   ps->Value("n");          // 16-bit integer 5
//   ps->ToString();          // "Ev N=5 F=2.5 S='a b'"
#ifndef KVL_PARAMS_PARAM_STRING_H_
#define KVL_PARAMS_PARAM_STRING_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "kvl/params/param_parser.h"
#include "kvl/params/tree_iterator_adapter.h"
#include "kvl/params/param_item.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Creatable.
class KVL_EXPORT ParamString : public Object,
                               public internal::TreeIteratorAdapter {
  KVL_DECLARE_CLASS(ParamString)
 public:
  ParamString();
  ~ParamString() override;

  // The root's Add.
  Ref<ParamItem> Add(const std::string& keyword, Variant new_value);
  // The root.
  Ref<ParamItem> AsParamItem() const { return Root(); }
  Ref<ParamItem> AddList(const std::string& keyword = {});
  void SetCommand(std::string command) {
    Root()->SetKeyword(std::move(command));
  }
  const std::string& Command() const {
    return root_ ? root_->Keyword() : tree().command();
  }
  // Iteration over the top-level items (the root's cursor).
  // These typed members hide ITreeIterator's FirstItem/NextItem on purpose:
  // C++ callers get the child as a ParamItem, the interface (reached with
  // As<ITreeIterator>() or by name) still answers with the same items.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
  Ref<ParamItem> CurrentItem() const { return Root()->CurrentItem(); }
  Ref<ParamItem> FirstItem() const { return Root()->FirstItem(); }
  Ref<ParamItem> Item(int16_t n) const { return Root()->Item(n); }
  Ref<ParamItem> NextItem() const { return Root()->NextItem(); }
#pragma GCC diagnostic pop
  // The message of the last recorded parse error; meaningful after Parse
  // returned false.
  const std::string& LastError() const;
  const std::string& QuoteChars() const { return quote_chars_; }
  // Accepts exactly two bytes; applies to trees made by later parses.
  void SetQuoteChars(std::string quote_chars);
  bool RemoveElement(const Ref<ParamItem>& p) {
    return Root()->RemoveElement(p);
  }
  bool ShowTypes() const { return show_types_; }
  // Also sets the flag on the whole current tree.
  void SetShowTypes(bool value);
  bool SmartQuotes() const { return smart_quotes_; }
  // Applies to trees made by later parses.
  void SetSmartQuotes(bool value) { smart_quotes_ = value; }
  const std::string& Tag() const { return tag_; }
  void SetTag(std::string tag) { tag_ = std::move(tag); }
  // The tree as text: one line, or the reader form.
  std::string ToString(bool as_reader_string = false) const;
  // The value of the index-th item called `keyword` (an omitted index is
  // 1); Nothing when there is none. Raises 13 or 6 for an index that is not
  // a 16-bit integer.
  Variant ValueByIndex(const std::string& keyword,
                       const Variant& index = Variant::Missing()) const;
  Ref<ParamItem> ItemByIndex(const std::string& keyword,
                             int16_t index = 1) const {
    return Root()->ItemByIndex(keyword, index);
  }
  // The value of the first item called `keyword`; Nothing when absent.
  Variant Value(const std::string& keyword) const {
    return Root()->ValueByIndex(keyword, 1);
  }
  // The root.
  Ref<ParamItem> params() const { return Root(); }
  // Parses `input`; see the class comment. An empty text gives an empty
  // tree.
  bool Parse(const std::string& input = {});

 protected:
  Ref<Object> TreeFirstItem() override { return FirstItem(); }
  Ref<Object> TreeNextItem() override { return NextItem(); }

 private:
  // The root item, made from the parsed tree on first use.
  const Ref<ParamItem>& Root() const {
    if (!root_) root_ = tree().Materialize();
    return root_;
  }
  internal::ParseSettings Settings() const;
  // The parsed tree while its items have not been made (root_ null), and
  // the storage the next parse fills; an accepted parse makes it current.
  internal::ParamTree& tree() const {
    return trees_[current_];
  }
  internal::ParamTree& spare() {
    return trees_[current_ ^ 1];
  }

  mutable internal::ParamTree trees_[2];
  uint8_t current_ = 0;
  mutable Ref<ParamItem> root_;
  bool smart_quotes_ = true;
  std::string quote_chars_ = "''";
  bool show_types_ = false;
  std::string tag_;
  // LastError is formatted from error_ when first asked for.
  mutable std::string last_error_;
  mutable bool last_error_formatted_ = true;
  internal::ParseError error_;
};

}  // namespace kvl

#endif  // KVL_PARAMS_PARAM_STRING_H_

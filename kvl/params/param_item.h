// ParamItem: one node of a parameter-string tree. An item is a keyword with
// a typed value (ParamType holds one KVLType flag), or a list (ST_List)
// whose Value is a CVParamItem holding the child items. The root of every
// ParamString is a list item whose keyword is the command.
//
// Clients build trees by hand (AddList, Add), find items by keyword
// ignoring case (ItemByIndex in the whole tree, TopItemByIndex among the
// direct children), walk the children with the item's own cursor
// (FirstItem, NextItem, CurrentItem, Item) or through ITreeIterator, and
// write a tree back as text: the one-line form, or the reader form with one
// item per line, continued by " _" and indented three blanks per level.
//
// Writing: string values (ST_Ascii, ST_String) are put between the writing
// item's QuoteChars when SmartQuotes is off or NeedsQuoting says so; other
// values use the value text form of KVLStrings (CVariantToStr). Nothing is
// escaped: a value holding its own closing quote does not read back as one
// value.
//
// Ownership: each item is held by its parent's container; nothing points
// upward. The child cursor is iteration state: the cursor members are const
// and two walks over one parent disturb each other. Used on the thread that
// created it.
//
//   Ref<ParamItem> root = NewParamItem(true, "''", false);
//   root->SetParamType(ST_List);
//   root->SetValueRef(MakeRef<CVParamItem>());
//   root->SetKeyword("Ev");
//   root->Add("N", Variant(int16_t{5}))->SetParamType(ST_I2);
//   root->ToString();                       // "Ev N=5"
#ifndef KVL_PARAMS_PARAM_ITEM_H_
#define KVL_PARAMS_PARAM_ITEM_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "kvl/params/tree_iterator_adapter.h"
#include "kvl/params/variant_walkers.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

// Creatable.
class KVL_EXPORT ParamItem : public Object,
                             public internal::TreeIteratorAdapter {
  KVL_DECLARE_CLASS(ParamItem)
 public:
  ParamItem() = default;
  // An item carrying its creator's settings (see NewParamItem).
  ParamItem(bool smart_quotes, std::string_view quote_chars, bool show_types)
      : smart_quotes_(smart_quotes),
        quote_chars_(quote_chars.size() == 2 ? quote_chars
                                             : std::string_view()),
        show_types_(show_types) {}

  const std::string& Tag() const { return tag_; }
  void SetTag(std::string tag) { tag_ = std::move(tag); }

  // On a list: appends a new list item (settings copied from this item)
  // with `keyword` when it is not empty, and returns it. On any other item:
  // null, nothing changed.
  Ref<ParamItem> AddList(const std::string& keyword = {});
  // On a list: appends a new item with `keyword` (also when empty) and
  // value `new_value`, ParamType ST_None, and returns it. Otherwise null.
  Ref<ParamItem> Add(const std::string& keyword, Variant new_value);
  // The index-th item (from 1) called `keyword` in document order in the
  // tree below and including this item; a list whose keyword matches is
  // counted but not searched. Null when there is none or index < 1.
  Ref<ParamItem> ItemByIndex(const std::string& keyword,
                             int16_t index = 1) const;
  // The same among this item and its direct children only.
  Ref<ParamItem> TopItemByIndex(const std::string& keyword,
                                int16_t index = 1) const;
  const std::string& QuoteChars() const { return quote_chars_; }
  // Accepts exactly two bytes (opening and closing quote); anything else is
  // ignored.
  void SetQuoteChars(std::string quote_chars);
  // On a list: removes the first direct child with `p`'s keyword (ignoring
  // case) and ParamType, and returns true; false otherwise. Raises 91 when
  // `p` is null.
  bool RemoveElement(const Ref<ParamItem>& p);
  bool SmartQuotes() const { return smart_quotes_; }
  void SetSmartQuotes(bool value) { smart_quotes_ = value; }
  bool ShowTypes() const { return show_types_; }
  // Sets the flag here and on every item below (children of a list, and
  // items held in an array value).
  void SetShowTypes(bool value);

  // These typed members hide ITreeIterator's FirstItem/NextItem on purpose:
  // C++ callers get the child as a ParamItem, the interface (reached with
  // As<ITreeIterator>() or by name) still answers with the same items.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
  // The child at the cursor (a cursor below 1 becomes 1); null when this is
  // not a list or the cursor is past the last child.
  Ref<ParamItem> CurrentItem() const;
  // Cursor to 0, then NextItem().
  Ref<ParamItem> FirstItem() const;
  // Null for n < 1 (cursor unchanged); else the cursor becomes n.
  Ref<ParamItem> Item(int16_t n) const;
  // Advances the cursor (raises 6 beyond 32767) and returns CurrentItem().
  Ref<ParamItem> NextItem() const;
#pragma GCC diagnostic pop
  // The type suffix of ParamType ("I4", "L"; "V" when it has none).
  std::string ParamTypeString() const;
  bool Root() const { return root_; }
  void SetKeyword(std::string keyword) { keyword_ = std::move(keyword); }
  // Always "".
  std::string DumpItem(const Ref<ParamItem>& item = nullptr) const;
  void SetRoot(bool value) { root_ = value; }
  // The text of `item` (this item when null) in the one-line form, or in
  // the reader form indented by `indent` levels. SmartQuotes and QuoteChars
  // come from this item for the whole text. Raises 5 for a negative indent.
  std::string ToString(const Ref<ParamItem>& item = nullptr,
                       bool as_reader_string = false, int16_t indent = 0) const;
  const std::string& Keyword() const { return keyword_; }
  int16_t ParamType() const { return param_type_; }
  void SetParamType(int16_t type) { param_type_ = type; }
  const Variant& Value() const { return value_; }
  void SetValue(Variant value) { value_ = std::move(value); }
  void SetValueRef(Ref<Object> value) { value_ = Variant(value); }
  // The Value of ItemByIndex(keyword, index); Nothing when there is none.
  Variant ValueByIndex(const std::string& keyword, int16_t index = 1) const;

  // The children container when this item is a list (ParamType ST_List and
  // a CVParamItem value), else null.
  CVParamItem* Children() const;
  // The value moved out (for the library's own building of items).
  Variant& MutableValue() { return value_; }

 protected:
  Ref<Object> TreeFirstItem() override { return FirstItem(); }
  Ref<Object> TreeNextItem() override { return NextItem(); }

 private:
  int16_t param_type_ = 0;
  Variant value_;
  std::string keyword_;
  bool root_ = false;
  mutable int16_t cursor_ = 0;
  bool smart_quotes_ = false;
  std::string quote_chars_;
  bool show_types_ = false;
  std::string tag_;
};

// A new item carrying the three settings of its creator.
KVL_EXPORT Ref<ParamItem> NewParamItem(bool smart_quotes,
                                       std::string_view quote_chars,
                                       bool show_types);

// Whether a string value must be quoted when written: empty text; text not
// enclosed in apostrophes that holds one of -+|!@#$%^&*~;: =[<>{}/(), or a
// byte that is not part of a well-formed UTF-8 character, or starts with a
// digit.
KVL_EXPORT bool NeedsQuoting(std::string_view text);

}  // namespace kvl

#endif  // KVL_PARAMS_PARAM_ITEM_H_

#include "kvl/params/param_item.h"

#include "kvl/frame/catalogue.h"
#include "kvl/frame/kvl_types.h"
#include "kvl/params/internal/item_writer.h"
#include "kvl/params/tokens.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/utf8.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/strings/kvl_strings.h"

namespace kvl {

const ClassInfo& ParamItem::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ParamItem>("ParamItem", ClassKind::kCreatable)
          .Get<&ParamItem::Tag>("Tag")
          .Let<&ParamItem::SetTag>("Tag")
          .Method<&ParamItem::AddList>("AddList", {OptArg("Keyword")})
          .Method<&ParamItem::Add>("Add", {Arg("sKeyword"), Arg("NewValue")})
          .Method<&ParamItem::ItemByIndex>(
              "ItemByIndex", {Arg("aKeyword"), OptArg("nIndex", int16_t{1})})
          .Method<&ParamItem::TopItemByIndex>(
              "TopItemByIndex", {Arg("aKeyword"), OptArg("nIndex", int16_t{1})})
          .Get<&ParamItem::QuoteChars>("QuoteChars")
          .Let<&ParamItem::SetQuoteChars>("QuoteChars")
          .Method<&ParamItem::RemoveElement>("RemoveElement", {Arg("p")})
          .Get<&ParamItem::SmartQuotes>("SmartQuotes")
          .Let<&ParamItem::SetSmartQuotes>("SmartQuotes")
          .Get<&ParamItem::ShowTypes>("ShowTypes")
          .Let<&ParamItem::SetShowTypes>("ShowTypes")
          .Method<&ParamItem::CurrentItem>("CurrentItem")
          .Method<&ParamItem::FirstItem>("FirstItem")
          .Method<&ParamItem::Item>("Item", {Arg("n")})
          .Method<&ParamItem::NextItem>("NextItem")
          .Get<&ParamItem::ParamTypeString>("ParamTypeString")
          .Get<&ParamItem::Root>("Root")
          .Let<&ParamItem::SetKeyword>("Keyword")
          .Method<&ParamItem::DumpItem>("DumpItem", {OptArg("Item")})
          .Let<&ParamItem::SetRoot>("Root")
          .Method<&ParamItem::ToString>(
              "ToString", {OptArg("Item"), OptArg("AsReaderString", false),
                           OptArg("Indent", int16_t{0})})
          .Get<&ParamItem::Keyword>("Keyword")
          .Let<&ParamItem::SetParamType>("ParamType")
          .Get<&ParamItem::ParamType>("ParamType")
          .Get<&ParamItem::Value>("Value")
          .Let<&ParamItem::SetValue>("Value")
          .Set<&ParamItem::SetValueRef>("Value")
          .Method<&ParamItem::ValueByIndex>(
              "ValueByIndex", {Arg("aKeyword"), OptArg("nIndex", int16_t{1})})
          .Implements(&ITreeIterator::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ParamItem)

Ref<ParamItem> NewParamItem(bool smart_quotes, std::string_view quote_chars,
                            bool show_types) {
  return MakeRef<ParamItem>(smart_quotes, quote_chars, show_types);
}

bool NeedsQuoting(std::string_view text) {
  if (text.empty()) return true;
  if (text.front() == '\'' && text.back() == '\'') return false;
  if (IsAsciiDigit(text.front())) return true;
  if (text.find_first_of("-+|!@#$%^&*~;: =[<>{}/(),") != std::string_view::npos)
    return true;
  // A byte outside any well-formed UTF-8 character would end the word.
  for (size_t i = 0; i < text.size(); i += Utf8CharLength(text, i))
    if (static_cast<unsigned char>(text[i]) >= 0x80 &&
        !Utf8WordCharLength(text, i))
      return true;
  return false;
}

CVParamItem* ParamItem::Children() const {
  if (param_type_ != ST_List || !value_.is_object() || value_.is_nothing())
    return nullptr;
  return dynamic_cast<CVParamItem*>(value_.AsObject()->Identity());
}

Ref<ParamItem> ParamItem::AddList(const std::string& keyword) {
  CVParamItem* children = Children();
  if (!children) return nullptr;
  Ref<ParamItem> item = NewParamItem(smart_quotes_, quote_chars_, show_types_);
  item->param_type_ = ST_List;
  item->value_ = Variant(MakeRef<CVParamItem>());
  children->Add(item);
  if (!keyword.empty()) item->keyword_ = keyword;
  return item;
}

Ref<ParamItem> ParamItem::Add(const std::string& keyword, Variant new_value) {
  CVParamItem* children = Children();
  if (!children) return nullptr;
  Ref<ParamItem> item = NewParamItem(smart_quotes_, quote_chars_, show_types_);
  item->keyword_ = keyword;
  item->value_ = std::move(new_value);
  children->Add(item);
  return item;
}

namespace {

enum class SearchMode { kWholeTree, kTopLevel, kNoDescent };

// Matches are counted down in `n` in document order.
const ParamItem* FindItemByIndex(const ParamItem* item,
                                 const std::string& keyword, int16_t& n,
                                 SearchMode mode) {
  if (n < 1 || !item) return nullptr;
  const bool matches = EqualsNoCase(item->Keyword(), keyword);
  if (item->ParamType() == ST_List) {
    if (matches) return --n == 0 ? item : nullptr;
    if (mode == SearchMode::kNoDescent) return nullptr;
    const CVParamItem* children = item->Children();
    if (!children) return nullptr;
    const SearchMode child_mode = mode == SearchMode::kWholeTree
                                      ? SearchMode::kWholeTree
                                      : SearchMode::kNoDescent;
    for (const Ref<ParamItem>& child : children->slots().elements()) {
      if (const ParamItem* found =
              FindItemByIndex(child.get(), keyword, n, child_mode))
        return found;
    }
    return nullptr;
  }
  if (matches && --n == 0) return item;
  return nullptr;
}

}  // namespace

Ref<ParamItem> ParamItem::ItemByIndex(const std::string& keyword,
                                      int16_t index) const {
  return Ref<ParamItem>(const_cast<ParamItem*>(
      FindItemByIndex(this, keyword, index, SearchMode::kWholeTree)));
}

Ref<ParamItem> ParamItem::TopItemByIndex(const std::string& keyword,
                                         int16_t index) const {
  return Ref<ParamItem>(const_cast<ParamItem*>(
      FindItemByIndex(this, keyword, index, SearchMode::kTopLevel)));
}

Variant ParamItem::ValueByIndex(const std::string& keyword,
                                int16_t index) const {
  const ParamItem* found =
      FindItemByIndex(this, keyword, index, SearchMode::kWholeTree);
  return found ? found->value_ : Variant::Nothing();
}

void ParamItem::SetQuoteChars(std::string quote_chars) {
  if (quote_chars.size() == 2) quote_chars_ = std::move(quote_chars);
}

bool ParamItem::RemoveElement(const Ref<ParamItem>& p) {
  if (!p) Raise(kErrObjectNotSet);
  CVParamItem* children = Children();
  if (!children) return false;
  const auto& elements = children->slots().elements();
  for (size_t i = 0; i < elements.size(); ++i) {
    const ParamItem* child = elements[i].get();
    if (child && child->param_type_ == p->param_type_ &&
        EqualsNoCase(child->keyword_, p->keyword_)) {
      children->Remove(static_cast<int32_t>(i + 1));
      return true;
    }
  }
  return false;
}

void ParamItem::SetShowTypes(bool value) {
  show_types_ = value;
  if (value_.is_object() && !value_.is_nothing()) {
    if (auto* children =
            dynamic_cast<CVParamItem*>(value_.AsObject()->Identity())) {
      for (const Ref<ParamItem>& child : children->slots().elements())
        if (child) child->SetShowTypes(value);
    }
  } else if (value_.is_array()) {
    SafeArray& array = value_.Array();
    for (int32_t i = 0; i < array.upper(); ++i) {
      if (!array.InBounds(i)) continue;
      const Variant& element = array.At(i);
      if (element.is_object() && !element.is_nothing()) {
        if (auto* item =
                dynamic_cast<ParamItem*>(element.AsObject()->Identity()))
          item->SetShowTypes(value);
      }
    }
  }
}

Ref<ParamItem> ParamItem::CurrentItem() const {
  if (cursor_ < 1) cursor_ = 1;
  const CVParamItem* children = Children();
  if (!children) return nullptr;
  return children->slots().Get(cursor_);
}

Ref<ParamItem> ParamItem::FirstItem() const {
  cursor_ = 0;
  return NextItem();
}

Ref<ParamItem> ParamItem::Item(int16_t n) const {
  if (n < 1) return nullptr;
  cursor_ = n;
  return CurrentItem();
}

Ref<ParamItem> ParamItem::NextItem() const {
  cursor_ = CheckedAdd<int16_t>(cursor_, 1);
  return CurrentItem();
}

std::string ParamItem::ParamTypeString() const {
  return std::string(TypeFlagToSuffix(param_type_));
}

std::string ParamItem::DumpItem(const Ref<ParamItem>& /*item*/) const {
  return {};
}

std::string ParamItem::ToString(const Ref<ParamItem>& item,
                                bool as_reader_string, int16_t indent) const {
  if (indent < 0) Raise(kErrInvalidArgument);
  internal::WriteStyle style;
  style.smart_quotes = smart_quotes_;
  style.quote_chars = quote_chars_;
  style.reader = as_reader_string;
  style.strings = &Strings();
  std::string out;
  internal::WriteItem(out, item ? *item : *this, style, indent);
  return out;
}

}  // namespace kvl

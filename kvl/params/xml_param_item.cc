#include "kvl/params/xml_param_item.h"

#include "kvl/collections/tree_iterator.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

const ClassInfo& XMLParamItem::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<XMLParamItem>("XMLParamItem", ClassKind::kPublic)
          .Get<&XMLParamItem::Tag>("Tag")
          .Let<&XMLParamItem::SetTag>("Tag")
          .Method<&XMLParamItem::AddList>("AddList", {OptArg("Keyword", "")})
          .Method<&XMLParamItem::Add>("Add", {Arg("sKeyword"), Arg("NewValue")})
          .Method<&XMLParamItem::ItemByIndex>(
              "ItemByIndex", {Arg("aKeyword"), OptArg("nIndex", int16_t{1})})
          .Method<&XMLParamItem::TopItemByIndex>(
              "TopItemByIndex", {Arg("aKeyword"), OptArg("nIndex", int16_t{1})})
          .Get<&XMLParamItem::QuoteChars>("QuoteChars")
          .Let<&XMLParamItem::SetQuoteChars>("QuoteChars")
          .Method<&XMLParamItem::RemoveElement>("RemoveElement", {Arg("p")})
          .Get<&XMLParamItem::SmartQuotes>("SmartQuotes")
          .Let<&XMLParamItem::SetSmartQuotes>("SmartQuotes")
          .Get<&XMLParamItem::ShowTypes>("ShowTypes")
          .Let<&XMLParamItem::SetShowTypes>("ShowTypes")
          .Method<&XMLParamItem::CurrentItem>("CurrentItem")
          .Method<&XMLParamItem::FirstItem>("FirstItem")
          .Method<&XMLParamItem::Item>("Item", {Arg("n")})
          .Method<&XMLParamItem::NextItem>("NextItem")
          .Get<&XMLParamItem::ParamTypeString>("ParamTypeString")
          .Get<&XMLParamItem::Root>("Root")
          .Let<&XMLParamItem::SetKeyword>("Keyword")
          .Method<&XMLParamItem::DumpItem>("DumpItem",
                                           {OptArg("Item", Variant::Nothing())})
          .Let<&XMLParamItem::SetRoot>("Root")
          .Method<&XMLParamItem::ToString>(
              "ToString",
              {OptArg("Item", Variant::Nothing()),
               OptArg("AsReaderString", false), OptArg("Indent", int16_t{0})})
          .Get<&XMLParamItem::Keyword>("Keyword")
          .Let<&XMLParamItem::SetParamType>("ParamType")
          .Get<&XMLParamItem::ParamType>("ParamType")
          .Get<&XMLParamItem::Value>("Value")
          .Let<&XMLParamItem::SetValue>("Value")
          .Set<&XMLParamItem::SetValueRef>("Value")
          .Method<&XMLParamItem::ValueByIndex>(
              "ValueByIndex", {Arg("aKeyword"), OptArg("nIndex", int16_t{1})})
          .Implements(&ITreeIterator::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(XMLParamItem)

Ref<XMLParamItem> NewXMLParamItem(const XmlNode& node) {
  if (!node) return nullptr;
  return MakeRef<XMLParamItem>(node);
}

Ref<XMLParamItem> XMLParamItem::TopItemByIndex(const std::string& keyword,
                                               int16_t index) const {
  return ChildView(internal::FindXmlAtTop(node_.handle(), keyword, index));
}

std::string XMLParamItem::DumpItem(const Ref<Object>& item) const {
  if (!item) return {};
  return ToText(CallByName(*item, "ToString", CallKind::kMethod));
}

std::string XMLParamItem::ToString(const Ref<Object>& item, bool,
                                   int16_t) const {
  if (item) return DumpItem(item);
  return node_.Xml();
}

Variant XMLParamItem::MadeUpValue() const {
  if (!node_.HasValue()) return Variant::Null();
  return Variant(node_.Value());
}

}  // namespace kvl

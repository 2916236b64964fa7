#include "kvl/params/xml_param_string.h"

#include "kvl/collections/tree_iterator.h"
#include "kvl/frame/catalogue.h"

namespace kvl {

const ClassInfo& KvlEnumInfo(PSIterState) {
  static const ClassInfo info = EnumBuilder("PSIterState")
                                    .Value("K_NO_ITERATION", K_NO_ITERATION)
                                    .Value("K_ATTR_ITERATE", K_ATTR_ITERATE)
                                    .Value("K_CHILD_ITERATE", K_CHILD_ITERATE)
                                    .Value("K_END_ITERATION", K_END_ITERATION)
                                    .Build();
  return info;
}
KVL_REGISTER_ENUM(PSIterState)

const ClassInfo& XMLParamString::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<XMLParamString>("XMLParamString", ClassKind::kPublic)
          .Method<&XMLParamString::Add>("Add",
                                        {Arg("sKeyword"), Arg("NewValue")})
          .Get<&XMLParamString::AsParamItem>("AsParamItem")
          .Method<&XMLParamString::AddList>("AddList", {OptArg("Keyword", "")})
          .Let<&XMLParamString::SetCommand>("Command")
          .Get<&XMLParamString::Command>("Command")
          .Method<&XMLParamString::CurrentItem>("CurrentItem")
          .Method<&XMLParamString::FirstItem>("FirstItem")
          .Method<&XMLParamString::Item>("Item", {Arg("n")})
          .Method<&XMLParamString::NextItem>("NextItem")
          .Get<&XMLParamString::LastError>("LastError")
          .Get<&XMLParamString::QuoteChars>("QuoteChars")
          .Let<&XMLParamString::SetQuoteChars>("QuoteChars")
          .Method<&XMLParamString::RemoveElement>("RemoveElement", {Arg("p")})
          .Get<&XMLParamString::ShowTypes>("ShowTypes")
          .Let<&XMLParamString::SetShowTypes>("ShowTypes")
          .Get<&XMLParamString::SmartQuotes>("SmartQuotes")
          .Let<&XMLParamString::SetSmartQuotes>("SmartQuotes")
          .Get<&XMLParamString::Tag>("Tag")
          .Let<&XMLParamString::SetTag>("Tag")
          .Get<&XMLParamString::ToString>("ToString",
                                          {OptArg("AsReaderString", false)})
          .Method<&XMLParamString::ValueByIndex>(
              "ValueByIndex", {Arg("aKeyword"), OptArg("nIndex")})
          .Method<&XMLParamString::ItemByIndex>(
              "ItemByIndex", {Arg("aKeyword"), OptArg("nIndex", int16_t{1})})
          .Method<&XMLParamString::Value>("Value", {Arg("aKeyword")})
          .Get<&XMLParamString::params>("params")
          .Method<&XMLParamString::Parse>("Parse", {OptArg("sInput", "")})
          .Implements(&ITreeIterator::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(XMLParamString)

Ref<XMLParamString> NewXMLParamString(const XmlNode& node) {
  if (!node) return nullptr;
  return MakeRef<XMLParamString>(node);
}

std::string XMLParamString::ToString(bool) const {
  return node_.Xml();
}

}  // namespace kvl

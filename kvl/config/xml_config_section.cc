#include "kvl/config/xml_config_section.h"

#include "kvl/frame/catalogue.h"

namespace kvl {

const ClassInfo& XMLConfigSection::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<XMLConfigSection>("XMLConfigSection", ClassKind::kPublic)
          .Get<&XMLConfigSection::Contents>("Contents")
          .Get<&XMLConfigSection::FileName>("FileName")
          .Let<&XMLConfigSection::SetWasIncluded>("WasIncluded")
          .Get<&XMLConfigSection::WasIncluded>("WasIncluded")
          .Get<&XMLConfigSection::IncludedFrom>("IncludedFrom")
          .Let<&XMLConfigSection::SetName>("Name")
          .Get<&XMLConfigSection::Name>("Name")
          .Get<&XMLConfigSection::Item>("Item", {Arg("Index")})
          .Method<&XMLConfigSection::Add>("Add", {Arg("ps")})
          .Method<&XMLConfigSection::AddString>("AddString", {Arg("s")})
          .Method<&XMLConfigSection::ReplaceItem>("ReplaceItem",
                                                  {Arg("Index"), Arg("ps")})
          .Method<&XMLConfigSection::Remove>("Remove", {Arg("Index")})
          .Get<&XMLConfigSection::Count>("Count")
          .Implements(&ITreeIterator::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(XMLConfigSection)

Ref<ConfigItemList> XMLConfigSection::Contents() const {
  auto list = MakeRef<ConfigItemList>();
  for (XmlNode c = node_.FirstChild(); c; c = c.NextSibling()) {
    list->items().emplace_back(NewXMLParamString(c));
  }
  return list;
}

Ref<XMLParamString> XMLConfigSection::Item(int32_t Index) const {
  if (Index < 1) return nullptr;
  return kept_.Get(node_, node_.handle().Child(Index - 1));
}

Ref<Object> XMLConfigSection::FirstItem() {
  current_item_ = node_.handle().FirstChild();
  return kept_.Get(node_, current_item_);
}

Ref<Object> XMLConfigSection::NextItem() {
  if (!current_item_) return nullptr;
  current_item_ = current_item_.NextSibling();
  return kept_.Get(node_, current_item_);
}

}  // namespace kvl

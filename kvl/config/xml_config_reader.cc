#include "kvl/config/xml_config_reader.h"

#include "kvl/config/internal/reader_members.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

const ClassInfo& XMLConfigReader::StaticClass() {
  static const ClassInfo info = [] {
    ClassBuilder<XMLConfigReader> b("XMLConfigReader", ClassKind::kCreatable);
    b.Set<&XMLConfigReader::SetXMLDocument>("XMLDocument")
        .Get<&XMLConfigReader::XMLDocument>("XMLDocument");
    return config_internal::AddReaderMembers(b)
        .Notifies(&ConfigReaderEvents::StaticClass)
        .Build();
  }();
  return info;
}
KVL_REGISTER_CLASS(XMLConfigReader)

XMLConfigReader::XMLConfigReader() {
  SetXMLDocument(MakeRef<XmlDocument>());
}

XMLConfigReader::~XMLConfigReader() = default;

void XMLConfigReader::SetXMLDocument(Ref<XmlDocument> doc) {
  document_ = std::move(doc);
  root_ = document_ ? document_->FirstChild() : XmlNode();
  current_section_ = {};
  ended_ = false;
}

std::string XMLConfigReader::ConfigFile() {
  return document_ ? document_->Url() : std::string();
}

void XMLConfigReader::ClearContents() {
  SetXMLDocument(MakeRef<XmlDocument>());
}

bool XMLConfigReader::LoadConfigFile(const std::string& FileName) {
  if (!document_) {
    events_.Fire<&ConfigReaderEvents::ScanError>(
        "ScanError", int32_t{0}, FileName + ": the reader has no document");
    return false;
  }
  if (!document_->Load(FileName)) {
    events_.Fire<&ConfigReaderEvents::ScanError>(
        "ScanError", document_->ErrorLine(),
        FileName + ": " + document_->LastError());
    return false;
  }
  SetXMLDocument(document_);
  return true;
}

std::string XMLConfigReader::FirstSectionName() {
  current_section_ = root_.FirstChild();
  ended_ = false;
  return std::string(current_section_.BaseName());
}

std::string XMLConfigReader::NextSectionName() {
  if (current_section_) {
    current_section_ = current_section_.NextSibling();
    if (!current_section_) ended_ = true;
    return std::string(current_section_.BaseName());
  }
  if (ended_) {
    ended_ = false;
    return {};
  }
  return FirstSectionName();
}

Ref<XMLConfigSection> XMLConfigReader::FindSection(
    std::string_view name) const {
  for (XmlNode s = root_.FirstChild(); s; s = s.NextSibling()) {
    if (EqualsNoCase(s.BaseName(), name)) {
      return MakeRef<XMLConfigSection>(
          s, document_ ? document_->Url() : std::string());
    }
  }
  return nullptr;
}

Ref<Object> XMLConfigReader::Section(const std::string& SecName) {
  Ref<XMLConfigSection> section = FindSection(SecName);
  return section ? Ref<Object>(section->Contents()) : nullptr;
}

Ref<Object> XMLConfigReader::SectionDef(const std::string& SecName) {
  return FindSection(SecName);
}

Ref<Object> XMLConfigReader::SectionItem(const std::string& SecName,
                                         int16_t Index) {
  Ref<XMLConfigSection> section = FindSection(SecName);
  return section ? Ref<Object>(section->Item(Index)) : nullptr;
}

}  // namespace kvl

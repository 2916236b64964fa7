// XMLConfigReader: a configuration reader over an XML document, meeting
// the same contract as the text format's reader, so a client can read an
// XML configuration directly or through ConfigReader (as its
// AlternateImplementation).
//
// Layout: the document's first child is the configuration; each of its
// child nodes is a section named by the node's name without its namespace
// prefix; each child node of a section is an item, read as an
// XMLParamString. No element or attribute name is fixed:
//
//   <cfg>
//     <Motion><Axis name="X" speed="5"/><Axis name="Y"/></Motion>
//     <IO/>
//   </cfg>
//
// An XML declaration, comment or processing instruction ahead of the root
// element is the document's first child and so takes the configuration's
// place: such a document has no sections. Sections are matched ignoring
// case; of two sections with one name the first wins.
//
// The reader only reads: sections and items are views made on request,
// and the editing members, SaveConfigFile, SectionItemByName and the
// format settings change nothing and return false, null or "".
//
// Failures: nothing raises for a missing section or a failed load. A file
// that cannot be read or is not well-formed XML makes LoadConfigFile
// return false and keep the previous document; the reason goes to the
// connected sinks as ScanError(line, "<file>: <message>"), the line
// counting from 1 (0 when the file could not be read).
//
// Enumeration: FirstSectionName starts over; NextSectionName gives the
// following sections, then "" twice, then starts over with the first.
//
// Ownership: the reader holds its document (XMLDocument); sections and
// items keep the loaded content they view alive. Terminate releases the
// document; afterwards the reader reads as empty until XMLDocument is set
// or ClearContents makes a new one. Used on the thread that created it.
//
//   auto reader = MakeRef<XMLConfigReader>();
//   reader->Connect(sink);                             // ScanError
//   if (reader->LoadConfigFile("axes.xml"))
//     for (auto n = reader->FirstSectionName(); !n.empty();
//          n = reader->NextSectionName()) std::puts(n.c_str());
#ifndef KVL_CONFIG_XML_CONFIG_READER_H_
#define KVL_CONFIG_XML_CONFIG_READER_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "kvl/config/config_interfaces.h"
#include "kvl/config/xml_config_section.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/object.h"
#include "kvl/xml/xml_document.h"

namespace kvl {

// Creatable (kind 2).
class KVL_EXPORT XMLConfigReader : public Object, public IConfigReader {
  KVL_DECLARE_CLASS(XMLConfigReader)
 public:
  XMLConfigReader();
  ~XMLConfigReader() override;

  // The document; null after Terminate.
  Ref<XmlDocument> XMLDocument() const { return document_; }
  // Takes `doc` (null releases the document) and its first child as the
  // configuration; restarts the section enumeration.
  void SetXMLDocument(Ref<XmlDocument> doc);

  bool LazyEvaluation() override { return false; }
  void SetLazyEvaluation(bool) override {}
  bool Modified() override { return false; }
  void SetModified(bool) override {}
  std::string FirstSectionName() override;
  // The loaded file's path; "" before a load or after Terminate.
  std::string ConfigFile() override;
  bool AddSection(const std::string&) override { return false; }
  bool DeleteSection(const std::string&) override { return false; }
  bool AddItem(const std::string&, Ref<ParamString>) override { return false; }
  bool DeleteItem(const std::string&, int16_t) override { return false; }
  std::string NextSectionName() override;
  // A new, empty document in place of the current one.
  void ClearContents() override;
  void SetCommentString(const std::string&) override {}
  void SetContinuationString(const std::string&) override {}
  bool LoadConfigFile(const std::string& FileName) override;
  bool SaveConfigFile(const std::string&) override { return false; }
  bool ReturnComments() override { return false; }
  void SetReturnComments(bool) override {}
  // A new ConfigItemList of the section's items, or null.
  Ref<Object> Section(const std::string& SecName) override;
  // A new XMLConfigSection, or null.
  Ref<Object> SectionDef(const std::string& SecName) override;
  // An XMLParamString, or null.
  Ref<Object> SectionItem(const std::string& SecName, int16_t Index) override;
  Ref<Object> SectionItemByName(const std::string&,
                                const std::string&) override {
    return nullptr;
  }
  void Terminate() override { SetXMLDocument(nullptr); }

  uint32_t Connect(Ref<Object> sink) {
    return events_.Connect(std::move(sink));
  }
  bool Disconnect(uint32_t cookie) { return events_.Disconnect(cookie); }

  // ---- for the library's own use ----

  // The first section called `name` (ignoring case), or null.
  Ref<XMLConfigSection> FindSection(std::string_view name) const;
  // The configuration node (the document's first child when last set or
  // loaded).
  const XmlNode& root() const { return root_; }

 private:
  Ref<XmlDocument> document_;
  XmlNode root_;
  XmlNode current_section_;
  bool ended_ = false;
  Notifier<ConfigReaderEvents> events_;
};

}  // namespace kvl

#endif  // KVL_CONFIG_XML_CONFIG_READER_H_

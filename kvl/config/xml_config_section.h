// XMLConfigSection: one section of an XML configuration, a read-only view
// of a child element of the document's root (see XMLConfigReader).
//
// The section's name is the node's name without its namespace prefix; its
// items are the node's child nodes, each handed out as a new
// XMLParamString. Contents makes a new ConfigItemList on every call, so
// changes to the list never reach the document. Item counts from 1 and
// gives null beyond Count. The editing members (Add, AddString,
// ReplaceItem, Remove, the Name and WasIncluded setters) do nothing;
// WasIncluded is false and IncludedFrom "". As an ITreeIterator the
// section walks its items.
//
// Ownership: a section keeps the loaded document content alive. Not
// creatable by clients: XMLConfigReader makes one per request. Used on the
// thread that created it.
//
//   Ref<XMLConfigSection> motion = reader->FindSection("motion");
//   for (int32_t i = 1; i <= motion->Count(); ++i)
//     std::puts(motion->Item(i)->Command().c_str());
#ifndef KVL_CONFIG_XML_CONFIG_SECTION_H_
#define KVL_CONFIG_XML_CONFIG_SECTION_H_

#include <cstdint>
#include <string>

#include "kvl/collections/tree_iterator.h"
#include "kvl/config/config_section.h"
#include "kvl/params/xml_param_string.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/xml/xml_document.h"

namespace kvl {

// Public, not creatable (kind 3).
class KVL_EXPORT XMLConfigSection : public Object, public ITreeIterator {
  KVL_DECLARE_CLASS(XMLConfigSection)
 public:
  XMLConfigSection() = default;
  XMLConfigSection(XmlNode node, std::string file_name)
      : node_(std::move(node)), file_name_(std::move(file_name)) {}

  // A new list of new item views, in document order.
  Ref<ConfigItemList> Contents() const;
  // The document's URL when the view was made.
  const std::string& FileName() const { return file_name_; }
  void SetWasIncluded(bool) {}
  bool WasIncluded() const { return false; }
  std::string IncludedFrom() const { return {}; }
  void SetName(const std::string&) {}
  std::string Name() const { return std::string(node_.BaseName()); }
  // Child node `Index` (from 1); null beyond Count.
  Ref<XMLParamString> Item(int32_t Index) const;
  void Add(const Ref<Object>&) {}
  void AddString(const std::string&) {}
  void ReplaceItem(int32_t, const Ref<Object>&) {}
  void Remove(int32_t) {}
  int32_t Count() const { return node_.ChildCount(); }

  Ref<Object> FirstItem() override;
  Ref<Object> NextItem() override;

  // ---- for the library's own use ----
  // Starts the item walk over.
  void SetNode(XmlNode node) {
    node_ = std::move(node);
    current_item_ = {};
    kept_.Clear();
  }
  const XmlNode& node() const { return node_; }
  void SetFileName(std::string value) { file_name_ = std::move(value); }

 private:
  XmlNode node_;
  XmlNodeHandle current_item_;
  std::string file_name_;
  // Item views handed out again once nobody else holds them.
  mutable internal::KeptViews<XMLParamString> kept_;
};

}  // namespace kvl

#endif  // KVL_CONFIG_XML_CONFIG_SECTION_H_

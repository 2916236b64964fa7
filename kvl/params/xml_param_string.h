// XMLParamString: a read-only view of one XML node as a parameter string,
// so code written against parameter strings reads an XML configuration's
// items (XMLConfigReader hands one out per item element).
//
// Command is the node's name with its prefix, ToString its XML text
// (whatever the argument). The children are the node's attributes, in
// document order, then its child nodes; FirstItem, NextItem, CurrentItem
// and Item(n) hand out a new XMLParamItem per child (see XmlViewBase for
// how a walk avoids making one per child), and the walk belongs to the
// view. ItemByIndex(name, n) returns the first node of that name
// (ignoring case) in a depth-first walk: the node itself, its n-th
// attribute of that name, then each child's subtree in turn. Nothing here
// changes the document: Parse returns false, Add and AddList return null,
// the setters and RemoveElement do nothing; Value, ValueByIndex and
// LastError are empty texts and params is null.
//
// Ownership: a view keeps the loaded document content alive. Not creatable
// by clients: the library makes views (SetNode). Used on the thread that
// created it.
//
//   // <Axis name="X" speed="5"><Limit/></Axis>
//   ps->Command();                        // "Axis"
//   ps->FirstItem()->Keyword();           // "name"; then "speed", "Limit"
//   ps->Item(2)->Value();                 // "5"
#ifndef KVL_PARAMS_XML_PARAM_STRING_H_
#define KVL_PARAMS_XML_PARAM_STRING_H_

#include <cstdint>
#include <string>

#include "kvl/params/xml_param_item.h"
#include "kvl/params/xml_view_base.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/xml/xml_document.h"

namespace kvl {

// Public, not creatable.
class KVL_EXPORT XMLParamString : public internal::XmlViewBase {
  KVL_DECLARE_CLASS(XMLParamString)
 public:
  XMLParamString() = default;
  explicit XMLParamString(XmlNode node) : XmlViewBase(std::move(node)) {}

  // A new item view of the same node.
  Ref<XMLParamItem> AsParamItem() const { return ChildView(node_.handle()); }
  void SetCommand(const std::string&) {}
  std::string Command() const { return std::string(node_.Name()); }
  std::string LastError() const { return {}; }
  std::string ToString(bool as_reader_string = false) const;
  Variant ValueByIndex(const std::string&,
                       const Variant& = Variant::Missing()) const {
    return Variant(std::string());
  }
  Variant Value(const std::string&) const { return Variant(std::string()); }
  Ref<Object> params() const { return nullptr; }
  bool Parse(const std::string& = {}) { return false; }

 private:
  template <class T>
  friend class internal::KeptViews;
  // Makes this view what NewXMLParamString(XmlNode(owner, at)) would give.
  void Recycle(const XmlNode& owner, const XmlNodeHandle& at) {
    ResetView(owner, at);
  }
};

// A new view of `node`; null for a null node.
KVL_EXPORT Ref<XMLParamString> NewXMLParamString(const XmlNode& node);

}  // namespace kvl

#endif  // KVL_PARAMS_XML_PARAM_STRING_H_

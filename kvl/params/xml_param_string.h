// XMLParamString: a read-only view of one XML node as a parameter string,
// so code written against parameter strings reads an XML configuration's
// items (XMLConfigReader hands one out per item element).
//
// Command is the node's name with its prefix, ToString its XML text
// (whatever the argument). The children are the node's attributes, in
// document order, then its child nodes; FirstItem, NextItem, CurrentItem
// and Item(n) hand out a new XMLParamItem per child, and the walk belongs
// to the view. ItemByIndex(name, n) returns the first node of that name
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

#include "kvl/params/tree_iterator_adapter.h"
#include "kvl/params/xml_child_cursor.h"
#include "kvl/params/xml_param_item.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/xml/xml_document.h"

namespace kvl {

// Public, not creatable.
class KVL_EXPORT XMLParamString : public Object,
                                  public internal::TreeIteratorAdapter {
  KVL_DECLARE_CLASS(XMLParamString)
 public:
  XMLParamString() = default;
  explicit XMLParamString(XmlNode node) : node_(std::move(node)) {}

  Ref<Object> Add(const std::string&, const Variant&) { return nullptr; }
  // A new item view of the same node.
  Ref<XMLParamItem> AsParamItem() const { return NewXMLParamItem(node_); }
  Ref<Object> AddList(const std::string& = {}) { return nullptr; }
  void SetCommand(const std::string&) {}
  std::string Command() const { return std::string(node_.Name()); }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
  Ref<XMLParamItem> CurrentItem() const;
  Ref<XMLParamItem> FirstItem() const;
  Ref<XMLParamItem> Item(int16_t n) const;
  Ref<XMLParamItem> NextItem() const;
#pragma GCC diagnostic pop
  std::string LastError() const { return {}; }
  std::string QuoteChars() const { return "\"\""; }
  void SetQuoteChars(const std::string&) {}
  bool RemoveElement(const Ref<Object>&) { return false; }
  bool ShowTypes() const { return false; }
  void SetShowTypes(bool) {}
  bool SmartQuotes() const { return false; }
  void SetSmartQuotes(bool) {}
  const std::string& Tag() const { return tag_; }
  void SetTag(std::string tag) { tag_ = std::move(tag); }
  std::string ToString(bool as_reader_string = false) const;
  Variant ValueByIndex(const std::string&,
                       const Variant& = Variant::Missing()) const {
    return Variant(std::string());
  }
  Ref<XMLParamItem> ItemByIndex(const std::string& keyword,
                                int16_t index = 1) const;
  Variant Value(const std::string&) const { return Variant(std::string()); }
  Ref<Object> params() const { return nullptr; }
  bool Parse(const std::string& = {}) { return false; }

  // ---- for the library's own use ----
  void SetNode(XmlNode node) { node_ = std::move(node); }
  const XmlNode& node() const { return node_; }
  PSIterState IterationState() const { return cursor_.state(); }

 protected:
  Ref<Object> TreeFirstItem() override { return FirstItem(); }
  Ref<Object> TreeNextItem() override { return NextItem(); }

 private:
  XmlNode node_;
  // The walk is iteration state, as in ParamItem: the walking members are
  // const.
  mutable internal::XmlChildCursor cursor_;
  std::string tag_;
};

// A new view of `node`; null for a null node.
KVL_EXPORT Ref<XMLParamString> NewXMLParamString(const XmlNode& node);

}  // namespace kvl

#endif  // KVL_PARAMS_XML_PARAM_STRING_H_

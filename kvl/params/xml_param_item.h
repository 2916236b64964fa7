// XMLParamItem: a read-only view of one XML node (an element, attribute,
// text or other node) as a parameter item, so code that walks parameter
// items walks an XML document unchanged.
//
// Keyword is the node's name with its prefix; Value the text of an
// attribute or text node, Null for an element; ToString the node's XML
// text. The children are the node's attributes, then its child nodes; each
// child handed out is a new XMLParamItem. The walk (FirstItem, NextItem,
// CurrentItem) belongs to the view: two views of one node walk
// independently. ItemByIndex and TopItemByIndex search by name ignoring
// case (see XMLParamString for the rules). Every editing member is accepted
// and changes nothing; ParamType, Root and Tag are fields of the view.
//
// Ownership: a view keeps the loaded document content it points into
// alive. Not creatable by clients: the library makes views (SetNode).
// Used on the thread that created it.
//
//   Ref<XMLParamItem> axis = ps->AsParamItem();     // <Axis name="X"><Limit/>
//   axis->FirstItem()->Keyword();                   // "name"
//   axis->TopItemByIndex("limit")->ToString();      // "<Limit />"
#ifndef KVL_PARAMS_XML_PARAM_ITEM_H_
#define KVL_PARAMS_XML_PARAM_ITEM_H_

#include <cstdint>
#include <string>

#include "kvl/params/tree_iterator_adapter.h"
#include "kvl/params/xml_child_cursor.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/xml/xml_document.h"

namespace kvl {

// Public, not creatable.
class KVL_EXPORT XMLParamItem : public Object,
                                public internal::TreeIteratorAdapter {
  KVL_DECLARE_CLASS(XMLParamItem)
 public:
  XMLParamItem() = default;
  explicit XMLParamItem(XmlNode node) : node_(std::move(node)) {}

  const std::string& Tag() const { return tag_; }
  void SetTag(std::string tag) { tag_ = std::move(tag); }
  // Editing members: accepted, no effect.
  Ref<Object> AddList(const std::string& = {}) { return nullptr; }
  Ref<Object> Add(const std::string&, const Variant&) { return nullptr; }
  Ref<XMLParamItem> ItemByIndex(const std::string& keyword,
                                int16_t index = 1) const;
  Ref<XMLParamItem> TopItemByIndex(const std::string& keyword,
                                   int16_t index = 1) const;
  std::string QuoteChars() const { return "\"\""; }
  void SetQuoteChars(const std::string&) {}
  bool RemoveElement(const Ref<Object>&) { return false; }
  bool SmartQuotes() const { return false; }
  void SetSmartQuotes(bool) {}
  bool ShowTypes() const { return false; }
  void SetShowTypes(bool) {}

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Woverloaded-virtual"
  // A view of the current child; null (and the walk reset) when there is
  // none.
  Ref<XMLParamItem> CurrentItem() const;
  Ref<XMLParamItem> FirstItem() const;
  // Child `n` from 1 (attributes first); null when there is none. The walk
  // does not move.
  Ref<XMLParamItem> Item(int16_t n) const;
  // Null after the last child, and again on every call until FirstItem.
  Ref<XMLParamItem> NextItem() const;
#pragma GCC diagnostic pop
  std::string ParamTypeString() const { return "A"; }
  bool Root() const { return root_; }
  void SetKeyword(const std::string&) {}
  // `item`'s ToString, called with its default arguments.
  std::string DumpItem(const Ref<Object>& item = nullptr) const;
  void SetRoot(bool value) { root_ = value; }
  // The node's XML text; with `item`, that item's ToString.
  std::string ToString(const Ref<Object>& item = nullptr,
                       bool as_reader_string = false, int16_t indent = 0) const;
  std::string Keyword() const { return std::string(node_.Name()); }
  void SetParamType(int16_t type) { param_type_ = type; }
  int16_t ParamType() const { return param_type_; }
  // The node's text; Null for a node without a value.
  Variant Value() const;
  void SetValue(const Variant&) {}
  void SetValueRef(const Ref<Object>&) {}
  Variant ValueByIndex(const std::string&, int16_t = 1) const { return {}; }

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
  int16_t param_type_ = 2;  // ST_Ascii
  bool root_ = false;
};

// A new view of `node`; null for a null node.
KVL_EXPORT Ref<XMLParamItem> NewXMLParamItem(const XmlNode& node);

}  // namespace kvl

#endif  // KVL_PARAMS_XML_PARAM_ITEM_H_

// XMLParamItem: a read-only view of one XML node (an element, attribute,
// text or other node) as a parameter item, so code that walks parameter
// items walks an XML document unchanged.
//
// Keyword is the node's name with its prefix; Value the text of an
// attribute or text node, Null for an element; ToString the node's XML
// text. The children are the node's attributes, then its child nodes; each
// child handed out is a new XMLParamItem (see XmlViewBase for how a walk
// avoids making one per child). The walk (FirstItem, NextItem,
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

#include "kvl/params/xml_view_base.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/xml/xml_document.h"

namespace kvl {

// Public, not creatable.
class KVL_EXPORT XMLParamItem : public internal::XmlViewBase {
  KVL_DECLARE_CLASS(XMLParamItem)
 public:
  XMLParamItem() = default;
  explicit XMLParamItem(XmlNode node) : XmlViewBase(std::move(node)) {}

  Ref<XMLParamItem> TopItemByIndex(const std::string& keyword,
                                   int16_t index = 1) const;
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
  Variant Value() const {
    if (auto text = node_.handle().StoredValue()) return Variant(*text);
    return MadeUpValue();
  }
  void SetValue(const Variant&) {}
  void SetValueRef(const Ref<Object>&) {}
  Variant ValueByIndex(const std::string&, int16_t = 1) const { return {}; }

 private:
  template <class T>
  friend class internal::KeptViews;
  static constexpr int16_t kAscii = 2;  // ST_Ascii

  // Value() of a node whose value is not text of the document.
  Variant MadeUpValue() const;

  // Makes this view what NewXMLParamItem(XmlNode(owner, at)) would give.
  void Recycle(const XmlNode& owner, const XmlNodeHandle& at) {
    ResetView(owner, at);
    param_type_ = kAscii;
    root_ = false;
  }

  int16_t param_type_ = kAscii;
  bool root_ = false;
};

// A new view of `node`; null for a null node.
KVL_EXPORT Ref<XMLParamItem> NewXMLParamItem(const XmlNode& node);

}  // namespace kvl

#endif  // KVL_PARAMS_XML_PARAM_ITEM_H_

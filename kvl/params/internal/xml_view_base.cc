#include "kvl/params/xml_view_base.h"

#include "kvl/params/xml_param_item.h"

namespace kvl::internal {

XmlViewBase::XmlViewBase() = default;

XmlViewBase::~XmlViewBase() = default;

XmlViewBase::XmlViewBase(XmlNode node) : node_(std::move(node)) {}

void XmlViewBase::SetNode(XmlNode node) {
  node_ = std::move(node);
  // The walk and the kept children point into the former document.
  cursor_ = XmlChildCursor();
  kept_.Clear();
}

// The members below call kept_.Get rather than ChildView so that it is
// inlined into them (an exported function is not).
Ref<XMLParamItem> XmlViewBase::ChildView(const XmlNodeHandle& at) const {
  return kept_.Get(node_, at);
}

Ref<XMLParamItem> XmlViewBase::CurrentItem() const {
  return kept_.Get(node_, cursor_.Current());
}

Ref<XMLParamItem> XmlViewBase::FirstItem() const {
  return kept_.Get(node_, cursor_.First(node_.handle()));
}

Ref<XMLParamItem> XmlViewBase::Item(int16_t n) const {
  return kept_.Get(node_, XmlChildAt(node_.handle(), n));
}

Ref<XMLParamItem> XmlViewBase::NextItem() const {
  return kept_.Get(node_, cursor_.Next(node_.handle()));
}

Ref<XMLParamItem> XmlViewBase::ItemByIndex(const std::string& keyword,
                                           int16_t index) const {
  return kept_.Get(node_, FindXmlInTree(node_.handle(), keyword, index));
}

Ref<Object> XmlViewBase::TreeFirstItem() {
  return FirstItem();
}

Ref<Object> XmlViewBase::TreeNextItem() {
  return NextItem();
}

}  // namespace kvl::internal

// The child walk and name searches shared by the two XML views. A node's
// children, as the views see them, are its attributes and then its child
// nodes.
#ifndef KVL_PARAMS_XML_CHILD_CURSOR_H_
#define KVL_PARAMS_XML_CHILD_CURSOR_H_

#include <cstdint>
#include <string_view>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/xml/xml_document.h"

namespace kvl {

// The position of a view's child walk.
enum PSIterState : int32_t {
  K_NO_ITERATION = 0,   // not started, or the current child is gone
  K_ATTR_ITERATE = 1,   // walking attributes
  K_CHILD_ITERATE = 2,  // walking child nodes
  K_END_ITERATION = 3,  // past the last child
};
KVL_DECLARE_ENUM(PSIterState)

namespace internal {

// Steps through handles: the view that owns the cursor holds the content.
// Inline, as it is every step of every walk.
class KVL_EXPORT XmlChildCursor {
 public:
  // Each returns the new current child, or a null handle (see the views'
  // FirstItem / NextItem / CurrentItem).
  XmlNodeHandle First(const XmlNodeHandle& node) {
    if (XmlNodeHandle attr = node.FirstAttribute()) {
      state_ = K_ATTR_ITERATE;
      attribute_index_ = 0;
      current_ = attr;
    } else if (XmlNodeHandle child = node.FirstChild()) {
      state_ = K_CHILD_ITERATE;
      current_ = child;
    } else {
      state_ = K_END_ITERATION;
      current_ = {};
    }
    return Current();
  }

  XmlNodeHandle Next(const XmlNodeHandle& node) {
    switch (state_) {
      case K_END_ITERATION: return {};
      case K_NO_ITERATION: return First(node);
      case K_ATTR_ITERATE:
        ++attribute_index_;
        current_ = current_.NextSibling();
        if (!current_) {
          state_ = K_CHILD_ITERATE;
          current_ = node.FirstChild();
        }
        break;
      case K_CHILD_ITERATE: current_ = current_.NextSibling(); break;
    }
    XmlNodeHandle result = Current();
    if (!result) state_ = K_END_ITERATION;
    return result;
  }

  XmlNodeHandle Current() {
    if (!current_) state_ = K_NO_ITERATION;
    return current_;
  }

  PSIterState state() const { return state_; }
  int32_t attribute_index() const { return attribute_index_; }

 private:
  XmlNodeHandle current_;
  int32_t attribute_index_ = -1;
  PSIterState state_ = K_NO_ITERATION;
};

// Child `n` counting from 1: attributes first, then child nodes.
KVL_EXPORT XmlNodeHandle XmlChildAt(const XmlNodeHandle& node, int32_t n);
// The first node called `name` (ignoring case) in a depth-first walk of
// `node`: the node, the `count`-th attribute of that name, then each
// child's subtree with the same count. Walks without recursion, so deep
// documents cannot exhaust the stack.
KVL_EXPORT XmlNodeHandle FindXmlInTree(const XmlNodeHandle& node,
                                       std::string_view name, int32_t count);
// The same among the node, its attributes and its direct children, where
// the count applies to attributes and children.
KVL_EXPORT XmlNodeHandle FindXmlAtTop(const XmlNodeHandle& node,
                                      std::string_view name, int32_t count);

}  // namespace internal
}  // namespace kvl

#endif  // KVL_PARAMS_XML_CHILD_CURSOR_H_

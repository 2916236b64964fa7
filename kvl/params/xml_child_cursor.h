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

class KVL_EXPORT XmlChildCursor {
 public:
  // Each returns the new current child, or a null node (see the views'
  // FirstItem / NextItem / CurrentItem).
  XmlNode First(const XmlNode& node);
  XmlNode Next(const XmlNode& node);
  XmlNode Current();

  PSIterState state() const { return state_; }
  int32_t attribute_index() const { return attribute_index_; }

 private:
  XmlNode current_;
  int32_t attribute_index_ = -1;
  PSIterState state_ = K_NO_ITERATION;
};

// Child `n` counting from 1: attributes first, then child nodes.
KVL_EXPORT XmlNode XmlChildAt(const XmlNode& node, int32_t n);
// The first node called `name` (ignoring case) in a depth-first walk of
// `node`: the node, the `count`-th attribute of that name, then each
// child's subtree with the same count. Walks without recursion, so deep
// documents cannot exhaust the stack.
KVL_EXPORT XmlNode FindXmlInTree(const XmlNode& node, std::string_view name,
                                 int32_t count);
// The same among the node, its attributes and its direct children, where
// the count applies to attributes and children.
KVL_EXPORT XmlNode FindXmlAtTop(const XmlNode& node, std::string_view name,
                                int32_t count);

}  // namespace internal
}  // namespace kvl

#endif  // KVL_PARAMS_XML_CHILD_CURSOR_H_

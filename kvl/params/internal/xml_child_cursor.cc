#include "kvl/params/xml_child_cursor.h"

#include <vector>

#include "kvl/runtime/variant_convert.h"

namespace kvl::internal {

XmlNode XmlChildCursor::First(const XmlNode& node) {
  if (XmlNode attr = node.FirstAttribute()) {
    state_ = K_ATTR_ITERATE;
    attribute_index_ = 0;
    current_ = attr;
  } else if (XmlNode child = node.FirstChild()) {
    state_ = K_CHILD_ITERATE;
    current_ = child;
  } else {
    state_ = K_END_ITERATION;
    current_ = {};
  }
  return Current();
}

XmlNode XmlChildCursor::Current() {
  if (!current_) state_ = K_NO_ITERATION;
  return current_;
}

XmlNode XmlChildCursor::Next(const XmlNode& node) {
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
  XmlNode result = Current();
  if (!result) state_ = K_END_ITERATION;
  return result;
}

XmlNode XmlChildAt(const XmlNode& node, int32_t n) {
  if (n < 1) return {};
  int32_t attributes = node.AttributeCount();
  if (n <= attributes) return node.Attribute(n - 1);
  return node.Child(n - attributes - 1);
}

namespace {

// The node itself, or its count-th attribute called `name`; `count` is
// lowered by the attributes of that name passed.
XmlNode MatchHere(const XmlNode& node, std::string_view name, int32_t& count) {
  if (EqualsNoCase(node.Name(), name)) return node;
  for (XmlNode a = node.FirstAttribute(); a; a = a.NextSibling()) {
    if (EqualsNoCase(a.Name(), name) && --count < 1) return a;
  }
  return {};
}

}  // namespace

XmlNode FindXmlInTree(const XmlNode& node, std::string_view name,
                      int32_t count) {
  struct Frame {
    XmlNode next;   // the next node to visit at this depth
    int32_t count;  // the count its parent hands down
    bool siblings;  // whether the walk goes on to `next`'s siblings
  };
  std::vector<Frame> stack;
  stack.push_back({node, count, false});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (!top.next) {
      stack.pop_back();
      continue;
    }
    XmlNode visit = top.next;
    int32_t c = top.count;
    top.next = top.siblings ? visit.NextSibling() : XmlNode();
    if (XmlNode found = MatchHere(visit, name, c)) return found;
    if (XmlNode child = visit.FirstChild()) stack.push_back({child, c, true});
  }
  return {};
}

XmlNode FindXmlAtTop(const XmlNode& node, std::string_view name,
                     int32_t count) {
  if (XmlNode found = MatchHere(node, name, count)) return found;
  for (XmlNode c = node.FirstChild(); c; c = c.NextSibling()) {
    if (EqualsNoCase(c.Name(), name) && --count < 1) return c;
  }
  return {};
}

}  // namespace kvl::internal

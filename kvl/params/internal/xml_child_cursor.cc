#include "kvl/params/xml_child_cursor.h"

#include <vector>

#include "kvl/runtime/variant_convert.h"

namespace kvl::internal {

XmlNodeHandle XmlChildAt(const XmlNodeHandle& node, int32_t n) {
  if (n < 1) return {};
  int32_t attributes = node.AttributeCount();
  if (n <= attributes) return node.Attribute(n - 1);
  return node.Child(n - attributes - 1);
}

namespace {

// The node itself, or its count-th attribute called `name`; `count` is
// lowered by the attributes of that name passed.
XmlNodeHandle MatchHere(const XmlNodeHandle& node, std::string_view name,
                        int32_t& count) {
  if (EqualsNoCase(node.Name(), name)) return node;
  for (XmlNodeHandle a = node.FirstAttribute(); a; a = a.NextSibling()) {
    if (EqualsNoCase(a.Name(), name) && --count < 1) return a;
  }
  return {};
}

}  // namespace

XmlNodeHandle FindXmlInTree(const XmlNodeHandle& node, std::string_view name,
                            int32_t count) {
  struct Frame {
    XmlNodeHandle next;  // the next node to visit at this depth
    int32_t count;       // the count its parent hands down
    bool siblings;       // whether the walk goes on to `next`'s siblings
  };
  std::vector<Frame> stack;
  stack.push_back({node, count, false});
  while (!stack.empty()) {
    Frame& top = stack.back();
    if (!top.next) {
      stack.pop_back();
      continue;
    }
    XmlNodeHandle visit = top.next;
    int32_t c = top.count;
    top.next = top.siblings ? visit.NextSibling() : XmlNodeHandle();
    if (XmlNodeHandle found = MatchHere(visit, name, c)) return found;
    if (XmlNodeHandle child = visit.FirstChild())
      stack.push_back({child, c, true});
  }
  return {};
}

XmlNodeHandle FindXmlAtTop(const XmlNodeHandle& node, std::string_view name,
                           int32_t count) {
  if (XmlNodeHandle found = MatchHere(node, name, count)) return found;
  for (XmlNodeHandle c = node.FirstChild(); c; c = c.NextSibling()) {
    if (EqualsNoCase(c.Name(), name) && --count < 1) return c;
  }
  return {};
}

}  // namespace kvl::internal

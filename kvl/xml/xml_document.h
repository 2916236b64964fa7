// XmlDocument and XmlNode: the library's read-only XML document model.
//
// An XmlDocument loads a file and hands out XmlNodes. The model is the
// classic DOM view of a document: the document's children are, in order,
// any XML declaration, comments, processing instructions, document type and
// the root element; an element's children are its elements, text, CDATA,
// comments and processing instructions (text made only of white space is
// dropped). Attributes are nodes as well, reached through their element,
// not among its children.
//
// Names: Name() is the name with its namespace prefix ("x:Axis"), BaseName()
// without it ("Axis"); nodes without a name of their own are called
// "#text", "#cdata-section", "#comment" and "#document". Value() is the
// text of an attribute, text, CDATA, comment or processing instruction;
// elements and the document have none (HasValue() is false). Xml() is the
// node written back as XML text, on one line as it was read.
//
// Ownership: an XmlNode is a small value that keeps the loaded content it
// points into alive, so a node stays usable after its document loaded
// another file or was destroyed. A failed Load keeps the previous content.
// Nothing here changes a document once loaded. Used on one thread at a time.
//
//   Ref<XmlDocument> doc = MakeRef<XmlDocument>();
//   if (!doc->Load("axes.xml")) std::puts(doc->LastError().c_str());
//   for (XmlNode n = doc->FirstChild().FirstChild(); n; n = n.NextSibling())
//     std::printf("%s\n", std::string(n.BaseName()).c_str());
#ifndef KVL_XML_XML_DOCUMENT_H_
#define KVL_XML_XML_DOCUMENT_H_

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace pugi {
struct xml_node_struct;
struct xml_attribute_struct;
}  // namespace pugi

namespace kvl {

namespace xml_internal {
struct XmlContent;
}

enum class XmlNodeType {
  kNone,
  kDocument,
  kElement,
  kAttribute,
  kText,
  kCData,
  kComment,
  kProcessingInstruction,
  kDeclaration,
  kDocumentType,
};

class KVL_EXPORT XmlNode {
 public:
  XmlNode() = default;

  explicit operator bool() const {
    return node_ != nullptr || attr_ != nullptr;
  }
  XmlNodeType Type() const;

  std::string_view Name() const;
  std::string_view BaseName() const;
  bool HasValue() const;
  // "" when the node has no value.
  std::string Value() const;
  std::string Xml() const;

  // Children (never attributes) and siblings; a null node past the end.
  // An attribute's next sibling is the next attribute of its element.
  XmlNode FirstChild() const;
  XmlNode NextSibling() const;
  bool HasChildren() const;
  int32_t ChildCount() const;
  // Position from 0; a null node when out of range.
  XmlNode Child(int32_t index) const;

  XmlNode FirstAttribute() const;
  int32_t AttributeCount() const;
  // Position from 0; a null node when out of range.
  XmlNode Attribute(int32_t index) const;

  // The same node of the same content.
  friend bool operator==(const XmlNode& a, const XmlNode& b) {
    return a.node_ == b.node_ && a.attr_ == b.attr_;
  }

 private:
  friend class XmlDocument;
  XmlNode(std::shared_ptr<const xml_internal::XmlContent> content,
          pugi::xml_node_struct* node, pugi::xml_attribute_struct* attr)
      : content_(std::move(content)), node_(node), attr_(attr) {}

  std::shared_ptr<const xml_internal::XmlContent> content_;
  pugi::xml_node_struct* node_ = nullptr;
  pugi::xml_attribute_struct* attr_ = nullptr;
};

// Public, not creatable (kind 3): the document object a reader exposes.
class KVL_EXPORT XmlDocument : public Object {
  KVL_DECLARE_CLASS(XmlDocument)
 public:
  XmlDocument();
  ~XmlDocument() override;

  // Reads and parses the file at `path`. On success the content is
  // replaced and Url() becomes `path`; on failure (unreadable file, text
  // that is not well-formed XML, no root element or more than one) nothing
  // changes, false is returned and LastError/ErrorLine say why.
  bool Load(const std::string& path);
  // Parses `text` as Load does a file's content; Url() becomes "".
  bool LoadText(std::string_view text);

  // The path of the loaded file; "" for a new document.
  const std::string& Url() const;
  // The document node.
  XmlNode Document() const;
  // The document's first child: the XML declaration, a comment or
  // processing instruction ahead of the root element, or the root element.
  XmlNode FirstChild() const { return Document().FirstChild(); }

  // The last failed load's message ("" after a success) and its 1-based
  // line (0 when no line applies).
  const std::string& LastError() const { return last_error_; }
  int32_t ErrorLine() const { return error_line_; }

 private:
  bool Parse(std::string buffer, std::string url);

  std::shared_ptr<const xml_internal::XmlContent> content_;
  std::string last_error_;
  int32_t error_line_ = 0;
};

}  // namespace kvl

#endif  // KVL_XML_XML_DOCUMENT_H_

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
// another file or was destroyed. An XmlNodeHandle is the same node without
// that hold, for walks that keep an XmlNode of the content themselves. A failed
// Load keeps the previous content. Nothing here changes a document once loaded.
// Walking is cheap after the first time: a node's children are read from
// records made when they are first reached and kept with the content.
// A document is used on one thread at a time; nodes of one content may be
// walked from several threads at once.
//
//   Ref<XmlDocument> doc = MakeRef<XmlDocument>();
//   if (!doc->Load("axes.xml")) std::puts(doc->LastError().c_str());
//   for (XmlNode n = doc->FirstChild().FirstChild(); n; n = n.NextSibling())
//     std::printf("%s\n", std::string(n.BaseName()).c_str());
#ifndef KVL_XML_XML_DOCUMENT_H_
#define KVL_XML_XML_DOCUMENT_H_

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

enum class XmlNodeType : uint8_t {
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

namespace xml_internal {

struct XmlContent;

// One node or attribute of a loaded document as walks read it, with the
// sizes of its texts and links to its relatives, so a walk that has been
// through a node once reads it again without calling into the parser's
// tree. A node's children are made the first time they are asked for (in
// one go, each followed by its attributes), so loading costs what the
// parse costs. Records are never moved or freed before their content.
struct KVL_EXPORT XmlFlatNode {
  const char* name = "";
  const char* value = nullptr;        // its text in the document, if any
  void* source = nullptr;             // the parser's node or attribute
  const XmlFlatNode* next = nullptr;  // the next sibling (or attribute)
  // Null until made (see MakeChildren); published with release.
  std::atomic<const XmlFlatNode*> first_child{nullptr};
  size_t name_size = 0;
  size_t value_size = 0;
  uint32_t attributes = 0;  // how many attributes follow the record
  XmlNodeType type = XmlNodeType::kNone;
  bool has_children = false;
};

// Makes the records of the children of `parent`, a node of `content` that
// has children, and returns the first. Safe to call from several threads.
KVL_EXPORT const XmlFlatNode* MakeChildren(const XmlContent* content,
                                           const XmlFlatNode* parent);

}  // namespace xml_internal

// A node of a loaded document without a hold on the content: two pointers,
// free to copy. Valid only while an XmlNode of the same content lives; walks
// that keep one (a view's own node) step through handles and make an XmlNode
// only for what they hand out. The members are XmlNode's; the walking ones
// are inline, as they are every step of every walk.
class KVL_EXPORT XmlNodeHandle {
 public:
  XmlNodeHandle() = default;

  explicit operator bool() const { return n_ != nullptr; }
  XmlNodeType Type() const { return n_ ? n_->type : XmlNodeType::kNone; }

  std::string_view Name() const {
    if (!n_) return {};
    return std::string_view(n_->name, n_->name_size);
  }
  std::string_view BaseName() const;
  bool HasValue() const;
  std::string Value() const;
  // Value() without a copy where the value is text of the document
  // (attributes, text, CDATA, comments, processing instructions); nullopt
  // for a node whose value is made up (a declaration's) or that has none.
  std::optional<std::string_view> StoredValue() const {
    if (!n_ || !n_->value) return std::nullopt;
    return std::string_view(n_->value, n_->value_size);
  }
  std::string Xml() const;

  XmlNodeHandle FirstChild() const {
    if (!n_ || !n_->has_children) return {};
    const xml_internal::XmlFlatNode* first =
        n_->first_child.load(std::memory_order_acquire);
    if (!first) first = xml_internal::MakeChildren(content_, n_);
    return XmlNodeHandle(first, content_);
  }
  XmlNodeHandle NextSibling() const {
    if (!n_ || !n_->next) return {};
    return XmlNodeHandle(n_->next, content_);
  }
  bool HasChildren() const { return n_ && n_->has_children; }
  int32_t ChildCount() const;
  XmlNodeHandle Child(int32_t index) const;

  XmlNodeHandle FirstAttribute() const {
    if (!n_ || n_->attributes == 0) return {};
    return XmlNodeHandle(n_ + 1, content_);
  }
  int32_t AttributeCount() const {
    return n_ ? static_cast<int32_t>(n_->attributes) : 0;
  }
  XmlNodeHandle Attribute(int32_t index) const {
    if (index < 0 || index >= AttributeCount()) return {};
    return XmlNodeHandle(n_ + 1 + index, content_);
  }

  friend bool operator==(const XmlNodeHandle& a, const XmlNodeHandle& b) {
    return a.n_ == b.n_;
  }

 private:
  friend class XmlDocument;
  XmlNodeHandle(const xml_internal::XmlFlatNode* n,
                const xml_internal::XmlContent* content)
      : n_(n), content_(content) {}

  const xml_internal::XmlFlatNode* n_ = nullptr;
  const xml_internal::XmlContent* content_ = nullptr;
};

class KVL_EXPORT XmlNode {
 public:
  XmlNode() = default;
  // The node `at` of the content `owner` holds (null when `at` is null);
  // `at` must come from `owner`'s document.
  XmlNode(const XmlNode& owner, XmlNodeHandle at)
      : content_(at ? owner.content_ : nullptr), at_(at) {}

  explicit operator bool() const { return static_cast<bool>(at_); }
  XmlNodeType Type() const { return at_.Type(); }

  std::string_view Name() const { return at_.Name(); }
  std::string_view BaseName() const { return at_.BaseName(); }
  bool HasValue() const { return at_.HasValue(); }
  // "" when the node has no value.
  std::string Value() const { return at_.Value(); }
  std::string Xml() const { return at_.Xml(); }

  // Children (never attributes) and siblings; a null node past the end.
  // An attribute's next sibling is the next attribute of its element.
  XmlNode FirstChild() const { return XmlNode(*this, at_.FirstChild()); }
  XmlNode NextSibling() const { return XmlNode(*this, at_.NextSibling()); }
  bool HasChildren() const { return at_.HasChildren(); }
  int32_t ChildCount() const { return at_.ChildCount(); }
  // Position from 0; a null node when out of range.
  XmlNode Child(int32_t index) const {
    return XmlNode(*this, at_.Child(index));
  }

  XmlNode FirstAttribute() const {
    return XmlNode(*this, at_.FirstAttribute());
  }
  int32_t AttributeCount() const { return at_.AttributeCount(); }
  // Position from 0; a null node when out of range.
  XmlNode Attribute(int32_t index) const {
    return XmlNode(*this, at_.Attribute(index));
  }

  // The node without the hold on its content.
  const XmlNodeHandle& handle() const { return at_; }
  // Makes this the node `at` of the content `owner` holds, as assigning
  // XmlNode(owner, at) would, without touching the hold when this node
  // already holds that content.
  void Reseat(const XmlNode& owner, XmlNodeHandle at) {
    if (content_ != owner.content_) content_ = owner.content_;
    at_ = at;
  }

  // The same node of the same content.
  friend bool operator==(const XmlNode& a, const XmlNode& b) {
    return a.at_ == b.at_;
  }

 private:
  friend class XmlDocument;
  XmlNode(std::shared_ptr<const xml_internal::XmlContent> content,
          XmlNodeHandle at)
      : content_(std::move(content)), at_(at) {}

  std::shared_ptr<const xml_internal::XmlContent> content_;
  XmlNodeHandle at_;
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

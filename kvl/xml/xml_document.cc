#include "kvl/xml/xml_document.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <forward_list>
#include <memory>
#include <mutex>
#include <pugixml.hpp>
#include <vector>

#include "kvl/frame/catalogue.h"

namespace kvl {

namespace xml_internal {

// One loaded document. `buffer` holds the text the nodes point into.
struct XmlContent {
  pugi::xml_document doc;
  std::string buffer;
  std::string url;
  // The document node's record; the others are made as walks reach them.
  XmlFlatNode* document = nullptr;

  // Guards what walks add: the records and the names made for them.
  mutable std::mutex mu;
  // Records in blocks that never move, each node followed by its attributes.
  mutable std::vector<std::unique_ptr<XmlFlatNode[]>> blocks;
  mutable XmlFlatNode* next_free = nullptr;  // in the last block
  mutable size_t block_free = 0;
  mutable std::forward_list<std::string> made_names;  // see NameOf
};

}  // namespace xml_internal

namespace {

using xml_internal::XmlContent;
using xml_internal::XmlFlatNode;

constexpr unsigned kParseOptions =
    pugi::parse_default | pugi::parse_pi | pugi::parse_comments |
    pugi::parse_declaration | pugi::parse_doctype;

// Collects written XML text.
class StringWriter : public pugi::xml_writer {
 public:
  explicit StringWriter(std::string& out) : out_(out) {}
  void write(const void* data, size_t size) override {
    out_.append(static_cast<const char*>(data), size);
  }

 private:
  std::string& out_;
};

void AppendEscaped(std::string& out, std::string_view text) {
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
}

void AppendAttribute(std::string& out, pugi::xml_attribute a) {
  out += a.name();
  out += "=\"";
  AppendEscaped(out, a.value());
  out += '"';
}

// The text before the first blank of a document type declaration.
std::string_view DoctypeName(const char* value) {
  std::string_view v(value);
  size_t end = v.find_first_of(" \t\r\n[");
  return v.substr(0, end);
}

std::string_view AfterPrefix(std::string_view name) {
  size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

int32_t LineAt(std::string_view text, size_t offset) {
  offset = std::min(offset, text.size());
  return 1 + static_cast<int32_t>(
                 std::count(text.begin(), text.begin() + offset, '\n'));
}

bool ReadFile(const std::string& path, std::string& out, std::string& error) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) {
    error = std::string("cannot open the file: ") + std::strerror(errno);
    return false;
  }
  // Read straight into `out` at the size the file has now, then on until
  // the end (the file may grow, or not be a regular file).
  struct stat info;
  size_t expected = 0;
  if (fstat(fileno(f), &info) == 0 && S_ISREG(info.st_mode))
    expected = static_cast<size_t>(info.st_size);
  out.resize(expected + 1);
  size_t used = 0;
  for (;;) {
    used += std::fread(out.data() + used, 1, out.size() - used, f);
    if (used < out.size()) break;
    out.resize(out.size() * 2);
  }
  out.resize(used);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) error = "cannot read the file";
  return !failed;
}

pugi::xml_node SourceNode(const XmlFlatNode& n) {
  return pugi::xml_node(static_cast<pugi::xml_node_struct*>(n.source));
}
pugi::xml_attribute SourceAttribute(const XmlFlatNode& n) {
  return pugi::xml_attribute(
      static_cast<pugi::xml_attribute_struct*>(n.source));
}

XmlNodeType TypeOf(pugi::xml_node node) {
  switch (node.type()) {
    case pugi::node_document: return XmlNodeType::kDocument;
    case pugi::node_element: return XmlNodeType::kElement;
    case pugi::node_pcdata: return XmlNodeType::kText;
    case pugi::node_cdata: return XmlNodeType::kCData;
    case pugi::node_comment: return XmlNodeType::kComment;
    case pugi::node_pi: return XmlNodeType::kProcessingInstruction;
    case pugi::node_declaration: return XmlNodeType::kDeclaration;
    case pugi::node_doctype: return XmlNodeType::kDocumentType;
    default: return XmlNodeType::kNone;
  }
}

// The node's name; `made` keeps names that are not text of the document.
std::string_view NameOf(pugi::xml_node node, XmlNodeType type,
                        std::forward_list<std::string>& made) {
  switch (type) {
    case XmlNodeType::kElement:
    case XmlNodeType::kProcessingInstruction:
    case XmlNodeType::kDeclaration: return node.name();
    case XmlNodeType::kText: return "#text";
    case XmlNodeType::kCData: return "#cdata-section";
    case XmlNodeType::kComment: return "#comment";
    case XmlNodeType::kDocument: return "#document";
    case XmlNodeType::kDocumentType:
      return made.emplace_front(DoctypeName(node.value()));
    default: return "";
  }
}

// Whether the node's value is text of the document (see StoredValue).
bool StoresValue(XmlNodeType type) {
  switch (type) {
    case XmlNodeType::kText:
    case XmlNodeType::kCData:
    case XmlNodeType::kComment:
    case XmlNodeType::kProcessingInstruction: return true;
    default: return false;
  }
}

// `count` adjacent records of `content`, for a node and its attributes.
XmlFlatNode* NewRecords(const XmlContent& content, size_t count) {
  // Blocks small enough that the allocator reuses their memory from one
  // load to the next.
  constexpr size_t kBlock = 512;
  if (content.block_free < count) {
    const size_t size = std::max(kBlock, count);
    content.blocks.push_back(std::make_unique<XmlFlatNode[]>(size));
    content.next_free = content.blocks.back().get();
    content.block_free = size;
  }
  XmlFlatNode* out = content.next_free;
  content.next_free += count;
  content.block_free -= count;
  return out;
}

// The record of `node` followed by those of its attributes.
XmlFlatNode* NewFlatNode(const XmlContent& content, pugi::xml_node node) {
  uint32_t attributes = 0;
  for (pugi::xml_attribute a = node.first_attribute(); a;
       a = a.next_attribute()) {
    ++attributes;
  }
  XmlFlatNode* n = NewRecords(content, 1 + attributes);
  const XmlNodeType type = TypeOf(node);
  const std::string_view name = NameOf(node, type, content.made_names);
  n->name = name.data();
  n->name_size = name.size();
  if (StoresValue(type)) {
    const std::string_view value = node.value();
    n->value = value.data();
    n->value_size = value.size();
  }
  n->source = node.internal_object();
  n->attributes = attributes;
  n->type = type;
  n->has_children = static_cast<bool>(node.first_child());
  XmlFlatNode* at = n;
  for (pugi::xml_attribute a = node.first_attribute(); a;
       a = a.next_attribute()) {
    XmlFlatNode* record = at + 1;
    if (at != n) at->next = record;
    const std::string_view a_name = a.name();
    const std::string_view a_value = a.value();
    record->name = a_name.data();
    record->name_size = a_name.size();
    record->value = a_value.data();
    record->value_size = a_value.size();
    record->source = a.internal_object();
    record->type = XmlNodeType::kAttribute;
    at = record;
  }
  return n;
}

}  // namespace

// ---- XmlNodeHandle
// -----------------------------------------------------------

namespace xml_internal {

const XmlFlatNode* MakeChildren(const XmlContent* content,
                                const XmlFlatNode* parent) {
  std::lock_guard<std::mutex> lock(content->mu);
  // Another thread may have made them meanwhile.
  if (const XmlFlatNode* first =
          parent->first_child.load(std::memory_order_relaxed)) {
    return first;
  }
  XmlFlatNode* first = nullptr;
  XmlFlatNode* previous = nullptr;
  for (pugi::xml_node c = SourceNode(*parent).first_child(); c;
       c = c.next_sibling()) {
    XmlFlatNode* n = NewFlatNode(*content, c);
    if (previous) {
      previous->next = n;
    } else {
      first = n;
    }
    previous = n;
  }
  const_cast<XmlFlatNode*>(parent)->first_child.store(
      first, std::memory_order_release);
  return first;
}

}  // namespace xml_internal

std::string_view XmlNodeHandle::BaseName() const {
  switch (Type()) {
    case XmlNodeType::kElement:
    case XmlNodeType::kAttribute: return AfterPrefix(Name());
    case XmlNodeType::kProcessingInstruction:
    case XmlNodeType::kDeclaration:
    case XmlNodeType::kDocumentType: return Name();
    default: return {};
  }
}

bool XmlNodeHandle::HasValue() const {
  switch (Type()) {
    case XmlNodeType::kAttribute:
    case XmlNodeType::kText:
    case XmlNodeType::kCData:
    case XmlNodeType::kComment:
    case XmlNodeType::kProcessingInstruction:
    case XmlNodeType::kDeclaration: return true;
    default: return false;
  }
}

std::string XmlNodeHandle::Value() const {
  if (auto text = StoredValue()) return std::string(*text);
  if (Type() != XmlNodeType::kDeclaration) return {};
  std::string out;
  for (pugi::xml_attribute a : SourceNode(*n_).attributes()) {
    if (!out.empty()) out += ' ';
    AppendAttribute(out, a);
  }
  return out;
}

std::string XmlNodeHandle::Xml() const {
  std::string out;
  if (Type() == XmlNodeType::kAttribute) {
    AppendAttribute(out, SourceAttribute(*n_));
  } else if (n_) {
    StringWriter writer(out);
    SourceNode(*n_).print(writer, "", pugi::format_raw, pugi::encoding_utf8);
  }
  return out;
}

int32_t XmlNodeHandle::ChildCount() const {
  int32_t count = 0;
  for (XmlNodeHandle c = FirstChild(); c; c = c.NextSibling()) ++count;
  return count;
}

XmlNodeHandle XmlNodeHandle::Child(int32_t index) const {
  if (index < 0) return {};
  XmlNodeHandle c = FirstChild();
  for (; c && index > 0; --index) c = c.NextSibling();
  return c;
}

// ---- XmlDocument
// -------------------------------------------------------------

const ClassInfo& XmlDocument::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<XmlDocument>("XmlDocument", ClassKind::kPublic)
          .Method<&XmlDocument::Load>("Load", {Arg("Path")})
          .Get<&XmlDocument::Url>("Url")
          .Get<&XmlDocument::LastError>("LastError")
          .Get<&XmlDocument::ErrorLine>("ErrorLine")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(XmlDocument)

XmlDocument::XmlDocument() {
  auto content = std::make_shared<XmlContent>();
  content->document = NewFlatNode(*content, content->doc);
  content_ = std::move(content);
}

XmlDocument::~XmlDocument() = default;

const std::string& XmlDocument::Url() const {
  return content_->url;
}

XmlNode XmlDocument::Document() const {
  return XmlNode(content_, XmlNodeHandle(content_->document, content_.get()));
}

bool XmlDocument::Load(const std::string& path) {
  std::string text;
  std::string error;
  if (!ReadFile(path, text, error)) {
    last_error_ = std::move(error);
    error_line_ = 0;
    return false;
  }
  return Parse(std::move(text), path);
}

bool XmlDocument::LoadText(std::string_view text) {
  return Parse(std::string(text), {});
}

bool XmlDocument::Parse(std::string buffer, std::string url) {
  auto content = std::make_shared<XmlContent>();
  content->buffer = std::move(buffer);
  // The parse rewrites the buffer; messages count lines in the original.
  auto line_of = [&](size_t offset) {
    std::string original;
    std::string ignored;
    if (url.empty() || !ReadFile(url, original, ignored)) return int32_t{0};
    return LineAt(original, offset);
  };
  std::string copy_for_text;
  if (url.empty()) copy_for_text = content->buffer;
  auto fail = [&](std::string message, size_t offset) {
    last_error_ = std::move(message);
    error_line_ = url.empty() ? LineAt(copy_for_text, offset) : line_of(offset);
    return false;
  };
  pugi::xml_parse_result result = content->doc.load_buffer_inplace(
      content->buffer.data(), content->buffer.size(), kParseOptions);
  if (!result) {
    return fail(result.description(), static_cast<size_t>(result.offset));
  }
  // The parser accepts what a well-formed document must not have: text or
  // a second element beside the root.
  int elements = 0;
  for (pugi::xml_node c = content->doc.first_child(); c; c = c.next_sibling()) {
    if (c.type() == pugi::node_element && ++elements > 1) {
      return fail(
          "More than one root element",
          static_cast<size_t>(std::max<ptrdiff_t>(c.offset_debug(), 0)));
    }
    if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata) {
      return fail(
          "Text outside the root element",
          static_cast<size_t>(std::max<ptrdiff_t>(c.offset_debug(), 0)));
    }
  }
  content->url = std::move(url);
  content->document = NewFlatNode(*content, content->doc);
  content_ = std::move(content);
  last_error_.clear();
  error_line_ = 0;
  return true;
}

}  // namespace kvl

#include "kvl/xml/xml_document.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pugixml.hpp>
#include <type_traits>

#include "kvl/frame/catalogue.h"

namespace kvl {

namespace xml_internal {

// One loaded document. `buffer` holds the text the nodes point into.
struct XmlContent {
  pugi::xml_document doc;
  std::string buffer;
  std::string url;
};

}  // namespace xml_internal

namespace {

using xml_internal::XmlContent;

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
  out.clear();
  char chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) out.append(chunk, n);
  bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) error = "cannot read the file";
  return !failed;
}

// pugixml's node and attribute classes hold nothing but the pointer to
// their structure; converting with bit_cast rather than through their
// constructors and internal_object() saves a call into the library for
// each step of a walk.
static_assert(sizeof(pugi::xml_node) == sizeof(pugi::xml_node_struct*) &&
              std::is_trivially_copyable_v<pugi::xml_node>);
static_assert(sizeof(pugi::xml_attribute) ==
                  sizeof(pugi::xml_attribute_struct*) &&
              std::is_trivially_copyable_v<pugi::xml_attribute>);

pugi::xml_node AsNode(pugi::xml_node_struct* node) {
  return std::bit_cast<pugi::xml_node>(node);
}
pugi::xml_attribute AsAttribute(pugi::xml_attribute_struct* attr) {
  return std::bit_cast<pugi::xml_attribute>(attr);
}
pugi::xml_node_struct* Raw(pugi::xml_node node) {
  return std::bit_cast<pugi::xml_node_struct*>(node);
}
pugi::xml_attribute_struct* Raw(pugi::xml_attribute attr) {
  return std::bit_cast<pugi::xml_attribute_struct*>(attr);
}

}  // namespace

// ---- XmlNodeHandle
// -----------------------------------------------------------

XmlNodeType XmlNodeHandle::Type() const {
  if (attr_) return XmlNodeType::kAttribute;
  if (!node_) return XmlNodeType::kNone;
  switch (AsNode(node_).type()) {
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

std::string_view XmlNodeHandle::Name() const {
  if (attr_) return AsAttribute(attr_).name();
  if (!node_) return {};
  pugi::xml_node n(node_);
  switch (n.type()) {
    case pugi::node_element:
    case pugi::node_pi:
    case pugi::node_declaration: return n.name();
    case pugi::node_pcdata: return "#text";
    case pugi::node_cdata: return "#cdata-section";
    case pugi::node_comment: return "#comment";
    case pugi::node_document: return "#document";
    case pugi::node_doctype: return DoctypeName(n.value());
    default: return {};
  }
}

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
  for (pugi::xml_attribute a : AsNode(node_).attributes()) {
    if (!out.empty()) out += ' ';
    AppendAttribute(out, a);
  }
  return out;
}

std::optional<std::string_view> XmlNodeHandle::StoredValue() const {
  if (attr_) return AsAttribute(attr_).value();
  if (!node_) return std::nullopt;
  switch (AsNode(node_).type()) {
    case pugi::node_pcdata:
    case pugi::node_cdata:
    case pugi::node_comment:
    case pugi::node_pi: return AsNode(node_).value();
    default: return std::nullopt;
  }
}

std::string XmlNodeHandle::Xml() const {
  std::string out;
  if (attr_) {
    AppendAttribute(out, AsAttribute(attr_));
  } else if (node_) {
    StringWriter writer(out);
    AsNode(node_).print(writer, "", pugi::format_raw, pugi::encoding_utf8);
  }
  return out;
}

XmlNodeHandle XmlNodeHandle::FirstChild() const {
  if (attr_ || !node_) return {};
  return XmlNodeHandle(Raw(AsNode(node_).first_child()), nullptr);
}

XmlNodeHandle XmlNodeHandle::NextSibling() const {
  if (attr_) {
    return XmlNodeHandle(nullptr, Raw(AsAttribute(attr_).next_attribute()));
  }
  if (!node_) return {};
  return XmlNodeHandle(Raw(AsNode(node_).next_sibling()), nullptr);
}

bool XmlNodeHandle::HasChildren() const {
  return !attr_ && node_ && Raw(AsNode(node_).first_child());
}

int32_t XmlNodeHandle::ChildCount() const {
  if (attr_ || !node_) return 0;
  int32_t count = 0;
  for (pugi::xml_node c = AsNode(node_).first_child(); c;
       c = c.next_sibling()) {
    ++count;
  }
  return count;
}

XmlNodeHandle XmlNodeHandle::Child(int32_t index) const {
  if (attr_ || !node_ || index < 0) return {};
  pugi::xml_node c = AsNode(node_).first_child();
  for (; c && index > 0; --index) c = c.next_sibling();
  return XmlNodeHandle(Raw(c), nullptr);
}

XmlNodeHandle XmlNodeHandle::FirstAttribute() const {
  if (attr_ || !node_) return {};
  return XmlNodeHandle(nullptr, Raw(AsNode(node_).first_attribute()));
}

int32_t XmlNodeHandle::AttributeCount() const {
  if (attr_ || !node_) return 0;
  int32_t count = 0;
  for (pugi::xml_attribute a = AsNode(node_).first_attribute(); a;
       a = a.next_attribute()) {
    ++count;
  }
  return count;
}

XmlNodeHandle XmlNodeHandle::Attribute(int32_t index) const {
  if (attr_ || !node_ || index < 0) return {};
  pugi::xml_attribute a = AsNode(node_).first_attribute();
  for (; a && index > 0; --index) a = a.next_attribute();
  return XmlNodeHandle(nullptr, Raw(a));
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

XmlDocument::XmlDocument() : content_(std::make_shared<XmlContent>()) {}

XmlDocument::~XmlDocument() = default;

const std::string& XmlDocument::Url() const {
  return content_->url;
}

XmlNode XmlDocument::Document() const {
  return XmlNode(content_,
                 XmlNodeHandle(content_->doc.internal_object(), nullptr));
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
  content_ = std::move(content);
  last_error_.clear();
  error_line_ = 0;
  return true;
}

}  // namespace kvl

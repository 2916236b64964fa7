#include "kvl/xml/xml_document.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kvl {
namespace {

Ref<XmlDocument> Parsed(std::string_view text) {
  auto doc = MakeRef<XmlDocument>();
  EXPECT_TRUE(doc->LoadText(text)) << doc->LastError();
  return doc;
}

std::vector<std::string> Names(XmlNode first) {
  std::vector<std::string> names;
  for (XmlNode n = first; n; n = n.NextSibling()) names.emplace_back(n.Name());
  return names;
}

TEST(XmlDocumentTest, NodesAheadOfTheRootAreTheFirstChildren) {
  auto doc = Parsed("<?xml version=\"1.0\"?>\n<!-- c --><?app go?>\n<cfg/>");
  EXPECT_EQ(Names(doc->FirstChild()),
            (std::vector<std::string>{"xml", "#comment", "app", "cfg"}));
  EXPECT_EQ(doc->FirstChild().Type(), XmlNodeType::kDeclaration);
  EXPECT_EQ(doc->FirstChild().Value(), "version=\"1.0\"");
  EXPECT_EQ(doc->FirstChild().NextSibling().Value(), " c ");
  EXPECT_EQ(doc->FirstChild().Xml(), "<?xml version=\"1.0\"?>");
}

TEST(XmlDocumentTest, NamesValuesAttributesAndChildrenByPosition) {
  auto doc = Parsed(
      "<x:Axis xmlns:x=\"u\" name=\"X &amp; Y\" speed=\"5\">"
      "text<![CDATA[<raw>]]><x:Limit/>\n  </x:Axis>");
  XmlNode axis = doc->FirstChild();
  EXPECT_EQ(axis.Name(), "x:Axis");
  EXPECT_EQ(axis.BaseName(), "Axis");
  EXPECT_FALSE(axis.HasValue());
  EXPECT_EQ(axis.AttributeCount(), 3);
  EXPECT_EQ(axis.Attribute(1).Name(), "name");
  EXPECT_EQ(axis.Attribute(1).Value(), "X & Y");
  EXPECT_EQ(axis.Attribute(1).Xml(), "name=\"X &amp; Y\"");
  EXPECT_EQ(axis.Attribute(1).NextSibling().Name(), "speed");
  EXPECT_FALSE(axis.Attribute(3));
  EXPECT_FALSE(axis.Attribute(1).FirstChild());
  // White space between elements is dropped.
  EXPECT_EQ(axis.ChildCount(), 3);
  EXPECT_EQ(Names(axis.FirstChild()),
            (std::vector<std::string>{"#text", "#cdata-section", "x:Limit"}));
  EXPECT_EQ(axis.Child(1).Value(), "<raw>");
  EXPECT_EQ(axis.Child(2).BaseName(), "Limit");
  EXPECT_EQ(axis.Child(0).BaseName(), "");
  EXPECT_FALSE(axis.Child(3));
  EXPECT_FALSE(axis.Child(-1));
  EXPECT_EQ(axis.Child(2).Xml(), "<x:Limit/>");
  EXPECT_EQ(axis.Xml(),
            "<x:Axis xmlns:x=\"u\" name=\"X &amp; Y\" speed=\"5\">text"
            "<![CDATA[<raw>]]><x:Limit/></x:Axis>");
}

TEST(XmlDocumentTest, MalformedTextKeepsTheDocumentAndNamesTheLine) {
  auto doc = Parsed("<a><b/></a>");
  XmlNode old_root = doc->FirstChild();
  for (std::string_view bad :
       {"<a>\n<b>\n</a>", "", "<a/>\n<b/>", "<a x='1/>"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(doc->LoadText(bad));
    EXPECT_FALSE(doc->LastError().empty());
    EXPECT_EQ(doc->FirstChild(), old_root);
  }
  EXPECT_FALSE(doc->LoadText("<a>\n<b>\n</a>"));
  EXPECT_EQ(doc->ErrorLine(), 3);
  EXPECT_FALSE(doc->LoadText("<a/>\n\n<b/>"));
  EXPECT_EQ(doc->ErrorLine(), 3);
  EXPECT_FALSE(doc->Load("/nonexistent/dir/file.xml"));
  EXPECT_EQ(doc->ErrorLine(), 0);
  EXPECT_EQ(doc->FirstChild().Name(), "a");
}

TEST(XmlDocumentTest, NodesOutliveAReloadAndTheirDocument) {
  XmlNode b;
  {
    auto doc = Parsed("<a><b v='1'/></a>");
    b = doc->FirstChild().FirstChild();
    ASSERT_TRUE(doc->LoadText("<c/>"));
    EXPECT_EQ(doc->FirstChild().Name(), "c");
  }
  EXPECT_EQ(b.Name(), "b");
  EXPECT_EQ(b.FirstAttribute().Value(), "1");
}

}  // namespace
}  // namespace kvl

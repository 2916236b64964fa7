#include "kvl/xml/xml_document.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
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

// Walks read node records made the first time a node's children are asked
// for, in fixed-size blocks; a node and its attributes never straddle two.
TEST(XmlDocumentTest, WideNodesAndLongSiblingListsReadWhole) {
  std::string text = "<!DOCTYPE cfg [<!ELEMENT cfg ANY>]><cfg";
  for (int i = 0; i < 1500; ++i) text += " a" + std::to_string(i) + "='v'";
  text += ">";
  for (int i = 0; i < 1500; ++i) text += "<c" + std::to_string(i) + " k='x'/>";
  text += "</cfg>";
  auto doc = Parsed(text);
  XmlNode doctype = doc->FirstChild();
  EXPECT_EQ(doctype.Type(), XmlNodeType::kDocumentType);
  EXPECT_EQ(doctype.Name(), "cfg");
  XmlNode cfg = doctype.NextSibling();
  EXPECT_EQ(cfg.AttributeCount(), 1500);
  EXPECT_EQ(cfg.Attribute(1499).Name(), "a1499");
  int attributes = 0;
  for (XmlNode a = cfg.FirstAttribute(); a; a = a.NextSibling()) ++attributes;
  EXPECT_EQ(attributes, 1500);
  EXPECT_EQ(cfg.ChildCount(), 1500);
  std::vector<std::string> names = Names(cfg.FirstChild());
  ASSERT_EQ(names.size(), 1500u);
  EXPECT_EQ(names[1499], "c1499");
  EXPECT_EQ(cfg.Child(1499).FirstAttribute().Value(), "x");
  EXPECT_EQ(cfg.Child(1499).FirstAttribute().NextSibling(), XmlNode());
}

// Threads that reach the same node at once get the same child nodes.
TEST(XmlDocumentTest, ChildrenReachedFromSeveralThreadsAreTheSameNodes) {
  std::string text = "<r>";
  for (int i = 0; i < 200; ++i) text += "<s><i a='1'/><i/></s>";
  text += "</r>";
  auto doc = Parsed(text);
  XmlNode root = doc->FirstChild();
  std::vector<std::vector<XmlNode>> seen(4);
  std::vector<std::thread> threads;
  for (auto& nodes : seen) {
    threads.emplace_back([&root, &nodes] {
      for (XmlNode s = root.FirstChild(); s; s = s.NextSibling())
        for (XmlNode i = s.FirstChild(); i; i = i.NextSibling())
          nodes.push_back(i);
    });
  }
  for (std::thread& t : threads) t.join();
  ASSERT_EQ(seen[0].size(), 400u);
  for (const auto& nodes : seen) EXPECT_EQ(nodes, seen[0]);
}

}  // namespace
}  // namespace kvl

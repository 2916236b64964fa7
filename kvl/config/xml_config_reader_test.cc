#include "kvl/config/xml_config_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/config/config_reader.h"
#include "kvl/config/internal/config_test_support.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/frame/testing/catalogue_expectations.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

using config_internal::ConfigFiles;
using config_internal::NotificationLog;
using ::testing::ElementsAre;

constexpr char kConfig[] =
    "<cfg><Motion><a/><b k='1'/></Motion><IO/><motion><c/></motion></cfg>";

class XmlConfigReaderTest : public ::testing::Test {
 protected:
  XmlConfigReaderTest() { reader->Connect(log); }

  std::string File(std::string_view name, std::string_view text) {
    return dir.MakeFile(name, text);
  }
  // Section names as NextSectionName hands them out, `calls` times.
  std::vector<std::string> Enumerate(int calls) {
    std::vector<std::string> names{reader->FirstSectionName()};
    while (--calls > 0) names.push_back(reader->NextSectionName());
    return names;
  }
  XMLConfigSection* Def(const std::string& name) {
    section = reader->SectionDef(name);
    return static_cast<XMLConfigSection*>(section.get());
  }

  ConfigFiles dir;
  Ref<XMLConfigReader> reader = MakeRef<XMLConfigReader>();
  Ref<NotificationLog> log = MakeRef<NotificationLog>();
  Ref<Object> section;
};

TEST_F(XmlConfigReaderTest, SectionsAndTheirItems) {
  std::string path = File("a.xml", kConfig);
  ASSERT_TRUE(reader->LoadConfigFile(path));
  EXPECT_EQ(reader->ConfigFile(), path);
  // Past the end: "" twice, then the first section again.
  EXPECT_THAT(Enumerate(7),
              ElementsAre("Motion", "IO", "motion", "", "", "Motion", "IO"));

  XMLConfigSection* motion = Def("MOTION");  // the first of that name
  const Ref<Object> keep_motion = section;    // Def below replaces `section`
  ASSERT_TRUE(motion);
  EXPECT_EQ(motion->Name(), "Motion");
  EXPECT_EQ(motion->FileName(), path);
  EXPECT_EQ(motion->Count(), 2);
  EXPECT_EQ(motion->Item(1)->Command(), "a");
  EXPECT_EQ(motion->Item(2)->ToString(), "<b k=\"1\"/>");
  EXPECT_FALSE(motion->Item(3));
  EXPECT_FALSE(motion->Item(0));
  EXPECT_EQ(motion->FirstItem()->As<XMLParamString>()->Command(), "a");
  EXPECT_TRUE(motion->NextItem());
  EXPECT_FALSE(motion->NextItem());
  EXPECT_FALSE(motion->NextItem());

  auto* item = static_cast<XMLParamString*>(reader->SectionItem("io", 1).get());
  EXPECT_FALSE(item);
  EXPECT_EQ(static_cast<XMLParamString*>(reader->SectionItem("motion", 2).get())
                ->Command(),
            "b");
  EXPECT_FALSE(reader->SectionDef("none"));
  EXPECT_FALSE(reader->Section("none"));

  // Each Section call makes a new list; adding to it changes nothing.
  Ref<Object> list = reader->Section("Motion");
  auto* items = static_cast<ConfigItemList*>(list.get());
  ASSERT_EQ(items->Count(), 2);
  items->Add(items->Item(1));
  EXPECT_EQ(items->Count(), 3);
  EXPECT_EQ(
      static_cast<ConfigItemList*>(reader->Section("Motion").get())->Count(),
      2);
  EXPECT_EQ(Def("Motion")->Count(), 2);

  // The editing members are accepted and change nothing.
  EXPECT_FALSE(reader->AddSection("New"));
  EXPECT_FALSE(reader->DeleteSection("IO"));
  EXPECT_FALSE(reader->SaveConfigFile(""));
  motion->Remove(1);
  EXPECT_EQ(Def("Motion")->Count(), 2);
  EXPECT_TRUE(log->lines.empty());
}

TEST_F(XmlConfigReaderTest, ADeclarationTakesTheRootsPlace) {
  ASSERT_TRUE(reader->LoadConfigFile(
      File("d.xml", std::string("<?xml version=\"1.0\"?>") + kConfig)));
  EXPECT_THAT(Enumerate(4), ElementsAre("", "", "", ""));
  EXPECT_FALSE(reader->SectionDef("Motion"));
}

TEST_F(XmlConfigReaderTest, AFailedLoadKeepsTheDocumentAndReportsTheLine) {
  ASSERT_TRUE(reader->LoadConfigFile(File("a.xml", kConfig)));
  std::string bad = File("bad.xml", "<cfg>\n<A>\n</cfg>\n");
  EXPECT_FALSE(reader->LoadConfigFile(bad));
  EXPECT_FALSE(reader->LoadConfigFile(dir.Path("missing.xml")));
  ASSERT_EQ(log->lines.size(), 2u);
  EXPECT_THAT(log->lines[0],
              ::testing::StartsWith("ScanError 3 " + bad + ": "));
  EXPECT_THAT(log->lines[1], ::testing::StartsWith("ScanError 0 "));
  EXPECT_EQ(reader->FirstSectionName(), "Motion");
  EXPECT_EQ(reader->ConfigFile(), dir.Path("a.xml"));

  // Views made before a later load stay readable.
  XMLConfigSection* io = Def("IO");
  ASSERT_TRUE(reader->LoadConfigFile(File("b.xml", "<r><Other/></r>")));
  EXPECT_EQ(io->Name(), "IO");
  EXPECT_FALSE(reader->SectionDef("IO"));

  reader->Terminate();
  EXPECT_FALSE(reader->XMLDocument());
  EXPECT_EQ(reader->FirstSectionName(), "");
  EXPECT_FALSE(reader->LoadConfigFile(dir.Path("a.xml")));
  reader->ClearContents();
  EXPECT_TRUE(reader->LoadConfigFile(dir.Path("a.xml")));
}

TEST_F(XmlConfigReaderTest, SettingTheDocumentTakesItsFirstChild) {
  auto doc = MakeRef<XmlDocument>();
  ASSERT_TRUE(doc->LoadText(kConfig));
  reader->SetXMLDocument(doc);
  EXPECT_EQ(reader->XMLDocument(), doc);
  EXPECT_EQ(reader->FirstSectionName(), "Motion");
}

TEST_F(XmlConfigReaderTest, ThroughConfigReaderAndLateBound) {
  std::string path = File("a.xml", kConfig);
  auto front = MakeRef<ConfigReader>();
  front->SetAlternateImplementationRef(reader);
  ASSERT_TRUE(front->LoadConfigFile(path));
  EXPECT_EQ(front->FirstSectionName(), "Motion");
  EXPECT_EQ(front->NextSectionName(), "IO");
  EXPECT_TRUE(front->SectionDef("io"));

  StartLibrary();
  Ref<Object> late = CreateObject("KVLCommon.XMLConfigReader");
  std::vector<Variant> args{Variant(path)};
  EXPECT_TRUE(late->Invoke("LoadConfigFile", CallKind::kGet, args).AsBool());
  std::vector<Variant> name{Variant("motion"), Variant(int16_t{2})};
  Variant item = late->Invoke("SectionItem", CallKind::kGet, name);
  ASSERT_TRUE(item.is_object());
  EXPECT_EQ(ToText(item.AsObject()->Invoke("Command", CallKind::kGet, {})),
            "b");

  auto by_name = MakeRef<ConfigReader>();
  std::vector<Variant> impl{Variant(late)};
  by_name->QueryInterface("ICRAltImpl")
      ->Invoke("AlternateImplementation", CallKind::kSet, impl);
  EXPECT_EQ(by_name->FirstSectionName(), "Motion");

  ExpectCatalogueKinds({{"XMLConfigReader", ClassKind::kCreatable},
                        {"XMLConfigSection", ClassKind::kPublic}});
}

TEST_F(XmlConfigReaderTest, ItsScanErrorReachesOnlyItsOwnSinksThroughAConfigReader) {
  std::string bad = File("bad.xml", "<cfg>\n<A>\n</cfg>\n");
  auto front_log = MakeRef<NotificationLog>();
  auto front = MakeRef<ConfigReader>();
  front->Connect(front_log);
  front->SetAlternateImplementationRef(reader);
  EXPECT_FALSE(front->LoadConfigFile(bad));
  EXPECT_EQ(log->lines.size(), 1u);
  EXPECT_TRUE(front_log->lines.empty());
}

}  // namespace
}  // namespace kvl

#include "kvl/config/config_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "kvl/config/internal/config_test_support.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/frame/testing/catalogue_expectations.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

using config_internal::ConfigFiles;
using config_internal::NotificationLog;
using ::testing::ElementsAre;

Variant Call(Object& o, const char* name, std::vector<Variant> args = {},
             CallKind kind = CallKind::kMethod) {
  return o.Invoke(name, kind, args);
}

class ConfigReaderTest : public ::testing::Test {
 protected:
  ConfigReaderTest() { reader->Connect(log); }

  std::vector<std::string> WalkSectionNames() {
    std::vector<std::string> names;
    for (Ref<Object> s = reader->FirstItem(); s; s = reader->NextItem()) {
      names.push_back(static_cast<ConfigSection*>(s.get())->Name());
    }
    return names;
  }

  ConfigFiles dir;
  Ref<ConfigReader> reader = MakeRef<ConfigReader>();
  Ref<NotificationLog> log = MakeRef<NotificationLog>();
};

TEST_F(ConfigReaderTest, RelaysTheDefaultReadersNotifications) {
  std::string file = dir.MakeFile("r.cfg", "[B]\nx=1\n=bad\n[A]\n");
  ASSERT_TRUE(reader->LoadConfigFile(file));
  reader->AddItem("C", MakeRef<ParamString>());
  EXPECT_THAT(log->lines,
              ElementsAre(::testing::StartsWith("ScanError 3 NextConfigItem:"),
                          "Updated 0 C -1", "Updated 2 C 1"));
  EXPECT_EQ(log->progress, 5);
  EXPECT_THAT(WalkSectionNames(), ElementsAre("B", "A", "C"));
  EXPECT_EQ(reader->ConfigFile(), file);
}

TEST_F(ConfigReaderTest, AlternateImplementationTakesOverAndIsNotRelayed) {
  // A late-bound implementation: answers by name and records the calls.
  std::vector<std::string> calls;
  auto alt = MakeRef<DynamicObject>("AltReader");
  alt->OnMethod("LoadConfigFile", [&](std::span<Variant> a) {
    calls.push_back("Load " + ToText(a[0]));
    return Variant(true);
  });
  alt->OnMethod("SectionItem", [&](std::span<Variant> a) {
    calls.push_back("Item " + ToText(a[0]) + " " + ToText(a[1]));
    return Variant::Nothing();
  });
  alt->OnMethod("AddSection", [&](std::span<Variant>) -> Variant {
    Raise(kErrInvalidArgument);
  });
  Ref<Object> as_alt = reader->QueryInterface("ICRAltImpl");
  ASSERT_TRUE(as_alt);
  Call(*as_alt, "AlternateImplementation", {Variant(alt)}, CallKind::kSet);
  EXPECT_EQ(reader->DefaultReader(), nullptr);

  EXPECT_TRUE(reader->LoadConfigFile("x.cfg"));
  EXPECT_EQ(reader->SectionItem("S", 2), nullptr);
  EXPECT_EQ(RaisedNumber([&] { reader->AddSection("S"); }), kErrInvalidArgument);
  EXPECT_EQ(RaisedNumber([&] { reader->Terminate(); }), kErrNotSupported);
  EXPECT_THAT(calls, ElementsAre("Load x.cfg", "Item S 2"));
  EXPECT_TRUE(log->lines.empty());
  EXPECT_EQ(RaisedNumber([&] { reader->SetAlternateImplementationRef(nullptr); }),
            kErrObjectNotSet);
}

TEST_F(ConfigReaderTest, TypedAlternateImplementation) {
  auto other = MakeRef<PSConfigReader>();
  auto other_log = MakeRef<NotificationLog>();
  other->Connect(other_log);
  reader->SetAlternateImplementationRef(other);
  EXPECT_TRUE(reader->AddSection("Mine"));
  EXPECT_TRUE(other->FindSection("mine"));
  EXPECT_THAT(other_log->lines, ElementsAre("Updated 0 Mine -1"));
  EXPECT_TRUE(log->lines.empty());  // the new implementation is not relayed
}

TEST(ConfigSectionTest, ItemsReplaceRemoveAndTreeWalk) {
  auto s = MakeRef<ConfigSection>("S");
  auto ps = [](const char* text) {
    auto p = MakeRef<ParamString>();
    p->Parse(text);
    return p;
  };
  s->Add(ps("a=1"));
  s->Add(ps("b=2"));
  s->Add(ps("c=3"));
  Ref<ParamString> x = ps("x=9");
  s->ReplaceItem(2, x);
  EXPECT_EQ(s->Count(), 3);
  EXPECT_EQ(s->Item(2).get(), x.get());
  EXPECT_EQ(RaisedNumber([&] { s->ReplaceItem(4, x); }), kErrInvalidArgument);
  s->Remove(7);  // ignored
  s->Remove(1);
  EXPECT_EQ(s->Count(), 2);
  // The walk stops at an item still held as text.
  s->AddString("t=1");
  s->Add(ps("after=1"));
  int walked = 0;
  for (Ref<Object> i = s->FirstItem(); i; i = s->NextItem()) ++walked;
  EXPECT_EQ(walked, 2);
  // Contents is the section's own list.
  Ref<ConfigItemList> list = s->Contents();
  list->Remove(1);
  EXPECT_EQ(s->Count(), 3);
  EXPECT_EQ(ToText(list->Item(2)), "t=1");
  EXPECT_EQ(RaisedNumber([&] { list->Add(Variant(int32_t{5})); }),
            kErrTypeMismatch);
  EXPECT_EQ(RaisedNumber([&] { list->Item(0); }), kErrInvalidArgument);
}

TEST(ConfigCatalogueTest, KindsAndNotifications) {
  ExpectCatalogueKinds({
      {"ConfigReader", ClassKind::kCreatable},
      {"ConfigSection", ClassKind::kPublic},
      {"ConfigItemList", ClassKind::kPublic},
      {"ICRAltImpl", ClassKind::kPublic},
      {"IConfigDlgProvider", ClassKind::kPublic},
      {"ConfigScanner", ClassKind::kPrivate},
      {"PSConfigReader", ClassKind::kPrivate},
  });
  EXPECT_EQ(Catalogue::FindByName("ConfigReader")->Info().notifications()->name(),
            "__ConfigReader");
  EXPECT_EQ(Catalogue::FindByName("ConfigReader")->Info().members().size(),
            Catalogue::FindByName("PSConfigReader")->Info().members().size());
}

TEST(ConfigLateBoundTest, ScriptClientLoadsEditsAndSaves) {
  StartLibrary();
  ConfigFiles dir;
  std::string file = dir.MakeFile("s.cfg", "[Motion]\nAxis N=1 Speed=2.5\n");
  LiveObjectCheck leaks;
  {
    Ref<Object> reader = CreateObject("KVLCommon.ConfigReader");
    std::vector<std::string> updates;
    auto sink = MakeRef<DynamicObject>("Client");
    sink->OnMethod("Updated", [&](std::span<Variant> a) {
      updates.push_back(ToText(a[0]) + " " + ToText(a[1]) + " " + ToText(a[2]));
      return Variant();
    });
    sink->OnMethod("NotifyProgress", [](std::span<Variant>) { return Variant(); });
    static_cast<ConfigReader*>(reader.get())->Connect(sink);
    ASSERT_TRUE(ToBool(Call(*reader, "LoadConfigFile", {Variant(file)},
                            CallKind::kGet)));
    Ref<Object> item = ObjectFromVariant<Object>(
        Call(*reader, "SectionItem", {Variant("motion"), Variant(int16_t{1})},
             CallKind::kGet));
    ASSERT_TRUE(item);
    EXPECT_EQ(ToText(Call(*item, "Value", {Variant("speed")}, CallKind::kGet)),
              "2.5");
    Ref<Object> section = ObjectFromVariant<Object>(
        Call(*reader, "SectionDef", {Variant("Motion")}, CallKind::kGet));
    EXPECT_EQ(ToI4(Call(*section, "Count", {}, CallKind::kGet)), 1);
    Ref<Object> walker = section->QueryInterface("ITreeIterator");
    ASSERT_TRUE(walker);
    EXPECT_TRUE(Call(*walker, "FirstItem", {}, CallKind::kGet).AsObject());
    Ref<Object> added = CreateObject("KVLCommon.ParamString");
    Call(*added, "Parse", {Variant("Axis N=2")});
    Call(*reader, "AddItem", {Variant("Motion"), Variant(added)});
    EXPECT_TRUE(ToBool(Call(*reader, "SaveConfigFile", {}, CallKind::kGet)));
    EXPECT_THAT(updates, ElementsAre("2 Motion 2"));
  }
  EXPECT_EQ(leaks.Delta(), 0);
  EXPECT_EQ(ConfigFiles::Read(file),
            "[Motion]\r\nAxis  _\r\n   N=1  _\r\n   Speed=2.5\r\nAxis  _\r\n   N=2\r\n");
}

}  // namespace
}  // namespace kvl

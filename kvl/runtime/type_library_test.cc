// Type libraries: descriptions made from member tables, the JSON form read
// back as written, and files that are not type libraries refused with the
// reason.
#include "kvl/runtime/type_library.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/test_support.h"

namespace kvl {
namespace {

class Sample : public Object {
  KVL_DECLARE_CLASS(Sample)
 public:
  int32_t Add(int32_t a, int32_t b) { return a + b; }
  void Swap(std::string& text) { text = "swapped"; }
  Ref<Sample> Self(Ref<Object>) { return Ref<Sample>(this); }
  int16_t Count() const { return 0; }
  void Clear() {}
};

const ClassInfo& Sample::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Sample>("Sample", ClassKind::kCreatable)
          .Method<&Sample::Add>("Add", {Arg("a"), OptArg("b", int32_t{2})})
          .Method<&Sample::Swap>("Swap", {Arg("text")})
          .Method<&Sample::Self>("Self", {Arg("other")})
          .Get<&Sample::Count>("Count")
          .Method<&Sample::Clear>("Clear")
          .Build();
  return info;
}

std::string TempPath(const std::string& name) {
  // The process id keeps test programs running side by side apart.
  return testing::TempDir() + "type_library_test_" +
         std::to_string(getpid()) + "_" + name;
}

void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string RaisedDescription(const std::string& path) {
  try {
    OpenTypeLibrary(path);
  } catch (const KVLError& e) {
    EXPECT_EQ(e.number(), kTYPE_E_CANTLOADLIBRARY);
    return e.description();
  }
  ADD_FAILURE() << "no failure for " << path;
  return {};
}

TEST(TypeLibraryTest, DescribesMembersFromTheTable) {
  TypeLibInterface i = DescribeInterface(Sample::StaticClass());
  EXPECT_EQ(i.name, "_Sample");
  EXPECT_EQ(i.guid, Sample::StaticClass().iid());
  ASSERT_EQ(i.members.size(), 5u);
  const TypeLibMember& add = i.members[0];
  EXPECT_EQ(add.invoke_kind, 1);
  EXPECT_EQ(add.result.vt, 3);
  ASSERT_EQ(add.params.size(), 2u);
  EXPECT_TRUE(add.params[1].optional && add.params[1].has_default);
  // A by-reference parameter has one level of indirection.
  EXPECT_EQ(i.members[1].params[0].type.vt, 8);
  EXPECT_EQ(i.members[1].params[0].type.indirection, 1);
  EXPECT_EQ(i.members[1].result.vt, kVtVoid);
  // An object of a known class names it; a bare object names nothing.
  EXPECT_EQ(i.members[2].result.ref, "Sample");
  EXPECT_EQ(i.members[2].params[0].type.vt, 9);
  EXPECT_EQ(i.members[2].params[0].type.ref, "");
  EXPECT_EQ(i.members[3].invoke_kind, 2);
}

TEST(TypeLibraryTest, JsonReadsBackAsWritten) {
  TypeLibrary lib;
  lib.name = "Lib";
  lib.guid = LibraryGuid("Lib");
  lib.version = "1.1";
  lib.lcid = 0x409;
  lib.classes.push_back(DescribeClass(Sample::StaticClass()));
  lib.interfaces.push_back(DescribeInterface(Sample::StaticClass()));
  lib.enums.push_back({"E", LibraryGuid("E"), {{"eOne", 1}, {"eTwo", -2}}});
  const std::string text = lib.ToJson();
  const std::string path = TempPath("roundtrip.json");
  WriteFile(path, text);
  TypeLibrary back = OpenTypeLibrary(path);
  EXPECT_EQ(back.ToJson(), text);
  EXPECT_EQ(back.lcid, 0x409);
  ASSERT_EQ(back.classes.size(), 1u);
  EXPECT_EQ(back.classes[0].type_flags, 2u);
  EXPECT_TRUE(back.classes[0].interfaces[0].is_default);
  const TypeLibInterface* sample = back.FindInterface("_SAMPLE");
  ASSERT_NE(sample, nullptr);
  const Variant& b = sample->members[0].params[1].default_value;
  EXPECT_EQ(b.type(), VarType::kI4);
  EXPECT_EQ(ToI4(b), 2);
  EXPECT_EQ(back.enums[0].values[1].value, -2);
}

TEST(TypeLibraryTest, RefusesWhatIsNotATypeLibraryWithTheReason) {
  EXPECT_NE(RaisedDescription(TempPath("missing")).find("cannot be opened"),
            std::string::npos);
  WriteFile(TempPath("text"), "hello");
  EXPECT_NE(RaisedDescription(TempPath("text")).find("not JSON"),
            std::string::npos);
  WriteFile(TempPath("other.json"), R"({"name": "x"})");
  EXPECT_NE(RaisedDescription(TempPath("other.json")).find("\"format\""),
            std::string::npos);
  // Ours, but damaged: the reader names what is wrong.
  WriteFile(TempPath("bad.json"),
            R"({"format": "KVLCommon type library", "formatVersion": 1,
                "name": "L", "guid": "{nope}", "version": "1.1", "lcid": 0,
                "classes": [], "interfaces": []})");
  EXPECT_NE(RaisedDescription(TempPath("bad.json")).find("malformed guid"),
            std::string::npos);
  WriteFile(TempPath("elf"), std::string("\x7f"
                                         "ELF garbage",
                                         11));
  EXPECT_FALSE(RaisedDescription(TempPath("elf")).empty());
}

}  // namespace
}  // namespace kvl

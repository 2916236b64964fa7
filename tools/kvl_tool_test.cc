#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "kvl/factory/activex_factory.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/entry_points.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/type_library.h"
#include "kvl/runtime/variant_convert.h"
#include "tools/kvl_commands.h"

namespace kvl {

// A class of the test program, written the usual way: a Notifier member and
// `.Notifies(...)`. `kvl call --events` must see its notifications.
class WhistleEvents {
 public:
  static const ClassInfo& StaticClass();
  virtual void Tooted(int16_t n) = 0;

 protected:
  ~WhistleEvents() = default;
};

class Whistle : public Object {
  KVL_DECLARE_CLASS(Whistle)
 public:
  int16_t Blow(int16_t times) {
    for (int16_t i = 1; i <= times; ++i)
      events_.Fire<&WhistleEvents::Tooted>("Tooted", i);
    return times;
  }

 private:
  Notifier<WhistleEvents> events_;
};

const ClassInfo& WhistleEvents::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<WhistleEvents>("__Whistle", ClassKind::kNotification)
          .Method<&WhistleEvents::Tooted>("Tooted", {Arg("n")})
          .Build();
  return info;
}

const ClassInfo& Whistle::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Whistle>("Whistle", ClassKind::kCreatable)
          .Method<&Whistle::Blow>("Blow", {Arg("times")})
          .Notifies(&WhistleEvents::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(Whistle)

namespace {

struct ToolResult {
  int code;
  std::string out;
  std::string err;
};

// Runs the tool's commands in this process, capturing both streams.
ToolResult RunKvl(std::vector<std::string> args) {
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  char* out_buf = nullptr;
  char* err_buf = nullptr;
  size_t out_len = 0, err_len = 0;
  std::FILE* out = open_memstream(&out_buf, &out_len);
  std::FILE* err = open_memstream(&err_buf, &err_len);
  int code = RunTool(argv, out, err);
  std::fclose(out);
  std::fclose(err);
  ToolResult r{code, std::string(out_buf, out_len),
               std::string(err_buf, err_len)};
  std::free(out_buf);
  std::free(err_buf);
  return r;
}

// Every type the catalogue knows prints whole, and is found by the name
// clients use: the class, "_X" for its default interface, "__X" for its
// outgoing interface, the interfaces it implements.
TEST(KvlToolTest, EveryCatalogueTypePrintsWhole) {
  size_t printed = 0;
  for (const CatalogueEntry* entry : Catalogue::Entries()) {
    const ClassInfo& info = entry->Info();
    SCOPED_TRACE(info.name());
    std::vector<std::string> names{info.name()};
    if (info.kind() == ClassKind::kGlobal ||
        info.kind() == ClassKind::kCreatable)
      names.push_back("_" + info.name());
    if (info.notifications()) names.push_back(info.notifications()->name());
    for (ClassInfo::InterfaceGetter get : info.interfaces())
      names.push_back(get().name());
    for (const std::string& name : names) {
      ToolResult r = RunKvl({"members", name});
      EXPECT_EQ(r.code, 0) << name << ": " << r.err;
      const ClassInfo& shown = FindPublishedType(name);
      size_t lines =
          static_cast<size_t>(std::count(r.out.begin(), r.out.end(), '\n'));
      EXPECT_EQ(lines, shown.members().size() + shown.constants().size())
          << name;
      ++printed;
    }
  }
  EXPECT_GT(printed, 60u);
  EXPECT_EQ(RunKvl({"members", "_IComparator"}).code, 1);
  EXPECT_THAT(RunKvl({"members", "__Nothing"}).err,
              ::testing::HasSubstr("Unknown class: __Nothing"));
}

// Members whose published form once differed from their signature.
TEST(KvlToolTest, PublishedSignatures) {
  const struct {
    const char* type;
    const char* member;
    CallKind kind;
    const char* signature;
  } kCases[] = {
      {"CEnumVariant", "Attach", CallKind::kMethod,
       "Method Attach(connectA As IVariantWalker)"},
      {"IComparator", "compare", CallKind::kMethod,
       "Method compare(e As IExtractor, o1 As Object, o2 As Object) As "
       "Integer"},
      {"SortedCollection", "Comparator", CallKind::kSet,
       "Set Comparator(Comparator As IComparator)"},
      {"SortedCollection", "Extractor", CallKind::kSet,
       "Set Extractor(Extractor As IExtractor)"},
      {"KVLSrtdClctn", "Comparator", CallKind::kSet,
       "Set Comparator(Comparator As IKVLComparator)"},
      {"KVLSrtdClctn", "KeyExtractor", CallKind::kSet,
       "Set KeyExtractor(KeyExtractor As IKVLKeyExtractor)"},
      {"IKVLObserved", "AddObserver", CallKind::kMethod,
       "Method AddObserver(o As IKVLObserver) As Boolean"},
      {"IKVLObserved", "RemoveObserver", CallKind::kMethod,
       "Method RemoveObserver(o As IKVLObserver) As Boolean"},
      {"IKVLObserved", "Observer", CallKind::kGet,
       "Get Observer(Index As Integer) As IKVLObserver"},
      {"ITreeIterator", "FirstItem", CallKind::kGet,
       "Get FirstItem() As ITreeIterator"},
      {"ITreeIterator", "NextItem", CallKind::kGet,
       "Get NextItem() As ITreeIterator"},
      {"K2OGlobals", "KeyToPointer", CallKind::kMethod,
       "Method KeyToPointer(AKey As String) As IUnknown"},
      {"KVLConstants", "kKVLExceptionString", CallKind::kGet,
       "Get kKVLExceptionString(x As KVLExceptions) As String"},
      {"IKVLCollection", "Add", CallKind::kMethod,
       "Method Add(x As Object, Optional AKey As String, Optional Before As "
       "Integer = 0) As KVLExceptions"},
      {"IKVLDictionary", "Add", CallKind::kMethod,
       "Method Add(k As String, v As Variant) As KVLExceptions"},
      {"IKVLDictionary", "AddAssoc", CallKind::kMethod,
       "Method AddAssoc(a As IKVLAssociation) As KVLExceptions"},
      {"IKVLDictionary", "Remove", CallKind::kMethod,
       "Method Remove(KeyOrIndex As Variant) As KVLExceptions"},
      {"EventBus", "Listen", CallKind::kMethod,
       "Method Listen(ByRef x As Object, ByRef n As String, ByRef quals As "
       "Variant()) As Long"},
      {"EventBus", "CatchTag", CallKind::kMethod,
       "Method CatchTag(ByRef x As Object, ByRef t As String, ByRef n As "
       "String, ByRef quals As Variant()) As Long"},
      {"EventBus", "Send", CallKind::kMethod,
       "Method Send(ByRef n As String, ParamArray params() As Variant)"},
      {"Token", "Dump", CallKind::kMethod, "Method Dump()"},
      {"CVParamItem", "NewEnum", CallKind::kMethod,
       "Method NewEnum() As IEnumVariant"},
      {"IKVLCollection", "NewEnum", CallKind::kMethod,
       "Method NewEnum() As IEnumVariant"},
      {"ParamItem", "DumpItem", CallKind::kMethod,
       "Method DumpItem(Optional Item As ParamItem) As String"},
      {"ParamItem", "ToString", CallKind::kMethod,
       "Method ToString(Optional Item As ParamItem, Optional AsReaderString As "
       "Boolean = False, Optional Indent As Integer = 0) As String"},
      {"ParamItem", "AddList", CallKind::kMethod,
       "Method AddList(Optional Keyword As String) As ParamItem"},
      {"ParamString", "Parse", CallKind::kMethod,
       "Method Parse(Optional sInput As String) As Boolean"},
      {"KVLPath", "GetTempFile", CallKind::kMethod,
       "Method GetTempFile(Optional ByRef Prefix As String, Optional ByRef "
       "PathName As String) As String"},
      {"KVLPath", "GetFullPath", CallKind::kMethod,
       "Method GetFullPath(ByRef sFileName As String, Optional ByRef FilePart "
       "As Long, Optional ByRef ExtPart As Long, Optional ByRef DirPart As "
       "Long) As String"},
      {"KVLTableUtils", "TableAccessor", CallKind::kGet,
       "Get TableAccessor() As ITableAccessor"},
      {"KVLTableIterator", "TableAccessor", CallKind::kSet,
       "Set TableAccessor(TableAccessor As ITableAccessor)"},
      {"__TEventListener", "EventAvailable", CallKind::kMethod,
       "Method EventAvailable(qe As QueuedEvent)"},
  };
  for (const auto& c : kCases) {
    SCOPED_TRACE(std::string(c.type) + "." + c.member);
    const MemberInfo* m = FindPublishedType(c.type).Find(c.member, c.kind);
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(SignatureText(*m), c.signature);
  }
  EXPECT_EQ(FindPublishedType("IKVLObserved")
                .Find("Observer", CallKind::kGet)
                ->dispid,
            0);
}

TEST(KvlToolTest, TokenPublishesTwelveMembersInOrder) {
  std::vector<std::string> members;
  for (const MemberInfo& m : FindPublishedType("Token").members())
    members.push_back(SignatureText(m));
  EXPECT_THAT(
      members,
      ::testing::ElementsAre(
          "Get Kind() As Integer", "Let Kind(Kind As Integer)",
          "Get StartPos() As Integer", "Let StartPos(StartPos As Integer)",
          "Get EndPos() As Integer", "Let EndPos(EndPos As Integer)",
          "Method Dump()", "Get Length() As Integer",
          "Let TokenType(TokenType As Integer)", "Get TokenType() As Integer",
          "Let Value(Value As Variant)", "Get Value() As Variant"));
}

TEST(KvlToolTest, EnumerationsListTheirValues) {
  ToolResult r = RunKvl({"members", "KVLExceptions"});
  EXPECT_THAT(r.out, ::testing::StartsWith("kKVLException_OK = 0\n"
                                           "kKVLExcepton_DanglingReference = "
                                           "10001\n"));
  EXPECT_THAT(RunKvl({"members", "KVLType"}).out,
              ::testing::HasSubstr("ST_String = -32768\n"));
  EXPECT_THAT(RunKvl({"classes"}).out,
              ::testing::HasSubstr("7 KVLCommon.EErrorEnumVariant {"));
}

TEST(KvlToolTest, CallWithEventsPrintsNotificationsBeforeTheResult) {
  ToolResult r = RunKvl({"call", "--events", "KVLCommon.Whistle", "Blow", "2"});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(r.out, "event Tooted(1)\nevent Tooted(2)\n2\n");
  // Without --events the notifications go nowhere.
  EXPECT_EQ(RunKvl({"call", "KVLCommon.Whistle", "Blow", "2"}).out, "2\n");
  // A class without notifications cannot be watched.
  ToolResult plain =
      RunKvl({"call", "--events", "KVLCommon.ParamString", "Parse", "x"});
  EXPECT_EQ(plain.code, 1);
  EXPECT_THAT(plain.err, ::testing::StartsWith("error 438 "));
}

}  // namespace
}  // namespace kvl

namespace kvl {
namespace {

// `kvl typelib` writes what the library exports, and `kvl members
// --methods` prints what the object factory lists for the same interface.
TEST(KvlToolTest, TypelibAndMethodsAreTheFactorysDescriptions) {
  ToolResult typelib = RunKvl({"typelib"});
  ASSERT_EQ(typelib.code, 0) << typelib.err;
  const char* exported = nullptr;
  ASSERT_EQ(DllGetTypeLibraryText(&exported), kS_OK);
  EXPECT_EQ(typelib.out, exported);
  TypeLibrary lib = TypeLibrary::FromJson(typelib.out, "kvl typelib");
  EXPECT_EQ(lib.name, "PXKVLCommon");
  EXPECT_EQ(lib.version, "1.1");
  EXPECT_EQ(lib.lcid, 0x409);

  auto factory = MakeRef<ActiveXFactory>();
  factory->SetFileName(LibraryFilePath());
  std::string listed;
  ForEach(Variant(factory->MethodsForInterface("_ParamString")),
          [&](const Variant& m) {
            listed +=
                ToText(CallByName(*m.AsObject(), "ToString", CallKind::kGet)) +
                "\n";
            return true;
          });
  ToolResult methods = RunKvl({"members", "--methods", "_ParamString"});
  EXPECT_EQ(methods.code, 0) << methods.err;
  EXPECT_EQ(methods.out, listed);
  EXPECT_THAT(
      methods.out,
      ::testing::StartsWith(
          "Function Add(BStr sKeyword,Variant NewValue) As ParamItem\n"));
}

}  // namespace
}  // namespace kvl

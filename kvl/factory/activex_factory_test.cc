// ActiveXFactory and MetaFactory over the library's own type library, read
// from a written file and from libkvlcommon.so itself.
#include "kvl/factory/activex_factory.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "kvl/factory/activex_producer.h"
#include "kvl/factory/meta_factory.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/entry_points.h"
#include "kvl/frame/type_library_export.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/test_support.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

// Each element's text as `member` of it gives it, in order.
std::vector<std::string> Texts(const Ref<Object>& c, const char* member) {
  std::vector<std::string> out;
  ForEach(Variant(c), [&](const Variant& item) {
    out.push_back(ToText(CallByName(*item.AsObject(), member, CallKind::kGet)));
    return true;
  });
  return out;
}

std::vector<std::string> Keys(const Ref<Object>& producers) {
  std::vector<std::string> out;
  ForEach(Variant(producers), [&](const Variant& item) {
    auto& p = static_cast<ActiveXProducer&>(*item.AsObject()->Identity());
    out.push_back(p.ClassName_() + "." + p.InterfaceName());
    return true;
  });
  return out;
}

// A file of this test process's own: test programs run side by side.
std::string TempFile(const std::string& suffix) {
  return testing::TempDir() + "factory_test_" + std::to_string(getpid()) +
         suffix;
}

class ActiveXFactoryTest : public testing::Test {
 protected:
  static std::string WrittenFile() {
    const std::string path = TempFile(".tlb.json");
    std::ofstream(path) << LibraryTypeLibraryText();
    return path;
  }
  static Ref<ActiveXFactory> FactoryFor(const std::string& path) {
    auto f = MakeRef<ActiveXFactory>();
    f->SetFileName(path);
    return f;
  }
  ~ActiveXFactoryTest() override {
    std::remove(TempFile(".tlb.json").c_str());
    std::remove(TempFile("_not.tlb").c_str());
  }
  Ref<ActiveXFactory> from_file_ = FactoryFor(WrittenFile());
  Ref<ActiveXFactory> from_library_ = FactoryFor(LibraryFilePath());
};

TEST_F(ActiveXFactoryTest, FileAndSharedLibraryListTheSameProducers) {
  std::vector<std::string> keys = Keys(from_file_->Producers());
  EXPECT_EQ(keys, Keys(from_library_->Producers()));
  EXPECT_EQ(from_library_->FileName(), LibraryFilePath());
  // One producer per interface a class lists, keyed Class.Interface.
  auto it =
      std::find(keys.begin(), keys.end(), "ActiveXFactory._ActiveXFactory");
  ASSERT_NE(it, keys.end());
  EXPECT_EQ(*++it, "ActiveXFactory.IKVLObjectFactory2");
  EXPECT_EQ(*++it, "ActiveXFactory.IKVLPredicate");
  // Notification interfaces are not produced.
  EXPECT_EQ(std::count(keys.begin(), keys.end(), "MetaFactory.__MetaFactory"),
            0);
}

TEST_F(ActiveXFactoryTest, EveryProducerMakesAWorkingObject) {
  LiveObjectCheck live;
  {
    size_t creatable = 0;
    for (const CatalogueEntry* e : Catalogue::Entries())
      if (e->Info().kind() == ClassKind::kCreatable ||
          e->Info().kind() == ClassKind::kGlobal)
        ++creatable;
    std::vector<std::string> made;
    ForEach(Variant(from_file_->Producers()), [&](const Variant& item) {
      auto& p = static_cast<ActiveXProducer&>(*item.AsObject()->Identity());
      SCOPED_TRACE(p.ClassName_() + "." + p.InterfaceName());
      Ref<Object> o = p.CreateNew();
      EXPECT_NE(o, nullptr);
      if (!o) return true;
      EXPECT_EQ(o->ClassName(), p.ClassName_());
      EXPECT_NE(o->QueryInterface(p.InterfaceName()), nullptr);
      if (made.empty() || made.back() != p.ClassName_())
        made.push_back(p.ClassName_());
      return true;
    });
    EXPECT_EQ(made.size(), creatable);
    // Made through the factory, called by name.
    Ref<Object> ps = from_library_->CreateNew("paramstring", "");
    Variant text[] = {Variant("Job/To/Printer Copies=2")};
    EXPECT_TRUE(ToBool(ps->Invoke("Parse", CallKind::kMethod, text)));
    Variant keyword[] = {Variant("copies")};
    EXPECT_EQ(ToText(ps->Invoke("Value", CallKind::kMethod, keyword)), "2");
  }
  EXPECT_EQ(live.Delta(), 0);
}

TEST_F(ActiveXFactoryTest, FiltersByClassAndByInterface) {
  EXPECT_EQ(Texts(from_file_->InterfacesOf("activexfactory"), "InterfaceName"),
            (std::vector<std::string>{"_ActiveXFactory", "IKVLObjectFactory2",
                                      "IKVLPredicate"}));
  // Leading "_" is ignored on both sides.
  EXPECT_EQ(Texts(from_file_->ImplementorsOf("__ParamString"), "ClassName"),
            (std::vector<std::string>{"ParamString"}));
  std::vector<std::string> factories =
      Texts(from_file_->ImplementorsOf("IKVLObjectFactory2"), "ClassName");
  EXPECT_EQ(factories,
            (std::vector<std::string>{"ActiveXFactory", "MetaFactory"}));
  EXPECT_EQ(Texts(from_file_->InterfacesOf("NoSuchClass"), "ClassName").size(),
            0u);
}

TEST_F(ActiveXFactoryTest, CreateNewChoosesTheInterface) {
  // Empty: the first interface the class lists, its default one.
  Ref<Object> f = from_file_->CreateNew("ActiveXFactory", "");
  EXPECT_EQ(f->Class().name(), "ActiveXFactory");
  Ref<Object> p = from_file_->CreateNew("ActiveXFactory", "ikvlpredicate");
  EXPECT_EQ(p->Class().name(), "IKVLPredicate");
  // Here the name must match as listed, "_" included.
  EXPECT_EQ(from_file_->CreateNew("ActiveXFactory", "ActiveXFactory"), nullptr);
  EXPECT_EQ(from_file_->CreateNew("NoSuchClass", ""), nullptr);
  // Identifiers that are malformed or name no class (neither in the
  // catalogue nor in the registry) make nothing, silently.
  const std::string iid = LibraryGuid("_ParamString").ToString();
  EXPECT_EQ(ActiveXProducer("P", "{bad}", "_P", iid).CreateNew(), nullptr);
  EXPECT_EQ(
      ActiveXProducer("P", LibraryGuid("NoSuchClass").ToString(), "_P", iid)
          .CreateNew(),
      nullptr);
  // A class asked for an interface it does not answer for.
  EXPECT_EQ(
      ActiveXProducer("P", LibraryGuid("KVLCommon.ParamString").ToString(),
                      "_P", LibraryGuid("_EventBus").ToString())
          .CreateNew(),
      nullptr);
}

TEST_F(ActiveXFactoryTest, ListsTheMembersOfParamString) {
  Ref<Object> methods = from_library_->MethodsForInterface("_ParamString");
  ASSERT_NE(methods, nullptr);
  std::vector<std::string> texts = Texts(methods, "ToString");
  ASSERT_EQ(texts.size(), 25u);
  EXPECT_EQ(texts[0],
            "Function Add(BStr sKeyword,Variant NewValue) As ParamItem");
  EXPECT_EQ(texts[1], "Property Get AsParamItem As ParamItem");
  EXPECT_EQ(texts[3], "Property Put Command(BStr Command) As Void");
  EXPECT_EQ(texts[12], "Function RemoveElement(ParamItem p) As Boolean");
  EXPECT_EQ(texts[24], "Function Parse(BStr sInput) As Boolean");
  EXPECT_EQ(Texts(methods, "MethodType")[4], "Property Get");
  EXPECT_EQ(from_library_->MethodsForInterface("NoSuchInterface"), nullptr);
}

TEST_F(ActiveXFactoryTest, AFileThatIsNeitherKeepsTheOldState) {
  const std::string path = TempFile("_not.tlb");
  std::ofstream(path) << "[A]\nnot a type library\n";
  Dl_info libc{};
  ASSERT_NE(dladdr(reinterpret_cast<void*>(&dlopen), &libc), 0);
  for (const std::string& bad : {path, std::string(libc.dli_fname)}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(RaisedNumber([&] { from_file_->SetFileName(bad); }),
              kTYPE_E_CANTLOADLIBRARY);
    EXPECT_EQ(from_file_->FileName(), WrittenFile());
    EXPECT_EQ(Keys(from_file_->Producers()), Keys(from_library_->Producers()));
  }
  // By name, the failure reaches the caller too.
  Variant arg[] = {Variant(path)};
  EXPECT_EQ(RaisedNumber(
                [&] { from_file_->Invoke("FileName", CallKind::kLet, arg); }),
            kTYPE_E_CANTLOADLIBRARY);
}

class MetaFactoryTest : public ActiveXFactoryTest {
 protected:
  MetaFactoryTest() {
    sink_->OnMethod("Problem", [this](std::span<Variant> a) {
      problems_.push_back(ToText(a[0]));
      return Variant();
    });
    meta_->Connect(sink_);
  }
  Ref<MetaFactory> meta_ = MakeRef<MetaFactory>();
  Ref<DynamicObject> sink_ = MakeRef<DynamicObject>("Sink");
  std::vector<std::string> problems_;
};

TEST_F(MetaFactoryTest, RefusesADuplicatePair) {
  EXPECT_TRUE(meta_->Add(from_file_));
  EXPECT_FALSE(meta_->Add(from_library_));
  ASSERT_EQ(problems_.size(), 1u);
  // The first pair of the library names the problem.
  EXPECT_EQ(problems_[0], "Duplicate: ActiveXFactory/_ActiveXFactory");
  EXPECT_EQ(meta_->size(), 1u);
  // An empty factory adds nothing to clash with.
  EXPECT_TRUE(meta_->Add(MakeRef<ActiveXFactory>()));
}

TEST_F(MetaFactoryTest, CombinesFactoriesInOrder) {
  // Nothing added: empty lists, no object.
  EXPECT_EQ(Texts(meta_->Producers(), "ClassName").size(), 0u);
  EXPECT_EQ(meta_->CreateNew("ParamString", ""), nullptr);
  // A late-bound client factory with one producer of its own.
  auto producer = MakeRef<DynamicObject>("Producer");
  producer->On("ClassName", CallKind::kGet,
               [](auto) { return Variant("Mine"); });
  producer->On("InterfaceName", CallKind::kGet,
               [](auto) { return Variant("_Mine"); });
  auto mine = MakeRef<IKVLCollection>();
  mine->Add(producer);
  auto client = MakeRef<DynamicObject>("ClientFactory");
  client->On("Producers", CallKind::kGet, [&](auto) { return Variant(mine); });
  client->On("ImplementorsOf", CallKind::kGet,
             [&](auto) { return Variant(mine); });
  client->On("InterfacesOf", CallKind::kGet,
             [&](auto) { return Variant(mine); });
  client->OnMethod("CreateNew", [&](auto) { return Variant(producer); });
  EXPECT_TRUE(meta_->Add(client));
  EXPECT_TRUE(meta_->Add(from_file_));
  std::vector<std::string> all = Texts(meta_->Producers(), "ClassName");
  EXPECT_EQ(all.size(), 1 + Keys(from_file_->Producers()).size());
  EXPECT_EQ(all[0], "Mine");
  // The first factory that makes something answers.
  EXPECT_EQ(meta_->CreateNew("ParamString", "").get(), producer.get());
  Ref<Object> of_class = meta_->InterfacesOf("Mine");
  EXPECT_NE(
      CallByName(*of_class, "Item", CallKind::kGet, "mine._mine").AsObject(),
      nullptr);
}

}  // namespace
}  // namespace kvl

#include "kvl/factory/activex_factory.h"

#include <string_view>
#include <utility>

#include "kvl/factory/activex_producer.h"
#include "kvl/factory/internal/callers.h"
#include "kvl/factory/kvl_generic.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/ascii.h"

namespace kvl {
namespace {

std::string_view WithoutLeadingUnderscores(std::string_view name) {
  const size_t start = name.find_first_not_of('_');
  return start == std::string_view::npos ? std::string_view()
                                         : name.substr(start);
}

}  // namespace

const ClassInfo& ActiveXFactory::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ActiveXFactory>("ActiveXFactory", ClassKind::kCreatable)
          .Let<&ActiveXFactory::SetFileName>("FileName")
          .Get<&ActiveXFactory::FileName>("FileName")
          .Get<&ActiveXFactory::MethodsForInterface>("MethodsForInterface",
                                                     {Arg("xInterfaceName")})
          .Returns(&IKVLROCollection::StaticClass)
          .Implements(&IKVLObjectFactory2::StaticClass)
          .Implements(&IKVLPredicate::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ActiveXFactory)

ActiveXFactory::ActiveXFactory() : producers_(MakeRef<IKVLCollection>()) {}

void ActiveXFactory::SetFileName(const std::string& name) {
  TypeLibrary opened = OpenTypeLibrary(name);  // raises: nothing changes
  auto producers = MakeRef<IKVLCollection>();
  for (const TypeLibClass& c : opened.classes) {
    for (const TypeLibImplemented& i : c.interfaces) {
      if (i.is_source) continue;
      producers->Add(MakeRef<ActiveXProducer>(c.name, c.guid.ToString(), i.name,
                                              i.guid.ToString()),
                     c.name + "." + i.name);
    }
  }
  library_ = std::move(opened);
  file_name_ = name;
  producers_ = std::move(producers);
}

Ref<Object> ActiveXFactory::Producers() {
  return MakeRef<ReadOnlyCollection>(producers_);
}

Ref<IKVLCollection> ActiveXFactory::Filter(bool by_class,
                                           const std::string& name) {
  filter_by_class_ = by_class;
  filter_name_ = name;
  return InternalInstance<KVLGeneric>().FilterItems(producers_,
                                                    Ref<Object>(this));
}

Ref<Object> ActiveXFactory::ImplementorsOf(const std::string& interface_name) {
  return MakeRef<ReadOnlyCollection>(Filter(false, interface_name));
}

Ref<Object> ActiveXFactory::InterfacesOf(const std::string& class_name) {
  return MakeRef<ReadOnlyCollection>(Filter(true, class_name));
}

bool ActiveXFactory::Predicate(Ref<Object> o) {
  if (!o) return false;
  if (filter_by_class_)
    return EqualsNoCase(internal::ProducerClassName(*o), filter_name_);
  return EqualsNoCase(
      WithoutLeadingUnderscores(internal::ProducerInterfaceName(*o)),
      WithoutLeadingUnderscores(filter_name_));
}

Ref<Object> ActiveXFactory::CreateNew(const std::string& class_name,
                                      const std::string& interface_name) {
  Ref<IKVLCollection> candidates = Filter(true, class_name);
  for (size_t i = 1; i <= candidates->size(); ++i) {
    Ref<Object> producer = candidates->ItemAt(i);
    if (interface_name.empty() ||
        EqualsNoCase(internal::ProducerInterfaceName(*producer),
                     interface_name))
      return static_cast<ActiveXProducer&>(*producer).CreateNew();
  }
  return nullptr;
}

Ref<Object> ActiveXFactory::MethodsForInterface(
    const std::string& interface_name) {
  Ref<IKVLCollection> candidates = Filter(false, interface_name);
  for (size_t i = 1; i <= candidates->size(); ++i) {
    auto& producer = static_cast<ActiveXProducer&>(*candidates->ItemAt(i));
    Ref<IKVLCollection> methods = producer.Methods();
    if (methods && methods->size() > 0)
      return MakeRef<ReadOnlyCollection>(methods);
  }
  return nullptr;
}

}  // namespace kvl

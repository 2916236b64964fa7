#include "kvl/factory/meta_factory.h"

#include <unordered_set>

#include "kvl/collections/collection_interfaces.h"
#include "kvl/collections/keyed_collection.h"
#include "kvl/factory/internal/callers.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/no_case_hash.h"

namespace kvl {
namespace {

// Calls `visit` with each producer (an object) of the collection `c`; a
// null collection has none.
template <class F>
void EachProducer(const Ref<Object>& c, F visit) {
  if (!c) return;
  ForEach(Variant(c), [&](const Variant& item) {
    if (Ref<Object> p = ObjectFromVariant<Object>(item)) visit(p);
    return true;
  });
}

}  // namespace

const ClassInfo& MetaFactoryEvents::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<MetaFactoryEvents>("__MetaFactory", ClassKind::kNotification)
          .Method<&MetaFactoryEvents::Problem>("Problem", {Arg("Description")})
          .Build();
  return info;
}

const ClassInfo& MetaFactory::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<MetaFactory>("MetaFactory", ClassKind::kCreatable)
          .Method<&MetaFactory::Add>(
              "Add", {Arg("f").As(&IKVLObjectFactory2::StaticClass)})
          .Implements(&IKVLObjectFactory2::StaticClass)
          .Notifies(&MetaFactoryEvents::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(MetaFactory)

bool MetaFactory::Add(Ref<Object> f) {
  if (!f) Raise(kErrObjectNotSet);
  std::unordered_set<std::string, NoCaseHash, NoCaseEqual> pairs;
  for (const Ref<Object>& added : factories_)
    EachProducer(internal::FactoryProducers(*added), [&](Ref<Object>& p) {
      pairs.insert(internal::ProducerKey(*p));
    });
  std::string duplicate;
  Ref<Object> producers = internal::FactoryProducers(*f);
  if (producers) {
    ForEach(Variant(producers), [&](const Variant& item) {
      Ref<Object> p = ObjectFromVariant<Object>(item);
      if (!p || !pairs.contains(internal::ProducerKey(*p))) return true;
      duplicate = internal::ProducerClassName(*p) + "/" +
                  internal::ProducerInterfaceName(*p);
      return false;
    });
  }
  if (!duplicate.empty()) {
    events_.Fire<&MetaFactoryEvents::Problem>("Problem",
                                              "Duplicate: " + duplicate);
    return false;
  }
  factories_.push_back(std::move(f));
  return true;
}

Ref<Object> MetaFactory::Producers() {
  auto out = MakeRef<IKVLCollection>();
  for (const Ref<Object>& f : factories_)
    EachProducer(internal::FactoryProducers(*f),
                 [&](Ref<Object>& p) { out->Add(p); });
  return out;
}

Ref<Object> MetaFactory::ImplementorsOf(const std::string& interface_name) {
  auto out = MakeRef<IKVLCollection>();
  for (const Ref<Object>& f : factories_)
    EachProducer(internal::FactoryImplementorsOf(*f, interface_name),
                 [&](Ref<Object>& p) { out->Add(p); });
  return out;
}

Ref<Object> MetaFactory::InterfacesOf(const std::string& class_name) {
  auto out = MakeRef<IKVLCollection>();
  for (const Ref<Object>& f : factories_)
    EachProducer(
        internal::FactoryInterfacesOf(*f, class_name),
        [&](Ref<Object>& p) { out->Add(p, internal::ProducerKey(*p)); });
  return out;
}

Ref<Object> MetaFactory::CreateNew(const std::string& class_name,
                                   const std::string& interface_name) {
  for (const Ref<Object>& f : factories_)
    if (Ref<Object> made =
            internal::FactoryCreateNew(*f, class_name, interface_name))
      return made;
  return nullptr;
}

}  // namespace kvl

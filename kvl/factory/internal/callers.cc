#include "kvl/factory/internal/callers.h"

#include "kvl/collections/collection_interfaces.h"
#include "kvl/factory/factory_interfaces.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl::internal {
bool CallPredicate(Object& p, const Variant& item) {
  if (auto* typed = p.As<IKVLPredicate>())
    return typed->Predicate(ObjectFromVariant<Object>(item));
  return ToBool(CallByName(p, "Predicate", CallKind::kMethod, item));
}

void CallFunction(Object& f, const Variant& item) {
  if (auto* typed = f.As<IKVLFunction>()) {
    typed->AFunction(ObjectFromVariant<Object>(item));
    return;
  }
  CallByName(f, "AFunction", CallKind::kMethod, item);
}

std::string ProducerClassName(Object& producer) {
  if (auto* typed = producer.As<IKVLObjectProducer>())
    return typed->ClassName_();
  return ToText(CallByName(producer, "ClassName", CallKind::kGet));
}

std::string ProducerInterfaceName(Object& producer) {
  if (auto* typed = producer.As<IKVLObjectProducer>())
    return typed->InterfaceName();
  return ToText(CallByName(producer, "InterfaceName", CallKind::kGet));
}

std::string ProducerKey(Object& producer) {
  return ProducerClassName(producer) + "." + ProducerInterfaceName(producer);
}

Ref<Object> FactoryProducers(Object& f) {
  if (auto* typed = f.As<IKVLObjectFactory2>()) return typed->Producers();
  return ObjectFromVariant<Object>(CallByName(f, "Producers", CallKind::kGet));
}

Ref<Object> FactoryImplementorsOf(Object& f, const std::string& name) {
  if (auto* typed = f.As<IKVLObjectFactory2>())
    return typed->ImplementorsOf(name);
  return ObjectFromVariant<Object>(
      CallByName(f, "ImplementorsOf", CallKind::kGet, Variant(name)));
}

Ref<Object> FactoryInterfacesOf(Object& f, const std::string& name) {
  if (auto* typed = f.As<IKVLObjectFactory2>())
    return typed->InterfacesOf(name);
  return ObjectFromVariant<Object>(
      CallByName(f, "InterfacesOf", CallKind::kGet, Variant(name)));
}

Ref<Object> FactoryCreateNew(Object& f, const std::string& class_name,
                             const std::string& interface_name) {
  if (auto* typed = f.As<IKVLObjectFactory2>())
    return typed->CreateNew(class_name, interface_name);
  return ObjectFromVariant<Object>(CallByName(f, "CreateNew", CallKind::kMethod,
                                              Variant(class_name),
                                              Variant(interface_name)));
}

}  // namespace kvl::internal

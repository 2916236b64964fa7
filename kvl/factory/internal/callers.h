// How the factory subsystem reaches objects that may be clients' own:
// through the C++ interface when the object has it, otherwise by member
// name. A failure of the callee propagates to the caller.
#ifndef KVL_FACTORY_INTERNAL_CALLERS_H_
#define KVL_FACTORY_INTERNAL_CALLERS_H_

#include <string>

#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl::internal {

// p.Predicate(item).
bool CallPredicate(Object& p, const Variant& item);
// f.AFunction(item); the result is dropped.
void CallFunction(Object& f, const Variant& item);

// IKVLObjectProducer members.
std::string ProducerClassName(Object& producer);
std::string ProducerInterfaceName(Object& producer);
// producer.ClassName + "." + producer.InterfaceName: the key of a pair.
std::string ProducerKey(Object& producer);

// IKVLObjectFactory2 members; collections are returned as given.
Ref<Object> FactoryProducers(Object& f);
Ref<Object> FactoryImplementorsOf(Object& f, const std::string& name);
Ref<Object> FactoryInterfacesOf(Object& f, const std::string& name);
Ref<Object> FactoryCreateNew(Object& f, const std::string& class_name,
                             const std::string& interface_name);

}  // namespace kvl::internal

#endif  // KVL_FACTORY_INTERNAL_CALLERS_H_

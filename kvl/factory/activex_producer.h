// ActiveXProducer: makes objects of one class answering for one interface,
// as a type library names them: class name and identifier, interface name
// and identifier (identifiers in registry form with braces).
//
// Producers are made by ActiveXFactory and never change. CreateNew goes
// through activation (CreateInstance, type_library_export.h): the
// identifiers are read from their text, then the class is made by the
// catalogue, or by the library the registry names for it, and asked for the
// interface. Any failure gives null; nothing is reported.
//
// Threading: used on the thread that created it; objects it makes belong
// to the calling thread.
//
//   Ref<Object> ps = producer->CreateNew();         // a ParamString
//   Ref<IKVLCollection> methods = producer->Methods();
#ifndef KVL_FACTORY_ACTIVEX_PRODUCER_H_
#define KVL_FACTORY_ACTIVEX_PRODUCER_H_

#include <string>

#include "kvl/collections/keyed_collection.h"
#include "kvl/factory/factory_interfaces.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// Public, not creatable (kind 3); answers for IKVLObjectProducer.
class KVL_EXPORT ActiveXProducer : public Object, public IKVLObjectProducer {
  KVL_DECLARE_CLASS(ActiveXProducer)
 public:
  ActiveXProducer(std::string class_name, std::string class_id,
                  std::string interface_name, std::string interface_id);

  std::string ClassName_() const override { return class_name_; }
  std::string InterfaceName() const override { return interface_name_; }
  Ref<Object> CreateNew() override;

  const std::string& class_id() const { return class_id_; }
  const std::string& interface_id() const { return interface_id_; }

  // The members of the interface of a new object (ActiveXMethod objects,
  // without keys), described from the object itself; null when the object
  // cannot be made. Clears the thread's error record first.
  Ref<IKVLCollection> Methods();

 private:
  std::string class_name_;
  std::string interface_name_;
  std::string class_id_;
  std::string interface_id_;
};

}  // namespace kvl

#endif  // KVL_FACTORY_ACTIVEX_PRODUCER_H_

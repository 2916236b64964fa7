// The interfaces of the object factory, for the library's factories and
// for clients that write their own: a producer of one (class, interface)
// pair (IKVLObjectProducer), a factory of producers (IKVLObjectFactory2)
// and the older factory interface that no class of the library implements
// (IKVLObjectFactory).
//
// Each is a pure C++ interface with the member table of its published
// interface (public, not creatable). The library calls a client's factory
// or producer through the C++ interface when the object has it and
// otherwise by member name (internal/callers.h), so late-bound clients work
// as well. Collections are returned as IKVLROCollection objects.
//
// The C++ name of the published member ClassName is ClassName_, since
// Object::ClassName already names the class of any object.
//
//   class Mine : public Object, public IKVLObjectProducer { ... };
//   meta->Add(Ref<Object>(my_factory));
#ifndef KVL_FACTORY_FACTORY_INTERFACES_H_
#define KVL_FACTORY_FACTORY_INTERFACES_H_

#include <string>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// Makes objects of one class, answering for one interface.
class KVL_EXPORT IKVLObjectProducer {
 public:
  static const ClassInfo& StaticClass();
  virtual std::string ClassName_() const = 0;
  virtual std::string InterfaceName() const = 0;
  // A new object, or null when it cannot be made.
  virtual Ref<Object> CreateNew() = 0;

 protected:
  ~IKVLObjectProducer() = default;
};

// A set of producers, searched by interface or class.
class KVL_EXPORT IKVLObjectFactory2 {
 public:
  static const ClassInfo& StaticClass();
  // Every producer (an IKVLROCollection of IKVLObjectProducer).
  virtual Ref<Object> Producers() = 0;
  // The producers of interface `interface_name`.
  virtual Ref<Object> ImplementorsOf(const std::string& interface_name) = 0;
  // The producers of class `class_name`.
  virtual Ref<Object> InterfacesOf(const std::string& class_name) = 0;
  // An object of `class_name` answering for `interface_name` (any of its
  // interfaces when empty), or null.
  virtual Ref<Object> CreateNew(const std::string& class_name,
                                const std::string& interface_name) = 0;

 protected:
  ~IKVLObjectFactory2() = default;
};

// The older factory interface, kept for clients that implement it.
class KVL_EXPORT IKVLObjectFactory {
 public:
  static const ClassInfo& StaticClass();
  virtual std::string InterfaceNames() = 0;
  virtual std::string ClassNames(const std::string& interface_name) = 0;
  virtual Ref<Object> CreateNew(const std::string& class_name) = 0;

 protected:
  ~IKVLObjectFactory() = default;
};

}  // namespace kvl

#endif  // KVL_FACTORY_FACTORY_INTERFACES_H_

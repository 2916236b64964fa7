// ActiveXFactory: the producers of a type library, one per pair of class
// and interface the library lists, found by class or by interface name;
// objects made through them; the members of an interface described.
//
// Setting FileName opens a type library: a JSON type-library file (`kvl
// typelib` writes the library's own) or a component shared library that
// exports one, such as libkvlcommon.so itself. A file that is neither
// raises kTYPE_E_CANTLOADLIBRARY with the reason and keeps FileName and the
// producers as they were; otherwise all producers are replaced. Producers
// are keyed class name + "." + interface name, in the library's order of
// classes and, within a class, of its interfaces (notification interfaces
// are not produced).
//
// ImplementorsOf(name) compares interface names ignoring case and leading
// "_" (so Foo and _Foo both find _Foo); InterfacesOf(name) compares class
// names ignoring case. Both filter with the factory itself as predicate
// (Predicate reads the filter of the last of them called). Creation fails
// silently: CreateNew and MethodsForInterface give null.
//
// Ownership: the factory holds its producers; returned collections are
// read-only views or new collections the caller owns.
// Threading: used on the thread that created it.
//
//   auto f = MakeRef<ActiveXFactory>();
//   f->SetFileName(LibraryFilePath());
//   Ref<Object> ps = f->CreateNew("ParamString", "");
//   Ref<Object> methods = f->MethodsForInterface("ParamString");
#ifndef KVL_FACTORY_ACTIVEX_FACTORY_H_
#define KVL_FACTORY_ACTIVEX_FACTORY_H_

#include <string>

#include "kvl/collections/collection_interfaces.h"
#include "kvl/collections/keyed_collection.h"
#include "kvl/factory/factory_interfaces.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/type_library.h"

namespace kvl {

// Creatable (kind 2); answers for IKVLObjectFactory2 and IKVLPredicate.
class KVL_EXPORT ActiveXFactory : public Object,
                                  public IKVLObjectFactory2,
                                  public IKVLPredicate {
  KVL_DECLARE_CLASS(ActiveXFactory)
 public:
  ActiveXFactory();

  void SetFileName(const std::string& name);
  const std::string& FileName() const { return file_name_; }
  // The ActiveXMethod descriptions of interface `interface_name` (an
  // IKVLROCollection), from the first of its producers that makes an
  // object; null when none does.
  Ref<Object> MethodsForInterface(const std::string& interface_name);

  Ref<Object> Producers() override;
  Ref<Object> ImplementorsOf(const std::string& interface_name) override;
  Ref<Object> InterfacesOf(const std::string& class_name) override;
  Ref<Object> CreateNew(const std::string& class_name,
                        const std::string& interface_name) override;
  // True when producer `o` matches the current filter.
  bool Predicate(Ref<Object> o) override;

  // The opened type library (empty before FileName is set).
  const TypeLibrary& library() const { return library_; }

 private:
  Ref<IKVLCollection> Filter(bool by_class, const std::string& name);

  std::string file_name_;
  Ref<IKVLCollection> producers_;
  bool filter_by_class_ = false;
  std::string filter_name_;
  TypeLibrary library_;
};

}  // namespace kvl

#endif  // KVL_FACTORY_ACTIVEX_FACTORY_H_

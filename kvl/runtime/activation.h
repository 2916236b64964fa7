// Activation: creating a class of the library knowing only its programmatic
// id, through the per-user registry (registry_store.h), without linking the
// library.
//
// CreateObjectFromRegistry reads the registry, finds the class id of the
// programmatic id and the library registered for that class id, loads the
// library (once per path; it stays loaded), asks its DllGetClassObject for
// the class factory and makes an instance. The caller calls the object
// late-bound with Object::Invoke, which is virtual, so it needs no symbol of
// the library.
//
// Like registry_store.cc, this code uses only inline runtime headers: a
// client links it without the library.
//
// Threading: safe from any thread; the object belongs to the calling thread.
//
//   Ref<Object> c = CreateObjectFromRegistry("KVLCommon.KVLConstants");
//   Variant args[] = {Variant(int32_t{10003})};
//   Variant text = c->Invoke("kKVLExceptionString", CallKind::kGet, args);
#ifndef KVL_RUNTIME_ACTIVATION_H_
#define KVL_RUNTIME_ACTIVATION_H_

#include <string>
#include <string_view>

#include "kvl/runtime/export.h"
#include "kvl/runtime/guid.h"
#include "kvl/runtime/object.h"

namespace kvl {

// Where a programmatic id is registered.
struct KVL_EXPORT RegisteredClass {
  Guid clsid;
  std::string library;  // absolute path of the library
};

// Looks up `progid` (any case) in the registry at `registry_path`; false
// when it or its class id is not registered.
KVL_EXPORT bool LookupClassRegistration(const std::string& registry_path,
                                        std::string_view progid,
                                        RegisteredClass* out);

// A new instance of the class registered as `progid` in the user's registry
// (RegistryStore::DefaultPath()). Raises KVLError kREGDB_E_CLASSNOTREG when
// the class is not registered, kE_FAIL when the library cannot be loaded
// or lacks its entry point, and otherwise the status the library returned.
KVL_EXPORT Ref<Object> CreateObjectFromRegistry(std::string_view progid);

// The same for a class known by its class id: the library registered for
// it is loaded and asked for the class. Raises as above.
KVL_EXPORT Ref<Object> CreateObjectFromRegistry(const Guid& clsid);

}  // namespace kvl

#endif  // KVL_RUNTIME_ACTIVATION_H_

// Catalogue: every class of the library with its type information and the
// function that makes an instance, looked up by programmatic id
// ("KVLCommon.ParamString", any case), by class id or by class name.
//
// Each class registers itself in its own .cc with KVL_REGISTER_CLASS. The
// registration is a static object, so it works in the shared library built
// from object libraries without any central list; nothing is looked up
// until the first query, after static initialisation. A class whose C++
// type has a public default constructor gets a factory; others (abstract
// interfaces) are registered as type information only.
//
// Creation: CreateObject makes a fresh instance of a global (kind 1) or
// creatable (kind 2) class. GlobalObject returns the implicit instance of a
// global class: one per client thread, made on first use and kept until the
// thread ends (or ReleaseGlobalObjects). Both run the library's start-up on
// the calling thread first (library.h).
//
// Threading: registration and lookups are safe from any thread; objects are
// used on the thread that created them.
//
//   // in param_string.cc, at namespace scope inside namespace kvl:
//   KVL_REGISTER_CLASS(ParamString)
//
//   Ref<Object> ps = CreateObject("KVLCommon.ParamString");
//   Ref<Object> constants = GlobalObject("KVLConstants");
#ifndef KVL_FRAME_CATALOGUE_H_
#define KVL_FRAME_CATALOGUE_H_

#include <string_view>
#include <type_traits>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/guid.h"
#include "kvl/runtime/object.h"

namespace kvl {

// Makes a new instance of one class.
using ObjectFactory = Ref<Object> (*)();

struct KVL_EXPORT CatalogueEntry {
  // The class's StaticClass(); called only after static initialisation.
  const ClassInfo& (*info)();
  // Null for classes the catalogue cannot instantiate.
  ObjectFactory create;

  const ClassInfo& Info() const { return info(); }
};

class KVL_EXPORT Catalogue {
 public:
  // Adds a class. Called by KVL_REGISTER_CLASS during static
  // initialisation; `info` must not be called before the first lookup.
  static void Register(const ClassInfo& (*info)(), ObjectFactory create);

  // Every registered class in registration order.
  static std::vector<const CatalogueEntry*> Entries();

  // "KVLCommon.<Class>", ignoring case; null when unknown.
  static const CatalogueEntry* FindByProgId(std::string_view progid);
  // The class name alone ("ParamString"), ignoring case.
  static const CatalogueEntry* FindByName(std::string_view name);
  static const CatalogueEntry* FindByClsid(const Guid& clsid);
  // A programmatic id, or a class id in registry form (braces optional).
  static const CatalogueEntry* Find(std::string_view progid_or_clsid);
};

// A new instance of the global or creatable class named by programmatic id
// or class id text. Raises kREGDB_E_CLASSNOTREG for an unknown class and
// kCLASS_E_CLASSNOTAVAILABLE for a class of another kind.
KVL_EXPORT Ref<Object> CreateObject(std::string_view progid_or_clsid);

// The implicit instance of the global class `name` (class name or
// programmatic id) on this thread: the same object for every call on one
// thread, another object on another thread. Raises like CreateObject; a
// class that is not global is not available.
KVL_EXPORT Ref<Object> GlobalObject(std::string_view name);

// Drops this thread's implicit instances, as a client does when it ends;
// the next GlobalObject call makes a new one.
KVL_EXPORT void ReleaseGlobalObjects();

namespace internal {

template <class C>
Ref<Object> MakeCatalogueInstance() {
  return Ref<Object>(new C());
}

struct KVL_EXPORT ClassRegistration {
  ClassRegistration(const ClassInfo& (*info)(), ObjectFactory create) {
    Catalogue::Register(info, create);
  }
};

template <class C>
constexpr ObjectFactory CatalogueFactoryFor() {
  if constexpr (std::is_default_constructible_v<C> && !std::is_abstract_v<C>) {
    return &MakeCatalogueInstance<C>;
  } else {
    return nullptr;
  }
}

}  // namespace internal

// Registers class `Class` (an unqualified name in the current namespace,
// with a static StaticClass()). Use once, at namespace scope, in the class's
// .cc file.
#define KVL_REGISTER_CLASS(Class)                                  \
  [[maybe_unused]] static const ::kvl::internal::ClassRegistration \
      kvl_class_registration_##Class(                              \
          &Class::StaticClass, ::kvl::internal::CatalogueFactoryFor<Class>());

// Registers the enumeration table of enum `E` (declared with
// KVL_DECLARE_ENUM), as a type-library entry without factory. Use once, at
// namespace scope, in the .cc that defines KvlEnumInfo(E).
#define KVL_REGISTER_ENUM(E)                                             \
  [[maybe_unused]] static const ::kvl::internal::ClassRegistration       \
      kvl_enum_registration_##E(                                         \
          +[]() -> const ::kvl::ClassInfo& { return KvlEnumInfo(E{}); }, \
          nullptr);

}  // namespace kvl

#endif  // KVL_FRAME_CATALOGUE_H_

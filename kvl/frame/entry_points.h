// The functions the library exports for loaders that know it only by
// path: class factories, the unload test, self-registration in the
// per-user registry (docs/registry.md) and the type library.
//
// They are extern "C", never throw, and return 32-bit statuses (error.h);
// a failure also leaves the caller's error record (SetErrorRecord).
// DllGetClassObject runs the library's start-up on the calling thread.
//
// Ownership: DllGetClassObject stores an IClassFactory* holding one
// reference; the caller releases it through ClassFactoryRef
// (class_factory.h) or Owner()->Release().
//
//   void* raw = nullptr;
//   Guid clsid = KVLConstants::StaticClass().clsid();
//   if (DllGetClassObject(&clsid, &kIID_IClassFactory, &raw) == kS_OK) {
//     ClassFactoryRef factory = ClassFactoryRef::Adopt(raw);
//     ...
//   }
#ifndef KVL_FRAME_ENTRY_POINTS_H_
#define KVL_FRAME_ENTRY_POINTS_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "kvl/runtime/export.h"
#include "kvl/runtime/guid.h"

namespace kvl {

// The type library entry that registration writes.
inline constexpr std::string_view kTypeLibName = "PXKVLCommon";
inline constexpr std::string_view kTypeLibVersion = "1.1";
inline Guid TypeLibId() {
  return LibraryGuid(kTypeLibName);
}

// The absolute path of the loaded library file.
KVL_EXPORT std::string LibraryFilePath();

}  // namespace kvl

extern "C" {

// The class factory of a global or creatable class. `iid` may be null,
// kIID_IUnknown or kIID_IClassFactory. Statuses: kS_OK; kE_POINTER for a
// null `clsid` or `out`; kE_NOINTERFACE for another `iid`;
// kCLASS_E_CLASSNOTAVAILABLE for an unknown class or one of another kind.
KVL_EXPORT int32_t DllGetClassObject(const kvl::Guid* clsid,
                                     const kvl::Guid* iid, void** out);

// kS_OK when no object of the library is alive apart from the library's own
// start-up state, no factory is held and none is locked; kS_FALSE otherwise.
KVL_EXPORT int32_t DllCanUnloadNow();

// Writes every global and creatable class (by class id and programmatic id)
// and the type library into the user's registry, keeping other entries.
KVL_EXPORT int32_t DllRegisterServer();

// Removes exactly the entries DllRegisterServer writes.
KVL_EXPORT int32_t DllUnregisterServer();

// The library's type library as JSON text (docs/type-library.md,
// type_library_export.h), owned by the library and valid while it is
// loaded. kS_OK; kE_POINTER for a null `json`.
KVL_EXPORT int32_t DllGetTypeLibraryText(const char** json);

}  // extern "C"

#endif  // KVL_FRAME_ENTRY_POINTS_H_

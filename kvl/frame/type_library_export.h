// The library's own type library, PXKVLCommon 1.1 (locale 0x409), built
// from the member tables of the catalogue: every global and creatable class
// with its interfaces, every interface the catalogue names (default
// interfaces, interfaces for others to implement, objects the library hands
// out, notification interfaces), and every enumeration. `kvl typelib`
// writes it; the library exports it to loaders through
// DllGetTypeLibraryText (entry_points.h), so that OpenTypeLibrary
// (type_library.h) accepts the path of libkvlcommon.so as a type library.
//
// Threading: built once, on first use, and immutable afterwards; safe from
// any thread.
//
//   std::fputs(LibraryTypeLibraryText().c_str(), stdout);
#ifndef KVL_FRAME_TYPE_LIBRARY_EXPORT_H_
#define KVL_FRAME_TYPE_LIBRARY_EXPORT_H_

#include <cstdint>
#include <string>

#include "kvl/runtime/export.h"
#include "kvl/runtime/guid.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/type_library.h"

namespace kvl {

inline constexpr int32_t kTypeLibLocale = 0x409;

KVL_EXPORT const TypeLibrary& LibraryTypeLibrary();
// Its JSON form.
KVL_EXPORT const std::string& LibraryTypeLibraryText();

// A new object of the class `clsid`, answering for interface `iid`: made
// by the catalogue when the class is one of ours, else by the library the
// registry names for it. Raises kREGDB_E_CLASSNOTREG for an unknown class,
// kE_NOINTERFACE when the object does not answer for `iid`, and whatever
// the creation raised.
KVL_EXPORT Ref<Object> CreateInstance(const Guid& clsid, const Guid& iid);

}  // namespace kvl

#endif  // KVL_FRAME_TYPE_LIBRARY_EXPORT_H_

// The per-thread store behind GlobalObject: the implicit instances of global
// classes that library.cc keeps with the rest of the thread's library state,
// so that they are released first when the thread ends.
#ifndef KVL_FRAME_INTERNAL_THREAD_LIBRARY_H_
#define KVL_FRAME_INTERNAL_THREAD_LIBRARY_H_

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/object.h"

namespace kvl::internal {

// This thread's implicit instance of `entry`, or null.
Ref<Object> FindImplicitInstance(const CatalogueEntry* entry);
// Keeps `object` as the implicit instance of `entry` unless one was kept
// meanwhile; returns the kept instance.
Ref<Object> KeepImplicitInstance(const CatalogueEntry* entry,
                                 Ref<Object> object);
void ClearImplicitInstances();

}  // namespace kvl::internal

#endif  // KVL_FRAME_INTERNAL_THREAD_LIBRARY_H_

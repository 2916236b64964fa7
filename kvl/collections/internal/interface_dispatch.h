// Late-bound calls on a class whose members live in the interfaces it
// implements (KVLSrtdClctn answers for IKVLCollection, K2OByPointer for
// IKeyToObject, TreeProxy for IKVLTree): a call by name that the class's
// own table does not answer goes to the first implemented interface that
// has the member, so such objects can be called by name, and walked with
// ForEach, without switching interfaces first.
#ifndef KVL_COLLECTIONS_INTERNAL_INTERFACE_DISPATCH_H_
#define KVL_COLLECTIONS_INTERNAL_INTERFACE_DISPATCH_H_

#include <span>
#include <string_view>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl::internal {

// Calls `name` on `self` through its own table, else through the first
// interface of its class that has a member answering `kind`; raises as
// Object::Invoke when none has.
Variant InvokeWithInterfaces(Object& self, std::string_view name, CallKind kind,
                             std::span<Variant> args);

}  // namespace kvl::internal

#endif  // KVL_COLLECTIONS_INTERNAL_INTERFACE_DISPATCH_H_

// The small classes of the library frame: KVLCommonGlobal (the
// initialisation hook), KVLGlobalTypes (a global class without members that
// carries the shared enumerations) and IKVLCleanup (a private interface
// whose own implementation does nothing).
//
// None of them has state; creating and releasing them does nothing.
//
//   Ref<Object> hook = GlobalObject("KVLCommonGlobal");
//   CallByName(*hook, "KVLCommonInit", CallKind::kMethod);   // no effect
#ifndef KVL_FRAME_FRAME_CLASSES_H_
#define KVL_FRAME_FRAME_CLASSES_H_

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// Global class (kind 1).
class KVL_EXPORT KVLCommonGlobal : public Object {
  KVL_DECLARE_CLASS(KVLCommonGlobal)
 public:
  // The library's initialisation hook: does nothing; may be called any
  // number of times.
  void KVLCommonInit() {}
};

// Global class (kind 1) without members.
class KVL_EXPORT KVLGlobalTypes : public Object {
  KVL_DECLARE_CLASS(KVLGlobalTypes)
};

// Private class (kind 4): not reachable by clients.
class KVL_EXPORT IKVLCleanup : public Object {
  KVL_DECLARE_CLASS(IKVLCleanup)
 public:
  // Both functions return false; Terminate does nothing.
  virtual bool Initialize() { return false; }
  virtual void Terminate() {}
  virtual bool IsActive() { return false; }
};

}  // namespace kvl

#endif  // KVL_FRAME_FRAME_CLASSES_H_

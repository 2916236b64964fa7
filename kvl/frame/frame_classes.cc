#include "kvl/frame/frame_classes.h"

#include "kvl/frame/catalogue.h"

namespace kvl {

const ClassInfo& KVLCommonGlobal::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLCommonGlobal>("KVLCommonGlobal", ClassKind::kGlobal)
          .Method<&KVLCommonGlobal::KVLCommonInit>("KVLCommonInit")
          .Build();
  return info;
}

const ClassInfo& KVLGlobalTypes::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLGlobalTypes>("KVLGlobalTypes", ClassKind::kGlobal)
          .Build();
  return info;
}

const ClassInfo& IKVLCleanup::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLCleanup>("IKVLCleanup", ClassKind::kPrivate)
          .Method<&IKVLCleanup::Initialize>("Initialize")
          .Method<&IKVLCleanup::Terminate>("Terminate")
          .Method<&IKVLCleanup::IsActive>("IsActive")
          .Build();
  return info;
}

KVL_REGISTER_CLASS(KVLCommonGlobal)
KVL_REGISTER_CLASS(KVLGlobalTypes)
KVL_REGISTER_CLASS(IKVLCleanup)

}  // namespace kvl

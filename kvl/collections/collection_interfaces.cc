#include "kvl/collections/collection_interfaces.h"

#include "kvl/frame/catalogue.h"

namespace kvl {

const ClassInfo& IKVLROCollection::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLROCollection>("IKVLROCollection", ClassKind::kPublic)
          .Get<&IKVLROCollection::Count>("Count")
          .Get<&IKVLROCollection::Item>("Item", {Arg("IndexOrKey")})
          .Method<&IKVLROCollection::NewEnum>("NewEnum")
          .Build();
  return info;
}

const ClassInfo& IKVLComparator::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLComparator>("IKVLComparator", ClassKind::kPublic)
          .Method<&IKVLComparator::compare>("compare", {Arg("o1"), Arg("o2")})
          .Build();
  return info;
}

const ClassInfo& IKVLKeyExtractor::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLKeyExtractor>("IKVLKeyExtractor", ClassKind::kPublic)
          .Method<&IKVLKeyExtractor::Key>("Key", {Arg("o")})
          .Build();
  return info;
}

const ClassInfo& IKVLKeyed::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLKeyed>("IKVLKeyed", ClassKind::kPublic)
          .Method<&IKVLKeyed::Key>("Key")
          .Build();
  return info;
}

const ClassInfo& IKVLPredicate::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLPredicate>("IKVLPredicate", ClassKind::kPublic)
          .Method<&IKVLPredicate::Predicate>("Predicate", {Arg("o")})
          .Build();
  return info;
}

const ClassInfo& IKVLFunction::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLFunction>("IKVLFunction", ClassKind::kPublic)
          .Method<&IKVLFunction::AFunction>("AFunction", {Arg("o")})
          .Build();
  return info;
}

KVL_REGISTER_CLASS(IKVLROCollection)
KVL_REGISTER_CLASS(IKVLComparator)
KVL_REGISTER_CLASS(IKVLKeyExtractor)
KVL_REGISTER_CLASS(IKVLKeyed)
KVL_REGISTER_CLASS(IKVLPredicate)
KVL_REGISTER_CLASS(IKVLFunction)

}  // namespace kvl

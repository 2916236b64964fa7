#include "kvl/collections/dictionary.h"

#include <utility>
#include <vector>

#include "kvl/collections/internal/index_or_key.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/error.h"

namespace kvl {

const ClassInfo& IKVLAssociation::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLAssociation>("IKVLAssociation", ClassKind::kCreatable)
          .Let<&IKVLAssociation::SetKey>("Key")
          .Get<&IKVLAssociation::Key>("Key")
          .Let<&IKVLAssociation::SetValue>("Value")
          .Set<&IKVLAssociation::SetValueRef>("Value")
          .Get<&IKVLAssociation::Value>("Value")
          .Build();
  return info;
}

const ClassInfo& IKVLDictionary::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLDictionary>("IKVLDictionary", ClassKind::kCreatable)
          .Method<&IKVLDictionary::Add>("Add", {Arg("k"), Arg("v")})
          .Method<&IKVLDictionary::AddAssoc>("AddAssoc", {Arg("a")})
          .Get<&IKVLDictionary::Item>("Item", {Arg("KeyOrIndex")})
          .Get<&IKVLDictionary::Value>("Value", {Arg("KeyOrIndex")})
          .Method<&IKVLDictionary::Remove>("Remove", {Arg("KeyOrIndex")})
          .Get<&IKVLDictionary::Count>("Count")
          .Method<&IKVLDictionary::NewEnum>("NewEnum")
          .Build();
  return info;
}

KVL_REGISTER_CLASS(IKVLAssociation)
KVL_REGISTER_CLASS(IKVLDictionary)

void IKVLAssociation::SetValueRef(Ref<Object> value) {
  value_ = Variant(value);
}

KVLExceptions IKVLDictionary::Add(const std::string& k, const Variant& v) {
  return AddAssoc(MakeRef<IKVLAssociation>(k, v));
}

KVLExceptions IKVLDictionary::AddAssoc(Ref<IKVLAssociation> a) {
  if (!a) Raise(kErrObjectNotSet);
  std::string key = a->Key();
  return store_.Add(std::move(a), key) ? kKVLException_OK
                                       : kKVLException_DuplicateItem;
}

Ref<IKVLAssociation> IKVLDictionary::Item(const Variant& key_or_index) const {
  const auto* e = internal::LookupEntry(store_, key_or_index);
  return e ? e->value : nullptr;
}

Variant IKVLDictionary::Value(const Variant& key_or_index) const {
  const auto* e = internal::LookupEntry(store_, key_or_index);
  return e && e->value ? e->value->Value() : Variant();
}

KVLExceptions IKVLDictionary::Remove(const Variant& key_or_index) {
  return internal::TakeEntry(store_, key_or_index) ? kKVLException_OK
                                                   : kKVLException_ItemNotFound;
}

int16_t IKVLDictionary::Count() const {
  return CheckedCast<int16_t>(store_.size());
}

Ref<Object> IKVLDictionary::NewEnum() const {
  std::vector<Variant> items;
  items.reserve(store_.size());
  for (const auto& e : store_) items.emplace_back(e.value);
  return MakeRef<VectorEnumerator>(std::move(items));
}

}  // namespace kvl

#include "kvl/collections/keyed_collection.h"

#include <utility>
#include <vector>

#include "kvl/collections/internal/index_or_key.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/enum_variant.h"

namespace kvl {

const ClassInfo& IKVLCollection::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLCollection>("IKVLCollection", ClassKind::kCreatable)
          .Get<&IKVLCollection::Count>("Count")
          .Get<&IKVLCollection::Item>("Item", {Arg("IndexOrKey")})
          .Method<&IKVLCollection::Add>(
              "Add", {Arg("x"), OptArg("AKey"), OptArg("Before", int16_t{0})})
          .Method<&IKVLCollection::Remove>("Remove", {Arg("IndexOrKey")})
          .Method<&IKVLCollection::Clear>("Clear")
          .Method<&IKVLCollection::NewEnum>("NewEnum")
          .Implements(&IKVLROCollection::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(IKVLCollection)

int16_t IKVLCollection::Count() const {
  return CheckedCast<int16_t>(store_.size());
}

Ref<Object> IKVLCollection::Item(const Variant& index_or_key) const {
  const Store::Entry* e = internal::LookupEntry(store_, index_or_key);
  return e ? e->value : nullptr;
}

KVLExceptions IKVLCollection::DoAdd(Ref<Object> x, const std::string& key,
                                    int16_t before) {
  bool added =
      before >= 1 && static_cast<size_t>(before) <= store_.size()
          ? store_.AddBefore(static_cast<size_t>(before), std::move(x), key)
          : store_.Add(std::move(x), key);
  return added ? kKVLException_OK : kKVLException_DuplicateItem;
}

KVLExceptions IKVLCollection::Remove(const Variant& index_or_key) {
  return internal::TakeEntry(store_, index_or_key) ? kKVLException_OK
                                                   : kKVLException_ItemNotFound;
}

void IKVLCollection::Clear() {
  store_.Clear();
}

Ref<Object> IKVLCollection::NewEnum() const {
  std::vector<Variant> items;
  items.reserve(store_.size());
  for (const Store::Entry& e : store_) items.emplace_back(e.value);
  return MakeRef<VectorEnumerator>(std::move(items));
}

Ref<Object> IKVLCollection::ItemAt(size_t position) const {
  const Ref<Object>* x = store_.At(position);
  return x ? *x : nullptr;
}

Ref<Object> IKVLCollection::ItemByKey(std::string_view key) const {
  const Ref<Object>* x = store_.Find(key);
  return x ? *x : nullptr;
}

KVLExceptions IKVLCollection::RemoveKey(std::string_view key) {
  return store_.Remove(key) ? kKVLException_OK : kKVLException_ItemNotFound;
}

}  // namespace kvl

#include "kvl/collections/observed.h"

#include <utility>
#include <vector>

#include "kvl/collections/object_keys.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/enum_variant.h"

namespace kvl {

const ClassInfo& IKVLObserver::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLObserver>("IKVLObserver", ClassKind::kPublic)
          .Method<&IKVLObserver::NotifyHandler>("NotifyHandler",
                                                {Arg("o"), Arg("s")})
          .Build();
  return info;
}

const ClassInfo& IKVLObserved::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLObserved>("IKVLObserved", ClassKind::kCreatable)
          .Method<&IKVLObserved::AddObserver>(
              "AddObserver", {Arg("o").As(&IKVLObserver::StaticClass)})
          .Method<&IKVLObserved::RemoveObserver>(
              "RemoveObserver", {Arg("o").As(&IKVLObserver::StaticClass)})
          .Method<&IKVLObserved::ClearObservers>("ClearObservers")
          .Get<&IKVLObserved::ObserverCount>("ObserverCount")
          .Get<&IKVLObserved::Observer>("Observer", {Arg("Index")})
          .Returns(&IKVLObserver::StaticClass)
          .Default()
          .Method<&IKVLObserved::NewEnum>("NewEnum")
          .Build();
  return info;
}

KVL_REGISTER_CLASS(IKVLObserver)
KVL_REGISTER_CLASS(IKVLObserved)

bool IKVLObserved::AddObserver(Ref<Object> o) {
  if (!o) return false;
  std::string key = ObjectKey(o.get());
  std::string stored = key;
  return keys_.Add(std::move(stored), key);
}

bool IKVLObserved::RemoveObserver(Ref<Object> o) {
  return o && keys_.Remove(ObjectKey(o.get()));
}

int16_t IKVLObserved::ObserverCount() const {
  return CheckedCast<int16_t>(keys_.size());
}

Ref<Object> IKVLObserved::Observer(int16_t index) const {
  const std::string* key =
      index >= 1 ? keys_.At(static_cast<size_t>(index)) : nullptr;
  return key ? ObjectFromKey(*key) : nullptr;
}

Ref<Object> IKVLObserved::NewEnum() const {
  std::vector<Variant> keys;
  keys.reserve(keys_.size());
  for (const auto& e : keys_) keys.emplace_back(e.value);
  return MakeRef<VectorEnumerator>(std::move(keys));
}

}  // namespace kvl

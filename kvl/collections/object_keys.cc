#include "kvl/collections/object_keys.h"

#include <charconv>
#include <cstdint>
#include <mutex>
#include <unordered_map>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/weak_ref.h"

namespace kvl {
namespace {

// The objects that have keys. A key's number is the object's address when
// no object that had a key lived at that address before; otherwise it is a
// negative number never given out before, so that no key of an ended
// object ever names another one.
class KeyRegistry {
 public:
  static KeyRegistry& Get() {
    static KeyRegistry* registry = new KeyRegistry;  // never destroyed
    return *registry;
  }

  // The key number of `identity`, which the caller keeps alive.
  int64_t KeyOf(Object* identity) {
    const auto address =
        static_cast<int64_t>(reinterpret_cast<intptr_t>(identity));
    std::lock_guard<std::mutex> lock(mu_);
    auto [last, first_at_address] = last_key_at_.try_emplace(address, address);
    if (!first_at_address) {
      auto it = objects_.find(last->second);
      // A live object at this address can only be `identity` itself.
      if (it != objects_.end() && it->second.Lock()) return last->second;
      last->second = --last_reused_;
    }
    objects_.insert_or_assign(last->second, WeakRef<Object>(identity));
    if (objects_.size() >= next_sweep_) Sweep();
    return last->second;
  }

  // A new reference to the live object with key number `key`, or null.
  Ref<Object> Find(int64_t key) {
    std::lock_guard<std::mutex> lock(mu_);
    auto it = objects_.find(key);
    return it == objects_.end() ? nullptr : it->second.Lock();
  }

 private:
  // Forgets ended objects once the table has doubled since the last sweep,
  // so that keys of ended objects cost amortised constant time.
  void Sweep() {
    std::erase_if(objects_, [](const auto& entry) {
      return entry.second.expired();
    });
    next_sweep_ = 2 * objects_.size() + 64;
  }

  std::mutex mu_;
  std::unordered_map<int64_t, WeakRef<Object>> objects_;
  // Per address, the key of the last object there that had one.
  std::unordered_map<int64_t, int64_t> last_key_at_;
  int64_t last_reused_ = 0;
  size_t next_sweep_ = 64;
};

// Called by name the argument Variant holds a reference of its own to the
// object it names; that one is the call's, not the object's.
Variant ObjGetRefCountByName(Object&, std::span<Variant> args) {
  const Variant& x = args[0];
  if (x.is_empty() || x.is_nothing()) return Variant(int32_t{-1});
  if (!x.is_object()) Raise(kErrTypeMismatch);
  Object* held = x.AsObject();
  Object* identity = held->Identity();
  int32_t count = identity->RefCount();
  if (held == identity) --count;
  return Variant(count);
}

}  // namespace

std::string ObjectKey(Object* object) {
  if (!object) return "X0";
  // Written with to_chars: GCC 12 at -O3 warns falsely (restrict) on
  // "X" + std::to_string(...), which fails the Release build.
  char text[24] = {'X'};
  const int64_t key = KeyRegistry::Get().KeyOf(object->Identity());
  char* end = std::to_chars(text + 1, text + sizeof text, key).ptr;
  return std::string(text, end);
}

Ref<Object> ObjectFromKey(std::string_view key) {
  if (key.size() < 2 || (key[0] != 'X' && key[0] != 'x')) return nullptr;
  std::string_view digits = key.substr(1);
  const size_t first = digits[0] == '-' ? 1 : 0;
  if (digits.size() == first) return nullptr;
  for (size_t i = first; i < digits.size(); ++i)
    if (digits[i] < '0' || digits[i] > '9') return nullptr;
  int64_t number = 0;
  auto [end, ec] =
      std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc() || end != digits.data() + digits.size()) return nullptr;
  return KeyRegistry::Get().Find(number);
}

int32_t K2OGlobals::ObjGetRefCount(const Object* x) const {
  if (!x) return -1;
  return const_cast<Object*>(x)->Identity()->RefCount();
}

const ClassInfo& IKeyToObject::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKeyToObject>("IKeyToObject", ClassKind::kPublic)
          .Get<&IKeyToObject::KeyToObject>("KeyToObject", {Arg("AKey")})
          .Get<&IKeyToObject::ObjectToKey>("ObjectToKey", {Arg("anObject")})
          .Set<&IKeyToObject::SetContextRef>("Context")
          .Get<&IKeyToObject::Context>("Context")
          .Build();
  return info;
}

const ClassInfo& K2OGlobals::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<K2OGlobals>("K2OGlobals", ClassKind::kGlobal)
          .Method<&K2OGlobals::KeyToPointer>("KeyToPointer", {Arg("AKey")})
          .Returns(VarType::kUnknown)
          .Method<&K2OGlobals::PointerToKey>("PointerToKey", {Arg("anObject")})
          .Custom(CustomMember("ObjGetRefCount", CallKind::kMethod,
                               {Arg("x").Of(VarType::kObject)}, VarType::kI4,
                               &ObjGetRefCountByName))
          .Build();
  return info;
}

const ClassInfo& K2OByPointer::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<K2OByPointer>("K2OByPointer", ClassKind::kCreatable)
          .Implements(&IKeyToObject::StaticClass)
          .Build();
  return info;
}

KVL_REGISTER_CLASS(IKeyToObject)
KVL_REGISTER_CLASS(K2OGlobals)
KVL_REGISTER_CLASS(K2OByPointer)

}  // namespace kvl

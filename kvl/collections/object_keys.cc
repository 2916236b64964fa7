#include "kvl/collections/object_keys.h"

#include <charconv>
#include <cstdint>

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/error.h"

namespace kvl {
namespace {

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
  Object* identity = object->Identity();
  identity->Track();
  return "X" + std::to_string(
                   static_cast<int64_t>(reinterpret_cast<intptr_t>(identity)));
}

Ref<Object> ObjectFromKey(std::string_view key) {
  if (key.size() < 2 || (key[0] != 'X' && key[0] != 'x')) return nullptr;
  std::string_view digits = key.substr(1);
  const size_t first = digits[0] == '-' ? 1 : 0;
  if (digits.size() == first) return nullptr;
  for (size_t i = first; i < digits.size(); ++i)
    if (digits[i] < '0' || digits[i] > '9') return nullptr;
  int64_t address = 0;
  auto [end, ec] =
      std::from_chars(digits.data(), digits.data() + digits.size(), address);
  if (ec != std::errc() || end != digits.data() + digits.size()) return nullptr;
  return Ref<Object>(
      Object::FindLive(static_cast<uintptr_t>(static_cast<intptr_t>(address))));
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

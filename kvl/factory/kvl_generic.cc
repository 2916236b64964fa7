#include "kvl/factory/kvl_generic.h"

#include <optional>

#include "kvl/collections/collection_interfaces.h"
#include "kvl/collections/dictionary.h"
#include "kvl/collections/observed.h"
#include "kvl/factory/internal/callers.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/com_globals.h"
#include "kvl/runtime/client_call.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

Object& Required(const Ref<Object>& o) {
  if (!o) Raise(kErrObjectNotSet);
  return *o;
}

// Numbers, booleans and dates compare by value.
bool IsValueKind(VarType t) {
  return IsNumberType(t) || t == VarType::kBool || t == VarType::kDate;
}

}  // namespace

bool ValuesEqualText(const Variant& a, const Variant& b) {
  if (a.is_null() || b.is_null() || a.is_array() || b.is_array()) return false;
  if (a.is_object() || b.is_object()) {
    if (!a.is_object() || !b.is_object()) return false;
    Object* x = a.AsObject();
    Object* y = b.AsObject();
    if (!x || !y) return x == y;
    return x->Identity() == y->Identity();
  }
  if (a.is_empty() && b.is_empty()) return true;
  if (a.is_string() || b.is_string()) {
    if (a.is_empty() || b.is_empty() || (a.is_string() && b.is_string()))
      return EqualsNoCase(ToText(a), ToText(b));
    return false;  // a number against a text
  }
  if ((a.is_empty() || IsValueKind(a.type())) &&
      (b.is_empty() || IsValueKind(b.type())))
    return ToR8(a) == ToR8(b);
  return false;
}

const ClassInfo& KVLGeneric::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLGeneric>("KVLGeneric", ClassKind::kGlobal)
          .Method<&KVLGeneric::FilterItems>(
              "FilterItems", {Arg("c").As(&IKVLROCollection::StaticClass),
                              Arg("p").As(&IKVLPredicate::StaticClass)})
          .Method<&KVLGeneric::ApplyFunction>(
              "ApplyFunction", {Arg("c").As(&IKVLROCollection::StaticClass),
                                Arg("f").As(&IKVLFunction::StaticClass)})
          .Method<&KVLGeneric::ApplyFilteredFunction>(
              "ApplyFilteredFunction",
              {Arg("c").As(&IKVLROCollection::StaticClass),
               Arg("p").As(&IKVLPredicate::StaticClass),
               Arg("f").As(&IKVLFunction::StaticClass)})
          .Method<&KVLGeneric::NotifyObservers>(
              "NotifyObservers",
              {Arg("x").As(&IKVLObserved::StaticClass), Arg("s")})
          .Method<&KVLGeneric::KeyForValue>(
              "KeyForValue",
              {Arg("d").As(&IKVLDictionary::StaticClass), Arg("v")})
          .Method<&KVLGeneric::MakeUniqueKey>("MakeUniqueKey")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(KVLGeneric)

Ref<IKVLCollection> KVLGeneric::FilterItems(Ref<Object> c, Ref<Object> p) {
  Object& predicate = Required(p);
  auto out = MakeRef<IKVLCollection>();
  ForEach(Variant(c), [&](const Variant& item) {
    if (internal::CallPredicate(predicate, item))
      out->Add(ObjectFromVariant<Object>(item));
    return true;
  });
  return out;
}

void KVLGeneric::ApplyFunction(Ref<Object> c, Ref<Object> f) {
  Object& function = Required(f);
  ForEach(Variant(c), [&](const Variant& item) {
    internal::CallFunction(function, item);
    return true;
  });
}

void KVLGeneric::ApplyFilteredFunction(Ref<Object> c, Ref<Object> p,
                                       Ref<Object> f) {
  Object& predicate = Required(p);
  Object& function = Required(f);
  ForEach(Variant(c), [&](const Variant& item) {
    if (internal::CallPredicate(predicate, item))
      internal::CallFunction(function, item);
    return true;
  });
}

void KVLGeneric::NotifyObservers(Ref<Object> x, const std::string& s) {
  Object& subject = Required(x);
  Ref<IKVLObserved> typed(dynamic_cast<IKVLObserved*>(subject.Identity()));
  const int16_t count =
      typed ? typed->ObserverCount()
            : ToI2(CallByName(subject, "ObserverCount", CallKind::kGet));
  for (int16_t i = 1; i <= count; ++i) {
    Ref<Object> observer = typed ? typed->Observer(i)
                                 : ObjectFromVariant<Object>(CallByName(
                                       subject, "Observer", CallKind::kGet, i));
    if (!observer) continue;
    IKVLObserver* handler = observer->As<IKVLObserver>();
    if (typed && handler) {
      handler->NotifyHandler(typed, s);
    } else {
      CallByName(*observer, "NotifyHandler", CallKind::kMethod, Variant(x),
                 Variant(s));
    }
    if (i == count) break;  // the count is read once; i must not wrap
  }
}

std::string KVLGeneric::KeyForValue(Ref<Object> d, const Variant& v) {
  std::string key;
  CallClient(ClientFailure::kReturn, [&] {
    ForEach(Variant(d), [&](const Variant& item) {
      Ref<Object> a = ObjectFromVariant<Object>(item);
      if (!a) return true;
      if (auto* typed = dynamic_cast<IKVLAssociation*>(a->Identity())) {
        if (!ValuesEqualText(typed->Value(), v)) return true;
        key = typed->Key();
        return false;
      }
      if (!ValuesEqualText(CallByName(*a, "Value", CallKind::kGet), v))
        return true;
      key = ToText(CallByName(*a, "Key", CallKind::kGet));
      return false;
    });
  });
  return key;
}

std::string KVLGeneric::MakeUniqueKey() {
  return ::kvl::MakeUniqueKey();
}

}  // namespace kvl

#include <cstdint>
#include <map>
#include <mutex>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/notifier.h"

namespace kvl {
namespace {

// Addresses of the live notifiers. A class's notifier is found as the one
// lying inside the part of the object that the class's table describes.
struct NotifierSet {
  std::mutex mu;
  std::map<uintptr_t, NotifierBase*> by_address;
};

NotifierSet& Notifiers() {
  static NotifierSet* set = new NotifierSet;  // used by static destructors
  return *set;
}

void Enter(NotifierBase* n) {
  NotifierSet& set = Notifiers();
  std::lock_guard<std::mutex> lock(set.mu);
  set.by_address[reinterpret_cast<uintptr_t>(n)] = n;
}

NotifierBase& Required(Object& source) {
  NotifierBase* n = NotifierBase::Of(source);
  if (!n) Raise(kErrNotSupported, source.Identity()->Class().ProgId());
  return *n;
}

Variant ConnectInvoker(Object& self, std::span<Variant> args) {
  Ref<Object> sink = ObjectFromVariant<Object>(args[0]);
  return Variant(static_cast<int32_t>(ConnectSink(self, std::move(sink))));
}

Variant DisconnectInvoker(Object& self, std::span<Variant> args) {
  int64_t cookie = ToI4(args[0]);
  if (cookie <= 0) return Variant(false);
  return Variant(DisconnectSink(self, static_cast<uint32_t>(cookie)));
}

Variant InterfaceNameInvoker(Object& self, std::span<Variant>) {
  return Variant(Required(self).Interface()->name());
}

}  // namespace

NotifierBase::NotifierBase() {
  Enter(this);
}
NotifierBase::NotifierBase(const NotifierBase&) {
  Enter(this);
}

NotifierBase::~NotifierBase() {
  NotifierSet& set = Notifiers();
  std::lock_guard<std::mutex> lock(set.mu);
  set.by_address.erase(reinterpret_cast<uintptr_t>(this));
}

NotifierBase* NotifierBase::Of(Object& object) {
  Object& self = *object.Identity();
  const ClassInfo& info = self.Class();
  const ClassInfo* wanted = info.notifications();
  if (!wanted) return nullptr;
  ClassInfo::Extent extent = info.ExtentOf(self);
  const auto begin = reinterpret_cast<uintptr_t>(extent.begin);
  const uintptr_t end = begin + extent.size;
  NotifierSet& set = Notifiers();
  std::lock_guard<std::mutex> lock(set.mu);
  for (auto it = set.by_address.lower_bound(begin);
       it != set.by_address.end() && it->first < end; ++it) {
    if (it->second->Interface() == wanted) return it->second;
  }
  return nullptr;
}

uint32_t ConnectSink(Object& source, Ref<Object> sink) {
  NotifierBase& n = Required(source);
  if (!sink) Raise(kErrObjectNotSet);
  return n.ConnectSink(std::move(sink));
}

bool DisconnectSink(Object& source, uint32_t cookie) {
  return Required(source).DisconnectCookie(cookie);
}

const ClassInfo& ConnectionPointInterface() {
  static const ClassInfo info =
      ClassBuilder<Object>("IConnectionPoint", ClassKind::kPublic)
          .Custom(CustomMember("Connect", CallKind::kMethod,
                               {Arg("sink").Of(VarType::kObject)}, VarType::kI4,
                               &ConnectInvoker))
          .Custom(CustomMember("Disconnect", CallKind::kMethod,
                               {Arg("cookie").Of(VarType::kI4)}, VarType::kBool,
                               &DisconnectInvoker))
          .Custom(CustomMember("InterfaceName", CallKind::kGet, {},
                               VarType::kString, &InterfaceNameInvoker))
          .Build();
  return info;
}

}  // namespace kvl

#include "kvl/runtime/object.h"

#include <mutex>
#include <unordered_set>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant.h"

namespace kvl {
namespace {

struct LiveSet {
  std::mutex mu;
  std::unordered_set<uintptr_t> addresses;
};

LiveSet& Live() {
  static LiveSet* set = new LiveSet;  // never destroyed: used by destructors
  return *set;
}

// Another interface of an object: forwards calls to the object through the
// interface's member table.
class InterfaceView final : public Object {
 public:
  InterfaceView(Ref<Object> target, const ClassInfo& iface)
      : target_(std::move(target)), iface_(iface) {}
  const ClassInfo& Class() const override { return iface_; }
  Object* Identity() override { return target_.get(); }
  Variant Invoke(std::string_view name, CallKind kind,
                 std::span<Variant> args) override {
    return iface_.Invoke(*target_, name, kind, args);
  }
  Ref<Object> QueryInterface(std::string_view name) override {
    return target_->QueryInterface(name);
  }

 private:
  Ref<Object> target_;
  const ClassInfo& iface_;
};

bool NamesInterface(const ClassInfo& info, std::string_view name) {
  if (EqualsNoCase(name, info.name())) return true;
  return name.size() == info.name().size() + 1 && name[0] == '_' &&
         EqualsNoCase(name.substr(1), info.name());
}

}  // namespace

Object::~Object() {
  if (tracked_) {
    LiveSet& live = Live();
    std::lock_guard<std::mutex> lock(live.mu);
    live.addresses.erase(reinterpret_cast<uintptr_t>(this));
  }
  live_count_.fetch_sub(1, std::memory_order_relaxed);
}

std::string Object::ClassName() const {
  return const_cast<Object*>(this)->Identity()->Class().name();
}

Variant Object::Invoke(std::string_view name, CallKind kind,
                       std::span<Variant> args) {
  return Class().Invoke(*this, name, kind, args);
}

Ref<Object> Object::QueryInterface(std::string_view interface_name) {
  const ClassInfo& own = Class();
  if (NamesInterface(own, interface_name) ||
      EqualsNoCase(interface_name, "IDispatch") ||
      EqualsNoCase(interface_name, "IUnknown"))
    return Ref<Object>(this);
  for (ClassInfo::InterfaceGetter get : own.interfaces()) {
    const ClassInfo& iface = get();
    if (NamesInterface(iface, interface_name))
      return MakeRef<InterfaceView>(Ref<Object>(this), iface);
  }
  return nullptr;
}

void Object::Track() {
  if (tracked_) return;
  LiveSet& live = Live();
  std::lock_guard<std::mutex> lock(live.mu);
  live.addresses.insert(reinterpret_cast<uintptr_t>(this));
  tracked_ = true;
}

Object* Object::FindLive(uintptr_t address) {
  LiveSet& live = Live();
  std::lock_guard<std::mutex> lock(live.mu);
  if (live.addresses.count(address) == 0) return nullptr;
  Object* object = reinterpret_cast<Object*>(address);
  // An object whose destructor is running is no longer alive.
  if (object->RefCount() >= kDestroying / 2) return nullptr;
  return object;
}

}  // namespace kvl

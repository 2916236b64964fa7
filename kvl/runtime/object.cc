#include "kvl/runtime/object.h"

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant.h"
#include "kvl/runtime/weak_ref.h"

namespace kvl {
namespace {

thread_local int t_internal_scopes = 0;

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
  if (internal::WeakControl* weak = weak_.load(std::memory_order_acquire)) {
    weak->Detach();
    weak->Release();
  }
  (internal_ ? internal_count_ : client_count_)
      .fetch_sub(1, std::memory_order_relaxed);
}

internal::WeakControl* Object::AcquireWeakControl() const {
  internal::WeakControl* weak = weak_.load(std::memory_order_acquire);
  if (!weak) {
    auto* made = new internal::WeakControl(this);
    if (weak_.compare_exchange_strong(weak, made, std::memory_order_acq_rel,
                                      std::memory_order_acquire)) {
      weak = made;
    } else {
      made->Release();  // another thread made one first
    }
  }
  weak->AddRef();
  return weak;
}

Object::InternalScope::InternalScope() {
  internal_scopes_.fetch_add(1, std::memory_order_relaxed);
  ++t_internal_scopes;
}

Object::InternalScope::~InternalScope() {
  --t_internal_scopes;
  internal_scopes_.fetch_sub(1, std::memory_order_relaxed);
}

bool Object::InInternalScope() noexcept { return t_internal_scopes > 0; }

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

}  // namespace kvl

// WeakRef<T>: a reference that does not keep its object alive and can be
// turned into a counted reference (Lock) for as long as the object lives.
//
// The first WeakRef to an object gives it a small control block; objects
// that never get one pay nothing beyond one pointer. The control block
// belongs to one object for its whole life and outlives it while WeakRefs
// remain, so a WeakRef can never reach another object that happens to be
// made at the same address: once its object's last reference is released
// the WeakRef is expired for good.
//
// Threading: a WeakRef may be locked on any thread, also while another
// thread releases the object's last reference. Lock then either returns a
// reference taken before the object started to end (and the object stays
// alive until that reference goes) or null; it never returns an object
// that is being destroyed. One WeakRef is not itself synchronised: share
// copies, not one instance, between threads.
//
//   WeakRef<EventBus> bus(bus_ref);
//   ...
//   if (Ref<EventBus> b = bus.Lock()) b->SendString("Job/Done");
//   bus.expired();   // true once the bus has ended
#ifndef KVL_RUNTIME_WEAK_REF_H_
#define KVL_RUNTIME_WEAK_REF_H_

#include <atomic>
#include <cstdint>
#include <mutex>
#include <type_traits>
#include <utility>

#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {
namespace internal {

// The control block shared by an object and its WeakRefs. It is counted:
// one count for the object while it lives, one per WeakRef. The object's
// destructor clears `object_` under `mu_` before the memory is freed, so
// under `mu_` a non-null `object_` can be read. TryLock adds a reference
// only to a count above zero that is not marked as destroying: from the
// last Release's decrement on, no reference can be added.
class KVL_EXPORT WeakControl {
 public:
  explicit WeakControl(const Object* object) noexcept : object_(object) {}
  WeakControl(const WeakControl&) = delete;
  WeakControl& operator=(const WeakControl&) = delete;

  void AddRef() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
  void Release() noexcept {
    if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
  }

  // Takes a reference to the object and returns true, or returns false
  // once the object's last reference is gone.
  bool TryLock() noexcept {
    std::lock_guard<std::mutex> lock(mu_);
    return object_ != nullptr && object_->TryAddRef();
  }
  bool expired() noexcept {
    std::lock_guard<std::mutex> lock(mu_);
    return object_ == nullptr || !object_->Alive();
  }
  // Called by the object's destructor; later TryLock calls fail.
  void Detach() noexcept {
    std::lock_guard<std::mutex> lock(mu_);
    object_ = nullptr;
  }

 private:
  ~WeakControl() = default;

  std::atomic<int32_t> refs_{1};
  std::mutex mu_;
  const Object* object_;
};

}  // namespace internal

template <class T>
class KVL_EXPORT WeakRef {
 public:
  WeakRef() noexcept = default;
  // Refers to the object of `ref` (expired for null).
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  explicit WeakRef(const Ref<U>& ref) : WeakRef(ref.get()) {}
  // Refers to `object`, which the caller keeps alive for this call.
  explicit WeakRef(T* object)
      : control_(object ? object->AcquireWeakControl() : nullptr),
        object_(object) {}
  WeakRef(const WeakRef& other) noexcept
      : control_(other.control_), object_(other.object_) {
    if (control_) control_->AddRef();
  }
  WeakRef(WeakRef&& other) noexcept
      : control_(std::exchange(other.control_, nullptr)),
        object_(std::exchange(other.object_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  WeakRef(const WeakRef<U>& other) noexcept  // NOLINT: like Ref<T>
      : control_(other.control_), object_(other.object_) {
    if (control_) control_->AddRef();
  }
  ~WeakRef() {
    if (control_) control_->Release();
  }
  WeakRef& operator=(WeakRef other) noexcept {
    std::swap(control_, other.control_);
    std::swap(object_, other.object_);
    return *this;
  }

  // A counted reference to the object, or null once it has ended (or is
  // ending on another thread).
  Ref<T> Lock() const noexcept {
    if (!control_ || !control_->TryLock()) return nullptr;
    return Ref<T>::Adopt(object_);
  }
  // True once the object has ended; a false answer may be stale by the time
  // it is read when another thread holds the last references.
  bool expired() const noexcept { return !control_ || control_->expired(); }
  void reset() noexcept { WeakRef().swap(*this); }
  void swap(WeakRef& other) noexcept {
    std::swap(control_, other.control_);
    std::swap(object_, other.object_);
  }

 private:
  template <class U>
  friend class WeakRef;

  internal::WeakControl* control_ = nullptr;
  T* object_ = nullptr;  // read only after a successful TryLock
};

}  // namespace kvl

#endif  // KVL_RUNTIME_WEAK_REF_H_

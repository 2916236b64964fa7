// Object and Ref: reference-counted objects, the base of every class of the
// library and of every client object that the library calls.
//
// An object starts with no references; a Ref<T> holds one. When the last
// reference is released the object is destroyed and its destructor does the
// class's termination work. Every object can say its class name, answer for
// another interface it implements (QueryInterface), and be called late-bound
// by member name (Invoke). The library counts live objects so that tests can
// prove nothing leaks (Object::LiveCount).
//
// Interfaces meant for implementation by others (IEventReceiver, IComparator,
// ...) are pure abstract classes that do not derive from Object; a class
// derives from Object and from the interfaces it implements, and a caller
// reaches the interface with QueryInterface<I>() or InterfaceRef<I>.
//
// Weak references: WeakRef<T> (weak_ref.h) refers to an object without
// keeping it alive and hands out a counted reference while it lives.
//
// Live counts: the library counts live objects so that tests can prove
// nothing leaks. Objects made on a thread inside an InternalScope (the
// library's start-up objects) are the library's own; the others belong to
// clients (ClientLiveCount).
//
// Threading: an object is used on the thread that created it; its members
// are not synchronised. AddRef and Release may be called on any thread: the
// last Release, wherever it happens, destroys the object on that thread, and
// a WeakRef locked on another thread at the same moment gets either a
// reference taken before the end or null. The live counts are atomic.
//
//   Ref<ParamString> ps = MakeRef<ParamString>();
//   Variant r = ps->Invoke("Parse", CallKind::kMethod, args);
//   if (auto* it = ps.QueryInterface<ITreeIterator>()) it->FirstItem();
#ifndef KVL_RUNTIME_OBJECT_H_
#define KVL_RUNTIME_OBJECT_H_

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "kvl/runtime/export.h"

namespace kvl {

class Variant;
class ClassInfo;

// How a member is called: the automation invoke kinds.
enum class CallKind : uint8_t {
  kMethod = 1,
  kGet = 2,
  kLet = 4,
  kSet = 8,
};

template <class T>
class Ref;
template <class T>
class WeakRef;
namespace internal {
class WeakControl;
}  // namespace internal

class KVL_EXPORT Object {
 public:
  Object() noexcept {
    if (internal_scopes_.load(std::memory_order_relaxed) != 0 &&
        InInternalScope()) {
      internal_ = true;
      internal_count_.fetch_add(1, std::memory_order_relaxed);
    } else {
      client_count_.fetch_add(1, std::memory_order_relaxed);
    }
  }
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  void AddRef() const noexcept { AddRefs(1); }
  // Destroys the object when this was the last reference.
  void Release() const noexcept { ReleaseRefs(1); }
  // `n` references at once, for a holder that hands references out one by
  // one (as Ref::Adopt) without a count change each time.
  void AddRefs(int32_t n) const noexcept {
    refs_.fetch_add(n, std::memory_order_relaxed);
  }
  // Gives `n` references back at once; destroys the object when they were
  // the last.
  void ReleaseRefs(int32_t n) const noexcept {
    if (refs_.fetch_sub(n, std::memory_order_acq_rel) == n) {
      // From zero on, WeakRef::Lock no longer adds references; the
      // destructor detaches the WeakRefs before the memory goes.
      refs_.store(kDestroying, std::memory_order_relaxed);
      delete this;
    }
  }
  // The number of references held now (the platform's reference count).
  // Acquire: a caller that reads 1 while holding that one reference also
  // sees every write made before the other holders let go.
  int32_t RefCount() const noexcept {
    return refs_.load(std::memory_order_acquire);
  }

  // The type information of the interface this object answers calls for:
  // its class's default interface, or the interface of a view returned by
  // QueryInterface.
  virtual const ClassInfo& Class() const = 0;

  // The class name of the object itself, also through an interface view.
  std::string ClassName() const;

  // The object behind an interface view; the object itself otherwise.
  virtual Object* Identity() { return this; }

  // Calls a member by name (ignoring case) and kind. Arguments are in their
  // natural order; for Let and Set the value is the last argument.
  // By-reference arguments are written back into `args`. Raises 438 for an
  // unknown member, 449/450 for a wrong argument count, 13 or 6 for an
  // argument that does not convert.
  virtual Variant Invoke(std::string_view name, CallKind kind,
                         std::span<Variant> args);

  // Answers for another interface implemented by this object: the object
  // itself for its own class or default interface name ("X" or "_X"), a view
  // that dispatches through that interface's member table for an interface
  // the class lists, or null.
  virtual Ref<Object> QueryInterface(std::string_view interface_name);

  // Typed interface switch: the C++ interface I of this object, or null.
  template <class I>
  I* As() {
    return dynamic_cast<I*>(Identity());
  }

  // Number of Objects constructed and not yet destroyed, in this process.
  static int64_t LiveCount() noexcept {
    return ClientLiveCount() +
           internal_count_.load(std::memory_order_relaxed);
  }
  // The part of LiveCount that clients own: every live object not made
  // inside an InternalScope. Exact also while other threads make objects.
  static int64_t ClientLiveCount() noexcept {
    return client_count_.load(std::memory_order_relaxed);
  }

  // While one is open on a thread, objects constructed on that thread are
  // the library's own: they are left out of ClientLiveCount for their
  // whole life. Scopes nest.
  class InternalScope {
   public:
    InternalScope();
    ~InternalScope();
    InternalScope(const InternalScope&) = delete;
    InternalScope& operator=(const InternalScope&) = delete;
  };

 protected:
  virtual ~Object();

  // Whether a WeakRef to this object was ever made. A class that hands the
  // same object out again once nobody holds it must not do so then: the
  // weak reference would find the object it knew alive again.
  bool HasWeakRefs() const noexcept {
    return weak_.load(std::memory_order_acquire) != nullptr;
  }

 private:
  template <class T>
  friend class WeakRef;
  friend class internal::WeakControl;

  // Set while the destructor runs, so that references taken and dropped by
  // it never destroy the object a second time.
  static constexpr int32_t kDestroying = 1 << 30;
  // The control block of this object's WeakRefs (made on first use), with
  // a count added for the caller.
  internal::WeakControl* AcquireWeakControl() const;
  // Adds a reference unless the count has reached zero (the last Release
  // has begun) or the destructor runs; called with the control block
  // locked, which keeps the memory valid until the destructor detaches it.
  bool TryAddRef() const noexcept {
    int32_t n = refs_.load(std::memory_order_relaxed);
    while (n > 0 && n < kDestroying / 2) {
      if (refs_.compare_exchange_weak(n, n + 1, std::memory_order_relaxed))
        return true;
    }
    return false;
  }
  bool Alive() const noexcept {
    const int32_t n = refs_.load(std::memory_order_relaxed);
    return n > 0 && n < kDestroying / 2;
  }
  static bool InInternalScope() noexcept;

  mutable std::atomic<int32_t> refs_{0};
  bool internal_ = false;
  mutable std::atomic<internal::WeakControl*> weak_{nullptr};

  static inline std::atomic<int64_t> client_count_{0};
  static inline std::atomic<int64_t> internal_count_{0};
  // Open InternalScopes over all threads: a constructor looks at its own
  // thread's scopes only while some are open.
  static inline std::atomic<int32_t> internal_scopes_{0};
};

// Counted reference to an Object (or a class derived from it).
template <class T>
class KVL_EXPORT Ref {
 public:
  Ref() noexcept = default;
  Ref(std::nullptr_t) noexcept {}
  explicit Ref(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  Ref(const Ref& other) noexcept : Ref(other.p_) {}
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(const Ref<U>& other) noexcept : Ref(other.get()) {}
  template <class U, class = std::enable_if_t<std::is_convertible_v<U*, T*>>>
  Ref(Ref<U>&& other) noexcept : p_(other.Detach()) {}
  ~Ref() {
    if (p_) p_->Release();
  }
  Ref& operator=(Ref other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  void reset() noexcept { Ref().swap(*this); }
  void swap(Ref& other) noexcept { std::swap(p_, other.p_); }
  // Gives up the reference without releasing it.
  T* Detach() noexcept { return std::exchange(p_, nullptr); }
  // Takes over a reference already counted for `p` (Detach's inverse).
  static Ref Adopt(T* p) noexcept {
    Ref r;
    r.p_ = p;
    return r;
  }

  // The C++ interface I of the referenced object, or null.
  template <class I>
  I* QueryInterface() const {
    return p_ ? p_->template As<I>() : nullptr;
  }

  friend bool operator==(const Ref& a, const Ref& b) { return a.p_ == b.p_; }
  friend bool operator==(const Ref& a, std::nullptr_t) { return !a.p_; }

 private:
  T* p_ = nullptr;
};

template <class T, class... Args>
Ref<T> MakeRef(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}

// A reference to an object together with one of its C++ interfaces: keeps
// the object alive and calls the interface without casting each time.
template <class I>
class KVL_EXPORT InterfaceRef {
 public:
  InterfaceRef() = default;
  explicit InterfaceRef(Ref<Object> object)
      : object_(std::move(object)),
        iface_(object_ ? object_->template As<I>() : nullptr) {
    if (!iface_) object_.reset();
  }
  I* operator->() const { return iface_; }
  I* get() const { return iface_; }
  explicit operator bool() const { return iface_ != nullptr; }
  const Ref<Object>& object() const { return object_; }

 private:
  Ref<Object> object_;
  I* iface_ = nullptr;
};

}  // namespace kvl

#endif  // KVL_RUNTIME_OBJECT_H_

// IClassFactory: what DllGetClassObject hands out for one class of the
// library, and the identifiers a caller asks for it with.
//
// The interface is pure virtual and this header is self-contained, so a
// client that loads the library at run time calls a factory without linking
// the library. Statuses are those of error.h (kS_OK, kE_POINTER, ...).
//
// Ownership: a factory is carried by a reference-counted Object (Owner()).
// DllGetClassObject hands out one reference to it; the caller adopts it with
// ClassFactoryRef (or calls Owner()->Release() when done). While a factory
// is held, and while it is locked with LockServer(true), the library
// reports that it cannot be unloaded.
//
// Threading: use a factory on the thread that got it.
//
//   void* raw = nullptr;
//   if (DllGetClassObject(&clsid, &kIID_IClassFactory, &raw) == kS_OK) {
//     ClassFactoryRef factory = ClassFactoryRef::Adopt(raw);
//     Ref<Object> obj;
//     int32_t status = factory->CreateInstance(&obj);
//   }
#ifndef KVL_RUNTIME_CLASS_FACTORY_H_
#define KVL_RUNTIME_CLASS_FACTORY_H_

#include <cstdint>
#include <utility>

#include "kvl/runtime/export.h"
#include "kvl/runtime/guid.h"
#include "kvl/runtime/object.h"

namespace kvl {

// The platform's identifiers of IUnknown and IClassFactory; DllGetClassObject
// accepts either (or a null interface id).
inline constexpr Guid kIID_IUnknown{
    0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr Guid kIID_IClassFactory{
    0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class KVL_EXPORT IClassFactory {
 public:
  // The object that carries this factory's reference count.
  virtual Object* Owner() = 0;
  // Makes a new instance into *out: kS_OK, kE_POINTER for a null `out`, or
  // the status of the failure (also left in the caller's error record).
  virtual int32_t CreateInstance(Ref<Object>* out) = 0;
  // Locks (true) or unlocks (false) the library in memory; kS_OK.
  virtual int32_t LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

// A held factory: releases the factory's reference when destroyed.
class KVL_EXPORT ClassFactoryRef {
 public:
  ClassFactoryRef() = default;
  // Takes over the reference that DllGetClassObject put in `raw` (an
  // IClassFactory*).
  static ClassFactoryRef Adopt(void* raw) {
    ClassFactoryRef ref;
    ref.factory_ = static_cast<IClassFactory*>(raw);
    return ref;
  }
  ClassFactoryRef(const ClassFactoryRef&) = delete;
  ClassFactoryRef& operator=(const ClassFactoryRef&) = delete;
  ClassFactoryRef(ClassFactoryRef&& other) noexcept
      : factory_(std::exchange(other.factory_, nullptr)) {}
  ClassFactoryRef& operator=(ClassFactoryRef&& other) noexcept {
    std::swap(factory_, other.factory_);
    return *this;
  }
  ~ClassFactoryRef() {
    if (factory_) factory_->Owner()->Release();
  }

  IClassFactory* get() const { return factory_; }
  IClassFactory* operator->() const { return factory_; }
  explicit operator bool() const { return factory_ != nullptr; }

 private:
  IClassFactory* factory_ = nullptr;
};

}  // namespace kvl

#endif  // KVL_RUNTIME_CLASS_FACTORY_H_

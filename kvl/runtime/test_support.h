// Helpers for the library's tests: what a call raised, leak checks by
// live-object count, and objects made at one fixed address. Header-only;
// used by *_test.cc files only.
//
//   EXPECT_EQ(RaisedNumber([&] { obj->Invoke("Nope", kind, args); }), 438);
//   LiveObjectCheck leaks;   ...   EXPECT_EQ(leaks.Delta(), 0);
#ifndef KVL_RUNTIME_TEST_SUPPORT_H_
#define KVL_RUNTIME_TEST_SUPPORT_H_

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/object.h"

namespace kvl {

// The number of the KVLError that `body` raised, or 0 when it returned.
template <class F>
int32_t RaisedNumber(F&& body) {
  try {
    std::forward<F>(body)();
  } catch (const KVLError& e) {
    return e.number();
  }
  return 0;
}

// Counts client objects made and not yet ended since construction; the
// library's start-up objects, made meanwhile, are not counted.
class LiveObjectCheck {
 public:
  LiveObjectCheck() : start_(Object::ClientLiveCount()) {}
  int64_t Delta() const { return Object::ClientLiveCount() - start_; }

 private:
  int64_t start_;
};

// An object that is always made at the same address: one may live at a
// time. Shows that what referred to an ended object never reaches the next
// one made in its place.
class SameAddressObject final : public Object {
  KVL_DECLARE_CLASS(SameAddressObject)
 public:
  static void* operator new(size_t size) {
    if (size > sizeof(storage_) || in_use_) throw std::bad_alloc();
    in_use_ = true;
    return storage_;
  }
  static void operator delete(void*) noexcept { in_use_ = false; }

 private:
  alignas(std::max_align_t) static inline unsigned char storage_[64];
  static inline bool in_use_ = false;
};

inline const ClassInfo& SameAddressObject::StaticClass() {
  static const ClassInfo info("SameAddressObject", ClassKind::kPrivate, {});
  return info;
}

}  // namespace kvl

#endif  // KVL_RUNTIME_TEST_SUPPORT_H_

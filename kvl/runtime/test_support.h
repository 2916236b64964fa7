// Helpers for the library's tests: what a call raised, and leak checks by
// live-object count. Header-only; used by *_test.cc files only.
//
//   EXPECT_EQ(RaisedNumber([&] { obj->Invoke("Nope", kind, args); }), 438);
//   LiveObjectCheck leaks;   ...   EXPECT_EQ(leaks.Delta(), 0);
#ifndef KVL_RUNTIME_TEST_SUPPORT_H_
#define KVL_RUNTIME_TEST_SUPPORT_H_

#include <cstdint>
#include <utility>

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

// Counts objects made and not yet ended since construction.
class LiveObjectCheck {
 public:
  LiveObjectCheck() : start_(Object::LiveCount()) {}
  int64_t Delta() const { return Object::LiveCount() - start_; }

 private:
  int64_t start_;
};

}  // namespace kvl

#endif  // KVL_RUNTIME_TEST_SUPPORT_H_

// CallClient: the one way the library calls client code (notification
// sinks, event receivers, timer and posted callbacks, comparators,
// extractors, trace sinks), and the one rule for what the client raises.
//
// The rule:
// - Thread cancellation (abi::__forced_unwind) always propagates: the
//   thread must finish unwinding.
// - Out of memory (std::bad_alloc) always propagates: the library operation
//   that made the call fails with it. It is never swallowed.
// - Everything else the client raises is contained: a KVLError as it is,
//   any other std::exception as a KVLError with number E_FAIL and its
//   what() as description, an exception of any other type as E_FAIL
//   "Unknown failure". What becomes of a contained failure is the call
//   site's documented choice (ClientFailure):
//     kRecord  kept in the thread's error record (error.h), where the
//              client can read it: notifications and loop callbacks;
//     kClear   the error record is cleared before and after the call:
//              event delivery;
//     kReturn  only returned: the site turns it into the result its class
//              documents (-1, a result code, no item, a notification).
// Where a class documents that a client's failure is the member's failure
// (SortedCollection.Insert), the site calls the client directly and lets
// every failure propagate.
//
// The helper costs nothing when the call returns normally.
//
//   CallClient(ClientFailure::kRecord, [&] { sink->Time(now); });
//   if (CallClient(ClientFailure::kReturn, [&] { key = extractor.Key(o); }))
//     return -1;   // a failing extractor gives -1
#ifndef KVL_RUNTIME_CLIENT_CALL_H_
#define KVL_RUNTIME_CLIENT_CALL_H_

#include <cxxabi.h>

#include <cstdint>
#include <exception>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include "kvl/runtime/error.h"

namespace kvl {

enum class ClientFailure : uint8_t { kRecord, kClear, kReturn };

namespace internal {

// The contained failure being handled, as a KVLError.
inline KVLError CurrentClientFailure() {
  try {
    throw;
  } catch (const KVLError& e) {
    return e;
  } catch (const std::exception& e) {
    return KVLError(kE_FAIL, std::string(kLibrarySource), e.what());
  } catch (...) {
    return KVLError(kE_FAIL, std::string(kLibrarySource), "Unknown failure");
  }
}

}  // namespace internal

// Calls `call` under the rule above. Returns the contained failure, or
// nothing when the call returned. (Cancellation carries no exception
// object, so its handler binds a reference to null as the ABI prescribes;
// the null-reference check is off here for that reason.)
template <class F>
__attribute__((no_sanitize("null"))) std::optional<KVLError> CallClient(
    ClientFailure policy, F&& call) {
  if (policy == ClientFailure::kClear) ClearErrorRecord();
  try {
    std::forward<F>(call)();
  } catch (abi::__forced_unwind&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (...) {
    KVLError failure = internal::CurrentClientFailure();
    if (policy == ClientFailure::kClear) {
      ClearErrorRecord();
    } else if (policy == ClientFailure::kRecord) {
      SetErrorRecord(failure);
    }
    return failure;
  }
  if (policy == ClientFailure::kClear) ClearErrorRecord();
  return std::nullopt;
}

}  // namespace kvl

#endif  // KVL_RUNTIME_CLIENT_CALL_H_

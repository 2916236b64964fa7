// KVLConstants: the global class that turns a KVLExceptions result code into
// its message text, and the same function for the library's own code.
//
// KVLConstants is a global class (kind 1): clients reach its implicit
// instance without creating it. It has no state, so any instance may be used
// from any thread.
//
//   std::string text = KVLExceptionString(kKVLException_ItemNotFound);
//   // "The specified item was not found"
#ifndef KVL_FRAME_KVL_CONSTANTS_H_
#define KVL_FRAME_KVL_CONSTANTS_H_

#include <cstdint>
#include <string>

#include "kvl/frame/kvl_types.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// The message of result code `code`; "Unknown exception code" for a value
// that is not a KVLExceptions member. Never fails.
KVL_EXPORT std::string KVLExceptionString(int32_t code);

class KVL_EXPORT KVLConstants : public Object {
  KVL_DECLARE_CLASS(KVLConstants)
 public:
  // Property Get: the message of `x` (see KVLExceptionString).
  std::string kKVLExceptionString(KVLExceptions x) const {
    return KVLExceptionString(x);
  }
};

}  // namespace kvl

#endif  // KVL_FRAME_KVL_CONSTANTS_H_

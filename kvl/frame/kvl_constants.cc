#include "kvl/frame/kvl_constants.h"

#include "kvl/frame/catalogue.h"

namespace kvl {

std::string KVLExceptionString(int32_t code) {
  switch (code) {
    case kKVLException_OK: return "OK";
    case kKVLExcepton_DanglingReference:
      return "This operation would cause a dangling reference";
    case kKVLException_InvalidParam:
      return "Invalid parameter passed to this method";
    case kKVLException_ItemNotFound: return "The specified item was not found";
    case kKVLException_DuplicateItem:
      return "The specified operation would cause a duplicate value";
    case kKVLException_OutOfRange: return "The specified value is out of range";
    case kKVLException_InvalidValue:
      return "The specified value is invalid for this operation";
    case kKVLException_NotInitialized: return "Uninitialized object";
    case kKVLException_InvalidReference:
      return "The specified reference is invalid";
    default: return "Unknown exception code";
  }
}

const ClassInfo& KVLConstants::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLConstants>("KVLConstants", ClassKind::kGlobal)
          .Get<&KVLConstants::kKVLExceptionString>("kKVLExceptionString",
                                                   {Arg("x")})
          .Build();
  return info;
}

KVL_REGISTER_CLASS(KVLConstants)

}  // namespace kvl

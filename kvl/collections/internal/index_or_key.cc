#include "kvl/collections/internal/index_or_key.h"

#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl::internal {

std::optional<int32_t> PositionArgument(const Variant& index_or_key) {
  if (!IsNumberType(index_or_key.type())) return std::nullopt;
  try {
    return ToI4(index_or_key);
  } catch (const KVLError&) {
    return std::nullopt;  // out of the 32-bit range
  }
}

}  // namespace kvl::internal

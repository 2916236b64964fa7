#include "kvl/collections/internal/index_or_key.h"

#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl::internal {

std::optional<int32_t> PositionArgument(const Variant& index_or_key) {
  switch (index_or_key.type()) {
    case VarType::kI2:
    case VarType::kI4:
    case VarType::kR4:
    case VarType::kR8:
    case VarType::kCurrency:
    case VarType::kDecimal:
    case VarType::kByte: break;
    default: return std::nullopt;
  }
  try {
    return ToI4(index_or_key);
  } catch (const KVLError&) {
    return std::nullopt;  // out of the 32-bit range
  }
}

}  // namespace kvl::internal

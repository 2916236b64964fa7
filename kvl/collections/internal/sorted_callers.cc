#include "kvl/collections/sorted_callers.h"

#include <span>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/variant.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl::internal {

std::string KeyByName(Object& extractor, const Ref<Object>& o) {
  Variant arg(o);
  return ToText(
      extractor.Invoke("Key", CallKind::kMethod, std::span<Variant>(&arg, 1)));
}

int16_t CompareByName(Object& comparator, const Ref<Object>& e,
                      const Ref<Object>& o1, const Ref<Object>& o2) {
  Variant args[] = {Variant(e), Variant(o1), Variant(o2)};
  double c = ToR8(comparator.Invoke("compare", CallKind::kMethod, args));
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

}  // namespace kvl::internal

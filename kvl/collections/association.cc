#include "kvl/collections/association.h"

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

const ClassInfo& Association::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<Association>("Association", ClassKind::kCreatable)
          .Method<&Association::AddType>("AddType", {Arg("NewType")})
          .Get<&Association::Types>("Types")
          .Method<&Association::IsTypeSet>("IsTypeSet", {Arg("TypeFlag")})
          .Let<&Association::SetTypes>("Types")
          .Get<&Association::Mapping>("Mapping")
          .Get<&Association::UseForMatching>("UseForMatching")
          .Let<&Association::SetUseForMatching>("UseForMatching")
          .Get<&Association::Value>("Value")
          .Let<&Association::SetMapping>("Mapping")
          .Let<&Association::SetValue>("Value")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(Association)

bool Association::IsTypeSet(const Variant& type_flag) const {
  return (ToI4(type_flag) & static_cast<int32_t>(types_)) != 0;
}

}  // namespace kvl

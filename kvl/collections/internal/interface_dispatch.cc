#include "kvl/collections/internal/interface_dispatch.h"

namespace kvl::internal {

Variant InvokeWithInterfaces(Object& self, std::string_view name, CallKind kind,
                             std::span<Variant> args) {
  const ClassInfo& own = self.Class();
  if (!own.Find(name, kind)) {
    for (ClassInfo::InterfaceGetter get : own.interfaces()) {
      const ClassInfo& iface = get();
      if (iface.Find(name, kind)) return iface.Invoke(self, name, kind, args);
    }
  }
  return own.Invoke(self, name, kind, args);
}

}  // namespace kvl::internal

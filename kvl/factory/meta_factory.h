// MetaFactory: several factories behind one IKVLObjectFactory2, refusing a
// factory that would add a (class, interface) pair it already has.
//
// Add(f) compares the pairs of f's producers with those of the factories
// added before (class name + "." + interface name, ignoring case); at the
// first pair already present it fires Problem("Duplicate: Class/Interface")
// and returns false without adding f. Pairs repeated within f are not
// looked for. The lists (Producers, ImplementorsOf, InterfacesOf) are new
// collections, factory by factory in the order added, empty when no
// factory contributes; CreateNew asks the factories in order and gives the
// first object made, or null.
//
// Factories may be clients' own objects: they are called through
// IKVLObjectFactory2 when they implement it, else by member name, and what
// they raise is the MetaFactory member's failure.
//
// Ownership: holds a reference to each added factory; a MetaFactory only
// grows. Threading: used on the thread that created it.
//
//   auto meta = MakeRef<MetaFactory>();
//   meta->Add(factory);          // true
//   meta->Add(factory);          // false, Problem "Duplicate: X/_X"
#ifndef KVL_FACTORY_META_FACTORY_H_
#define KVL_FACTORY_META_FACTORY_H_

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "kvl/factory/factory_interfaces.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/object.h"

namespace kvl {

// The outgoing interface __MetaFactory.
class KVL_EXPORT MetaFactoryEvents {
 public:
  static const ClassInfo& StaticClass();
  virtual void Problem(const std::string& description) = 0;

 protected:
  ~MetaFactoryEvents() = default;
};

// Creatable (kind 2); answers for IKVLObjectFactory2.
class KVL_EXPORT MetaFactory : public Object, public IKVLObjectFactory2 {
  KVL_DECLARE_CLASS(MetaFactory)
 public:
  MetaFactory() = default;

  // Raises 91 when `f` is null.
  bool Add(Ref<Object> f);

  Ref<Object> Producers() override;
  Ref<Object> ImplementorsOf(const std::string& interface_name) override;
  Ref<Object> InterfacesOf(const std::string& class_name) override;
  Ref<Object> CreateNew(const std::string& class_name,
                        const std::string& interface_name) override;

  size_t size() const { return factories_.size(); }
  uint32_t Connect(Ref<Object> sink) {
    return events_.Connect(std::move(sink));
  }

 private:
  std::vector<Ref<Object>> factories_;
  Notifier<MetaFactoryEvents> events_;
};

}  // namespace kvl

#endif  // KVL_FACTORY_META_FACTORY_H_

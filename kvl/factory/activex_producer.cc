#include "kvl/factory/activex_producer.h"

#include <utility>

#include "kvl/factory/activex_method.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/type_library_export.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/guid.h"
#include "kvl/runtime/type_library.h"

namespace kvl {

const ClassInfo& ActiveXProducer::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ActiveXProducer>("ActiveXProducer", ClassKind::kPublic)
          .Get<&ActiveXProducer::ClassName_>("ClassName")
          .Get<&ActiveXProducer::InterfaceName>("InterfaceName")
          .Method<&ActiveXProducer::CreateNew>("CreateNew")
          .Implements(&IKVLObjectProducer::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ActiveXProducer)

ActiveXProducer::ActiveXProducer(std::string class_name, std::string class_id,
                                 std::string interface_name,
                                 std::string interface_id)
    : class_name_(std::move(class_name)),
      interface_name_(std::move(interface_name)),
      class_id_(std::move(class_id)),
      interface_id_(std::move(interface_id)) {}

Ref<Object> ActiveXProducer::CreateNew() {
  Guid clsid;
  Guid iid;
  if (!Guid::Parse(class_id_, &clsid) || !Guid::Parse(interface_id_, &iid))
    return nullptr;
  try {
    return CreateInstance(clsid, iid);
  } catch (const KVLError&) {
    return nullptr;
  }
}

Ref<IKVLCollection> ActiveXProducer::Methods() {
  ClearErrorRecord();
  Ref<Object> object = CreateNew();
  if (!object) return nullptr;
  auto methods = MakeRef<IKVLCollection>();
  for (const TypeLibMember& m : DescribeInterface(object->Class()).members)
    methods->Add(ActiveXMethod::Describe(m));
  return methods;
}

}  // namespace kvl

#include "kvl/factory/factory_interfaces.h"

#include "kvl/collections/collection_interfaces.h"
#include "kvl/frame/catalogue.h"

namespace kvl {

const ClassInfo& IKVLObjectProducer::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLObjectProducer>("IKVLObjectProducer", ClassKind::kPublic)
          .Get<&IKVLObjectProducer::ClassName_>("ClassName")
          .Get<&IKVLObjectProducer::InterfaceName>("InterfaceName")
          .Method<&IKVLObjectProducer::CreateNew>("CreateNew")
          .Build();
  return info;
}

const ClassInfo& IKVLObjectFactory2::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLObjectFactory2>("IKVLObjectFactory2", ClassKind::kPublic)
          .Get<&IKVLObjectFactory2::Producers>("Producers")
          .Returns(&IKVLROCollection::StaticClass)
          .Get<&IKVLObjectFactory2::ImplementorsOf>("ImplementorsOf",
                                                    {Arg("InterfaceName")})
          .Returns(&IKVLROCollection::StaticClass)
          .Get<&IKVLObjectFactory2::InterfacesOf>("InterfacesOf",
                                                  {Arg("ClassName")})
          .Returns(&IKVLROCollection::StaticClass)
          .Method<&IKVLObjectFactory2::CreateNew>(
              "CreateNew", {Arg("ClassName"), OptArg("InterfaceName")})
          .Build();
  return info;
}

const ClassInfo& IKVLObjectFactory::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IKVLObjectFactory>("IKVLObjectFactory", ClassKind::kPublic)
          .Get<&IKVLObjectFactory::InterfaceNames>("InterfaceNames")
          .Get<&IKVLObjectFactory::ClassNames>("ClassNames",
                                               {OptArg("InterfaceName")})
          .Get<&IKVLObjectFactory::CreateNew>("CreateNew", {Arg("ClassName")})
          .Build();
  return info;
}

KVL_REGISTER_CLASS(IKVLObjectProducer)
KVL_REGISTER_CLASS(IKVLObjectFactory2)
KVL_REGISTER_CLASS(IKVLObjectFactory)

}  // namespace kvl

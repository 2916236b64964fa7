#include "kvl/timestat/serializable.h"

#include "kvl/frame/catalogue.h"

namespace kvl {
namespace {

// The interface's own body, made by creating "KVLCommon.ISerializable".
class ISerializableBody final : public Object, public ISerializable {
 public:
  static const ClassInfo& StaticClass() { return ISerializable::StaticClass(); }
  const ClassInfo& Class() const override { return StaticClass(); }
  bool FromParamItem(const Ref<ParamItem>&, const Variant&) override {
    return false;
  }
  std::string ToSerializableString() override { return {}; }
};

}  // namespace

const ClassInfo& ISerializable::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ISerializable>("ISerializable", ClassKind::kCreatable)
          .Method<&ISerializable::FromParamItem>("FromParamItem",
                                                 {RefArg("pi"), OptArg("f")})
          .Get<&ISerializable::ToSerializableString>("ToSerializableString")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ISerializableBody)

}  // namespace kvl

#include "kvl/collections/sorted_extractor.h"

#include <utility>

#include "kvl/collections/sorted_callers.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

// What a client gets by creating "KVLCommon.IExtractor": the interface's
// own body, which gives every object the empty key.
class IExtractorBody final : public Object, public IExtractor {
 public:
  static const ClassInfo& StaticClass() { return IExtractor::StaticClass(); }
  const ClassInfo& Class() const override { return StaticClass(); }
  std::string Key(const Ref<Object>&) override { return {}; }
};

}  // namespace

const ClassInfo& IExtractor::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IExtractor>("IExtractor", ClassKind::kCreatable)
          .Method<&IExtractor::Key>("Key", {RefArg("o")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(IExtractorBody)

const ClassInfo& DefaultExtractor::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<DefaultExtractor>("DefaultExtractor", ClassKind::kPublic)
          .Method<&DefaultExtractor::Key>("Key", {RefArg("o")})
          .Implements(&IExtractor::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(DefaultExtractor)

std::string DefaultExtractor::Key(const Ref<Object>& o) {
  Variant key = KeyValue(o);
  if (key.is_string()) return std::move(key.MutableString());
  return ToText(key);
}

Variant DefaultExtractor::KeyValue(const Ref<Object>& o) {
  if (!o) Raise(kErrObjectNotSet);
  return o->Invoke("Key", CallKind::kGet, {});
}

std::string ExtractKey(Object& extractor, const Ref<Object>& o) {
  if (IExtractor* typed = extractor.As<IExtractor>()) return typed->Key(o);
  return internal::KeyByName(extractor, o);
}

}  // namespace kvl

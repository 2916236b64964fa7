// ISerializable: the interface of objects that rebuild themselves from a
// parameter-item tree and write themselves as parameter-string text.
//
// Clients implement it: in C++ by deriving from it next to kvl::Object and
// listing `.Implements(&ISerializable::StaticClass)`, or late-bound by giving
// their object the members "FromParamItem" and "ToSerializableString".
// Creating "KVLCommon.ISerializable" gives the interface's own body, which
// reads nothing (FromParamItem is false) and writes "". `f` is the factory
// the object may use to make nested objects; it may be omitted.
//
//   class Setting : public Object, public ISerializable { ... };
//   Ref<ParamString> ps = MakeRef<ParamString>();
//   ps->Parse(text);
//   setting->FromParamItem(ps->AsParamItem(), Variant::Missing());
#ifndef KVL_TIMESTAT_SERIALIZABLE_H_
#define KVL_TIMESTAT_SERIALIZABLE_H_

#include <string>

#include "kvl/params/param_item.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

class KVL_EXPORT ISerializable {
 public:
  static const ClassInfo& StaticClass();

  // Rebuilds the object from `pi`; true on success.
  virtual bool FromParamItem(const Ref<ParamItem>& pi, const Variant& f) = 0;
  // The object as parameter-string text.
  virtual std::string ToSerializableString() = 0;

 protected:
  ~ISerializable() = default;
};

}  // namespace kvl

#endif  // KVL_TIMESTAT_SERIALIZABLE_H_

// ActiveXMethod: the description of one member of an interface, as the
// object factory lists it: name, kind, return type and parameters, and a
// one-line text such as «Function Add(Long a,Long b) As Long» or
// «Property Get Count As Integer».
//
// Descriptions are made only by the library, from a member of a type
// library (type_library.h), and never change. The texts of kinds and types
// are the component system's (MethodTypeText, TypeDescText): "BStr" for a
// string, "[Unsupported type]" for a kind the table does not name (an
// object of no named interface, Currency), the referenced interface, class
// or enumeration when there is one, and one "*" per level of indirection
// (by-reference parameters).
//
// Threading: used on the thread that created it.
//
//   Ref<ActiveXMethod> m = ActiveXMethod::Describe(member);
//   m->ToString();   // "Property Get Count As Integer"
#ifndef KVL_FACTORY_ACTIVEX_METHOD_H_
#define KVL_FACTORY_ACTIVEX_METHOD_H_

#include <cstdint>
#include <string>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/type_library.h"

namespace kvl {

// "Function", "Property Get", "Property Put", "Property PutRef",
// "EventHandler" for invocation kinds 1, 2, 4, 8, 16; "Unknown" for 0;
// "Unexpected" otherwise.
KVL_EXPORT std::string MethodTypeText(int32_t invoke_kind);
// The name of variant type code `vt` (flag bits 0x1000, 0x2000, 0x4000 and
// 0x8000 ignored): "Integer", "Long", "BStr", ... or "[Unsupported type]".
KVL_EXPORT std::string VariantTypeText(int32_t vt);
// The type's text: the referenced name, else VariantTypeText, followed by
// one "*" per level of indirection.
KVL_EXPORT std::string TypeDescText(const TypeDesc& type);

// Public, not creatable (kind 3).
class KVL_EXPORT ActiveXMethod : public Object {
  KVL_DECLARE_CLASS(ActiveXMethod)
 public:
  static Ref<ActiveXMethod> Describe(const TypeLibMember& member);

  const std::string& Name() const { return name_; }
  const std::string& ReturnType() const { return return_type_; }
  int16_t ParamCount() const;
  // The 1-based parameter text ("Long a"); "" out of range.
  std::string Param(int16_t index) const;
  const std::string& MethodType() const { return method_type_; }
  // MethodType + " " + Name, the parameters in parentheses separated by
  // "," when there are any, then " As " + ReturnType. The default member.
  std::string ToString() const;

 private:
  ActiveXMethod() = default;

  std::string name_;
  std::string return_type_;
  std::string method_type_;
  std::vector<std::string> params_;
};

}  // namespace kvl

#endif  // KVL_FACTORY_ACTIVEX_METHOD_H_

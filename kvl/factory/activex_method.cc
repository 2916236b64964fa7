#include "kvl/factory/activex_method.h"

#include "kvl/frame/catalogue.h"
#include "kvl/runtime/checked.h"

namespace kvl {

std::string MethodTypeText(int32_t invoke_kind) {
  switch (invoke_kind) {
    case 0: return "Unknown";
    case 1: return "Function";
    case 2: return "Property Get";
    case 4: return "Property Put";
    case 8: return "Property PutRef";
    case 16: return "EventHandler";
    default: return "Unexpected";
  }
}

std::string VariantTypeText(int32_t vt) {
  switch (vt & ~0xF000) {
    case 0: return "[Empty]";
    case 1: return "Null";
    case 2:
    case 18:
    case 22:
    case 23: return "Integer";
    case 3:
    case 19: return "Long";
    case 4: return "Single";
    case 5: return "Double";
    case 7: return "Date";
    case 8: return "BStr";
    case 11: return "Boolean";
    case 12: return "Variant";
    case 14: return "Decimal";
    case 16:
    case 17: return "Byte";
    case 20: return "Int8";
    case 21: return "UInt8";
    case 24: return "Void";
    case 25: return "HResult";
    case 30: return "LPStr";
    case 31: return "LPWStr";
    default: return "[Unsupported type]";
  }
}

std::string TypeDescText(const TypeDesc& type) {
  std::string out = type.ref.empty() ? VariantTypeText(type.vt) : type.ref;
  for (int32_t i = 0; i < type.indirection; ++i) out += '*';
  return out;
}

const ClassInfo& ActiveXMethod::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ActiveXMethod>("ActiveXMethod", ClassKind::kPublic)
          .Get<&ActiveXMethod::Name>("Name")
          .Get<&ActiveXMethod::ReturnType>("ReturnType")
          .Get<&ActiveXMethod::ParamCount>("ParamCount")
          .Get<&ActiveXMethod::Param>("Param", {Arg("Index")})
          .Get<&ActiveXMethod::MethodType>("MethodType")
          .Get<&ActiveXMethod::ToString>("ToString")
          .Default()
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ActiveXMethod)

Ref<ActiveXMethod> ActiveXMethod::Describe(const TypeLibMember& member) {
  Ref<ActiveXMethod> m(new ActiveXMethod());
  m->name_ = member.name;
  m->method_type_ = MethodTypeText(member.invoke_kind);
  m->return_type_ = TypeDescText(member.result);
  for (const TypeLibParam& p : member.params)
    m->params_.push_back(TypeDescText(p.type) + " " + p.name);
  return m;
}

int16_t ActiveXMethod::ParamCount() const {
  return CheckedCast<int16_t>(params_.size());
}

std::string ActiveXMethod::Param(int16_t index) const {
  if (index < 1 || static_cast<size_t>(index) > params_.size()) return {};
  return params_[static_cast<size_t>(index) - 1];
}

std::string ActiveXMethod::ToString() const {
  std::string out = method_type_ + " " + name_;
  if (!params_.empty()) {
    out += "(";
    for (size_t i = 0; i < params_.size(); ++i) {
      if (i > 0) out += ",";
      out += params_[i];
    }
    out += ")";
  }
  return out + " As " + return_type_;
}

}  // namespace kvl

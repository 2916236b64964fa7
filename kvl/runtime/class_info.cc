#include "kvl/runtime/class_info.h"

#include <cstdio>
#include <cstdlib>

namespace kvl {

size_t MemberInfo::RequiredCount() const {
  size_t n = 0;
  for (const ParamInfo& p : params)
    if (!p.optional) ++n;
  return n;
}

std::string MemberInfo::ResultTypeName() const {
  return result_class ? result_class().name() : result_type_name;
}

std::string ParamInfo::TypeName() const {
  return type_class ? type_class().name() : type_name;
}

ClassInfo::ClassInfo(std::string name, ClassKind kind,
                     std::vector<MemberInfo> members,
                     std::vector<InterfaceGetter> interfaces,
                     InterfaceGetter notifications)
    : name_(std::move(name)),
      kind_(kind),
      clsid_(LibraryGuid(ProgId())),
      iid_(LibraryGuid(kind == ClassKind::kCreatable ||
                               kind == ClassKind::kGlobal
                           ? "_" + name_
                           : name_)),
      members_(std::move(members)),
      interfaces_(std::move(interfaces)),
      notifications_(notifications) {
  // Dispatch ids: Item 0, NewEnum -4, others numbered by first appearance
  // of their name, shared by the Get/Let/Set members of one property.
  int32_t next_id = 1;
  for (uint32_t i = 0; i < members_.size(); ++i) {
    MemberInfo& m = members_[i];
    auto it = index_.find(m.name);
    if (it != index_.end()) {
      m.dispid = members_[it->second.front()].dispid;
      for (uint32_t j : it->second)
        if (members_[j].kind == m.kind)
          internal::BadMemberTable(m.name, "member listed twice");
      it->second.push_back(i);
      continue;
    }
    if (EqualsNoCase(m.name, "Item")) {
      m.dispid = kDispIdItem;
    } else if (EqualsNoCase(m.name, "NewEnum")) {
      m.dispid = kDispIdNewEnum;
      m.hidden = true;
    } else {
      m.dispid = next_id++;
    }
    index_[m.name].push_back(i);
  }
}

std::string ClassInfo::ProgId() const { return "KVLCommon." + name_; }

uint32_t ClassInfo::TypeFlags() const {
  switch (kind_) {
    case ClassKind::kGlobal: return 0xb;
    case ClassKind::kCreatable: return 0x2;
    default: return 0;
  }
}

uint32_t ClassInfo::InterfaceTypeFlags() const {
  return kind_ == ClassKind::kNotification ? 0x1090 : 0x11d0;
}

static bool KindAnswers(CallKind member, CallKind call) {
  if (call == CallKind::kMethod || call == CallKind::kGet)
    return member == CallKind::kMethod || member == CallKind::kGet;
  return member == call;
}

const MemberInfo* ClassInfo::Find(std::string_view name, CallKind kind) const {
  auto it = index_.find(name);
  if (it == index_.end()) return nullptr;
  const MemberInfo* fallback = nullptr;
  for (uint32_t i : it->second) {
    const MemberInfo& m = members_[i];
    if (m.kind == kind) return &m;
    if (!fallback && KindAnswers(m.kind, kind)) fallback = &m;
  }
  return fallback;
}

bool ClassInfo::HasMember(std::string_view name) const {
  return index_.find(name) != index_.end();
}

const MemberInfo* ClassInfo::FindByDispId(int32_t dispid,
                                          CallKind kind) const {
  for (const MemberInfo& m : members_)
    if (m.dispid == dispid && KindAnswers(m.kind, kind))
      return Find(m.name, kind);
  return nullptr;
}

Variant ClassInfo::Invoke(Object& self, std::string_view name, CallKind kind,
                          std::span<Variant> args) const {
  const MemberInfo* m = Find(name, kind);
  if (!m) {
    // Assigning to a property that has no Let/Set is a wrong assignment,
    // anything else an unknown member.
    if ((kind == CallKind::kLet || kind == CallKind::kSet) && HasMember(name))
      Raise(kErrWrongArgumentCount, ProgId());
    Raise(kErrNotSupported, ProgId());
  }
  return InvokeMember(self, *m, args);
}

Variant ClassInfo::InvokeMember(Object& self, const MemberInfo& m,
                                std::span<Variant> args) const {
  const size_t n = args.size();
  const size_t p = m.params.size();
  if (n > p) Raise(kErrWrongArgumentCount, ProgId());
  bool complete = n == p;
  for (size_t i = 0; i < n && complete; ++i)
    if (args[i].is_missing() &&
        (!m.params[i].optional || m.params[i].has_default))
      complete = false;
  if (complete) return m.invoke(self, args);

  // Fill omitted or missing arguments, call, then hand the given arguments
  // (with what by-reference parameters wrote) back to the caller.
  std::vector<Variant> full(p);
  std::vector<char> given(n, 0);
  for (size_t i = 0; i < p; ++i) {
    const ParamInfo& param = m.params[i];
    if (i < n && !args[i].is_missing()) {
      given[i] = 1;
      full[i] = std::move(args[i]);
    } else if (param.optional) {
      full[i] = param.has_default ? param.default_value : Variant::Missing();
    } else {
      for (size_t j = 0; j < i && j < n; ++j)
        if (given[j]) args[j] = std::move(full[j]);
      Raise(kErrArgumentNotOptional, ProgId());
    }
  }
  struct GiveBack {
    std::span<Variant> args;
    std::vector<Variant>& full;
    std::vector<char>& given;
    ~GiveBack() {
      for (size_t i = 0; i < args.size(); ++i)
        if (given[i]) args[i] = std::move(full[i]);
    }
  } give_back{args, full, given};
  return m.invoke(self, full);
}

MemberInfo CustomMember(std::string name, CallKind kind,
                        std::initializer_list<ParamSpec> params,
                        VarType result, Invoker invoke) {
  MemberInfo m;
  m.name = std::move(name);
  m.kind = kind;
  for (const ParamSpec& spec : params) {
    ParamInfo p;
    p.name = spec.name;
    p.type = spec.declared != VarType::kEmpty ? spec.declared
                                              : VarType::kVariant;
    if (p.type == VarType::kObject) p.type_name = "Object";
    p.by_ref = spec.by_ref;
    p.optional = spec.optional;
    p.has_default = spec.has_default;
    p.default_value = spec.default_value;
    m.params.push_back(std::move(p));
  }
  m.result = result;
  m.invoke = invoke;
  return m;
}

namespace internal {
void BadMemberTable(std::string_view member, std::string_view problem) {
  std::fprintf(stderr, "kvl: bad member table at '%.*s': %.*s\n",
               static_cast<int>(member.size()), member.data(),
               static_cast<int>(problem.size()), problem.data());
  std::abort();
}
}  // namespace internal

Variant CallByName(Object& object, std::string_view name, CallKind kind,
                   std::span<Variant> args) {
  return object.Invoke(name, kind, args);
}

}  // namespace kvl

#include "kvl/runtime/class_info.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "kvl/runtime/notifier.h"

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
                     InterfaceGetter notifications, ExtentGetter extent)
    : name_(std::move(name)),
      kind_(kind),
      clsid_(LibraryGuid(ProgId())),
      iid_(LibraryGuid(kind == ClassKind::kCreatable ||
                               kind == ClassKind::kGlobal
                           ? "_" + name_
                           : name_)),
      members_(std::move(members)),
      interfaces_(std::move(interfaces)),
      notifications_(notifications),
      extent_(extent) {
  if (notifications_) interfaces_.push_back(&ConnectionPointInterface);
  // Dispatch ids: the default member 0 (the marked one, else Item), NewEnum
  // -4, others numbered by first appearance of their name, shared by the
  // Get/Let/Set members of one property.
  std::string default_name = "Item";
  for (const MemberInfo& m : members_)
    if (m.is_default) default_name = m.name;
  int32_t next_id = 1;
  for (uint32_t i = 0; i < members_.size(); ++i) {
    MemberInfo& m = members_[i];
    if (m.params.size() > 1 &&
        std::any_of(m.params.begin(), m.params.end() - 1,
                    [](const ParamInfo& p) { return p.param_array; }))
      internal::BadMemberTable(m.name, "a variable argument list comes last");
    if (EqualsNoCase(m.name, "NewEnum")) {
      // Every enumerator is published alike, whatever the C++ result.
      m.result = VarType::kUnknown;
      m.result_class = nullptr;
      m.result_type_name = "IEnumVariant";
    }
    auto it = index_.find(m.name);
    if (it != index_.end()) {
      m.dispid = members_[it->second.front()].dispid;
      for (uint32_t j : it->second)
        if (members_[j].kind == m.kind)
          internal::BadMemberTable(m.name, "member listed twice");
      it->second.push_back(i);
      continue;
    }
    if (EqualsNoCase(m.name, default_name)) {
      m.dispid = kDispIdItem;
    } else if (EqualsNoCase(m.name, "NewEnum")) {
      m.dispid = kDispIdNewEnum;
      m.hidden = true;
    } else {
      m.dispid = next_id++;
    }
    index_[m.name].push_back(i);
  }
  for (MemberInfo& m : members_)
    if (m.dispid == kDispIdItem) m.is_default = true;
}

ClassInfo::ClassInfo(std::string name, std::vector<EnumConstant> constants)
    : ClassInfo(std::move(name), ClassKind::kEnumeration, {}) {
  constants_ = std::move(constants);
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

namespace {

// Byte equality without a library call: member names are short.
bool SameBytes(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i]) return false;
  return true;
}

// The slot of ClassInfo::recent_ for a call of `name` (not empty) as `kind`.
size_t RecentSlot(std::string_view name, CallKind kind, size_t slots) {
  auto first = static_cast<unsigned char>(name.front());
  auto last = static_cast<unsigned char>(name.back());
  return (name.size() + 3 * first + 5 * last + static_cast<size_t>(kind)) &
         (slots - 1);
}

}  // namespace

const MemberInfo* ClassInfo::Find(std::string_view name, CallKind kind) const {
  if (name.empty()) return FindByDispId(kDispIdItem, kind);
  static_assert((kRecentSlots & (kRecentSlots - 1)) == 0);
  std::atomic<uint32_t>& recent = recent_[RecentSlot(name, kind, kRecentSlots)];
  const auto kind_bits = static_cast<uint32_t>(kind);
  const uint32_t seen = recent.load(std::memory_order_relaxed);
  if (seen != 0 && (seen & 0xff) == kind_bits) {
    const MemberInfo& m = members_[(seen >> 8) - 1];
    if (SameBytes(m.name, name)) return &m;
  }
  const MemberInfo* found = FindIndexed(name, kind);
  // Only an exact spelling is kept: a later exact match then names the
  // same member, and the lookup's answer depends on nothing else.
  if (found && SameBytes(found->name, name))
    recent.store(
        static_cast<uint32_t>(found - members_.data() + 1) << 8 | kind_bits,
        std::memory_order_relaxed);
  return found;
}

const MemberInfo* ClassInfo::FindIndexed(std::string_view name,
                                         CallKind kind) const {
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
    if (m.dispid == dispid && KindAnswers(m.kind, kind) && !m.name.empty())
      return Find(m.name, kind);
  return nullptr;
}

namespace {

// Calls the member and gives its result as published: nothing for a member
// without result, an unknown-interface reference where the table says so.
// The callee's result is handed on in place, never copied.
Variant CallPublished(Object& self, const MemberInfo& m,
                      std::span<Variant> args) {
  Variant result = m.invoke(self, args);
  if (m.result == VarType::kEmpty) {
    result = Variant();
  } else if (m.result == VarType::kUnknown && result.is_object()) {
    result = Variant::Unknown(result.AsObject());
  }
  return result;
}

// True when `args` are the member's parameters one for one, none missing
// and no variable argument list to gather: the call needs no filling in.
bool GivesEveryArgument(const MemberInfo& m, std::span<Variant> args) {
  if (args.size() != m.params.size()) return false;
  if (!args.empty() && m.params.back().param_array) return false;
  for (const Variant& a : args)
    if (a.is_missing()) return false;
  return true;
}

}  // namespace

Variant ClassInfo::Invoke(Object& self, std::string_view name, CallKind kind,
                          std::span<Variant> args) const {
  const MemberInfo* m = Find(name, kind);
  if (m == nullptr) return InvokeElsewhere(self, name, kind, args);
  if (GivesEveryArgument(*m, args)) return CallPublished(self, *m, args);
  return InvokeMember(self, *m, args);
}

Variant ClassInfo::InvokeElsewhere(Object& self, std::string_view name,
                                   CallKind kind,
                                   std::span<Variant> args) const {
  for (InterfaceGetter get : interfaces_) {
    const ClassInfo& iface = get();
    if (const MemberInfo* found = iface.Find(name, kind))
      return iface.InvokeMember(self, *found, args);
  }
  // Assigning to a property that has no Let/Set is a wrong assignment,
  // anything else an unknown member.
  if ((kind == CallKind::kLet || kind == CallKind::kSet) && HasMember(name))
    Raise(kErrWrongArgumentCount, ProgId());
  Raise(kErrNotSupported, ProgId());
}

Variant ClassInfo::InvokeMember(Object& self, const MemberInfo& m,
                                std::span<Variant> args) const {
  const size_t n = args.size();
  const size_t p = m.params.size();
  if (p > 0 && m.params.back().param_array) {
    // Gather the arguments beyond the fixed ones into one array and call
    // with the fixed ones (by reference) and the array.
    const size_t fixed = p - 1;
    const size_t given = std::min(n, fixed);
    std::vector<Variant> call(p);
    for (size_t i = 0; i < fixed; ++i)
      call[i] = i < given ? std::move(args[i]) : Variant::Missing();
    Variant list =
        Variant::MakeArray(VarType::kVariant, 0,
                           static_cast<int32_t>(n > fixed ? n - fixed : 0) - 1);
    for (size_t i = fixed; i < n; ++i)
      list.Array().items()[i - fixed] = args[i];
    call[fixed] = std::move(list);
    struct GiveBack {
      std::span<Variant> args;
      std::vector<Variant>& call;
      size_t given;
      ~GiveBack() {
        for (size_t i = 0; i < given; ++i) args[i] = std::move(call[i]);
      }
    } give_back{args, call, given};
    return InvokeFixed(self, m, call);
  }
  if (n > p) Raise(kErrWrongArgumentCount, ProgId());
  return InvokeFixed(self, m, args);
}

Variant ClassInfo::InvokeFixed(Object& self, const MemberInfo& m,
                               std::span<Variant> args) const {
  const size_t n = args.size();
  const size_t p = m.params.size();
  bool complete = n == p;
  for (size_t i = 0; i < n && complete; ++i)
    if (args[i].is_missing() &&
        (!m.params[i].optional || m.params[i].has_default ||
         !m.params[i].omitted.is_missing()))
      complete = false;
  if (complete) return CallPublished(self, m, args);

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
      full[i] = param.has_default ? param.default_value : param.omitted;
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
  return CallPublished(self, m, full);
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
    p.type_class = spec.named;
    p.by_ref = spec.by_ref;
    p.optional = spec.optional;
    p.has_default = spec.has_default;
    p.default_value = spec.default_value;
    p.param_array = spec.param_array;
    m.params.push_back(std::move(p));
  }
  m.result = result;
  m.invoke = invoke;
  return m;
}

std::string TypeText(VarType type, const std::string& type_name) {
  if (!type_name.empty()) return type_name;
  std::string suffix = IsArrayType(type) ? "()" : "";
  switch (ElementType(type)) {
    case VarType::kEmpty: return "Empty" + suffix;
    case VarType::kNull: return "Null" + suffix;
    case VarType::kI2: return "Integer" + suffix;
    case VarType::kI4: return "Long" + suffix;
    case VarType::kR4: return "Single" + suffix;
    case VarType::kR8: return "Double" + suffix;
    case VarType::kCurrency: return "Currency" + suffix;
    case VarType::kDate: return "Date" + suffix;
    case VarType::kString: return "String" + suffix;
    case VarType::kObject: return "Object" + suffix;
    case VarType::kError: return "Error" + suffix;
    case VarType::kBool: return "Boolean" + suffix;
    case VarType::kUnknown: return "IUnknown" + suffix;
    case VarType::kDecimal: return "Decimal" + suffix;
    case VarType::kByte: return "Byte" + suffix;
    default: return "Variant" + suffix;
  }
}

namespace {

const char* KindText(CallKind kind) {
  switch (kind) {
    case CallKind::kGet: return "Get";
    case CallKind::kLet: return "Let";
    case CallKind::kSet: return "Set";
    case CallKind::kMethod: break;
  }
  return "Method";
}

// A default value as written in a signature: strings quoted, objects by
// their kind.
std::string DefaultText(const Variant& v) {
  if (v.is_nothing()) return "Nothing";
  if (v.is_object()) return TypeName(v);
  if (v.is_string()) return "\"" + v.AsString() + "\"";
  if (v.is_empty()) return "Empty";
  try {
    return ToText(v);
  } catch (const KVLError&) {
    return TypeName(v);
  }
}

std::string ParamText(const ParamInfo& p) {
  std::string out;
  if (p.optional && !p.param_array) out += "Optional ";
  if (p.by_ref) out += "ByRef ";
  if (p.param_array) {
    out += "ParamArray " + p.name + "() As " +
           TypeText(ElementType(p.type), p.TypeName());
    return out;
  }
  out += p.name + " As " + TypeText(p.type, p.TypeName());
  if (p.has_default) out += " = " + DefaultText(p.default_value);
  return out;
}

}  // namespace

std::string SignatureText(const MemberInfo& m) {
  std::string out = std::string(KindText(m.kind)) + " " + m.name + "(";
  for (size_t i = 0; i < m.params.size(); ++i) {
    if (i > 0) out += ", ";
    out += ParamText(m.params[i]);
  }
  out += ")";
  if (m.result != VarType::kEmpty)
    out += " As " + TypeText(m.result, m.ResultTypeName());
  return out;
}

namespace internal {
void BadMemberTable(std::string_view member, std::string_view problem) {
  std::fprintf(stderr, "kvl: bad member table at '%.*s': %.*s\n",
               static_cast<int>(member.size()), member.data(),
               static_cast<int>(problem.size()), problem.data());
  std::abort();
}
}  // namespace internal

Ref<Object> QueryInterfaceById(Object& object, const Guid& iid) {
  if (object.Class().iid() == iid) return Ref<Object>(&object);
  const ClassInfo& own = object.Identity()->Class();
  if (own.iid() == iid) return Ref<Object>(object.Identity());
  for (ClassInfo::InterfaceGetter get : own.interfaces()) {
    const ClassInfo& iface = get();
    if (iface.iid() == iid) return object.QueryInterface(iface.name());
  }
  return nullptr;
}

Variant CallByName(Object& object, std::string_view name, CallKind kind,
                   std::span<Variant> args) {
  return object.Invoke(name, kind, args);
}

}  // namespace kvl

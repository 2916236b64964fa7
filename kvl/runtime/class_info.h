// ClassInfo: the type information and late-binding table of a class or
// interface.
//
// Every public class publishes its default interface as an ordered member
// table: name, kind (method, property Get, Let, Set), parameters (name, kind
// of value, optional with or without a default, by reference) and result
// kind. Calls by name go through the table (ClassInfo::Invoke), which
// converts arguments to the C++ parameter types, fills in omitted optional
// arguments and writes by-reference arguments back. The same tables are the
// library's type information: the catalogue, the `kvl members` tool and the
// object factory read them.
//
// A class builds its table once with ClassBuilder, naming C++ member
// functions; parameter and result kinds come from the C++ signature:
//
//   const ClassInfo& KVLConstants::StaticClass() {
//     static const ClassInfo info =
//         ClassBuilder<KVLConstants>("KVLConstants", ClassKind::kGlobal)
//             .Get<&KVLConstants::kKVLExceptionString>("kKVLExceptionString",
//                                                       {Arg("x")})
//             .Build();
//     return info;
//   }
//
// Mapping of C++ parameter types: int16_t Integer, int32_t Long, float
// Single, double Double, bool Boolean, uint8_t Byte, std::string String,
// Date, Currency, Decimal, Variant, Ref<T> object of class T. An enum is
// passed as its underlying integer and published as its enumeration when
// the enum declares one (KVL_DECLARE_ENUM). A non-const lvalue reference
// parameter (std::string&) is by reference and written back to the caller.
//
// The table can say more than the C++ signature: a parameter or result of a
// named interface taken as Ref<Object> (`Arg("e").As(&IExtractor::
// StaticClass)`, `.Returns(&IKVLObserver::StaticClass)`), an unknown-
// interface reference (`.Of(VarType::kUnknown)`), a variable argument list
// (`ParamArray("params")`), the default member (`.Default()`; otherwise a
// member named `Item`), a member published without result
// (`.Returns(VarType::kEmpty)`). `NewEnum` gets dispatch id -4, is hidden and
// is published as returning an enumerator (kind 13, IEnumVariant).
//
// Write-back: after a call that returns, a by-reference argument is written
// back into the caller's argument array, also when the call filled omitted
// arguments; after a call that raises, the caller's arguments are as given.
// The elements gathered into a variable argument list are passed by value
// and never written back. CallByName's variadic form writes back only to
// Variant lvalues (see there).
//
// Enumerations of the type library are tables too, made by EnumBuilder: a
// name, a GUID and named values, without members.
//
// Tables are immutable after Build and safe to read from any thread. A call
// by name looks its member up in the table's index once per name and kind and
// then finds it again in a small cache of the names called last (see
// ClassInfo::Find), so a caller that calls the same members repeatedly pays
// for the case-insensitive lookup only the first time.
#ifndef KVL_RUNTIME_CLASS_INFO_H_
#define KVL_RUNTIME_CLASS_INFO_H_

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kvl/runtime/error.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/guid.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

// The four kinds of public class of the catalogue, plus interfaces that only
// exist as type information.
enum class ClassKind : uint8_t {
  kGlobal = 1,        // application object: reached without creating it
  kCreatable = 2,     // created by programmatic id or class id
  kPublic = 3,        // public, not creatable: interfaces, handed-out objects
  kPrivate = 4,       // internal to the library, not reachable by clients
  kNotification = 5,  // an outgoing notification interface (__X)
  kClient = 6,        // a client-made late-bound object (DynamicObject)
  kEnumeration = 7,   // an enumeration: named values, no members
};

inline constexpr int32_t kDispIdItem = 0;
inline constexpr int32_t kDispIdNewEnum = -4;

class ClassInfo;
using ClassGetter = const ClassInfo& (*)();

struct KVL_EXPORT ParamInfo {
  std::string name;
  // The kind of value; kUnknown for an unknown-interface reference.
  VarType type = VarType::kVariant;
  // The class of an object parameter, read when asked for (a table may name
  // its own class), else a fixed name, else nothing.
  ClassGetter type_class = nullptr;
  std::string type_name;
  bool by_ref = false;
  bool optional = false;
  // A published default; an optional parameter without one is published
  // as optional only.
  bool has_default = false;
  Variant default_value;
  // What an omitted argument without published default becomes: Missing
  // for a Variant parameter, the C++ type's empty value otherwise.
  Variant omitted = Variant::Missing();
  // The last parameter takes every remaining argument, as an array of
  // variants with lower bound 0.
  bool param_array = false;

  // The class or enumeration name for a parameter of a known class, else
  // type_name.
  std::string TypeName() const;
};

using Invoker = Variant (*)(Object& self, std::span<Variant> args);

struct KVL_EXPORT MemberInfo {
  std::string name;
  CallKind kind = CallKind::kMethod;
  int32_t dispid = 0;
  bool hidden = false;
  // Marked as the default member (dispatch id 0).
  bool is_default = false;
  std::vector<ParamInfo> params;
  VarType result = VarType::kEmpty;  // kEmpty: no result
  ClassGetter result_class = nullptr;
  std::string result_type_name;
  Invoker invoke = nullptr;

  // Number of parameters that must be given.
  size_t RequiredCount() const;
  // The class name of an object result of a known class, else
  // result_type_name.
  std::string ResultTypeName() const;
};

// A named value of an enumeration.
struct KVL_EXPORT EnumConstant {
  std::string name;
  int32_t value = 0;
};

// How a parameter is declared in a member table.
struct KVL_EXPORT ParamSpec {
  std::string name;
  bool optional = false;
  bool has_default = false;
  Variant default_value;
  bool by_ref = false;
  // The published kind when it differs from the C++ parameter's (an array
  // taken as a Variant, say); kEmpty keeps the C++ kind.
  VarType declared = VarType::kEmpty;
  // The published interface or class of an object parameter taken as
  // Ref<Object>.
  ClassGetter named = nullptr;
  bool param_array = false;

  // Publishes the parameter as kind `type`.
  ParamSpec&& Of(VarType type) && {
    declared = type;
    return std::move(*this);
  }
  // Publishes the parameter by reference although the C++ function takes
  // it by value or const reference (it is never written back).
  ParamSpec&& ByRef() && {
    by_ref = true;
    return std::move(*this);
  }
  // Publishes an object parameter as interface or class `type`; any object
  // is still accepted.
  ParamSpec&& As(ClassGetter type) && {
    named = type;
    return std::move(*this);
  }
};
// A required parameter.
inline ParamSpec Arg(std::string name) {
  ParamSpec p;
  p.name = std::move(name);
  return p;
}
// A required parameter declared by reference although the C++ function
// takes it by value or const reference (it is never written back).
inline ParamSpec RefArg(std::string name) {
  ParamSpec p = Arg(std::move(name));
  p.by_ref = true;
  return p;
}
// An optional parameter without a default: an omitted argument arrives as
// Variant::Missing(), so the C++ parameter must be a Variant.
inline ParamSpec OptArg(std::string name) {
  ParamSpec p = Arg(std::move(name));
  p.optional = true;
  return p;
}
// An optional parameter with a default value.
inline ParamSpec OptArg(std::string name, Variant default_value) {
  ParamSpec p = Arg(std::move(name));
  p.optional = true;
  p.has_default = true;
  p.default_value = std::move(default_value);
  return p;
}
// A variable argument list, the last parameter: the C++ parameter is a
// Variant that receives every remaining argument as an array of variants
// (lower bound 0, empty when none was given).
inline ParamSpec ParamArray(std::string name) {
  ParamSpec p = Arg(std::move(name));
  p.optional = true;
  p.param_array = true;
  p.declared = VarType::kArray | VarType::kVariant;
  return p;
}

class KVL_EXPORT ClassInfo {
 public:
  using InterfaceGetter = const ClassInfo& (*)();

  // The part of an object that holds the members of the class a table was
  // built for (where its Notifier lives).
  struct Extent {
    const void* begin = nullptr;
    size_t size = 0;
  };
  using ExtentGetter = Extent (*)(Object& self);

  ClassInfo(std::string name, ClassKind kind, std::vector<MemberInfo> members,
            std::vector<InterfaceGetter> interfaces = {},
            InterfaceGetter notifications = nullptr,
            ExtentGetter extent = nullptr);
  // An enumeration.
  ClassInfo(std::string name, std::vector<EnumConstant> constants);
  ClassInfo(const ClassInfo&) = delete;
  ClassInfo& operator=(const ClassInfo&) = delete;

  const std::string& name() const { return name_; }
  ClassKind kind() const { return kind_; }
  // The named values of an enumeration, in declaration order.
  const std::vector<EnumConstant>& constants() const { return constants_; }
  // "KVLCommon." + name.
  std::string ProgId() const;
  const Guid& clsid() const { return clsid_; }
  // The identifier of the default interface "_X" (of "X" for an interface).
  const Guid& iid() const { return iid_; }
  // The published type flags: 0xb global, 0x2 creatable, 0 otherwise.
  uint32_t TypeFlags() const;
  // The type flags of the class's interface: 0x11d0 for a default dual
  // interface, 0x1090 for an outgoing notification interface.
  uint32_t InterfaceTypeFlags() const;

  const std::vector<MemberInfo>& members() const { return members_; }
  // Other interfaces this class answers for (QueryInterface).
  const std::vector<InterfaceGetter>& interfaces() const {
    return interfaces_;
  }
  // The outgoing notification interface __X, or null. A class that has one
  // also answers for the connection-point interface (notifier.h).
  const ClassInfo* notifications() const {
    return notifications_ ? &notifications_() : nullptr;
  }
  // Where the table's class lies inside `self` (set for classes with
  // notifications).
  Extent ExtentOf(Object& self) const {
    return extent_ ? extent_(self) : Extent{};
  }

  // The member called `name` (ignoring case) that answers a call of `kind`:
  // a Method or Get call finds a method or a property Get; Let and Set find
  // their own kind. An empty name is the default member. Null when there is
  // none. A name spelled exactly as its member is found again through a
  // cache of recent lookups without hashing; any other spelling goes
  // through the case-insensitive index.
  const MemberInfo* Find(std::string_view name, CallKind kind) const;
  // True when some member is called `name`.
  bool HasMember(std::string_view name) const;
  // The member with dispatch id `dispid` answering `kind`, or null.
  const MemberInfo* FindByDispId(int32_t dispid, CallKind kind) const;

  // Calls a member of `self` through this table (see Object::Invoke); a
  // name this table does not answer goes to the first interface of the
  // class that does, so interface members answer by name on the object.
  Variant Invoke(Object& self, std::string_view name, CallKind kind,
                 std::span<Variant> args) const;
  Variant InvokeMember(Object& self, const MemberInfo& member,
                       std::span<Variant> args) const;

 private:
  // InvokeMember once a variable argument list is gathered.
  Variant InvokeFixed(Object& self, const MemberInfo& member,
                      std::span<Variant> args) const;
  // Find through the index alone.
  const MemberInfo* FindIndexed(std::string_view name, CallKind kind) const;
  // Invoke for a name this table lacks: an interface's member, or the
  // failure.
  Variant InvokeElsewhere(Object& self, std::string_view name, CallKind kind,
                          std::span<Variant> args) const;

  std::string name_;
  ClassKind kind_;
  Guid clsid_;
  Guid iid_;
  std::vector<MemberInfo> members_;
  std::vector<InterfaceGetter> interfaces_;
  InterfaceGetter notifications_;
  ExtentGetter extent_;
  std::vector<EnumConstant> constants_;
  // name -> indexes into members_ (one per kind)
  std::unordered_map<std::string, std::vector<uint32_t>, NoCaseHash,
                     NoCaseEqual>
      index_;
  // Recent lookups, direct-mapped by the name's length, first and last
  // bytes and the call kind: 0 for none, else (member index + 1) << 8 |
  // call kind, stored only for a name spelled exactly as the member's, so
  // that an exact match of the name proves the entry answers the call.
  // Entries are whole words, read and replaced by any thread.
  static constexpr size_t kRecentSlots = 16;
  mutable std::atomic<uint32_t> recent_[kRecentSlots] = {};
};

// Declares the type information of a class inside its body:
//   class X : public Object { KVL_DECLARE_CLASS(X) ... };
// and X.cc defines X::StaticClass().
#define KVL_DECLARE_CLASS(X)                                         \
 public:                                                             \
  static const ::kvl::ClassInfo& StaticClass();                      \
  const ::kvl::ClassInfo& Class() const override { return StaticClass(); } \
                                                                     \
 private:

// ---- value conversion for the binder ---------------------------------------

template <class T, class = void>
struct ValueTraits;

#define KVL_VALUE_TRAITS(Type, Kind, FromExpr)                    \
  template <>                                                     \
  struct ValueTraits<Type> {                                      \
    static constexpr VarType kType = Kind;                        \
    static std::string TypeName() { return {}; }                  \
    static ClassGetter Class() { return nullptr; }                \
    static Type From(const Variant& v) { return FromExpr(v); }    \
    static Variant To(const Type& x) { return Variant(x); }       \
    static Variant To(Type&& x) { return Variant(std::move(x)); } \
  };
KVL_VALUE_TRAITS(int16_t, VarType::kI2, ToI2)
KVL_VALUE_TRAITS(int32_t, VarType::kI4, ToI4)
KVL_VALUE_TRAITS(float, VarType::kR4, ToR4)
KVL_VALUE_TRAITS(double, VarType::kR8, ToR8)
KVL_VALUE_TRAITS(bool, VarType::kBool, ToBool)
KVL_VALUE_TRAITS(uint8_t, VarType::kByte, ToByte)
KVL_VALUE_TRAITS(std::string, VarType::kString, ToText)
KVL_VALUE_TRAITS(Date, VarType::kDate, ToDate)
KVL_VALUE_TRAITS(Currency, VarType::kCurrency, ToCurrency)
KVL_VALUE_TRAITS(Decimal, VarType::kDecimal, ToDecimal)
#undef KVL_VALUE_TRAITS

template <>
struct ValueTraits<Variant> {
  static constexpr VarType kType = VarType::kVariant;
  static std::string TypeName() { return {}; }
  static ClassGetter Class() { return nullptr; }
  static Variant From(const Variant& v) { return v; }
  static Variant To(const Variant& x) { return x; }
  static Variant To(Variant&& x) { return std::move(x); }
};

// Declares the enumeration table of enum E next to the enum (at namespace
// scope, in E's namespace); the .cc defines it with EnumBuilder:
//   KVL_DECLARE_ENUM(KVLExceptions)
//   const ClassInfo& KvlEnumInfo(KVLExceptions) { static const ClassInfo
//       info = EnumBuilder("KVLExceptions").Value(...).Build(); return info; }
// Members whose C++ type is E then publish the enumeration.
#define KVL_DECLARE_ENUM(E) KVL_EXPORT const ::kvl::ClassInfo& KvlEnumInfo(E);

template <class E>
struct ValueTraits<E, std::enable_if_t<std::is_enum_v<E>>> {
  using U = std::underlying_type_t<E>;
  static constexpr VarType kType = ValueTraits<U>::kType;
  static std::string TypeName() { return {}; }
  static ClassGetter Class() {
    if constexpr (requires { KvlEnumInfo(E{}); }) {
      return +[]() -> const ClassInfo& { return KvlEnumInfo(E{}); };
    } else {
      return nullptr;
    }
  }
  static E From(const Variant& v) {
    return static_cast<E>(ValueTraits<U>::From(v));
  }
  static Variant To(E x) { return Variant(static_cast<U>(x)); }
};

// The object behind `v` as a T: null for Empty or Nothing, raises 13 for a
// value that is not an object or an object that is not a T.
template <class T>
Ref<T> ObjectFromVariant(const Variant& v) {
  if (v.is_empty() || v.is_nothing()) return nullptr;
  if (!v.is_object()) Raise(kErrTypeMismatch);
  if constexpr (std::is_same_v<T, Object>) {
    return Ref<Object>(v.AsObject());
  } else {
    T* p = dynamic_cast<T*>(v.AsObject()->Identity());
    if (!p) Raise(kErrTypeMismatch);
    return Ref<T>(p);
  }
}

template <class T>
struct ValueTraits<Ref<T>> {
  static constexpr VarType kType = VarType::kObject;
  // The class is named through Class(), read only when asked for: a member
  // table may mention its own class while it is being built.
  static std::string TypeName() { return "Object"; }
  static ClassGetter Class() {
    if constexpr (requires { T::StaticClass(); }) {
      return &T::StaticClass;
    } else {
      return nullptr;
    }
  }
  static Ref<T> From(const Variant& v) { return ObjectFromVariant<T>(v); }
  static Variant To(const Ref<T>& x) { return Variant(x); }
};

namespace internal {

template <class F>
struct FnTraits;
template <class C, class R, class... A>
struct FnTraits<R (C::*)(A...)> {
  using Class = C;
  using Result = R;
  using Args = std::tuple<A...>;
  static constexpr size_t kArity = sizeof...(A);
};
template <class C, class R, class... A>
struct FnTraits<R (C::*)(A...) const> : FnTraits<R (C::*)(A...)> {};
template <class C, class R, class... A>
struct FnTraits<R (C::*)(A...) noexcept> : FnTraits<R (C::*)(A...)> {};
template <class C, class R, class... A>
struct FnTraits<R (C::*)(A...) const noexcept> : FnTraits<R (C::*)(A...)> {};

// Holds one converted argument for the duration of a call.
template <class A>
struct KVL_EXPORT ArgHolder {
  using D = std::remove_cvref_t<A>;
  static constexpr bool kOut =
      std::is_lvalue_reference_v<A> &&
      !std::is_const_v<std::remove_reference_t<A>>;
  D value;
  explicit ArgHolder(Variant& v) : value(ValueTraits<D>::From(v)) {}
  A get() {
    if constexpr (std::is_lvalue_reference_v<A>) {
      return value;
    } else {
      return std::move(value);
    }
  }
  void WriteBack(Variant& v) {
    if constexpr (kOut) v = ValueTraits<D>::To(value);
  }
};
template <>
struct ArgHolder<const Variant&> {
  static constexpr bool kOut = false;
  const Variant* p;
  explicit ArgHolder(Variant& v) : p(&v) {}
  const Variant& get() { return *p; }
  void WriteBack(Variant&) {}
};
template <>
struct ArgHolder<Variant&> {
  static constexpr bool kOut = true;
  Variant* p;
  explicit ArgHolder(Variant& v) : p(&v) {}
  Variant& get() { return *p; }
  void WriteBack(Variant&) {}
};

template <class C>
C& CastSelf(Object& self) {
  if constexpr (std::is_base_of_v<Object, C>) {
    return static_cast<C&>(self);
  } else {
    C* p = dynamic_cast<C*>(self.Identity());
    if (!p) Raise(kErrNotSupported);
    return *p;
  }
}

template <auto F, class... A, size_t... I>
Variant CallWith(Object& self, std::span<Variant> args, std::tuple<A...>*,
                 std::index_sequence<I...>) {
  using T = FnTraits<decltype(F)>;
  using R = typename T::Result;
  auto& obj = CastSelf<typename T::Class>(self);
  std::tuple<ArgHolder<A>...> held{ArgHolder<A>(args[I])...};
  if constexpr (std::is_void_v<R>) {
    (obj.*F)(std::get<I>(held).get()...);
    (std::get<I>(held).WriteBack(args[I]), ...);
    return Variant();
  } else {
    Variant result =
        ValueTraits<std::remove_cvref_t<R>>::To((obj.*F)(std::get<I>(held).get()...));
    (std::get<I>(held).WriteBack(args[I]), ...);
    return result;
  }
}

template <auto F>
Variant Thunk(Object& self, std::span<Variant> args) {
  using T = FnTraits<decltype(F)>;
  return CallWith<F>(self, args, static_cast<typename T::Args*>(nullptr),
                     std::make_index_sequence<T::kArity>{});
}

template <class A>
ParamInfo DescribeParam(const ParamSpec& spec) {
  using D = std::remove_cvref_t<A>;
  ParamInfo p;
  p.name = spec.name;
  p.type = spec.declared != VarType::kEmpty ? spec.declared
                                            : ValueTraits<D>::kType;
  if (spec.declared == VarType::kEmpty) {
    p.type_name = ValueTraits<D>::TypeName();
    p.type_class = ValueTraits<D>::Class();
  }
  if (spec.named) p.type_class = spec.named;
  p.by_ref = spec.by_ref || ArgHolder<A>::kOut;
  p.optional = spec.optional;
  p.has_default = spec.has_default;
  p.default_value = spec.default_value;
  p.param_array = spec.param_array;
  if constexpr (!std::is_same_v<D, Variant>) {
    if (spec.optional && !spec.has_default) p.omitted = ValueTraits<D>::To(D{});
  }
  return p;
}

template <class C>
ClassInfo::Extent ExtentOf(Object& self) {
  return ClassInfo::Extent{&CastSelf<C>(self), sizeof(C)};
}

// Aborts with a message: a member table that does not match its C++
// function is a programming error found by the first use of the table.
[[noreturn]] KVL_EXPORT void BadMemberTable(std::string_view member,
                                            std::string_view problem);

}  // namespace internal

// A member with a hand-written invoker, for calls whose late-bound form
// differs from any C++ signature (a variable argument list, say). Each
// parameter's kind is its declared kind (ParamSpec::Of), else Variant.
KVL_EXPORT MemberInfo CustomMember(std::string name, CallKind kind,
                                   std::initializer_list<ParamSpec> params,
                                   VarType result, Invoker invoke);

// Builds a ClassInfo for class C. Members are listed in table order.
template <class C>
class KVL_EXPORT ClassBuilder {
 public:
  ClassBuilder(std::string name, ClassKind kind)
      : name_(std::move(name)), kind_(kind) {}

  template <auto F>
  ClassBuilder& Method(std::string name,
                       std::initializer_list<ParamSpec> params = {}) {
    return Add<F>(std::move(name), CallKind::kMethod, params);
  }
  template <auto F>
  ClassBuilder& Get(std::string name,
                    std::initializer_list<ParamSpec> params = {}) {
    return Add<F>(std::move(name), CallKind::kGet, params);
  }
  // For Let and Set the value is the last C++ parameter; it is described
  // with the property name unless named in `params`.
  template <auto F>
  ClassBuilder& Let(std::string name,
                    std::initializer_list<ParamSpec> params = {}) {
    return Add<F>(std::move(name), CallKind::kLet, params);
  }
  template <auto F>
  ClassBuilder& Set(std::string name,
                    std::initializer_list<ParamSpec> params = {}) {
    return Add<F>(std::move(name), CallKind::kSet, params);
  }
  // Another interface this class answers for.
  ClassBuilder& Implements(ClassInfo::InterfaceGetter iface) {
    interfaces_.push_back(iface);
    return *this;
  }
  // The class's outgoing notification interface.
  ClassBuilder& Notifies(ClassInfo::InterfaceGetter iface) {
    notifications_ = iface;
    return *this;
  }
  // Adds a member whose invoker is written by hand (for members whose C++
  // form cannot be bound directly).
  ClassBuilder& Custom(MemberInfo member) {
    members_.push_back(std::move(member));
    return *this;
  }

  // The following apply to the member added last.
  // Publishes the result as an object of interface or class `type`.
  ClassBuilder& Returns(ClassGetter type) {
    Last().result_class = type;
    return *this;
  }
  // Publishes the result as kind `type` (kEmpty: no result; a late-bound
  // call then returns Empty).
  ClassBuilder& Returns(VarType type) {
    MemberInfo& m = Last();
    m.result = type;
    m.result_class = nullptr;
    m.result_type_name.clear();
    return *this;
  }
  // Makes the member the class's default member (dispatch id 0).
  ClassBuilder& Default() {
    Last().is_default = true;
    return *this;
  }

  ClassInfo Build() {
    ClassInfo::ExtentGetter extent = nullptr;
    if (notifications_) extent = &internal::ExtentOf<C>;
    return ClassInfo(std::move(name_), kind_, std::move(members_),
                     std::move(interfaces_), notifications_, extent);
  }

 private:
  template <auto F>
  ClassBuilder& Add(std::string name, CallKind kind,
                    std::initializer_list<ParamSpec> params) {
    using T = internal::FnTraits<decltype(F)>;
    static_assert(std::is_base_of_v<typename T::Class, C> ||
                      std::is_same_v<typename T::Class, C>,
                  "member function of another class");
    MemberInfo m;
    m.name = std::move(name);
    m.kind = kind;
    std::vector<ParamSpec> specs(params);
    // A function without parameters has no value to name (and a size
    // compared through + 1 could wrap).
    if constexpr (T::kArity > 0) {
      if ((kind == CallKind::kLet || kind == CallKind::kSet) &&
          specs.size() == T::kArity - 1) {
        specs.push_back(Arg(m.name));
      }
    }
    m.params = DescribeAll<typename T::Args>(specs, m.name);
    using R = std::remove_cvref_t<typename T::Result>;
    if constexpr (!std::is_void_v<R>) {
      m.result = ValueTraits<R>::kType;
      m.result_type_name = ValueTraits<R>::TypeName();
      m.result_class = ValueTraits<R>::Class();
    }
    m.invoke = &internal::Thunk<F>;
    members_.push_back(std::move(m));
    return *this;
  }

  template <class Tuple>
  static std::vector<ParamInfo> DescribeAll(const std::vector<ParamSpec>& specs,
                                            std::string_view member) {
    return DescribeFrom(static_cast<Tuple*>(nullptr), specs, member);
  }
  template <class... A>
  static std::vector<ParamInfo> DescribeFrom(std::tuple<A...>*,
                                             const std::vector<ParamSpec>& specs,
                                             std::string_view member) {
    if (specs.size() != sizeof...(A))
      internal::BadMemberTable(member,
                               "parameter count differs from the C++ function");
    std::vector<ParamInfo> out;
    size_t i = 0;
    (out.push_back(internal::DescribeParam<A>(specs[i++])), ...);
    return out;
  }

  MemberInfo& Last() {
    if (members_.empty()) internal::BadMemberTable(name_, "no member yet");
    return members_.back();
  }

  std::string name_;
  ClassKind kind_;
  std::vector<MemberInfo> members_;
  std::vector<ClassInfo::InterfaceGetter> interfaces_;
  ClassInfo::InterfaceGetter notifications_ = nullptr;
};

// Builds the table of an enumeration: its values in published order.
class KVL_EXPORT EnumBuilder {
 public:
  explicit EnumBuilder(std::string name) : name_(std::move(name)) {}
  EnumBuilder& Value(std::string name, int32_t value) {
    constants_.push_back(EnumConstant{std::move(name), value});
    return *this;
  }
  ClassInfo Build() {
    return ClassInfo(std::move(name_), std::move(constants_));
  }

 private:
  std::string name_;
  std::vector<EnumConstant> constants_;
};

// The published text of a type: "Long", "String()", a class, interface or
// enumeration name, "IUnknown" for an unknown-interface reference.
KVL_EXPORT std::string TypeText(VarType type, const std::string& type_name);
// A member as published, for listings and type information:
//   "Method Add(x As Object, Optional AKey As String) As KVLExceptions"
// (kind, name, parameters with Optional / ByRef / ParamArray and defaults,
// result).
KVL_EXPORT std::string SignatureText(const MemberInfo& member);

// The interface of `object` whose identifier is `iid`: the object itself
// for its own (default) interface, else what QueryInterface gives for the
// interface of that identifier that its class lists; null when the class
// lists none.
KVL_EXPORT Ref<Object> QueryInterfaceById(Object& object, const Guid& iid);

// Calls `name` on `object` late-bound with the given arguments. The span
// form passes the caller's array itself: by-reference arguments are written
// back into it. The variadic form copies each argument into a Variant; after
// a call that returns, an argument passed as a non-const lvalue Variant
// receives what the callee wrote back, and every other argument (a const
// Variant, a temporary, a value of another type) is left untouched. After a
// call that raises nothing is written back.
KVL_EXPORT Variant CallByName(Object& object, std::string_view name,
                              CallKind kind, std::span<Variant> args);

namespace internal {
template <class A>
void WriteBackToCaller(A&& arg, Variant& value) {
  if constexpr (std::is_same_v<A, Variant&>) arg = std::move(value);
}
template <class... A, size_t... I>
Variant CallByNameWith(Object& object, std::string_view name, CallKind kind,
                       std::index_sequence<I...>, A&&... args) {
  Variant argv[sizeof...(A) > 0 ? sizeof...(A) : 1] = {Variant(args)...};
  Variant result =
      object.Invoke(name, kind, std::span<Variant>(argv, sizeof...(A)));
  (WriteBackToCaller(std::forward<A>(args), argv[I]), ...);
  return result;
}
}  // namespace internal

template <class... A>
Variant CallByName(Object& object, std::string_view name, CallKind kind,
                   A&&... args) {
  return internal::CallByNameWith(object, name, kind,
                                  std::index_sequence_for<A...>{},
                                  std::forward<A>(args)...);
}

}  // namespace kvl

#endif  // KVL_RUNTIME_CLASS_INFO_H_

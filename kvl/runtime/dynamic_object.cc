#include "kvl/runtime/dynamic_object.h"

#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

DynamicObject::DynamicObject(std::string class_name)
    : class_name_(std::move(class_name)) {}

DynamicObject::~DynamicObject() = default;

DynamicObject& DynamicObject::On(std::string name, CallKind kind,
                                 Handler handler) {
  info_.reset();
  for (Entry& e : entries_) {
    if (e.kind == kind && EqualsNoCase(e.name, name)) {
      e.handler = std::move(handler);
      return *this;
    }
  }
  entries_.push_back(Entry{std::move(name), kind, std::move(handler)});
  return *this;
}

DynamicObject& DynamicObject::AddProperty(std::string name, Variant initial) {
  auto value = std::make_shared<Variant>(std::move(initial));
  On(name, CallKind::kGet, [value](std::span<Variant>) { return *value; });
  Handler assign = [value](std::span<Variant> args) {
    if (args.size() != 1) Raise(kErrWrongArgumentCount);
    *value = args[0];
    return Variant();
  };
  On(name, CallKind::kLet, assign);
  On(std::move(name), CallKind::kSet, assign);
  return *this;
}

DynamicObject& DynamicObject::OnAnyMember(AnyHandler handler) {
  any_ = std::move(handler);
  return *this;
}

const DynamicObject::Entry* DynamicObject::FindEntry(std::string_view name,
                                                     CallKind kind) const {
  const Entry* fallback = nullptr;
  for (const Entry& e : entries_) {
    if (!EqualsNoCase(e.name, name)) continue;
    if (e.kind == kind) return &e;
    bool reads = kind == CallKind::kMethod || kind == CallKind::kGet;
    bool answers = e.kind == CallKind::kMethod || e.kind == CallKind::kGet;
    if (reads && answers && !fallback) fallback = &e;
  }
  return fallback;
}

const ClassInfo& DynamicObject::Class() const {
  if (!info_) {
    std::vector<MemberInfo> members;
    for (const Entry& e : entries_) {
      MemberInfo m;
      m.name = e.name;
      m.kind = e.kind;
      m.result = VarType::kVariant;
      members.push_back(std::move(m));
    }
    info_ = std::make_unique<ClassInfo>(class_name_, ClassKind::kClient,
                                        std::move(members));
  }
  return *info_;
}

Variant DynamicObject::Invoke(std::string_view name, CallKind kind,
                              std::span<Variant> args) {
  const Entry* e = FindEntry(name, kind);
  // Copy the handler: it may replace itself while running.
  if (!e) {
    if (!any_) Raise(kErrNotSupported, class_name_);
    AnyHandler any = any_;
    return any(name, kind, args);
  }
  Handler handler = e->handler;
  return handler(args);
}

}  // namespace kvl

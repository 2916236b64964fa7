// DynamicObject: a late-bound object made by client code, whose members are
// C++ callables registered by name.
//
// The library calls client objects by member name where they do not
// implement a C++ interface ("EventHandler", "TimerExpire", "ToString",
// "Key", ...). A DynamicObject is the simplest such client: each member is a
// handler that receives the call's arguments (by-reference arguments can be
// assigned and are written back to the caller) and returns the result.
// Handlers accept any number of arguments; they check what they need. A
// catch-all handler (OnAnyMember) answers every name that has no handler of
// its own, as a late-bound sink of an interface it does not know must.
//
// Threading: like every object, used on the thread that made it.
//
//   auto sink = MakeRef<DynamicObject>("Printer");
//   sink->OnMethod("EventHandler", [&](std::span<Variant> a) {
//     seen.push_back(ToText(a[1]));
//     return Variant();
//   });
//   sink->OnAnyMember([&](std::string_view name, CallKind, std::span<Variant>)
//   {
//     heard.emplace_back(name);
//     return Variant();
//   });
#ifndef KVL_RUNTIME_DYNAMIC_OBJECT_H_
#define KVL_RUNTIME_DYNAMIC_OBJECT_H_

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant.h"

namespace kvl {

class KVL_EXPORT DynamicObject : public Object {
 public:
  using Handler = std::function<Variant(std::span<Variant> args)>;
  using AnyHandler = std::function<Variant(std::string_view name, CallKind kind,
                                           std::span<Variant> args)>;

  explicit DynamicObject(std::string class_name);
  ~DynamicObject() override;

  // Adds (or replaces) the member `name` of call kind `kind`.
  DynamicObject& On(std::string name, CallKind kind, Handler handler);
  DynamicObject& OnMethod(std::string name, Handler handler) {
    return On(std::move(name), CallKind::kMethod, std::move(handler));
  }
  // A read-write property backed by a stored value (Get, Let and Set).
  DynamicObject& AddProperty(std::string name, Variant initial = Variant());
  // Answers every call whose name and kind no member added with On answers
  // (replacing an earlier catch-all). Without one such calls raise 438.
  DynamicObject& OnAnyMember(AnyHandler handler);

  // The class name given at construction and the members added so far,
  // each listed without parameters.
  const ClassInfo& Class() const override;
  Variant Invoke(std::string_view name, CallKind kind,
                 std::span<Variant> args) override;

 private:
  struct Entry {
    std::string name;
    CallKind kind;
    Handler handler;
  };
  const Entry* FindEntry(std::string_view name, CallKind kind) const;

  std::string class_name_;
  std::vector<Entry> entries_;
  AnyHandler any_;
  mutable std::unique_ptr<ClassInfo> info_;
};

}  // namespace kvl

#endif  // KVL_RUNTIME_DYNAMIC_OBJECT_H_

// The object factory: point an ActiveXFactory at the library itself (or at
// a type-library file that `kvl typelib` wrote), find the classes that
// answer for an interface, make one by class name and call it by name, and
// list the members of an interface.
//
// Run it and compare with the output at the bottom of this file.
#include <cstdio>
#include <span>
#include <string>

#include "kvl/factory/activex_factory.h"
#include "kvl/factory/meta_factory.h"
#include "kvl/frame/entry_points.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/variant_convert.h"

using kvl::CallByName;
using kvl::CallKind;
using kvl::MakeRef;
using kvl::Ref;
using kvl::Variant;

namespace {

// Prints `member` of each object of a collection, one per line.
void PrintEach(const Ref<kvl::Object>& collection, const char* member) {
  kvl::ForEach(Variant(collection), [&](const Variant& item) {
    std::printf("  %s\n", kvl::ToText(CallByName(*item.AsObject(), member,
                                                 CallKind::kGet))
                              .c_str());
    return true;
  });
}

}  // namespace

int main() {
  auto factory = MakeRef<kvl::ActiveXFactory>();
  factory->SetFileName(kvl::LibraryFilePath());

  std::printf("classes answering for IKVLObjectFactory2:\n");
  PrintEach(factory->ImplementorsOf("IKVLObjectFactory2"), "ClassName");

  Ref<kvl::Object> params = factory->CreateNew("ParamString", "");
  CallByName(*params, "Parse", CallKind::kMethod, "Job/To/Printer Copies=2");
  std::printf(
      "Copies = %s\n",
      kvl::ToText(CallByName(*params, "Value", CallKind::kMethod, "Copies"))
          .c_str());

  std::printf("members of IKVLPredicate:\n");
  PrintEach(factory->MethodsForInterface("IKVLPredicate"), "ToString");

  // A MetaFactory refuses a second factory with the same pairs.
  auto meta = MakeRef<kvl::MetaFactory>();
  auto listener = MakeRef<kvl::DynamicObject>("Listener");
  listener->OnMethod("Problem", [](std::span<Variant> a) {
    std::printf("problem: %s\n", kvl::ToText(a[0]).c_str());
    return Variant();
  });
  meta->Connect(listener);
  meta->Add(factory);
  std::printf("added again: %s\n", meta->Add(factory) ? "yes" : "no");
  return 0;
}

// Output:
// classes answering for IKVLObjectFactory2:
//   ActiveXFactory
//   MetaFactory
// Copies = 2
// members of IKVLPredicate:
//   Function Predicate([Unsupported type] o) As Boolean
// problem: Duplicate: ActiveXFactory/_ActiveXFactory
// added again: no

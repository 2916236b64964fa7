#include "kvl/collections/sorted_comparator.h"

#include "kvl/collections/sorted_extractor.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/error.h"

namespace kvl {

const ClassInfo& IComparator::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IComparator>("IComparator", ClassKind::kPublic)
          .Method<&IComparator::compare>(
              "compare",
              {Arg("e").As(&IExtractor::StaticClass), Arg("o1"), Arg("o2")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(IComparator)

const ClassInfo& DefaultComparator::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<DefaultComparator>("DefaultComparator", ClassKind::kPublic)
          .Method<&DefaultComparator::compare>(
              "compare",
              {Arg("e").As(&IExtractor::StaticClass), Arg("o1"), Arg("o2")})
          .Implements(&IComparator::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(DefaultComparator)

int16_t DefaultComparator::compare(const Ref<Object>& e, const Ref<Object>& o1,
                                   const Ref<Object>& o2) {
  if (!e) Raise(kErrObjectNotSet);
  return CompareKeys(ExtractKey(*e, o1), ExtractKey(*e, o2));
}

}  // namespace kvl

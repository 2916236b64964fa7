#include "kvl/tables/table_interfaces.h"

#include "kvl/frame/catalogue.h"

namespace kvl {

const ClassInfo& ITableAccessor::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ITableAccessor>("ITableAccessor", ClassKind::kPublic)
          .Get<&ITableAccessor::InitialSize>("InitialSize")
          .Get<&ITableAccessor::DoubleThreshold>("DoubleThreshold")
          .Get<&ITableAccessor::IncrSize>("IncrSize")
          .Get<&ITableAccessor::Has2ndIndex>("Has2ndIndex")
          .Get<&ITableAccessor::Key1>("Key1", {Arg("IndexBase0")})
          .Get<&ITableAccessor::Key2>("Key2", {Arg("IndexBase0")})
          .Get<&ITableAccessor::Count>("Count")
          .Get<&ITableAccessor::Item>("Item", {Arg("IndexBase1")})
          .Get<&ITableAccessor::Deleted>("Deleted", {Arg("IndexBase1")})
          .Build();
  return info;
}

const ClassInfo& ITableItem::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ITableItem>("ITableItem", ClassKind::kPublic)
          .Let<&ITableItem::SetIndex>("Index")
          .Set<&ITableItem::SetContainerRef>("Container")
          .Build();
  return info;
}

const ClassInfo& IFastLoader::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IFastLoader>("IFastLoader", ClassKind::kPublic)
          .Method<&IFastLoader::SaveToFile>("SaveToFile", {Arg("aFileName")})
          .Method<&IFastLoader::LoadFromFile>("LoadFromFile",
                                              {Arg("aFileName")})
          .Build();
  return info;
}

KVL_REGISTER_CLASS(ITableAccessor)
KVL_REGISTER_CLASS(ITableItem)
KVL_REGISTER_CLASS(IFastLoader)

}  // namespace kvl

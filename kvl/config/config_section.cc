#include "kvl/config/config_section.h"

#include "kvl/frame/catalogue.h"
#include "kvl/params/xml_param_string.h"
#include "kvl/runtime/enum_variant.h"
#include "kvl/runtime/error.h"

namespace kvl {

const ClassInfo& ConfigItemList::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ConfigItemList>("ConfigItemList", ClassKind::kPublic)
          .Get<&ConfigItemList::Count>("Count")
          .Get<&ConfigItemList::Item>("Item", {Arg("Index")})
          .Method<&ConfigItemList::Add>("Add", {Arg("item")})
          .Method<&ConfigItemList::Remove>("Remove", {Arg("Index")})
          .Get<&ConfigItemList::NewEnum>("NewEnum")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ConfigItemList)

Variant ConfigItemList::Item(int32_t Index) const {
  if (Index < 1 || Index > Count()) Raise(kErrInvalidArgument);
  return items_[static_cast<size_t>(Index - 1)];
}

void ConfigItemList::Add(const Variant& item) {
  if (item.is_string() ||
      (item.is_object() && item.AsObject() &&
       (dynamic_cast<ParamString*>(item.AsObject()->Identity()) ||
        dynamic_cast<XMLParamString*>(item.AsObject()->Identity())))) {
    items_.push_back(item);
    return;
  }
  Raise(kErrTypeMismatch);
}

void ConfigItemList::Remove(int32_t Index) {
  if (Index < 1 || Index > Count()) Raise(kErrInvalidArgument);
  items_.erase(items_.begin() + (Index - 1));
}

Ref<Object> ConfigItemList::NewEnum() const {
  return MakeRef<VectorEnumerator>(items_);
}

const ClassInfo& ConfigSection::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ConfigSection>("ConfigSection", ClassKind::kPublic)
          .Get<&ConfigSection::Contents>("Contents")
          .Get<&ConfigSection::FileName>("FileName")
          .Let<&ConfigSection::SetWasIncluded>("WasIncluded")
          .Get<&ConfigSection::WasIncluded>("WasIncluded")
          .Get<&ConfigSection::IncludedFrom>("IncludedFrom")
          .Let<&ConfigSection::SetName>("Name")
          .Get<&ConfigSection::Name>("Name")
          .Get<&ConfigSection::Item>("Item", {Arg("Index")})
          .Method<&ConfigSection::Add>("Add", {Arg("ps")})
          .Method<&ConfigSection::AddString>("AddString", {Arg("s")})
          .Method<&ConfigSection::ReplaceItem>("ReplaceItem",
                                               {Arg("Index"), Arg("ps")})
          .Method<&ConfigSection::Remove>("Remove", {Arg("Index")})
          .Get<&ConfigSection::Count>("Count")
          .Implements(&ITreeIterator::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ConfigSection)

ConfigSection::ConfigSection() : items_(MakeRef<ConfigItemList>()) {}
ConfigSection::ConfigSection(std::string name)
    : items_(MakeRef<ConfigItemList>()), name_(std::move(name)) {}
ConfigSection::~ConfigSection() = default;

Ref<ParamString> ConfigSection::Item(int32_t Index) const {
  if (Index < 1 || Index > Count()) return nullptr;
  const Variant& v = items_->items()[static_cast<size_t>(Index - 1)];
  if (!v.is_object() || !v.AsObject()) return nullptr;
  return Ref<ParamString>(dynamic_cast<ParamString*>(v.AsObject()->Identity()));
}

void ConfigSection::Add(Ref<ParamString> ps) {
  if (!ps) Raise(kErrObjectNotSet);
  items().emplace_back(ps);
}

void ConfigSection::AddString(const std::string& s) { items().emplace_back(s); }

void ConfigSection::ReplaceItem(int32_t Index, Ref<ParamString> ps) {
  if (Index < 1 || Index > Count()) Raise(kErrInvalidArgument);
  if (!ps) Raise(kErrObjectNotSet);
  items()[static_cast<size_t>(Index - 1)] = Variant(ps);
}

void ConfigSection::Remove(int32_t Index) {
  if (Index < 1 || Index > Count()) return;
  items().erase(items().begin() + (Index - 1));
}

Ref<Object> ConfigSection::FirstItem() {
  iteration_index_ = 0;
  return NextItem();
}

Ref<Object> ConfigSection::NextItem() {
  if (iteration_index_ >= Count()) return nullptr;
  ++iteration_index_;
  return Item(iteration_index_);
}

}  // namespace kvl

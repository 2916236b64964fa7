#include "kvl/config/config_reader.h"

#include <type_traits>

#include "kvl/config/internal/reader_members.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/error.h"

namespace kvl {

const ClassInfo& KvlEnumInfo(ConfigUpdateActions) {
  static const ClassInfo info =
      EnumBuilder("ConfigUpdateActions")
          .Value("kAddConfigSection", kAddConfigSection)
          .Value("kDeleteConfigSection", kDeleteConfigSection)
          .Value("kAddConfigItem", kAddConfigItem)
          .Value("kDeleteConfigItem", kDeleteConfigItem)
          .Build();
  return info;
}
KVL_REGISTER_ENUM(ConfigUpdateActions)
namespace config_internal {

// Sends the default reader's notifications (it calls the relay directly, as
// its owner) on as the ConfigReader's. Holds the ConfigReader without a
// reference; it is detached when the ConfigReader ends.
class ReaderRelay : public Object, public ConfigReaderEvents {
 public:
  explicit ReaderRelay(ConfigReader* owner) : owner_(owner) {}
  const ClassInfo& Class() const override {
    return ConfigReaderEvents::StaticClass();
  }
  void Detach() { owner_ = nullptr; }

  void ScanError(int32_t LineNumber, const std::string& Description) override {
    if (owner_) {
      owner_->events_.Fire<&ConfigReaderEvents::ScanError>(
          "ScanError", LineNumber, Description);
    }
  }
  void NotifyProgress(double TheRatio) override {
    if (owner_) {
      owner_->events_.Fire<&ConfigReaderEvents::NotifyProgress>(
          "NotifyProgress", TheRatio);
    }
  }
  void EditError(const std::string& Description) override {
    if (owner_) {
      owner_->events_.Fire<&ConfigReaderEvents::EditError>("EditError",
                                                           Description);
    }
  }
  void Updated(ConfigUpdateActions Action, const std::string& SecName,
               int16_t Index) override {
    if (owner_) {
      owner_->events_.Fire<&ConfigReaderEvents::Updated>("Updated", Action,
                                                         SecName, Index);
    }
  }

 private:
  ConfigReader* owner_;
};

}  // namespace config_internal

const ClassInfo& ConfigReaderEvents::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ConfigReaderEvents>("__ConfigReader",
                                       ClassKind::kNotification)
          .Method<&ConfigReaderEvents::ScanError>(
              "ScanError", {Arg("LineNumber"), Arg("Description")})
          .Method<&ConfigReaderEvents::NotifyProgress>("NotifyProgress",
                                                       {Arg("TheRatio")})
          .Method<&ConfigReaderEvents::EditError>("EditError",
                                                  {Arg("Description")})
          .Method<&ConfigReaderEvents::Updated>(
              "Updated", {Arg("Action"), Arg("SecName"), Arg("Index")})
          .Build();
  return info;
}

const ClassInfo& ICRAltImpl::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ICRAltImpl>("ICRAltImpl", ClassKind::kPublic)
          .Set<&ICRAltImpl::SetAlternateImplementationRef>(
              "AlternateImplementation")
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ICRAltImpl)

const ClassInfo& IConfigDlgProvider::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<IConfigDlgProvider>("IConfigDlgProvider", ClassKind::kPublic)
          .Method<&IConfigDlgProvider::ShowEditDialog>(
              "ShowEditDialog", {Arg("SecName"), Arg("ps"), Arg("cr")})
          .Build();
  return info;
}
KVL_REGISTER_CLASS(IConfigDlgProvider)

const ClassInfo& ConfigReader::StaticClass() {
  static const ClassInfo info = [] {
    ClassBuilder<ConfigReader> b("ConfigReader", ClassKind::kCreatable);
    return config_internal::AddReaderMembers(b)
        .Implements(&ICRAltImpl::StaticClass)
        .Implements(&ITreeIterator::StaticClass)
        .Notifies(&ConfigReaderEvents::StaticClass)
        .Build();
  }();
  return info;
}
KVL_REGISTER_CLASS(ConfigReader)

ConfigReader::ConfigReader()
    : default_(MakeRef<PSConfigReader>()),
      relay_(MakeRef<config_internal::ReaderRelay>(this)) {
  impl_ = default_;
  typed_ = default_.get();
  default_->SetOwner(relay_.get());
}

ConfigReader::~ConfigReader() {
  StopRelaying();
  relay_->Detach();
}

void ConfigReader::StopRelaying() {
  if (default_) default_->SetOwner(nullptr);
}

void ConfigReader::SetAlternateImplementationRef(Ref<Object> impl) {
  if (!impl) Raise(kErrObjectNotSet);
  StopRelaying();
  default_.reset();
  impl_ = std::move(impl);
  typed_ = impl_->As<IConfigReader>();
}

template <auto F, class... A>
auto ConfigReader::Forward(std::string_view name, CallKind kind, A&&... args) {
  using R = typename internal::FnTraits<decltype(F)>::Result;
  // Hold the implementation: a call may replace it.
  Ref<Object> impl = impl_;
  IConfigReader* typed = typed_;
  if (typed) return (typed->*F)(std::forward<A>(args)...);
  Variant result = CallByName(*impl, name, kind, std::forward<A>(args)...);
  if constexpr (!std::is_void_v<R>) {
    return ValueTraits<std::remove_cvref_t<R>>::From(result);
  }
}

bool ConfigReader::LazyEvaluation() {
  return Forward<&IConfigReader::LazyEvaluation>("LazyEvaluation",
                                                 CallKind::kGet);
}
void ConfigReader::SetLazyEvaluation(bool value) {
  Forward<&IConfigReader::SetLazyEvaluation>("LazyEvaluation", CallKind::kLet,
                                             value);
}
bool ConfigReader::Modified() {
  return Forward<&IConfigReader::Modified>("Modified", CallKind::kGet);
}
void ConfigReader::SetModified(bool value) {
  Forward<&IConfigReader::SetModified>("Modified", CallKind::kLet, value);
}
std::string ConfigReader::FirstSectionName() {
  return Forward<&IConfigReader::FirstSectionName>("FirstSectionName",
                                                   CallKind::kGet);
}
std::string ConfigReader::ConfigFile() {
  return Forward<&IConfigReader::ConfigFile>("ConfigFile", CallKind::kGet);
}
bool ConfigReader::AddSection(const std::string& SecName) {
  return Forward<&IConfigReader::AddSection>("AddSection", CallKind::kMethod,
                                             SecName);
}
bool ConfigReader::DeleteSection(const std::string& SecName) {
  return Forward<&IConfigReader::DeleteSection>("DeleteSection",
                                                CallKind::kMethod, SecName);
}
bool ConfigReader::AddItem(const std::string& SecName,
                           Ref<ParamString> TheItem) {
  return Forward<&IConfigReader::AddItem>("AddItem", CallKind::kMethod, SecName,
                                          std::move(TheItem));
}
bool ConfigReader::DeleteItem(const std::string& SecName, int16_t ItemIndex) {
  return Forward<&IConfigReader::DeleteItem>("DeleteItem", CallKind::kMethod,
                                             SecName, ItemIndex);
}
std::string ConfigReader::NextSectionName() {
  return Forward<&IConfigReader::NextSectionName>("NextSectionName",
                                                  CallKind::kGet);
}
void ConfigReader::ClearContents() {
  Forward<&IConfigReader::ClearContents>("ClearContents", CallKind::kMethod);
}
void ConfigReader::SetCommentString(const std::string& value) {
  Forward<&IConfigReader::SetCommentString>("CommentString", CallKind::kLet,
                                            value);
}
void ConfigReader::SetContinuationString(const std::string& value) {
  Forward<&IConfigReader::SetContinuationString>("ContinuationString",
                                                 CallKind::kLet, value);
}
bool ConfigReader::LoadConfigFile(const std::string& FileName) {
  return Forward<&IConfigReader::LoadConfigFile>("LoadConfigFile",
                                                 CallKind::kGet, FileName);
}
bool ConfigReader::SaveConfigFile(const std::string& FileName) {
  return Forward<&IConfigReader::SaveConfigFile>("SaveConfigFile",
                                                 CallKind::kGet, FileName);
}
bool ConfigReader::ReturnComments() {
  return Forward<&IConfigReader::ReturnComments>("ReturnComments",
                                                 CallKind::kGet);
}
void ConfigReader::SetReturnComments(bool value) {
  Forward<&IConfigReader::SetReturnComments>("ReturnComments", CallKind::kLet,
                                             value);
}
Ref<Object> ConfigReader::Section(const std::string& SecName) {
  return Forward<&IConfigReader::Section>("Section", CallKind::kGet, SecName);
}
Ref<Object> ConfigReader::SectionDef(const std::string& SecName) {
  return Forward<&IConfigReader::SectionDef>("SectionDef", CallKind::kGet,
                                             SecName);
}
Ref<Object> ConfigReader::SectionItem(const std::string& SecName,
                                      int16_t Index) {
  return Forward<&IConfigReader::SectionItem>("SectionItem", CallKind::kGet,
                                              SecName, Index);
}
Ref<Object> ConfigReader::SectionItemByName(const std::string& SecName,
                                            const std::string& ItemName) {
  return Forward<&IConfigReader::SectionItemByName>(
      "SectionItemByName", CallKind::kGet, SecName, ItemName);
}
void ConfigReader::Terminate() {
  Forward<&IConfigReader::Terminate>("Terminate", CallKind::kMethod);
}

Ref<Object> ConfigReader::FirstItem() {
  return SectionDef(FirstSectionName());
}
Ref<Object> ConfigReader::NextItem() {
  return SectionDef(NextSectionName());
}

}  // namespace kvl

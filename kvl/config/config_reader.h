// ConfigReader: the configuration reader clients create. It holds no
// configuration itself: every member is handed to its implementation,
// by default a new PSConfigReader (the sectioned text format), whose
// notifications it sends on as its own.
//
// Through ICRAltImpl a client puts another implementation in its place:
// any object meeting the `_ConfigReader` contract, called through
// IConfigReader when it implements it, else by member name. The default
// reader is then released; the new implementation's notifications are not
// relayed. Failures of the implementation reach the caller unchanged.
//
// As an ITreeIterator the reader walks its sections in order.
//
// Creatable (kind 2). Owns its implementation. Sinks are held until
// disconnected. Used on the thread that created it.
//
//   auto reader = MakeRef<ConfigReader>();
//   reader->Connect(sink);                    // ScanError, Updated, ...
//   reader->LoadConfigFile("/etc/app/main.cfg");
//   Ref<Object> motion = reader->SectionDef("Motion");
#ifndef KVL_CONFIG_CONFIG_READER_H_
#define KVL_CONFIG_CONFIG_READER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include "kvl/collections/tree_iterator.h"
#include "kvl/config/config_interfaces.h"
#include "kvl/config/ps_config_reader.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/object.h"

namespace kvl {

namespace config_internal {
class ReaderRelay;
}

class KVL_EXPORT ConfigReader : public Object,
                                public IConfigReader,
                                public ICRAltImpl,
                                public ITreeIterator {
  KVL_DECLARE_CLASS(ConfigReader)
 public:
  ConfigReader();
  ~ConfigReader() override;

  bool LazyEvaluation() override;
  void SetLazyEvaluation(bool value) override;
  bool Modified() override;
  void SetModified(bool value) override;
  std::string FirstSectionName() override;
  std::string ConfigFile() override;
  bool AddSection(const std::string& SecName) override;
  bool DeleteSection(const std::string& SecName) override;
  bool AddItem(const std::string& SecName, Ref<ParamString> TheItem) override;
  bool DeleteItem(const std::string& SecName, int16_t ItemIndex) override;
  std::string NextSectionName() override;
  void ClearContents() override;
  void SetCommentString(const std::string& value) override;
  void SetContinuationString(const std::string& value) override;
  bool LoadConfigFile(const std::string& FileName) override;
  bool SaveConfigFile(const std::string& FileName = {}) override;
  bool ReturnComments() override;
  void SetReturnComments(bool value) override;
  Ref<Object> Section(const std::string& SecName) override;
  Ref<Object> SectionDef(const std::string& SecName) override;
  Ref<Object> SectionItem(const std::string& SecName, int16_t Index) override;
  Ref<Object> SectionItemByName(const std::string& SecName,
                                const std::string& ItemName) override;
  void Terminate() override;

  // ICRAltImpl: makes `impl` the implementation and lets the default
  // reader go. Raises 91 for null.
  void SetAlternateImplementationRef(Ref<Object> impl) override;

  // ITreeIterator: SectionDef(FirstSectionName), SectionDef(NextSectionName).
  Ref<Object> FirstItem() override;
  Ref<Object> NextItem() override;

  // The default reader while it is the implementation, else null.
  PSConfigReader* DefaultReader() const { return default_.get(); }

  // Connects a sink of __ConfigReader (typed or by name); see notifier.h.
  uint32_t Connect(Ref<Object> sink) { return events_.Connect(std::move(sink)); }
  bool Disconnect(uint32_t cookie) { return events_.Disconnect(cookie); }

 private:
  friend class config_internal::ReaderRelay;

  // Detaches the relay from the default reader.
  void StopRelaying();

  // Calls member F of the implementation, typed or as `name` by name.
  template <auto F, class... A>
  auto Forward(std::string_view name, CallKind kind, A&&... args);

  Ref<Object> impl_;
  IConfigReader* typed_ = nullptr;
  Ref<PSConfigReader> default_;
  Ref<config_internal::ReaderRelay> relay_;
  Notifier<ConfigReaderEvents> events_;
};

}  // namespace kvl

#endif  // KVL_CONFIG_CONFIG_READER_H_

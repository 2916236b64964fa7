// PSConfigReader: the default configuration reader, over the sectioned
// text format that ConfigScanner reads.
//
// LoadConfigFile reads a main file and the files it includes into
// sections of items. Eagerly (the default) every item is parsed into a
// ParamString as it is read, and the thread's message loop is pumped
// between items so timers and posted work keep running during a long
// load; lazily (LazyEvaluation) items are kept as their text and parsed
// when SectionItem first asks for them. A section remembers the file it
// was read from; a header met again (in the same file or another) goes on
// with the same section, which then belongs to the later file.
//
// Edits (AddSection, DeleteSection, AddItem, DeleteItem) set Modified and
// send Updated. SaveConfigFile writes each section back into its own file
// (the main file lists "@Include <file>" for the files it brought in),
// CR LF line ends, one file at a time, each replaced atomically: a failed
// write leaves that file as it was and sends ScanError. Comments, blank
// lines and the layout of continued lines are not written back.
//
// Nothing here raises for bad input or missing files: results are false
// or null and problems are sent as ScanError. The scanner's notifications
// are sent on as this reader's own.
//
// Private class (kind 4): ConfigReader makes one as its implementation.
// Used on the thread that created it; a handler run by the message loop
// during a load must not start another load or edit on the same reader.
//
//   auto reader = MakeRef<PSConfigReader>();
//   if (reader->LoadConfigFile("/etc/app/main.cfg")) {
//     Ref<Object> axis = reader->SectionItemByName("Motion", "Axis");
//     reader->AddItem("Motion", item);
//     reader->SaveConfigFile("");
//   }
#ifndef KVL_CONFIG_PS_CONFIG_READER_H_
#define KVL_CONFIG_PS_CONFIG_READER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kvl/config/config_interfaces.h"
#include "kvl/config/config_scanner.h"
#include "kvl/config/config_section.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/object.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

namespace config_internal {
class ScannerRelay;
}

class KVL_EXPORT PSConfigReader : public Object, public IConfigReader {
  KVL_DECLARE_CLASS(PSConfigReader)
 public:
  PSConfigReader();
  ~PSConfigReader() override;

  bool LazyEvaluation() override { return lazy_; }
  void SetLazyEvaluation(bool value) override { lazy_ = value; }
  bool Modified() override { return modified_; }
  void SetModified(bool value) override { modified_ = value; }
  std::string FirstSectionName() override;
  // The name last given to LoadConfigFile.
  std::string ConfigFile() override { return scanner_->FileName(); }
  bool AddSection(const std::string& SecName) override;
  bool DeleteSection(const std::string& SecName) override;
  bool AddItem(const std::string& SecName, Ref<ParamString> TheItem) override;
  bool DeleteItem(const std::string& SecName, int16_t ItemIndex) override;
  std::string NextSectionName() override;
  // Drops every section, without notification and leaving Modified.
  void ClearContents() override;
  void SetCommentString(const std::string& value) override {
    scanner_->SetCommentString(value);
  }
  void SetContinuationString(const std::string& value) override {
    scanner_->SetContinuationString(value);
  }
  bool LoadConfigFile(const std::string& FileName) override;
  // Saves under `FileName` ("" for the loaded file), which becomes the
  // configuration file. False when a file could not be written (the
  // others are still written); a full success clears Modified.
  bool SaveConfigFile(const std::string& FileName) override;
  bool ReturnComments() override { return scanner_->ReturnComments(); }
  void SetReturnComments(bool value) override {
    scanner_->SetReturnComments(value);
  }
  Ref<Object> Section(const std::string& SecName) override;
  Ref<Object> SectionDef(const std::string& SecName) override;
  // An item still held as text is parsed first and replaced by the
  // result; one that does not parse gives null and a ScanError with its
  // position as the line number.
  Ref<Object> SectionItem(const std::string& SecName, int16_t Index) override;
  Ref<Object> SectionItemByName(const std::string& SecName,
                                const std::string& ItemName) override;
  void Terminate() override {}

  // ---- for the library's own use ----

  // The section called `name`, or null.
  Ref<ConfigSection> FindSection(std::string_view name) const;
  const std::vector<Ref<ConfigSection>>& sections() const { return sections_; }
  ConfigScanner& scanner() { return *scanner_; }
  // The saved form of file `file_name`: its sections, then its include
  // lines. Sections that fail to write are cut short after a ScanError.
  std::string SavedText(const std::string& file_name);
  // Every file a save writes, the main file first.
  std::vector<std::string> SavedFiles() const;

  // The ConfigReader this reader works for, or null: it hears every
  // notification, called directly, before the connected sinks. It must
  // outlive this reader or be detached first.
  void SetOwner(ConfigReaderEvents* owner) { owner_ = owner; }

  uint32_t Connect(Ref<Object> sink) { return events_.Connect(std::move(sink)); }
  bool Disconnect(uint32_t cookie) { return events_.Disconnect(cookie); }

 private:
  friend class config_internal::ScannerRelay;

  void LoadEagerly();
  void LoadLazily();
  // The section `name`, found or made, given the file being read.
  Ref<ConfigSection> SectionWhileLoading(const std::string& name);
  // The section that items read now belong to after an include ended.
  Ref<ConfigSection> SectionAfterInclude();
  Ref<ConfigSection> Append(const std::string& name);
  void SendScanError(int32_t line, const std::string& description);
  void SendProgress(double ratio);
  void SendUpdated(ConfigUpdateActions action, const std::string& name,
                   int16_t index);

  int16_t section_index_ = 0;
  bool modified_ = false;
  bool lazy_ = false;
  std::vector<Ref<ConfigSection>> sections_;
  std::unordered_map<std::string, size_t, NoCaseHash, NoCaseEqual> index_;
  std::string config_file_;
  Ref<ConfigScanner> scanner_;
  std::unique_ptr<config_internal::ScannerRelay> relay_;
  ConfigReaderEvents* owner_ = nullptr;
  Notifier<ConfigReaderEvents> events_;
};

}  // namespace kvl

#endif  // KVL_CONFIG_PS_CONFIG_READER_H_

#include "kvl/config/ps_config_reader.h"

#include <string.h>

#include <exception>

#include "kvl/config/internal/reader_members.h"
#include "kvl/files/kvl_path.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/replace_file.h"
#include "kvl/runtime/checked.h"
#include "kvl/runtime/message_loop.h"

namespace kvl {
namespace config_internal {

// Sends the scanner's notifications on as the reader's. The scanner calls
// it directly, as its owner; the reader detaches it when it goes.
class ScannerRelay final : public ConfigScannerEvents {
 public:
  explicit ScannerRelay(PSConfigReader* reader) : reader_(reader) {}

  void NotifyProgress(double TheRatio) override {
    reader_->SendProgress(TheRatio);
  }
  void ScanError(int32_t LineNumber, const std::string& Description) override {
    reader_->SendScanError(LineNumber, Description);
  }

 private:
  PSConfigReader* reader_;
};

}  // namespace config_internal

const ClassInfo& PSConfigReader::StaticClass() {
  static const ClassInfo info = [] {
    ClassBuilder<PSConfigReader> b("PSConfigReader", ClassKind::kPrivate);
    return config_internal::AddReaderMembers(b)
        .Notifies(&ConfigReaderEvents::StaticClass)
        .Build();
  }();
  return info;
}
KVL_REGISTER_CLASS(PSConfigReader)

PSConfigReader::PSConfigReader()
    : scanner_(MakeRef<ConfigScanner>()),
      relay_(std::make_unique<config_internal::ScannerRelay>(this)) {
  scanner_->SetOwner(relay_.get());
}

PSConfigReader::~PSConfigReader() { scanner_->SetOwner(nullptr); }

void PSConfigReader::SendScanError(int32_t line,
                                   const std::string& description) {
  if (owner_) owner_->ScanError(line, description);
  events_.Fire<&ConfigReaderEvents::ScanError>("ScanError", line, description);
}

void PSConfigReader::SendProgress(double ratio) {
  if (owner_) owner_->NotifyProgress(ratio);
  events_.Fire<&ConfigReaderEvents::NotifyProgress>("NotifyProgress", ratio);
}

void PSConfigReader::SendUpdated(ConfigUpdateActions action,
                                 const std::string& name, int16_t index) {
  modified_ = true;
  if (owner_) owner_->Updated(action, name, index);
  events_.Fire<&ConfigReaderEvents::Updated>("Updated", action, name, index);
}

// ---- loading ----------------------------------------------------------------

Ref<ConfigSection> PSConfigReader::Append(const std::string& name) {
  auto section = MakeRef<ConfigSection>(name);
  index_.emplace(name, sections_.size());
  sections_.push_back(section);
  return section;
}

Ref<ConfigSection> PSConfigReader::SectionWhileLoading(const std::string& name) {
  Ref<ConfigSection> section = FindSection(name);
  if (!section) section = Append(name);
  const std::string& file = scanner_->FileName();
  section->SetFileName(file);
  // A section continued in the main file is the main file's again, so a
  // save never makes the main file include itself.
  bool included = !EqualsNoCase(file, config_file_);
  section->SetWasIncluded(included);
  section->SetIncludedFrom(included ? scanner_->IncludedFrom() : std::string());
  return section;
}

Ref<ConfigSection> PSConfigReader::SectionAfterInclude() {
  // Back in a file that has no header yet: its items belong to no section.
  if (!scanner_->InSection()) return nullptr;
  return SectionWhileLoading(scanner_->CurrentSection());
}

bool PSConfigReader::LoadConfigFile(const std::string& FileName) {
  config_file_ = FileName;
  ClearContents();
  scanner_->SetFileName(FileName);
  if (!scanner_->OpenFile()) {
    SendScanError(-1, FileName + ": Can't open");
    return false;
  }
  try {
    if (lazy_) {
      LoadLazily();
    } else {
      LoadEagerly();
    }
  } catch (const std::exception&) {
    scanner_->CloseAll();
    return false;
  }
  scanner_->CloseAll();
  modified_ = false;
  return true;
}

void PSConfigReader::LoadEagerly() {
  MessageLoop& loop = MessageLoop::Current();
  Ref<ConfigSection> current;
  for (;;) {
    Ref<ParamString> item = scanner_->NextConfigItem();
    loop.Pump();
    if (!item) {
      // The end, or a header, a returned comment or a line that did not
      // parse: these leave the section of their file in force.
      if (scanner_->EndOfInput()) break;
      if (scanner_->InSection()) {
        current = SectionWhileLoading(scanner_->CurrentSection());
      } else if (scanner_->ReturnedFromInclude()) {
        current = nullptr;
      }
      continue;
    }
    if (current && scanner_->ReturnedFromInclude()) {
      current = SectionAfterInclude();
    }
    if (current) current->items().emplace_back(item);
  }
}

void PSConfigReader::LoadLazily() {
  Ref<ConfigSection> current;
  for (std::string line; !(line = scanner_->NextConfigLine()).empty();) {
    if (scanner_->IsSectionHeader(line)) {
      current = SectionWhileLoading(scanner_->CurrentSection());
    } else if (scanner_->IsComment(line)) {
      continue;
    } else {
      if (current && scanner_->ReturnedFromInclude()) {
        current = SectionAfterInclude();
      }
      if (current) current->items().emplace_back(std::move(line));
    }
  }
}

// ---- queries ----------------------------------------------------------------

Ref<ConfigSection> PSConfigReader::FindSection(std::string_view name) const {
  auto it = index_.find(name);
  return it == index_.end() ? nullptr : sections_[it->second];
}

std::string PSConfigReader::FirstSectionName() {
  section_index_ = 0;
  return NextSectionName();
}

std::string PSConfigReader::NextSectionName() {
  if (static_cast<size_t>(section_index_) >= sections_.size()) return {};
  section_index_ = CheckedAdd<int16_t>(section_index_, 1);
  return sections_[static_cast<size_t>(section_index_ - 1)]->Name();
}

Ref<Object> PSConfigReader::Section(const std::string& SecName) {
  Ref<ConfigSection> section = FindSection(SecName);
  return section ? Ref<Object>(section->Contents()) : nullptr;
}

Ref<Object> PSConfigReader::SectionDef(const std::string& SecName) {
  return FindSection(SecName);
}

Ref<Object> PSConfigReader::SectionItem(const std::string& SecName,
                                        int16_t Index) {
  Ref<ConfigSection> section = FindSection(SecName);
  if (!section || Index < 1 || Index > section->Count()) return nullptr;
  Variant& item = section->items()[static_cast<size_t>(Index - 1)];
  if (!item.is_string()) return section->Item(Index);
  auto ps = MakeRef<ParamString>();
  if (!ps->Parse(item.AsString())) {
    SendScanError(Index, ps->LastError());
    return nullptr;
  }
  item = Variant(ps);
  return ps;
}

Ref<Object> PSConfigReader::SectionItemByName(const std::string& SecName,
                                              const std::string& ItemName) {
  Ref<ConfigSection> section = FindSection(SecName);
  if (!section) return nullptr;
  for (int32_t i = 1; i <= section->Count(); ++i) {
    Ref<ParamString> ps = section->Item(i);
    if (!ps) return nullptr;  // still text
    std::string text = ps->ToString();
    size_t eq = text.find('=');
    if (eq == std::string::npos) return nullptr;
    std::string_view name = std::string_view(text).substr(0, eq);
    while (!name.empty() && name.front() == ' ') name.remove_prefix(1);
    while (!name.empty() && name.back() == ' ') name.remove_suffix(1);
    if (EqualsNoCase(name, ItemName)) return ps;
  }
  return nullptr;
}

// ---- edits ------------------------------------------------------------------

bool PSConfigReader::AddSection(const std::string& SecName) {
  if (FindSection(SecName)) return false;
  Append(SecName);
  SendUpdated(kAddConfigSection, SecName, -1);
  return true;
}

bool PSConfigReader::DeleteSection(const std::string& SecName) {
  auto it = index_.find(SecName);
  if (it == index_.end()) return false;
  sections_.erase(sections_.begin() + static_cast<ptrdiff_t>(it->second));
  index_.clear();
  for (size_t i = 0; i < sections_.size(); ++i) {
    index_.emplace(sections_[i]->Name(), i);
  }
  SendUpdated(kDeleteConfigSection, SecName, -1);
  return true;
}

bool PSConfigReader::AddItem(const std::string& SecName,
                             Ref<ParamString> TheItem) {
  if (!TheItem) return false;
  AddSection(SecName);
  Ref<ConfigSection> section = FindSection(SecName);
  section->items().emplace_back(TheItem);
  SendUpdated(kAddConfigItem, SecName,
              CheckedCast<int16_t>(section->items().size()));
  return true;
}

bool PSConfigReader::DeleteItem(const std::string& SecName, int16_t ItemIndex) {
  Ref<ConfigSection> section = FindSection(SecName);
  if (!section || ItemIndex < 1 || ItemIndex > section->Count()) return false;
  section->Remove(ItemIndex);
  SendUpdated(kDeleteConfigItem, SecName, ItemIndex);
  return true;
}

void PSConfigReader::ClearContents() {
  sections_.clear();
  index_.clear();
}

// ---- saving -----------------------------------------------------------------

std::vector<std::string> PSConfigReader::SavedFiles() const {
  std::vector<std::string> files{config_file_};
  for (const Ref<ConfigSection>& s : sections_) {
    if (!s->WasIncluded()) continue;
    bool listed = false;
    for (const std::string& f : files) listed = listed || EqualsNoCase(f, s->FileName());
    if (!listed) files.push_back(s->FileName());
  }
  return files;
}

std::string PSConfigReader::SavedText(const std::string& file_name) {
  std::string text;
  for (const Ref<ConfigSection>& s : sections_) {
    if (!EqualsNoCase(s->FileName(), file_name)) continue;
    try {
      text += '[';
      text += s->Name();
      text += "]\r\n";
      for (const Variant& item : s->items()) {
        if (item.is_string()) {
          text += item.AsString();  // never asked for: kept as it was read
        } else {
          text += ObjectFromVariant<ParamString>(item)->ToString(true);
        }
        text += "\r\n";
      }
    } catch (const std::exception& e) {
      SendScanError(-1, "SaveSectionTo(" + s->Name() + ") Exception: " +
                            e.what());
    }
  }
  std::vector<const std::string*> included;
  for (const Ref<ConfigSection>& s : sections_) {
    if (!s->WasIncluded() || !EqualsNoCase(s->IncludedFrom(), file_name))
      continue;
    bool listed = false;
    for (const std::string* f : included) listed = listed || EqualsNoCase(*f, s->FileName());
    if (listed) continue;
    included.push_back(&s->FileName());
    text += "@Include " + s->FileName() + "\r\n";
  }
  return text;
}

bool PSConfigReader::SaveConfigFile(const std::string& FileName) {
  const std::string save = FileName.empty() ? config_file_ : FileName;
  if (save.empty()) {
    SendScanError(-1, "SaveConfigTo() Exception: No filename specified");
    return false;
  }
  for (const Ref<ConfigSection>& s : sections_) {
    if (!s->WasIncluded()) s->SetFileName(save);
    if (EqualsNoCase(s->IncludedFrom(), config_file_)) s->SetIncludedFrom(save);
  }
  config_file_ = save;
  bool all_written = true;
  for (const std::string& file : SavedFiles()) {
    const std::string text = SavedText(file);
    const int error = ReplaceFile(
        NativePath(file), [&](int fd) { return WriteAll(fd, text); }, 0666);
    if (error != 0) {
      SendScanError(-1, "SaveConfigTo(" + file + ") Exception: " +
                            strerror(error));
      all_written = false;
    }
  }
  if (all_written) modified_ = false;
  return all_written;
}

}  // namespace kvl

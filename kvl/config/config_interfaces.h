// The contracts of the configuration readers.
//
// IConfigReader is the interface `_ConfigReader` that every configuration
// reader implementation meets: ConfigReader forwards each of its members
// to one, PSConfigReader is the default. An implementation that does not
// derive from IConfigReader is called by member name instead, so a client
// can supply one late-bound. ConfigReaderEvents is the outgoing interface
// __ConfigReader, ICRAltImpl the interface through which a ConfigReader
// takes another implementation, and IConfigDlgProvider the interface of a
// client's dialog that edits one item (the library never calls it).
//
// Section names are matched ignoring case. Results typed Ref<Object> are a
// section (ConfigSection for the default reader), its item list, or an
// item, as each implementation makes them.
//
// Threading: like every reader, used on the thread that created it.
//
//   class MyReader : public Object, public IConfigReader { ... };
//   reader->QueryInterface<ICRAltImpl>()->SetAlternateImplementationRef(
//       MakeRef<MyReader>());
#ifndef KVL_CONFIG_CONFIG_INTERFACES_H_
#define KVL_CONFIG_CONFIG_INTERFACES_H_

#include <cstdint>
#include <string>

#include "kvl/params/param_string.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

class ConfigReader;

// What an Updated notification reports.
enum ConfigUpdateActions : int32_t {
  kAddConfigSection = 0,
  kDeleteConfigSection = 1,
  kAddConfigItem = 2,
  kDeleteConfigItem = 3,
};
KVL_DECLARE_ENUM(ConfigUpdateActions)

// The contract `_ConfigReader` (members in their published order).
class KVL_EXPORT IConfigReader {
 public:
  // Items are stored as text when loaded and parsed on first access.
  virtual bool LazyEvaluation() = 0;
  virtual void SetLazyEvaluation(bool value) = 0;
  // The configuration changed since it was loaded.
  virtual bool Modified() = 0;
  virtual void SetModified(bool value) = 0;
  // Restarts the section enumeration; "" when there is no section.
  virtual std::string FirstSectionName() = 0;
  virtual std::string ConfigFile() = 0;
  // True when a new empty section was made; false when it exists.
  virtual bool AddSection(const std::string& SecName) = 0;
  virtual bool DeleteSection(const std::string& SecName) = 0;
  // Appends `TheItem`, making the section first when it is missing.
  virtual bool AddItem(const std::string& SecName,
                       Ref<ParamString> TheItem) = 0;
  virtual bool DeleteItem(const std::string& SecName, int16_t ItemIndex) = 0;
  // "" after the last section.
  virtual std::string NextSectionName() = 0;
  virtual void ClearContents() = 0;
  virtual void SetCommentString(const std::string& value) = 0;
  virtual void SetContinuationString(const std::string& value) = 0;
  // Replaces the whole configuration; false when the file was not read.
  virtual bool LoadConfigFile(const std::string& FileName) = 0;
  // "" saves to the loaded file.
  virtual bool SaveConfigFile(const std::string& FileName) = 0;
  virtual bool ReturnComments() = 0;
  virtual void SetReturnComments(bool value) = 0;
  // The section's item list, or null.
  virtual Ref<Object> Section(const std::string& SecName) = 0;
  // The section, or null.
  virtual Ref<Object> SectionDef(const std::string& SecName) = 0;
  // The item at `Index` (1-based) as a parameter string, or null.
  virtual Ref<Object> SectionItem(const std::string& SecName,
                                  int16_t Index) = 0;
  // The first item whose name (its text before "=") is `ItemName`, or null.
  virtual Ref<Object> SectionItemByName(const std::string& SecName,
                                        const std::string& ItemName) = 0;
  // Releases what the implementation holds.
  virtual void Terminate() = 0;

 protected:
  ~IConfigReader() = default;
};

// The outgoing interface __ConfigReader.
class KVL_EXPORT ConfigReaderEvents {
 public:
  static const ClassInfo& StaticClass();
  // A reading, parsing or writing problem; -1 when no line applies.
  virtual void ScanError(int32_t LineNumber,
                         const std::string& Description) = 0;
  virtual void NotifyProgress(double TheRatio) = 0;
  virtual void EditError(const std::string& Description) = 0;
  // `Index` is the item's position, -1 for section actions.
  virtual void Updated(ConfigUpdateActions Action, const std::string& SecName,
                       int16_t Index) = 0;

 protected:
  ~ConfigReaderEvents() = default;
};

// Public interface (kind 3): a reader that can take another implementation.
class KVL_EXPORT ICRAltImpl {
 public:
  static const ClassInfo& StaticClass();
  // Property Set AlternateImplementation.
  virtual void SetAlternateImplementationRef(Ref<Object> impl) = 0;

 protected:
  ~ICRAltImpl() = default;
};

// Public interface (kind 3): a client's editing dialog for one item.
class KVL_EXPORT IConfigDlgProvider {
 public:
  static const ClassInfo& StaticClass();
  // The edited item, or null when the user cancelled.
  virtual Ref<ParamString> ShowEditDialog(const std::string& SecName,
                                          Ref<ParamString> ps,
                                          Ref<ConfigReader> cr) = 0;

 protected:
  ~IConfigDlgProvider() = default;
};

}  // namespace kvl

#endif  // KVL_CONFIG_CONFIG_INTERFACES_H_

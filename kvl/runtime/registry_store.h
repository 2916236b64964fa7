// RegistryStore: the per-user text registry through which clients find the
// library and its classes by programmatic id or class id.
//
// Location: $KVL_REGISTRY when set, else $XDG_CONFIG_HOME/kvlcommon/registry,
// else $HOME/.config/kvlcommon/registry (docs/registry.md). The file is a
// list of sections, each a "[name]" line followed by "key=value" lines:
//
//   [CLSID\{1A2B3C4D-9BE3-11D4-A4D8-00B0D02B011D}]
//   ProgID=KVLCommon.KVLConstants
//   InprocServer32=/usr/lib/libkvlcommon.so.1.1
//
//   [KVLCommon.KVLConstants]
//   CLSID={1A2B3C4D-9BE3-11D4-A4D8-00B0D02B011D}
//
// Section names and keys compare ignoring ASCII case; order is kept.
// Blank lines and lines starting with '#' or ';' are skipped on reading and
// not written back. Saving writes a temporary file in the same directory,
// flushes it to disk and renames it over the old one, so a reader sees the
// old file or the new one and a failure leaves the old file intact. Update
// also serialises writers of one file with a lock file beside it.
//
// This code uses only the standard library, the C library and inline
// runtime headers: a client links it without the library.
//
// Threading: a RegistryStore is a value; Update may be called from any
// thread.
//
//   RegistryStore::Update(RegistryStore::DefaultPath(), [&](RegistryStore& r) {
//     r.Section(ProgIdSection("KVLCommon.X")).Set("CLSID", clsid.ToString());
//   });
#ifndef KVL_RUNTIME_REGISTRY_STORE_H_
#define KVL_RUNTIME_REGISTRY_STORE_H_

#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvl/runtime/export.h"
#include "kvl/runtime/guid.h"

namespace kvl {

// Keys written by the library's registration.
inline constexpr std::string_view kRegInprocServer = "InprocServer32";
inline constexpr std::string_view kRegProgId = "ProgID";
inline constexpr std::string_view kRegClsid = "CLSID";
inline constexpr std::string_view kRegThreadingModel = "ThreadingModel";

// "CLSID\{...}": the section of a class id.
KVL_EXPORT std::string ClassSectionName(const Guid& clsid);
// "TypeLib\{...}\<version>": the section of a type library.
KVL_EXPORT std::string TypeLibSectionName(const Guid& libid,
                                          std::string_view version);

struct KVL_EXPORT RegistrySection {
  std::string name;
  std::vector<std::pair<std::string, std::string>> values;

  // The value of `key`, or null.
  const std::string* Get(std::string_view key) const;
  // Replaces the value of `key` or appends it.
  void Set(std::string_view key, std::string value);
};

class KVL_EXPORT RegistryStore {
 public:
  // The registry file of this user (see above). Empty only when neither the
  // environment nor the password database names a home directory.
  static std::string DefaultPath();

  // Reads the registry at `path`; a missing file gives an empty store.
  // Raises KVLError kE_FAIL when the file exists but cannot be read.
  static RegistryStore Load(const std::string& path);
  static RegistryStore Parse(std::string_view text);

  // Writes the store to `path` atomically (see above), creating missing
  // directories. Raises KVLError kE_FAIL on failure; the old file is then
  // unchanged.
  void Save(const std::string& path) const;

  // Locks `path` against other writers, loads it, calls `edit` and saves
  // the result.
  static void Update(const std::string& path,
                     const std::function<void(RegistryStore&)>& edit);

  std::string ToText() const;

  const RegistrySection* Find(std::string_view name) const;
  // The section called `name`, appended when missing.
  RegistrySection& Section(std::string_view name);
  // Removes the section called `name`; false when there was none.
  bool Remove(std::string_view name);
  const std::vector<RegistrySection>& sections() const { return sections_; }

 private:
  std::vector<RegistrySection> sections_;
};

}  // namespace kvl

#endif  // KVL_RUNTIME_REGISTRY_STORE_H_

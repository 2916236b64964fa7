#include "kvl/frame/catalogue.h"

#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

#include "kvl/frame/internal/thread_library.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/no_case_hash.h"

namespace kvl {
namespace {

constexpr std::string_view kProgIdPrefix = "KVLCommon.";

struct CatalogueData {
  std::mutex mu;
  std::deque<CatalogueEntry> entries;  // stable addresses
  // Built on the first lookup and again after a late registration.
  size_t indexed = 0;
  std::unordered_map<std::string, const CatalogueEntry*, NoCaseHash,
                     NoCaseEqual>
      by_name;
  std::unordered_map<std::string, const CatalogueEntry*> by_clsid;  // text

  void IndexLocked() {
    for (; indexed < entries.size(); ++indexed) {
      const CatalogueEntry* e = &entries[indexed];
      const ClassInfo& info = e->Info();
      // The first registration of a name wins; the catalogue test reports
      // duplicates.
      by_name.emplace(info.name(), e);
      by_clsid.emplace(info.clsid().ToString(), e);
    }
  }
};

CatalogueData& Data() {
  // Never destroyed: lookups may happen from static destructors.
  static CatalogueData* data = new CatalogueData;
  return *data;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

// `entry` when it is a global or creatable class the catalogue can make;
// raises otherwise.
const CatalogueEntry& CreatableEntry(const CatalogueEntry* entry) {
  if (!entry) Raise(kREGDB_E_CLASSNOTREG);
  ClassKind kind = entry->Info().kind();
  if ((kind != ClassKind::kGlobal && kind != ClassKind::kCreatable) ||
      !entry->create)
    Raise(kCLASS_E_CLASSNOTAVAILABLE, {},
          "Class not available: " + entry->Info().ProgId());
  return *entry;
}

}  // namespace

void Catalogue::Register(const ClassInfo& (*info)(), ObjectFactory create) {
  CatalogueData& d = Data();
  std::lock_guard<std::mutex> lock(d.mu);
  d.entries.push_back(CatalogueEntry{info, create});
}

std::vector<const CatalogueEntry*> Catalogue::Entries() {
  CatalogueData& d = Data();
  std::lock_guard<std::mutex> lock(d.mu);
  std::vector<const CatalogueEntry*> out;
  out.reserve(d.entries.size());
  for (const CatalogueEntry& e : d.entries) out.push_back(&e);
  return out;
}

const CatalogueEntry* Catalogue::FindByName(std::string_view name) {
  CatalogueData& d = Data();
  std::lock_guard<std::mutex> lock(d.mu);
  d.IndexLocked();
  auto it = d.by_name.find(name);
  return it == d.by_name.end() ? nullptr : it->second;
}

const CatalogueEntry* Catalogue::FindByProgId(std::string_view progid) {
  if (!StartsWithNoCase(progid, kProgIdPrefix)) return nullptr;
  return FindByName(progid.substr(kProgIdPrefix.size()));
}

const CatalogueEntry* Catalogue::FindByClsid(const Guid& clsid) {
  CatalogueData& d = Data();
  std::lock_guard<std::mutex> lock(d.mu);
  d.IndexLocked();
  auto it = d.by_clsid.find(clsid.ToString());
  return it == d.by_clsid.end() ? nullptr : it->second;
}

const CatalogueEntry* Catalogue::Find(std::string_view progid_or_clsid) {
  Guid clsid;
  if (Guid::Parse(progid_or_clsid, &clsid)) return FindByClsid(clsid);
  return FindByProgId(progid_or_clsid);
}

Ref<Object> CreateObject(std::string_view progid_or_clsid) {
  const CatalogueEntry& entry =
      CreatableEntry(Catalogue::Find(progid_or_clsid));
  StartLibrary();
  return entry.create();
}

Ref<Object> GlobalObject(std::string_view name) {
  const CatalogueEntry* found = Catalogue::FindByName(name);
  if (!found) found = Catalogue::Find(name);
  const CatalogueEntry& entry = CreatableEntry(found);
  if (entry.Info().kind() != ClassKind::kGlobal)
    Raise(kCLASS_E_CLASSNOTAVAILABLE, {},
          "Not a global class: " + entry.Info().ProgId());
  StartLibrary();
  if (Ref<Object> kept = internal::FindImplicitInstance(&entry)) return kept;
  return internal::KeepImplicitInstance(&entry, entry.create());
}

void ReleaseGlobalObjects() {
  internal::ClearImplicitInstances();
}

}  // namespace kvl

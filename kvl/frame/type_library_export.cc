#include "kvl/frame/type_library_export.h"

#include <algorithm>
#include <unordered_set>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/entry_points.h"
#include "kvl/runtime/activation.h"
#include "kvl/runtime/ascii.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/no_case_hash.h"
#include "kvl/runtime/notifier.h"

namespace kvl {
namespace {

bool IsCoClass(const ClassInfo& info) {
  return info.kind() == ClassKind::kGlobal ||
         info.kind() == ClassKind::kCreatable;
}

template <class T>
void SortByName(std::vector<T>& items) {
  std::stable_sort(items.begin(), items.end(), [](const T& a, const T& b) {
    return CompareTextNoCase(a.name, b.name) < 0;
  });
}

TypeLibrary Build() {
  TypeLibrary lib;
  lib.name = std::string(kTypeLibName);
  lib.guid = TypeLibId();
  lib.version = std::string(kTypeLibVersion);
  lib.lcid = kTypeLibLocale;
  std::unordered_set<std::string, NoCaseHash, NoCaseEqual> described;
  auto describe = [&](const ClassInfo& info) {
    TypeLibInterface iface = DescribeInterface(info);
    if (described.insert(iface.name).second)
      lib.interfaces.push_back(std::move(iface));
  };
  for (const CatalogueEntry* entry : Catalogue::Entries()) {
    const ClassInfo& info = entry->Info();
    switch (info.kind()) {
      case ClassKind::kGlobal:
      case ClassKind::kCreatable:
      case ClassKind::kPublic:
        if (IsCoClass(info)) lib.classes.push_back(DescribeClass(info));
        describe(info);
        for (ClassInfo::InterfaceGetter get : info.interfaces())
          if (get != &ConnectionPointInterface) describe(get());
        if (const ClassInfo* events = info.notifications()) describe(*events);
        break;
      case ClassKind::kEnumeration:
        lib.enums.push_back(
            TypeLibEnum{info.name(), info.clsid(), info.constants()});
        break;
      default: break;
    }
  }
  SortByName(lib.classes);
  SortByName(lib.interfaces);
  SortByName(lib.enums);
  return lib;
}

}  // namespace

const TypeLibrary& LibraryTypeLibrary() {
  static const TypeLibrary* lib = new TypeLibrary(Build());  // never freed
  return *lib;
}

const std::string& LibraryTypeLibraryText() {
  static const std::string* text =
      new std::string(LibraryTypeLibrary().ToJson());  // never freed
  return *text;
}

Ref<Object> CreateInstance(const Guid& clsid, const Guid& iid) {
  Ref<Object> object = Catalogue::FindByClsid(clsid)
                           ? CreateObject(clsid.ToString())
                           : CreateObjectFromRegistry(clsid);
  Ref<Object> answer = QueryInterfaceById(*object, iid);
  if (!answer)
    Raise(kE_NOINTERFACE, {},
          object->ClassName() + " does not answer for " + iid.ToString());
  return answer;
}

}  // namespace kvl

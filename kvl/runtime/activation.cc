#include "kvl/runtime/activation.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "kvl/runtime/class_factory.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/registry_store.h"

namespace kvl {
namespace {

using GetClassObjectFn = int32_t (*)(const Guid*, const Guid*, void**);

// Loaded libraries by path; never unloaded, since their objects may outlive
// any caller's bookkeeping.
GetClassObjectFn EntryPointOf(const std::string& library) {
  static std::mutex mu;
  static auto* loaded = new std::map<std::string, GetClassObjectFn>;
  std::lock_guard<std::mutex> lock(mu);
  auto it = loaded->find(library);
  if (it != loaded->end()) return it->second;
  void* handle = dlopen(library.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    Raise(kE_FAIL, {},
          "cannot load '" + library + "': " + (why ? why : "unknown error"));
  }
  auto fn =
      reinterpret_cast<GetClassObjectFn>(dlsym(handle, "DllGetClassObject"));
  if (!fn) Raise(kE_FAIL, {}, "no DllGetClassObject in '" + library + "'");
  loaded->emplace(library, fn);
  return fn;
}

// Raises `status`, with the library's error record when it left one.
[[noreturn]] void RaiseStatus(int32_t status) {
  ErrorRecord record = TakeErrorRecord();
  if (record.set && record.number == status)
    throw KVLError(record.number, record.source, record.description);
  Raise(status);
}

Ref<Object> CreateRegistered(const RegisteredClass& reg) {
  GetClassObjectFn get_class_object = EntryPointOf(reg.library);
  void* raw = nullptr;
  ClearErrorRecord();
  int32_t status = get_class_object(&reg.clsid, &kIID_IClassFactory, &raw);
  if (status != kS_OK) RaiseStatus(status);
  ClassFactoryRef factory = ClassFactoryRef::Adopt(raw);
  Ref<Object> object;
  status = factory->CreateInstance(&object);
  if (status != kS_OK) RaiseStatus(status);
  if (!object) Raise(kE_POINTER);
  return object;
}

}  // namespace

bool LookupClassRegistration(const std::string& registry_path,
                             std::string_view progid, RegisteredClass* out) {
  RegistryStore store = RegistryStore::Load(registry_path);
  const RegistrySection* by_progid = store.Find(progid);
  if (!by_progid) return false;
  const std::string* clsid_text = by_progid->Get(kRegClsid);
  Guid clsid;
  if (!clsid_text || !Guid::Parse(*clsid_text, &clsid)) return false;
  const RegistrySection* by_clsid = store.Find(ClassSectionName(clsid));
  if (!by_clsid) return false;
  const std::string* library = by_clsid->Get(kRegInprocServer);
  if (!library || library->empty()) return false;
  out->clsid = clsid;
  out->library = *library;
  return true;
}

Ref<Object> CreateObjectFromRegistry(std::string_view progid) {
  RegisteredClass reg;
  if (!LookupClassRegistration(RegistryStore::DefaultPath(), progid, &reg))
    Raise(kREGDB_E_CLASSNOTREG, {},
          "Class not registered: " + std::string(progid));
  return CreateRegistered(reg);
}

Ref<Object> CreateObjectFromRegistry(const Guid& clsid) {
  RegistryStore store = RegistryStore::Load(RegistryStore::DefaultPath());
  const RegistrySection* by_clsid = store.Find(ClassSectionName(clsid));
  const std::string* library =
      by_clsid ? by_clsid->Get(kRegInprocServer) : nullptr;
  if (!library || library->empty())
    Raise(kREGDB_E_CLASSNOTREG, {},
          "Class not registered: " + clsid.ToString());
  return CreateRegistered(RegisteredClass{clsid, *library});
}

}  // namespace kvl

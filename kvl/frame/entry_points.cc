#include "kvl/frame/entry_points.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <atomic>
#include <exception>
#include <memory>

#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/frame/type_library_export.h"
#include "kvl/runtime/class_factory.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/registry_store.h"

namespace kvl {
namespace {

std::atomic<int32_t> g_server_locks{0};

// Runs `body`, turning a failure into its status and the error record.
template <class F>
int32_t Guarded(F body) noexcept {
  try {
    ClearErrorRecord();
    return body();
  } catch (const KVLError& e) {
    SetErrorRecord(e);
    return ToStatus(e.number());
  } catch (const std::exception& e) {
    SetErrorRecord(KVLError(kE_FAIL, std::string(kLibrarySource), e.what()));
    return kE_FAIL;
  }
}

class ClassFactory final : public Object, public IClassFactory {
  KVL_DECLARE_CLASS(ClassFactory)
 public:
  explicit ClassFactory(const CatalogueEntry& entry) : entry_(entry) {}

  Object* Owner() override { return this; }

  int32_t CreateInstance(Ref<Object>* out) override {
    if (!out) return kE_POINTER;
    return Guarded([&] {
      *out = entry_.create();
      return kS_OK;
    });
  }

  int32_t LockServer(bool lock) override {
    if (lock) {
      g_server_locks.fetch_add(1, std::memory_order_relaxed);
    } else {
      // An unbalanced unlock does not drive the count below zero.
      int32_t n = g_server_locks.load(std::memory_order_relaxed);
      while (n > 0 && !g_server_locks.compare_exchange_weak(
                          n, n - 1, std::memory_order_relaxed)) {
      }
    }
    return kS_OK;
  }

 private:
  const CatalogueEntry& entry_;
};

const ClassInfo& ClassFactory::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ClassFactory>("ClassFactory", ClassKind::kPrivate).Build();
  return info;
}

bool HasFactory(const CatalogueEntry& entry) {
  ClassKind kind = entry.Info().kind();
  return entry.create &&
         (kind == ClassKind::kGlobal || kind == ClassKind::kCreatable);
}

std::string RegistryPathOrRaise() {
  std::string path = RegistryStore::DefaultPath();
  if (path.empty())
    Raise(kE_FAIL, {}, "no registry location: set KVL_REGISTRY or HOME");
  return path;
}

}  // namespace

std::string LibraryFilePath() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&DllGetClassObject), &info) ||
      !info.dli_fname)
    Raise(kE_FAIL, {}, "cannot find the library's file");
  std::unique_ptr<char, decltype(&free)> resolved(
      realpath(info.dli_fname, nullptr), &free);
  if (!resolved) Raise(kE_FAIL, {}, "cannot resolve the library's file");
  return resolved.get();
}

namespace {

int32_t GetClassObject(const Guid* clsid, const Guid* iid, void** out) {
  if (!out) return kE_POINTER;
  *out = nullptr;
  if (!clsid) return kE_POINTER;
  if (iid && !(*iid == kIID_IClassFactory) && !(*iid == kIID_IUnknown))
    return kE_NOINTERFACE;
  return Guarded([&] {
    const CatalogueEntry* entry = Catalogue::FindByClsid(*clsid);
    if (!entry || !HasFactory(*entry))
      Raise(kCLASS_E_CLASSNOTAVAILABLE, {},
            "Class not available: " +
                (entry ? entry->Info().ProgId() : clsid->ToString()));
    StartLibrary();
    auto* factory = new ClassFactory(*entry);
    factory->AddRef();
    *out = static_cast<IClassFactory*>(factory);
    return kS_OK;
  });
}

int32_t CanUnloadNow() {
  // The start-up state's objects are the library's own; they must not keep
  // it loaded. Factories are objects too, so a held factory counts.
  int64_t client_objects = Object::ClientLiveCount();
  bool locked = g_server_locks.load(std::memory_order_relaxed) > 0;
  return client_objects <= 0 && !locked ? kS_OK : kS_FALSE;
}

int32_t RegisterServer() {
  return Guarded([] {
    std::string library = LibraryFilePath();
    std::string libid = TypeLibId().ToString();
    RegistryStore::Update(RegistryPathOrRaise(), [&](RegistryStore& reg) {
      for (const CatalogueEntry* entry : Catalogue::Entries()) {
        if (!HasFactory(*entry)) continue;
        const ClassInfo& info = entry->Info();
        RegistrySection& by_clsid = reg.Section(ClassSectionName(info.clsid()));
        by_clsid.Set(kRegProgId, info.ProgId());
        by_clsid.Set(kRegInprocServer, library);
        by_clsid.Set(kRegThreadingModel, "Apartment");
        by_clsid.Set("TypeLib", libid);
        reg.Section(info.ProgId()).Set(kRegClsid, info.clsid().ToString());
      }
      RegistrySection& typelib =
          reg.Section(TypeLibSectionName(TypeLibId(), kTypeLibVersion));
      typelib.Set("Name", std::string(kTypeLibName));
      typelib.Set("Path", library);
    });
    return kS_OK;
  });
}

int32_t UnregisterServer() {
  return Guarded([] {
    RegistryStore::Update(RegistryPathOrRaise(), [](RegistryStore& reg) {
      for (const CatalogueEntry* entry : Catalogue::Entries()) {
        if (!HasFactory(*entry)) continue;
        const ClassInfo& info = entry->Info();
        reg.Remove(ClassSectionName(info.clsid()));
        reg.Remove(info.ProgId());
      }
      reg.Remove(TypeLibSectionName(TypeLibId(), kTypeLibVersion));
    });
    return kS_OK;
  });
}

}  // namespace
}  // namespace kvl

extern "C" KVL_EXPORT int32_t DllGetClassObject(const kvl::Guid* clsid,
                                                const kvl::Guid* iid,
                                                void** out) {
  return kvl::GetClassObject(clsid, iid, out);
}

extern "C" KVL_EXPORT int32_t DllCanUnloadNow() {
  return kvl::CanUnloadNow();
}

extern "C" KVL_EXPORT int32_t DllRegisterServer() {
  return kvl::RegisterServer();
}

extern "C" KVL_EXPORT int32_t DllUnregisterServer() {
  return kvl::UnregisterServer();
}

// The type library for loaders that open libkvlcommon.so as one.
extern "C" __attribute__((visibility("default"))) int32_t
DllGetTypeLibraryText(const char** json) {
  if (!json) return kvl::kE_POINTER;
  *json = nullptr;
  return kvl::Guarded([&] {
    *json = kvl::LibraryTypeLibraryText().c_str();
    return kvl::kS_OK;
  });
}

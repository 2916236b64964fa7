// Crosses the installed library's boundary in the ways that rely on what it
// exports besides plain functions: failures thrown inside it caught by
// type, its objects cast to their classes, its per-thread error record read
// by the client, and calls by member name. Prints one line per check and
// exits 1 when one fails.
#include <cstdio>

#include "kvl/collections/sorted_collection.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/entry_points.h"
#include "kvl/runtime/error.h"
#include "kvl/runtime/variant_convert.h"

namespace {

int failures = 0;

void Check(bool ok, const char* what) {
  std::printf("%s: %s\n", what, ok ? "ok" : "FAILED");
  if (!ok) ++failures;
}

}  // namespace

int main() {
  try {
    kvl::ToI2(kvl::Variant("not a number"));
    Check(false, "library failure caught as KVLError");
  } catch (const kvl::KVLError& e) {
    Check(e.number() == kvl::kErrTypeMismatch,
          "library failure caught as KVLError");
  }

  kvl::Ref<kvl::Object> made = kvl::CreateObject("KVLCommon.SortedCollection");
  auto* sorted = made->As<kvl::SortedCollection>();
  Check(sorted != nullptr && sorted->Count() == 0,
        "library object cast to its class");

  // The entry point fails inside the library; the record it leaves is the
  // one the inline TakeErrorRecord() reads here.
  void* factory = nullptr;
  const kvl::Guid unknown;
  const int32_t status = DllGetClassObject(&unknown, nullptr, &factory);
  const kvl::ErrorRecord record = kvl::TakeErrorRecord();
  Check(status == kvl::kCLASS_E_CLASSNOTAVAILABLE && record.set &&
            record.description.find("Class not available") == 0,
        "entry point's error record read by the client");

  kvl::Variant args[] = {kvl::Variant("it's")};
  kvl::Variant quoted =
      kvl::GlobalObject("KVLStrings")
          ->Invoke("EnquoteIfNeeded", kvl::CallKind::kMethod, args);
  Check(kvl::ToText(quoted) == "\"it's\"", "call by member name");
  return failures == 0 ? 0 : 1;
}

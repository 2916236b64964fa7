// libFuzzer target: KVLTableUtils.LoadFromFile on arbitrary bytes. Nothing
// may crash, hang, leak or trip the sanitizers. A file that loads must save
// back as the bytes of its two blocks (the input up to where they end, the
// ignored entry-size fields written as 8), load and save again unchanged,
// and take an insertion.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "kvl/tables/kvl_table_utils.h"
#include "kvl/tables/table_interfaces.h"

namespace {

using kvl::MakeRef;
using kvl::Ref;

// A table that counts every row the index may hold and deletes none.
class AnyRows : public kvl::Object, public kvl::ITableAccessor {
 public:
  static const kvl::ClassInfo& StaticClass() {
    static const kvl::ClassInfo info =
        kvl::ClassBuilder<AnyRows>("AnyRows", kvl::ClassKind::kPrivate)
            .Implements(&kvl::ITableAccessor::StaticClass)
            .Build();
    return info;
  }
  const kvl::ClassInfo& Class() const override { return StaticClass(); }
  int32_t InitialSize() override { return 0; }
  int32_t DoubleThreshold() override { return 64; }
  int32_t IncrSize() override { return 64; }
  bool Has2ndIndex() override { return true; }
  std::string Key1(int32_t) override { return {}; }
  std::string Key2(int32_t) override { return {}; }
  int32_t Count() override { return INT32_MAX; }
  kvl::Variant Item(int32_t) override { return {}; }
  bool Deleted(int32_t) override { return false; }
};

const std::string& Directory() {
  static const std::string dir = [] {
    // Memory-backed where there is such a directory: saves flush to disk.
    const bool shm = access("/dev/shm", W_OK) == 0;
    char pattern[64];
    std::snprintf(pattern, sizeof pattern, "%s/table_load_fuzz_XXXXXX",
                  shm ? "/dev/shm" : "/tmp");
    if (!mkdtemp(pattern)) abort();
    return std::string(pattern);
  }();
  return dir;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input = Directory() + "/input";
  const std::string saved = Directory() + "/saved";
  {
    std::ofstream out(input, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data),
              static_cast<std::streamsize>(size));
  }
  Ref<AnyRows> table = MakeRef<AnyRows>();
  Ref<kvl::KVLTableUtils> utils = MakeRef<kvl::KVLTableUtils>();
  utils->SetTableAccessorRef(table);
  if (!utils->LoadFromFile(input)) return 0;

  for (int16_t which = 0; which < 2; ++which) {
    for (int32_t i = 0; i < utils->EntryCount(which); ++i)
      utils->DataIndexOfKeyIndex(i, which);
    utils->ItemIndex(
        std::string(reinterpret_cast<const char*>(data), size < 12 ? size : 12),
        which);
  }
  if (!utils->SaveToFile(saved)) abort();
  const std::string written = ReadFile(saved);
  if (written.size() > size) abort();
  // Only an entry-size field may differ: it is written as 8.
  const std::string eight("\x08\0\0\0", 4);
  auto in_size_field = [&](size_t i) {
    for (size_t j = i >= 3 ? i - 3 : 0; j <= i; ++j)
      if (written.compare(j, 4, eight) == 0) return true;
    return false;
  };
  for (size_t i = 0; i < written.size(); ++i)
    if (written[i] != static_cast<char>(data[i]) && !in_size_field(i)) abort();
  if (!utils->LoadFromFile(saved) || !utils->SaveToFile(saved) ||
      ReadFile(saved) != written)
    abort();

  utils->InsertKey("fuzz", 1, 1);
  if (!utils->SaveToFile(saved) || !utils->LoadFromFile(saved)) abort();
  return 0;
}

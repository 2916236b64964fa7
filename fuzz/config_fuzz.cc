// libFuzzer target: configuration files that include each other. The input
// is split at NUL bytes into up to four files f0.cfg .. f3.cfg in a private
// temporary directory (so «@Include f2.cfg» lines reach each other, cycles
// included); f0.cfg is loaded eagerly and lazily, every item is asked for,
// and some configurations are saved and loaded back. Nothing may crash, hang,
// leak or trip the sanitizers.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "kvl/config/ps_config_reader.h"

namespace {

// The directory of the files, removed when the fuzzer exits.
struct FuzzDir {
  FuzzDir() {
    char pattern[] = "/tmp/kvl_config_fuzz_XXXXXX";
    if (mkdtemp(pattern)) path = pattern;
  }
  ~FuzzDir() {
    std::error_code ignored;
    if (!path.empty()) std::filesystem::remove_all(path, ignored);
  }
  std::string path;
};

const std::string& Dir() {
  static const FuzzDir dir;
  return dir.path;
}

void Exercise(kvl::PSConfigReader& reader, bool lazy) {
  reader.SetLazyEvaluation(lazy);
  if (!reader.LoadConfigFile(Dir() + "/f0.cfg")) return;
  for (std::string name = reader.FirstSectionName(); !name.empty();
       name = reader.NextSectionName()) {
    kvl::Ref<kvl::ConfigSection> section = reader.FindSection(name);
    for (int32_t i = 1; i <= section->Count() && i < 1000; ++i) {
      reader.SectionItem(name, static_cast<int16_t>(i));
    }
    reader.SectionItemByName(name, "k");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view input(reinterpret_cast<const char*>(data), size);
  for (int i = 0; i < 4; ++i) {
    size_t end = input.find('\0');
    std::string_view part = input.substr(0, end);
    std::ofstream(Dir() + "/f" + std::to_string(i) + ".cfg", std::ios::binary)
        << part;
    input.remove_prefix(end == std::string_view::npos ? input.size() : end + 1);
  }
  auto reader = kvl::MakeRef<kvl::PSConfigReader>();
  Exercise(*reader, true);
  Exercise(*reader, false);
  // Saving rewrites the files in place and flushes them to disk, which is
  // slow: one input in eight is saved and read back.
  if (size % 8 == 0) {
    reader->SaveConfigFile(Dir() + "/saved.cfg");
    reader->LoadConfigFile(Dir() + "/saved.cfg");
  }
  return 0;
}

// libFuzzer target: XML configurations. The input is written to a file and
// loaded by XMLConfigReader; every section is looked up and every item
// walked through the parameter-string views (children, positions, both
// name searches, text form). A failed load must keep the previous
// document. Nothing may crash, hang, leak or trip the sanitizers.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "kvl/config/xml_config_reader.h"

namespace {

struct FuzzFile {
  FuzzFile() {
    char pattern[] = "/tmp/kvl_xml_fuzz_XXXXXX";
    int fd = mkstemp(pattern);
    if (fd >= 0) {
      close(fd);
      path = pattern;
    }
  }
  ~FuzzFile() {
    if (!path.empty()) unlink(path.c_str());
  }
  std::string path;
};

void WalkItem(kvl::XMLParamItem& item, int depth) {
  int n = 0;
  for (kvl::Ref<kvl::XMLParamItem> c = item.FirstItem(); c && n < 64;
       c = item.NextItem(), ++n) {
    c->Value();
    c->ToString();
    if (depth < 8) WalkItem(*c, depth + 1);
  }
  item.NextItem();
  item.Item(2);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const FuzzFile file;
  static kvl::Ref<kvl::XMLConfigReader> reader =
      kvl::MakeRef<kvl::XMLConfigReader>();
  if (file.path.empty()) return 0;
  FILE* f = std::fopen(file.path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  std::string before = reader->FirstSectionName();
  if (!reader->LoadConfigFile(file.path)) {
    if (reader->FirstSectionName() != before) __builtin_trap();
    return 0;
  }
  int sections = 0;
  for (std::string name = reader->FirstSectionName();
       !name.empty() && sections < 64; name = reader->NextSectionName()) {
    ++sections;
    kvl::Ref<kvl::XMLConfigSection> section = reader->FindSection(name);
    if (!section) __builtin_trap();
    for (int32_t i = 1; i <= section->Count() && i <= 64; ++i) {
      kvl::Ref<kvl::XMLParamString> ps = section->Item(i);
      ps->ToString();
      ps->ItemByIndex(name, 2);
      kvl::Ref<kvl::XMLParamItem> item = ps->AsParamItem();
      item->TopItemByIndex(ps->Command(), 2);
      WalkItem(*item, 0);
    }
  }
  return 0;
}

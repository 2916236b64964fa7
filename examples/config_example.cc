// A configuration in two files: the main file includes a second one for
// its serial-port settings. The program loads both, changes one value,
// adds an item, saves, and shows which file changed and how.
//
// Run it and compare with the output at the bottom of this file.
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>

#include "kvl/config/config_reader.h"
#include "kvl/config/config_section.h"
#include "kvl/params/param_string.h"
#include "kvl/runtime/dynamic_object.h"
#include "kvl/runtime/variant_convert.h"

using kvl::ConfigReader;
using kvl::ConfigSection;
using kvl::DynamicObject;
using kvl::MakeRef;
using kvl::ParamString;
using kvl::Ref;
using kvl::Variant;

namespace {

std::string Read(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::string text(std::istreambuf_iterator<char>(in), {});
  std::string shown;
  for (char c : text) {
    if (c != '\r') shown += c;  // saved files end lines with CR LF
  }
  return shown;
}

void Write(const std::string& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

}  // namespace

int main() {
  char pattern[] = "/tmp/kvl_config_example_XXXXXX";
  if (!mkdtemp(pattern)) return 1;
  const std::string dir = pattern;
  Write(dir + "/machine.cfg",
        "; machine set-up\n"
        "[Motion]\n"
        "Axis Name=X Speed=2.5 _\n"
        "     Limit=400\n"
        "Axis Name=Y Speed=1.5 Limit=300\n"
        "@Include ports.cfg\n");
  Write(dir + "/ports.cfg", "[Serial]\nPort Name=COM1 Baud=9600\n");

  auto reader = MakeRef<ConfigReader>();
  auto client = MakeRef<DynamicObject>("Client");
  client->OnMethod("Updated", [](std::span<Variant> a) {
    std::printf("updated: action %s, section %s, item %s\n",
                kvl::ToText(a[0]).c_str(), kvl::ToText(a[1]).c_str(),
                kvl::ToText(a[2]).c_str());
    return Variant();
  });
  reader->Connect(client);
  if (!reader->LoadConfigFile(dir + "/machine.cfg")) return 1;

  for (std::string name = reader->FirstSectionName(); !name.empty();
       name = reader->NextSectionName()) {
    auto* section = static_cast<ConfigSection*>(reader->SectionDef(name).get());
    std::printf("section %s: %d items from %s\n", name.c_str(),
                section->Count(),
                std::filesystem::path(section->FileName()).filename().c_str());
  }

  // Edit a value in place, then add an item through the reader.
  auto* port = static_cast<ParamString*>(reader->SectionItem("serial", 1).get());
  std::printf("baud was %s\n", kvl::ToText(port->Value("Baud")).c_str());
  port->ItemByIndex("Baud")->SetValue(Variant(int32_t{115200}));
  auto fan = MakeRef<ParamString>();
  fan->Parse("Fan Speed=3");
  reader->AddItem("Motion", fan);

  reader->SaveConfigFile();
  std::printf("--- machine.cfg now:\n%s", Read(dir + "/machine.cfg").c_str());
  std::printf("--- ports.cfg now:\n%s", Read(dir + "/ports.cfg").c_str());
  std::filesystem::remove_all(dir);
  return 0;
}

// Output (the include line names the directory the files were made in):
//   section Motion: 2 items from machine.cfg
//   section Serial: 1 items from ports.cfg
//   baud was 9600
//   updated: action 2, section Motion, item 3
//   --- machine.cfg now:
//   [Motion]
//   Axis  _
//      Name=X  _
//      Speed=2.5  _
//      Limit=400
//   Axis  _
//      Name=Y  _
//      Speed=1.5  _
//      Limit=300
//   Fan  _
//      Speed=3
//   @Include /tmp/kvl_config_example_.../ports.cfg
//   --- ports.cfg now:
//   [Serial]
//   Port  _
//      Name=COM1  _
//      Baud=115200

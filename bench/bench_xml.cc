// XML configurations: loading a generated 5 MB configuration (1,000
// sections of items with attributes, a child element and text) with
// XMLConfigReader, and walking every section, item, attribute and child
// through XMLConfigSection and the parameter-string views, against bare
// pugixml loading the same file (load_file) and walking the same nodes.
// Every load reads the file from disk. BM_XmlWalkNodes walks the same
// nodes through the document layer alone, without the views;
// BM_XmlLoadAndWalk* time a load and its first walk together.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <pugixml.hpp>
#include <string>

#include "kvl/config/xml_config_reader.h"
#include "kvl/runtime/variant_convert.h"

namespace {

constexpr size_t kTargetBytes = 5 << 20;

const std::string& TheFile() {
  static const std::string path = [] {
    char pattern[] = "/tmp/kvl_bench_xml_XXXXXX";
    int fd = mkstemp(pattern);
    if (fd < 0) std::abort();
    close(fd);
    std::string text = "<cfg>\n";
    for (int s = 0; text.size() < kTargetBytes; ++s) {
      text += "  <Section" + std::to_string(s) + ">\n";
      for (int i = 0; i < 60 && text.size() < kTargetBytes; ++i) {
        std::string n = std::to_string(i);
        text += "    <Axis name=\"X" + n + "\" speed=\"" + n +
                "\" mode=\"fast\"><Limit lo=\"-" + n + "\" hi=\"" + n +
                "\"/>note " + n + "</Axis>\n";
      }
      text += "  </Section" + std::to_string(s) + ">\n";
    }
    text += "</cfg>\n";
    FILE* f = std::fopen(pattern, "wb");
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
    return std::string(pattern);
  }();
  return path;
}

void BM_XmlLoadReader(benchmark::State& state) {
  auto reader = kvl::MakeRef<kvl::XMLConfigReader>();
  for (auto _ : state) {
    if (!reader->LoadConfigFile(TheFile())) state.SkipWithError("load");
  }
}
BENCHMARK(BM_XmlLoadReader)->Unit(benchmark::kMillisecond);

void BM_XmlLoadPugixml(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    if (!doc.load_file(TheFile().c_str())) state.SkipWithError("load");
    benchmark::DoNotOptimize(doc.first_child());
  }
}
BENCHMARK(BM_XmlLoadPugixml)->Unit(benchmark::kMillisecond);

// Visits an item's children (attributes, then child nodes) and theirs,
// adding up the sizes of names and values.
size_t WalkItem(kvl::XMLParamItem& item) {
  size_t bytes = 0;
  for (kvl::Ref<kvl::XMLParamItem> c = item.FirstItem(); c;
       c = item.NextItem()) {
    bytes += c->Keyword().size();
    kvl::Variant v = c->Value();
    if (v.is_string()) bytes += v.AsString().size();
    bytes += WalkItem(*c);
  }
  return bytes;
}

// One walk of every section and item of `reader` through the views.
size_t WalkReader(kvl::XMLConfigReader& reader) {
  size_t bytes = 0;
  for (kvl::XmlNode s = reader.root().FirstChild(); s; s = s.NextSibling()) {
    auto section = kvl::MakeRef<kvl::XMLConfigSection>(s, std::string());
    bytes += section->Name().size();
    for (kvl::Ref<kvl::Object> o = section->FirstItem(); o;
         o = section->NextItem()) {
      auto* ps = static_cast<kvl::XMLParamString*>(o.get());
      bytes += ps->Command().size();
      kvl::Ref<kvl::XMLParamItem> item = ps->AsParamItem();
      bytes += WalkItem(*item);
    }
  }
  return bytes;
}

// Walks one loaded document again and again: after the first walk the
// nodes' records are made, so this is the cost of a walk that repeats.
void BM_XmlWalkReader(benchmark::State& state) {
  auto reader = kvl::MakeRef<kvl::XMLConfigReader>();
  reader->LoadConfigFile(TheFile());
  for (auto _ : state) benchmark::DoNotOptimize(WalkReader(*reader));
}
BENCHMARK(BM_XmlWalkReader)->Unit(benchmark::kMillisecond);

// The same walk over the document's nodes, without the views: what the
// document layer itself costs.
size_t WalkNode(const kvl::XmlNodeHandle& node) {
  size_t bytes = 0;
  for (kvl::XmlNodeHandle a = node.FirstAttribute(); a; a = a.NextSibling()) {
    bytes += a.Name().size() + a.StoredValue()->size();
  }
  for (kvl::XmlNodeHandle c = node.FirstChild(); c; c = c.NextSibling()) {
    bytes += c.Name().size() + c.StoredValue().value_or("").size();
    bytes += WalkNode(c);
  }
  return bytes;
}

void BM_XmlWalkNodes(benchmark::State& state) {
  auto reader = kvl::MakeRef<kvl::XMLConfigReader>();
  reader->LoadConfigFile(TheFile());
  const kvl::XmlNode root = reader->root();
  for (auto _ : state) {
    size_t bytes = 0;
    for (kvl::XmlNodeHandle s = root.handle().FirstChild(); s;
         s = s.NextSibling()) {
      bytes += s.Name().size();
      for (kvl::XmlNodeHandle i = s.FirstChild(); i; i = i.NextSibling()) {
        bytes += i.Name().size() + WalkNode(i);
      }
    }
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_XmlWalkNodes)->Unit(benchmark::kMillisecond);

size_t WalkPugi(pugi::xml_node node) {
  size_t bytes = 0;
  for (pugi::xml_attribute a = node.first_attribute(); a;
       a = a.next_attribute()) {
    bytes += std::strlen(a.name()) + std::strlen(a.value());
  }
  for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
    bytes += std::strlen(c.name()) + std::strlen(c.value());
    bytes += WalkPugi(c);
  }
  return bytes;
}

size_t WalkDocument(const pugi::xml_document& doc) {
  size_t bytes = 0;
  for (pugi::xml_node s = doc.first_child().first_child(); s;
       s = s.next_sibling()) {
    bytes += std::strlen(s.name());
    for (pugi::xml_node i = s.first_child(); i; i = i.next_sibling()) {
      bytes += std::strlen(i.name()) + WalkPugi(i);
    }
  }
  return bytes;
}

void BM_XmlWalkPugixml(benchmark::State& state) {
  pugi::xml_document doc;
  doc.load_file(TheFile().c_str());
  for (auto _ : state) benchmark::DoNotOptimize(WalkDocument(doc));
}
BENCHMARK(BM_XmlWalkPugixml)->Unit(benchmark::kMillisecond);

// A load followed by one walk: the first walk also makes the nodes'
// records, so this is what reading a configuration once costs.
void BM_XmlLoadAndWalkReader(benchmark::State& state) {
  for (auto _ : state) {
    auto reader = kvl::MakeRef<kvl::XMLConfigReader>();
    if (!reader->LoadConfigFile(TheFile())) state.SkipWithError("load");
    benchmark::DoNotOptimize(WalkReader(*reader));
  }
}
BENCHMARK(BM_XmlLoadAndWalkReader)->Unit(benchmark::kMillisecond);

void BM_XmlLoadAndWalkPugixml(benchmark::State& state) {
  for (auto _ : state) {
    pugi::xml_document doc;
    if (!doc.load_file(TheFile().c_str())) state.SkipWithError("load");
    benchmark::DoNotOptimize(WalkDocument(doc));
  }
}
BENCHMARK(BM_XmlLoadAndWalkPugixml)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  std::printf("XML configuration: %s\n", TheFile().c_str());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  unlink(TheFile().c_str());
  return 0;
}

#include "tools/kvl_config.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "kvl/config/config_interfaces.h"
#include "kvl/config/config_scanner.h"
#include "kvl/config/ps_config_reader.h"
#include "kvl/config/xml_config_reader.h"
#include "kvl/params/param_item.h"
#include "kvl/runtime/variant_convert.h"
#include "kvl/files/kvl_path.h"

namespace kvl {
namespace {

constexpr std::string_view kCantOpen = "IncludeFileFromDirective:Can't open: ";

// Prints each ScanError of a reader with the file and line it is about.
class ProblemPrinter : public Object, public ConfigReaderEvents {
 public:
  ProblemPrinter(PSConfigReader& reader, std::string main_file, FILE* out)
      : reader_(reader), main_file_(std::move(main_file)), out_(out) {
    char buffer[4096];
    if (getcwd(buffer, sizeof buffer)) cwd_ = std::string(buffer) + "/";
  }
  const ClassInfo& Class() const override {
    return ConfigReaderEvents::StaticClass();
  }

  void ScanError(int32_t line, const std::string& text) override {
    ++count_;
    ConfigScanner& scanner = reader_.scanner();
    std::vector<ConfigScanner::OpenFileLine> open = scanner.OpenFiles();
    std::string file = scanner.ReportFile();
    if (file.empty()) file = main_file_;
    // A failed open names no line: it is the include directive's.
    if (line < 0 && !open.empty() && open.back().file == file) {
      line = open.back().line;
    }
    std::string where = Shown(file);
    if (line >= 0) where += ":" + std::to_string(line);
    Print(where + ": " + text);
    if (text.starts_with(kCantOpen) &&
        static_cast<int>(open.size()) >= ConfigScanner::kMaxOpenFiles) {
      PrintChain(where, open, text.substr(kCantOpen.size()));
    }
  }
  void NotifyProgress(double) override {}
  void EditError(const std::string& text) override { ScanError(-1, text); }
  void Updated(ConfigUpdateActions, const std::string&, int16_t) override {}

  int count() const { return count_; }

 private:
  // Why the nesting limit was hit: the first cycle in the chain of open
  // files and the refused one, or the whole chain when there is none.
  void PrintChain(const std::string& where,
                  std::vector<ConfigScanner::OpenFileLine> open,
                  const std::string& refused) {
    open.push_back({refused, -1});
    size_t from = 0, to = open.size() - 1;
    bool cycle = false;
    for (size_t j = 1; j < open.size() && !cycle; ++j) {
      for (size_t i = 0; i < j && !cycle; ++i) {
        if (SameFile(open[i].file, open[j].file)) {
          from = i;
          to = j;
          cycle = true;
        }
      }
    }
    std::string chain;
    for (size_t i = from; i < to; ++i) {
      chain += Shown(open[i].file) + ":" + std::to_string(open[i].line) + " -> ";
    }
    chain += Shown(open[to].file);
    Print(where + ": " +
          (cycle ? "include cycle: " : "includes nested too deeply: ") + chain);
  }

  static bool SameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (stat(NativePath(a).c_str(), &sa) != 0 ||
        stat(NativePath(b).c_str(), &sb) != 0) {
      return a == b;
    }
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  }

  // Prints `line` unless it was printed already: a file read along several
  // include paths reports the same problem each time.
  void Print(const std::string& line) {
    if (printed_.insert(line).second) std::fprintf(out_, "%s\n", line.c_str());
  }

  // `file` relative to the current directory when it lies below it.
  std::string Shown(const std::string& file) const {
    if (!cwd_.empty() && file.starts_with(cwd_)) return file.substr(cwd_.size());
    if (file.starts_with("./")) return file.substr(2);
    return file;
  }

  PSConfigReader& reader_;
  std::string main_file_;
  FILE* out_;
  std::string cwd_;
  int count_ = 0;
  std::set<std::string> printed_;
};

}  // namespace

int ConfigCheckCommand(const std::string& file) {
  auto reader = MakeRef<PSConfigReader>();
  auto printer = MakeRef<ProblemPrinter>(*reader, file, stdout);
  reader->Connect(printer);
  reader->LoadConfigFile(file);
  return printer->count() > 0 ? 1 : 0;
}

namespace {

// Nesting below which XML items are shown as "[...]".
constexpr int kMaxShownDepth = 64;

// Prints an XML reader's ScanError as "file:line: message".
class XmlProblemPrinter : public Object, public ConfigReaderEvents {
 public:
  explicit XmlProblemPrinter(std::string file) : file_(std::move(file)) {}
  const ClassInfo& Class() const override {
    return ConfigReaderEvents::StaticClass();
  }
  void ScanError(int32_t line, const std::string& text) override {
    std::string message = text;
    if (message.starts_with(file_ + ": ")) message.erase(0, file_.size() + 2);
    std::fprintf(stderr, "%s:%d: %s\n", file_.c_str(), line, message.c_str());
  }
  void NotifyProgress(double) override {}
  void EditError(const std::string&) override {}
  void Updated(ConfigUpdateActions, const std::string&, int16_t) override {}

 private:
  std::string file_;
};

std::string Quoted(const std::string& text) {
  return NeedsQuoting(text) ? "'" + text + "'" : text;
}

// The children of an XML item (attributes, then child nodes) in the
// parameter-string form: «name=value», «#text=value», «Child=[...]».
std::string XmlChildrenText(XMLParamItem& item, int depth) {
  std::string out;
  for (Ref<XMLParamItem> c = item.FirstItem(); c; c = item.NextItem()) {
    if (!out.empty()) out += ' ';
    out += c->Keyword();
    Variant value = c->Value();
    if (!value.is_null()) {
      out += '=' + Quoted(ToText(value));
    } else if (c->node().HasChildren() || c->node().FirstAttribute()) {
      out += depth >= kMaxShownDepth
                 ? "=[...]"
                 : "=[" + XmlChildrenText(*c, depth + 1) + "]";
    }
  }
  return out;
}

// An XML configuration in the text form: "[Section]" lines, then each item
// as its name and children.
int XmlConfigDump(const std::string& file) {
  auto reader = MakeRef<XMLConfigReader>();
  auto printer = MakeRef<XmlProblemPrinter>(file);
  reader->Connect(printer);
  if (!reader->LoadConfigFile(file)) return 1;
  std::printf("; %s\n", file.c_str());
  for (XmlNode s = reader->root().FirstChild(); s; s = s.NextSibling()) {
    std::printf("[%s]\n", std::string(s.BaseName()).c_str());
    for (XmlNode i = s.FirstChild(); i; i = i.NextSibling()) {
      Ref<XMLParamItem> item = NewXMLParamItem(i);
      std::string line = item->Keyword();
      std::string children = XmlChildrenText(*item, 0);
      if (!children.empty()) line += ' ' + children;
      if (i.HasValue()) line += '=' + Quoted(i.Value());
      std::printf("%s\n", line.c_str());
    }
  }
  return 0;
}

bool IsXmlFile(const std::string& file) {
  return file.size() >= 4 &&
         EqualsNoCase(std::string_view(file).substr(file.size() - 4), ".xml");
}

}  // namespace

int ConfigDumpCommand(const std::string& file) {
  if (IsXmlFile(file)) return XmlConfigDump(file);
  auto reader = MakeRef<PSConfigReader>();
  auto printer = MakeRef<ProblemPrinter>(*reader, file, stderr);
  reader->Connect(printer);
  if (!reader->LoadConfigFile(file)) return 1;
  for (const std::string& name : reader->SavedFiles()) {
    std::string text = reader->SavedText(name);
    std::string shown;
    for (char c : text) {
      if (c != '\r') shown += c;
    }
    std::printf("; %s\n%s", name.c_str(), shown.c_str());
  }
  return 0;
}

}  // namespace kvl

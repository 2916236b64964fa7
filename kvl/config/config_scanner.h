// ConfigScanner: reads a configuration file, with every file it includes,
// as a stream of logical lines.
//
// The format is line-based. Each physical line is normalised (tabs become
// spaces, spaces are trimmed from both ends) and is then one of:
//   comment       starts with the comment string (";")
//   include       starts with "@Include" (any case; "@Includes x" too): the
//                 name after the first space, resolved against the
//                 including file's directory, is read in its place
//   header        "[Name]": opens section Name (trimmed) in this file
//   continued     ends with the continuation string (" _"): the next line
//                 is joined to it with one space, the mark itself becoming
//                 spaces; a blank line ends the continuation
//   blank         skipped
//   item          anything else: a parameter string
// Lines end at CR, CR LF or LF; a UTF-8 byte-order mark at the start of a
// file is skipped. Marker comparisons ignore case. At most 11 files are
// open at once (the main file and ten levels of includes).
//
// The scanner never raises: problems are sent as ScanError(line,
// "<operation>:<description>") and reading goes on. NotifyProgress follows
// every logical line with the read position divided by the file's length.
// Line numbers count within the file being read and are restored when an
// included file ends.
//
// Private class (kind 4): PSConfigReader is its client. Each file is read
// into memory when opened. Sinks are held until disconnected. Used on the
// thread that created it.
//
//   auto scanner = MakeRef<ConfigScanner>();
//   scanner->SetFileName("/etc/app/main.cfg");
//   if (scanner->OpenFile())
//     for (std::string line; !(line = scanner->NextConfigLine()).empty();)
//       Use(line, scanner->CurrentSection());
#ifndef KVL_CONFIG_CONFIG_SCANNER_H_
#define KVL_CONFIG_CONFIG_SCANNER_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kvl/params/param_string.h"
#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/notifier.h"
#include "kvl/runtime/object.h"

namespace kvl {

// The outgoing interface __ConfigScanner.
class KVL_EXPORT ConfigScannerEvents {
 public:
  static const ClassInfo& StaticClass();
  virtual void NotifyProgress(double TheRatio) = 0;
  virtual void ScanError(int32_t LineNumber,
                         const std::string& Description) = 0;

 protected:
  ~ConfigScannerEvents() = default;
};

class KVL_EXPORT ConfigScanner : public Object {
  KVL_DECLARE_CLASS(ConfigScanner)
 public:
  // Files open at once: the main file and ten levels of includes.
  static constexpr int kMaxOpenFiles = 11;

  // A file on the stack of open files and the line read last in it.
  struct OpenFileLine {
    std::string file;
    int32_t line;
  };

  ConfigScanner();
  ~ConfigScanner() override;

  void SetCommentString(const std::string& value) { comment_ = value; }
  void SetContinuationString(const std::string& value) {
    continuation_ = value;
  }
  bool ReturnComments() const { return return_comments_; }
  void SetReturnComments(bool value) { return_comments_ = value; }
  bool IsOpen() const { return !files_.empty(); }
  // True when no file is open or the input is exhausted; closes included
  // files that are finished on the way.
  bool AtEnd();
  // Back to the first byte of the file being read (line numbers go on).
  bool Rewind();
  // Reads from the start of the file being read (opening FileName when
  // nothing is open) up to the header of section `name`; a file opened
  // for the search is closed again.
  bool SeekSection(const std::string& name);
  bool IsSectionHeader(const std::string& line) const;
  bool IsContinued(const std::string& line) const;
  bool IsComment(const std::string& line) const;
  bool IsInclude(const std::string& line) const;
  const std::string& FileName() const { return file_name_; }
  // Closes every open file and records the name to open next.
  void SetFileName(const std::string& name);
  // The file whose directive included the file being read; "" at the top.
  std::string IncludedFrom() const;
  // The next logical line; "" at the end of input.
  std::string NextConfigLine();
  bool ReturnedFromInclude() const { return returned_from_include_; }
  // The next logical line parsed; null at the end, for a header, for a
  // comment, and for a line that does not parse (after a ScanError).
  Ref<ParamString> NextConfigItem();
  // Opens FileName on top of the open files.
  bool OpenFile();
  bool IncludeFile(const std::string& name);
  // Closes the file being read; the including file (if any) goes on.
  void CloseFile();
  std::string CurrentSection() const;
  // The name between the brackets of a header line, trimmed.
  std::string SectionNameOf(const std::string& line) const;

  // ---- for the library's own use ----

  // Closes every open file.
  void CloseAll();
  // True when a header was read in the file being read.
  bool InSection() const { return !files_.empty() && files_.back().in_section; }
  // True when the last NextConfigLine met the end of input.
  bool EndOfInput() const { return end_of_input_; }
  // The file and line at which the logical line read last began.
  const std::string& StartFile() const { return start_file_; }
  int32_t StartLine() const { return start_line_; }
  // While a ScanError is being sent: the file it is about ("" for none).
  const std::string& ReportFile() const { return report_file_; }
  // The open files, main file first, each with the line read last in it
  // (for an including file: the line of its include directive).
  std::vector<OpenFileLine> OpenFiles() const;
  // The reader that owns this scanner, or null: it hears every
  // notification, called directly, before the connected sinks. It must
  // outlive the scanner or be detached first.
  void SetOwner(ConfigScannerEvents* owner) { owner_ = owner; }

  uint32_t Connect(Ref<Object> sink) { return events_.Connect(std::move(sink)); }
  bool Disconnect(uint32_t cookie) { return events_.Disconnect(cookie); }

 private:
  struct File {
    std::string name;
    std::string bytes;
    size_t pos = 0;
    int32_t line = 0;
    std::string section;
    bool in_section = false;
    size_t next_lf = 0;  // the first LF at or after pos, when lf_known
    bool lf_known = false;
  };

  // Reads one physical line of the top file, without its line end.
  std::string_view ReadPhysicalLine();
  // Reads the next logical line into line_ ("" at the end of input).
  void ReadLogicalLine();
  // Follows the include directive `line`.
  void FollowInclude(std::string_view line, int32_t directive_line);
  void Report(int32_t line, std::string_view source,
              const std::string& description, const std::string& file);
  void SendProgress();
  bool StartsWithNoCase(std::string_view line, std::string_view prefix) const;

  std::vector<File> files_;  // the open files, the one being read last
  std::string line_;         // the logical line read last
  std::string scratch_;      // a physical line whose tabs were replaced
  ConfigScannerEvents* owner_ = nullptr;
  std::string file_name_;
  int32_t start_line_ = 0;
  int32_t last_line_ = 0;
  std::string start_file_;
  std::string report_file_;
  bool returned_from_include_ = false;
  bool end_of_input_ = false;
  bool return_comments_ = false;
  std::string comment_ = ";";
  std::string continuation_ = " _";
  std::string include_ = "@Include";
  Notifier<ConfigScannerEvents> events_;
};

}  // namespace kvl

#endif  // KVL_CONFIG_CONFIG_SCANNER_H_

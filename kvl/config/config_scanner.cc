#include "kvl/config/config_scanner.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <exception>

#include "kvl/files/kvl_path.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Spaces and tabs are trimmed from both ends, then tabs become spaces. The
// result views `raw`, or `scratch` when a tab inside had to be replaced.
std::string_view Normalised(std::string_view raw, std::string& scratch) {
  size_t begin = 0, end = raw.size();
  while (begin < end && IsBlank(raw[begin])) ++begin;
  while (end > begin && IsBlank(raw[end - 1])) --end;
  std::string_view line = raw.substr(begin, end - begin);
  if (line.find('\t') == std::string_view::npos) return line;
  scratch.assign(line);
  for (char& c : scratch) {
    if (c == '\t') c = ' ';
  }
  return scratch;
}

bool EndsWithNoCase(std::string_view line, std::string_view suffix) {
  return !suffix.empty() && line.size() >= suffix.size() &&
         EqualsNoCase(line.substr(line.size() - suffix.size()), suffix);
}

bool IsHeader(std::string_view line) {
  return line.size() >= 2 && line.front() == '[' && line.back() == ']';
}

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// Reads the whole of `native` into `bytes`; false with errno set.
bool ReadWholeFile(const std::string& native, std::string& bytes) {
  int fd = open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    int error = S_ISDIR(st.st_mode) ? EISDIR : errno;
    close(fd);
    errno = error;
    return false;
  }
  // Read straight into the buffer, sized from the file's length; a file
  // that grew meanwhile is read to its end all the same.
  size_t size = 0;
  bytes.resize(st.st_size > 0 ? static_cast<size_t>(st.st_size) : 0);
  for (;;) {
    char more[4096];
    const bool full = size == bytes.size();
    ssize_t n = full ? read(fd, more, sizeof more)
                     : read(fd, bytes.data() + size, bytes.size() - size);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      int error = errno;
      close(fd);
      errno = error;
      return false;
    }
    if (full) bytes.append(more, static_cast<size_t>(n));
    size += static_cast<size_t>(n);
  }
  bytes.resize(size);
  close(fd);
  return true;
}

}  // namespace

const ClassInfo& ConfigScannerEvents::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ConfigScannerEvents>("__ConfigScanner",
                                        ClassKind::kNotification)
          .Method<&ConfigScannerEvents::NotifyProgress>("NotifyProgress",
                                                        {Arg("TheRatio")})
          .Method<&ConfigScannerEvents::ScanError>(
              "ScanError", {Arg("LineNumber"), Arg("Description")})
          .Build();
  return info;
}

const ClassInfo& ConfigScanner::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<ConfigScanner>("ConfigScanner", ClassKind::kPrivate)
          .Let<&ConfigScanner::SetCommentString>("CommentString")
          .Let<&ConfigScanner::SetContinuationString>("ContinuationString")
          .Let<&ConfigScanner::SetReturnComments>("ReturnComments")
          .Get<&ConfigScanner::ReturnComments>("ReturnComments")
          .Get<&ConfigScanner::IsOpen>("IsOpen")
          .Get<&ConfigScanner::AtEnd>("AtEnd")
          .Method<&ConfigScanner::Rewind>("Rewind")
          .Method<&ConfigScanner::SeekSection>("SeekSection", {Arg("name")})
          .Method<&ConfigScanner::IsSectionHeader>("IsSectionHeader",
                                                   {Arg("line")})
          .Method<&ConfigScanner::IsContinued>("IsContinued", {Arg("line")})
          .Method<&ConfigScanner::IsComment>("IsComment", {Arg("line")})
          .Method<&ConfigScanner::IsInclude>("IsInclude", {Arg("line")})
          .Get<&ConfigScanner::FileName>("FileName")
          .Let<&ConfigScanner::SetFileName>("FileName")
          .Get<&ConfigScanner::IncludedFrom>("IncludedFrom")
          .Method<&ConfigScanner::NextConfigLine>("NextConfigLine")
          .Get<&ConfigScanner::ReturnedFromInclude>("ReturnedFromInclude")
          .Method<&ConfigScanner::NextConfigItem>("NextConfigItem")
          .Method<&ConfigScanner::OpenFile>("OpenFile")
          .Method<&ConfigScanner::IncludeFile>("IncludeFile", {Arg("name")})
          .Method<&ConfigScanner::CloseFile>("CloseFile")
          .Get<&ConfigScanner::CurrentSection>("CurrentSection")
          .Method<&ConfigScanner::SectionNameOf>("SectionNameOf",
                                                 {Arg("line")})
          .Notifies(&ConfigScannerEvents::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(ConfigScanner)

ConfigScanner::ConfigScanner() = default;
ConfigScanner::~ConfigScanner() = default;

bool ConfigScanner::StartsWithNoCase(std::string_view line,
                                     std::string_view prefix) const {
  return !prefix.empty() && line.size() >= prefix.size() &&
         EqualsNoCase(line.substr(0, prefix.size()), prefix);
}

bool ConfigScanner::IsSectionHeader(const std::string& line) const {
  std::string scratch;
  return IsHeader(Normalised(line, scratch));
}
bool ConfigScanner::IsContinued(const std::string& line) const {
  // Trimming would drop the space of the mark: only tabs are replaced.
  std::string text = line;
  for (char& c : text) {
    if (c == '\t') c = ' ';
  }
  return EndsWithNoCase(text, continuation_);
}
bool ConfigScanner::IsComment(const std::string& line) const {
  std::string scratch;
  return StartsWithNoCase(Normalised(line, scratch), comment_);
}
bool ConfigScanner::IsInclude(const std::string& line) const {
  std::string scratch;
  return StartsWithNoCase(Normalised(line, scratch), include_);
}

std::string ConfigScanner::SectionNameOf(const std::string& line) const {
  std::string scratch;
  std::string_view text = Normalised(line, scratch);
  if (!IsHeader(text)) return {};
  return std::string(
      TrimSpaces(std::string_view(text).substr(1, text.size() - 2)));
}

std::string ConfigScanner::CurrentSection() const {
  return files_.empty() ? std::string() : files_.back().section;
}

std::string ConfigScanner::IncludedFrom() const {
  return files_.size() < 2 ? std::string() : files_[files_.size() - 2].name;
}

std::vector<ConfigScanner::OpenFileLine> ConfigScanner::OpenFiles() const {
  std::vector<OpenFileLine> out;
  for (const File& f : files_) out.push_back({f.name, f.line});
  return out;
}

void ConfigScanner::SetFileName(const std::string& name) {
  CloseAll();
  file_name_ = name;
}

void ConfigScanner::Report(int32_t line, std::string_view source,
                           const std::string& description,
                           const std::string& file) {
  report_file_ = file;
  std::string text = std::string(source) + ":" + description;
  if (owner_) owner_->ScanError(line, text);
  events_.Fire<&ConfigScannerEvents::ScanError>("ScanError", line, text);
  report_file_.clear();
}

bool ConfigScanner::OpenFile() {
  std::string about = files_.empty() ? file_name_ : files_.back().name;
  if (file_name_.empty()) {
    Report(-1, "OpenFile", "No filename specified", about);
    return false;
  }
  if (static_cast<int>(files_.size()) >= kMaxOpenFiles) {
    Report(-1, "OpenFile",
           "Exception: Too many nested include files (at most 11 open)",
           about);
    return false;
  }
  File file;
  if (!ReadWholeFile(NativePath(file_name_), file.bytes)) {
    Report(-1, "OpenFile", std::string("Exception: ") + strerror(errno),
           about);
    return false;
  }
  if (file.bytes.starts_with(kByteOrderMark)) file.pos = kByteOrderMark.size();
  file.name = file_name_;
  files_.push_back(std::move(file));
  return true;
}

bool ConfigScanner::IncludeFile(const std::string& name) {
  std::string previous = std::exchange(file_name_, name);
  if (OpenFile()) return true;
  // The file being read goes on being read, under its own name.
  file_name_ = std::move(previous);
  return false;
}

void ConfigScanner::CloseFile() {
  if (files_.empty()) return;
  files_.pop_back();
  if (!files_.empty()) file_name_ = files_.back().name;
}

void ConfigScanner::CloseAll() {
  if (!files_.empty()) file_name_ = files_.front().name;
  files_.clear();
}

bool ConfigScanner::Rewind() {
  if (files_.empty()) return false;
  File& f = files_.back();
  f.pos = f.bytes.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
  f.lf_known = false;
  return true;
}

bool ConfigScanner::AtEnd() {
  if (files_.empty()) return true;
  while (files_.back().pos >= files_.back().bytes.size() &&
         files_.size() > 1) {
    files_.pop_back();
    file_name_ = files_.back().name;
    returned_from_include_ = true;
  }
  bool at_end = files_.back().pos >= files_.back().bytes.size();
  if (at_end) returned_from_include_ = false;
  return at_end;
}

std::string_view ConfigScanner::ReadPhysicalLine() {
  File& f = files_.back();
  const char* data = f.bytes.data();
  const size_t size = f.bytes.size();
  // The next LF is searched for once and kept until reading passes it, so
  // a file with CR line ends is not searched to its end at every line.
  if (!f.lf_known || f.next_lf < f.pos) {
    const void* lf = memchr(data + f.pos, '\n', size - f.pos);
    f.next_lf = lf ? static_cast<size_t>(static_cast<const char*>(lf) - data)
                   : size;
    f.lf_known = true;
  }
  size_t stop = f.next_lf;
  if (const void* cr = memchr(data + f.pos, '\r', stop - f.pos)) {
    stop = static_cast<size_t>(static_cast<const char*>(cr) - data);
  }
  std::string_view line(data + f.pos, stop - f.pos);
  if (stop != size) {
    if (data[stop] == '\r' && stop + 1 != size && data[stop + 1] == '\n') {
      ++stop;
    }
    ++stop;
  }
  f.pos = stop;
  return line;
}

void ConfigScanner::FollowInclude(std::string_view line,
                                  int32_t directive_line) {
  std::string directive_file = files_.back().name;
  try {
    size_t space = line.find(' ');
    std::string name(space == std::string_view::npos
                         ? std::string_view()
                         : TrimSpaces(line.substr(space + 1)));
    KVLPath& path = InternalInstance<KVLPath>();
    std::string resolved =
        path.RelPathToAbsPath(name, path.DirPart(directive_file));
    if (!IncludeFile(resolved)) {
      Report(directive_line, "IncludeFileFromDirective",
             "Can't open: " + resolved, directive_file);
    }
  } catch (const std::exception& e) {
    Report(directive_line, "IncludeFileFromDirective",
           std::string("Exception: ") + e.what(), directive_file);
  }
}

void ConfigScanner::SendProgress() {
  if ((!owner_ && events_.empty()) || files_.empty()) return;
  const File& f = files_.back();
  double ratio = f.bytes.empty() ? 1.0
                                 : static_cast<double>(f.pos + 1) /
                                       static_cast<double>(f.bytes.size());
  if (owner_) owner_->NotifyProgress(ratio);
  events_.Fire<&ConfigScannerEvents::NotifyProgress>("NotifyProgress", ratio);
}

std::string ConfigScanner::NextConfigLine() {
  ReadLogicalLine();
  return line_;
}

void ConfigScanner::ReadLogicalLine() {
  returned_from_include_ = false;
  std::string& text = line_;
  text.clear();
  try {
    bool continuing = false;
    while (!AtEnd()) {
      std::string_view line = Normalised(ReadPhysicalLine(), scratch_);
      File& f = files_.back();
      ++f.line;
      if (StartsWithNoCase(line, comment_)) {
        if (return_comments_ && !continuing) {
          start_line_ = last_line_ = f.line;
          start_file_ = f.name;
          text.assign(line);
          break;
        }
        continue;
      }
      if (StartsWithNoCase(line, include_)) {
        FollowInclude(line, f.line);
        continue;
      }
      const bool continued = EndsWithNoCase(line, continuation_);
      if (continuing) {
        text += ' ';
        text += line;
      } else {
        start_line_ = f.line;
        start_file_ = f.name;
        text.assign(line);
        if (text.empty()) continue;
      }
      last_line_ = f.line;
      if (!continued) break;
      text.replace(text.size() - continuation_.size(), continuation_.size(),
                   continuation_.size(), ' ');
      continuing = true;
    }
    if (IsHeader(text) && !files_.empty()) {
      File& f = files_.back();
      f.section.assign(
          TrimSpaces(std::string_view(text).substr(1, text.size() - 2)));
      f.in_section = true;
    }
    SendProgress();
  } catch (const std::exception& e) {
    Report(start_line_, "NextConfigLine",
           std::string("Exception: ") + e.what(), start_file_);
    text.clear();
  }
  end_of_input_ = text.empty();
}

Ref<ParamString> ConfigScanner::NextConfigItem() {
  ReadLogicalLine();
  const std::string& line = line_;
  if (line.empty() || IsHeader(line) ||
      (return_comments_ && StartsWithNoCase(line, comment_))) {
    return nullptr;
  }
  auto ps = MakeRef<ParamString>();
  if (ps->Parse(line)) return ps;
  std::string where = start_line_ == last_line_
                          ? "Line " + std::to_string(start_line_)
                          : "Lines " + std::to_string(start_line_) + " ... " +
                                std::to_string(last_line_);
  Report(start_line_, "NextConfigItem",
         "NextConfigItem: Can't parse " + where + " :" + ps->LastError(),
         start_file_);
  return nullptr;
}

bool ConfigScanner::SeekSection(const std::string& name) {
  bool opened_here = false;
  if (files_.empty()) {
    if (file_name_.empty() || !OpenFile()) return false;
    opened_here = true;
  } else {
    Rewind();
  }
  bool found = false;
  for (std::string line; !(line = NextConfigLine()).empty();) {
    if (IsHeader(line) && EqualsNoCase(CurrentSection(), name)) {
      found = true;
      break;
    }
  }
  if (opened_here) CloseAll();
  return found;
}

}  // namespace kvl

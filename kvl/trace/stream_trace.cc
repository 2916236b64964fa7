#include "kvl/trace/stream_trace.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <utility>

#include "kvl/files/file_errors.h"
#include "kvl/frame/catalogue.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {
namespace {

constexpr int kStandardError = 2;

// Writes all of `text`; false when the system refuses.
bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t n = ::write(fd, text.data(), text.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    text.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

int OpenForAppending(const std::string& name) {
  return ::open(name.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
    s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
    s.remove_suffix(1);
  return s;
}

bool ParseFilter(std::string_view text, int32_t* filter) {
  static constexpr std::pair<std::string_view, KVLTraceFilters> kNames[] = {
      {"NoTrace", STF_NoTrace},
      {"Quiet", STF_Quiet},
      {"Moderate", STF_Moderate},
      {"Verbose", STF_Verbose},
      {"FunctionEntry", STF_FunctionEntry},
      {"Always", STF_Always},
      {"Developer", STF_Developer},
  };
  std::string_view name = text;
  if (name.size() > 4 && EqualsNoCase(name.substr(0, 4), "STF_"))
    name.remove_prefix(4);
  for (const auto& [known, value] : kNames) {
    if (EqualsNoCase(name, known)) {
      *filter = value;
      return true;
    }
  }
  int base = 10;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    text.remove_prefix(2);
    base = 16;
  }
  uint32_t value = 0;
  auto [end, ec] =
      std::from_chars(text.data(), text.data() + text.size(), value, base);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty())
    return false;
  *filter = static_cast<int32_t>(value);
  return true;
}

}  // namespace

const ClassInfo& KVLStreamTrace::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLStreamTrace>("KVLStreamTrace", ClassKind::kCreatable)
          .Let<&KVLStreamTrace::SetFileName>("FileName")
          .Get<&KVLStreamTrace::FileName>("FileName")
          .Implements(&IKVLTraceMechanism::StaticClass)
          .Build();
  return info;
}
KVL_REGISTER_CLASS(KVLStreamTrace)

KVLStreamTrace::~KVLStreamTrace() {
  CloseLocked();
}

std::string KVLStreamTrace::FileName() const {
  std::lock_guard<std::mutex> lock(mu_);
  return file_name_;
}

void KVLStreamTrace::SetFileName(const std::string& name) {
  int fd = -1;
  if (!name.empty()) {
    fd = OpenForAppending(name);
    if (fd < 0) RaiseFileError(errno, name);
  }
  std::lock_guard<std::mutex> lock(mu_);
  CloseLocked();
  file_name_ = name;
  fd_ = fd;
}

bool KVLStreamTrace::Connect() {
  std::lock_guard<std::mutex> lock(mu_);
  return file_name_.empty() || OpenLocked();
}

void KVLStreamTrace::Disconnect() {
  std::lock_guard<std::mutex> lock(mu_);
  CloseLocked();
}

bool KVLStreamTrace::Connected() {
  std::lock_guard<std::mutex> lock(mu_);
  return file_name_.empty() || fd_ >= 0;
}

void KVLStreamTrace::Trace(const std::string& aTimestamp,
                           const std::string& theSource, const std::string& s) {
  std::string line;
  line.reserve(aTimestamp.size() + theSource.size() + s.size() + 3);
  line.append(aTimestamp).append(1, ' ').append(theSource).append(1, ' ');
  line.append(s).append(1, '\n');
  std::lock_guard<std::mutex> lock(mu_);
  if (!file_name_.empty() && OpenLocked() && WriteAll(fd_, line)) return;
  WriteAll(kStandardError, line);
}

bool KVLStreamTrace::OpenLocked() {
  if (fd_ < 0 && !file_name_.empty()) fd_ = OpenForAppending(file_name_);
  return fd_ >= 0;
}

void KVLStreamTrace::CloseLocked() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

bool ParseTraceSettings(std::string_view text, TraceSettings* out,
                        std::string* error) {
  TraceSettings settings;
  std::string_view head = text;
  if (size_t colon = text.find(':'); colon != std::string_view::npos) {
    head = text.substr(0, colon);
    settings.file = std::string(text.substr(colon + 1));
  }
  std::string_view filter = head;
  if (size_t comma = head.find(','); comma != std::string_view::npos) {
    filter = head.substr(0, comma);
    std::string_view options = head.substr(comma + 1);
    while (!options.empty()) {
      size_t next = options.find(',');
      std::string_view option = TrimBlanks(options.substr(0, next));
      if (EqualsNoCase(option, "calltree")) {
        settings.call_tree = true;
      } else {
        error->clear();
        error->append("unknown option '").append(option);
        error->append("' (the option is calltree)");
        return false;
      }
      options = next == std::string_view::npos ? std::string_view()
                                               : options.substr(next + 1);
    }
  }
  filter = TrimBlanks(filter);
  if (!ParseFilter(filter, &settings.filter)) {
    error->clear();
    error->append("'").append(filter);
    error->append(
        "' is not a filter (a number, or NoTrace, Quiet, Moderate, Verbose, "
        "FunctionEntry, Always, Developer)");
    return false;
  }
  *out = std::move(settings);
  return true;
}

}  // namespace kvl

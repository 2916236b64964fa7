#include "kvl/files/internal/file_system.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <vector>

#include "kvl/files/file_errors.h"
#include "kvl/runtime/ascii.h"
#include "kvl/runtime/date_time.h"
#include "kvl/runtime/error.h"

namespace kvl::files_internal {

namespace {

constexpr char kSource[] = "KVLCommon.FileAttributes";

// The Unix time of the local date and time `when`.
timespec UnixTimeOf(Date when) {
  DateParts parts = SplitDate(when);
  std::tm tm{};
  tm.tm_year = parts.year - 1900;
  tm.tm_mon = parts.month - 1;
  tm.tm_mday = parts.day;
  tm.tm_hour = parts.hour;
  tm.tm_min = parts.minute;
  tm.tm_sec = parts.second;
  tm.tm_isdst = -1;  // let the time zone decide
  tzset();
  timespec ts{};
  ts.tv_sec = std::mktime(&tm);
  ts.tv_nsec = static_cast<long>(parts.millisecond) * 1'000'000;
  return ts;
}

// The raw value of user.DOSATTRIB: nullopt when the file has none; raises
// when it cannot be read.
std::optional<std::string> ReadDosAttrib(const std::string& native) {
  for (;;) {
    ssize_t size = getxattr(native.c_str(), kDosAttribName, nullptr, 0);
    if (size < 0) {
      if (errno == ENODATA || errno == ENOTSUP) return std::nullopt;
      RaiseFileError(errno, native, kSource);
    }
    std::string value(static_cast<size_t>(size), '\0');
    ssize_t got =
        getxattr(native.c_str(), kDosAttribName, value.data(), value.size());
    if (got >= 0) {
      value.resize(static_cast<size_t>(got));
      return value;
    }
    if (errno != ERANGE) RaiseFileError(errno, native, kSource);
    // The value grew between the two calls: read it again.
  }
}

// Parses the text form "0x<hex>", optionally followed by a NUL and more
// bytes; `*text_only` tells whether nothing follows but that NUL.
std::optional<uint32_t> ParseDosText(std::string_view value, bool* text_only) {
  if (value.size() < 3 || value[0] != '0' ||
      (value[1] != 'x' && value[1] != 'X'))
    return std::nullopt;
  uint64_t word = 0;
  size_t i = 2;
  for (; i < value.size(); ++i) {
    const int digit = HexDigitValue(value[i]);
    if (digit < 0) break;
    word = word * 16 + static_cast<uint64_t>(digit);
    if (word > 0xFFFFFFFFu) return std::nullopt;
  }
  if (i == 2) return std::nullopt;
  std::string_view rest = value.substr(i);
  if (!rest.empty() && rest[0] != '\0') return std::nullopt;
  if (text_only) *text_only = rest.size() <= 1;
  return static_cast<uint32_t>(word);
}

}  // namespace

FileInfo ReadFileInfo(const std::string& native) {
  FileInfo info;
  struct stat st;
  if (native.empty() || stat(native.c_str(), &st) != 0) return info;
  try {
    info.mod_date = LocalDateFromUnix(
        st.st_mtim.tv_sec, static_cast<int>(st.st_mtim.tv_nsec / 1'000'000));
    std::optional<uint32_t> dos = ReadDosAttributes(native);
    info.hidden = HiddenByName(native) || (dos && (*dos & kDosHidden));
  } catch (const KVLError&) {
    return FileInfo();
  }
  info.exists = true;
  info.is_directory = S_ISDIR(st.st_mode);
  info.read_only = (st.st_mode & S_IWUSR) == 0;
  info.size = st.st_size;
  return info;
}

bool NameExists(const std::string& native) {
  struct stat st;
  return !native.empty() && lstat(native.c_str(), &st) == 0;
}

bool HiddenByName(std::string_view native) {
  while (!native.empty() && native.back() == '/') native.remove_suffix(1);
  size_t slash = native.rfind('/');
  std::string_view name =
      slash == std::string_view::npos ? native : native.substr(slash + 1);
  return name.size() > 1 && name[0] == '.' && name != "..";
}

std::optional<uint32_t> ReadDosAttributes(const std::string& native) {
  std::optional<std::string> value;
  try {
    value = ReadDosAttrib(native);
  } catch (const KVLError&) {
    return std::nullopt;
  }
  if (!value) return std::nullopt;
  return ParseDosText(*value, nullptr);
}

void SetReadOnly(const std::string& native, bool read_only) {
  struct stat st;
  if (native.empty() || stat(native.c_str(), &st) != 0)
    RaiseFileError(errno, native, kSource);
  mode_t mode = st.st_mode & 07777;
  mode = read_only ? (mode & ~mode_t{S_IWUSR | S_IWGRP | S_IWOTH})
                   : (mode | S_IWUSR);
  if (chmod(native.c_str(), mode) != 0) RaiseFileError(errno, native, kSource);
}

void SetHidden(const std::string& native, bool hidden) {
  if (native.empty()) RaiseFileError(ENOENT, native, kSource);
  if (!hidden && HiddenByName(native)) {
    RaiseFileErrorNumber(kErrPathFileAccess, native,
                         "a name starting with \".\" is hidden; showing the "
                         "file would need a rename",
                         kSource);
  }
  struct stat st;
  if (stat(native.c_str(), &st) != 0) RaiseFileError(errno, native, kSource);
  std::optional<std::string> value = ReadDosAttrib(native);
  uint32_t word = 0;
  if (value) {
    bool text_only = false;
    std::optional<uint32_t> parsed = ParseDosText(*value, &text_only);
    if (!parsed || !text_only) {
      RaiseFileErrorNumber(kErrPathFileAccess, native,
                           "user.DOSATTRIB holds a record of another program; "
                           "it is left unchanged",
                           kSource);
    }
    word = *parsed;
  }
  uint32_t updated = hidden ? (word | kDosHidden) : (word & ~kDosHidden);
  if (value && updated == word) return;
  int rc;
  if (updated == 0) {
    rc = value ? removexattr(native.c_str(), kDosAttribName) : 0;
  } else {
    char text[16];
    int n = std::snprintf(text, sizeof text, "0x%x", updated);
    // The text is kept with its terminating NUL.
    rc = setxattr(native.c_str(), kDosAttribName, text,
                  static_cast<size_t>(n) + 1, 0);
  }
  if (rc != 0) {
    if (errno == ENOTSUP) {
      RaiseFileErrorNumber(kErrPathFileAccess, native,
                           "the file system cannot keep the hidden flag "
                           "(no user extended attributes)",
                           kSource);
    }
    RaiseFileError(errno, native, kSource);
  }
}

void TouchFile(const std::string& native, Date when) {
  if (native.empty()) RaiseFileError(ENOENT, native, kSource);
  const timespec times[2] = {{0, UTIME_OMIT}, UnixTimeOf(when)};
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (utimensat(AT_FDCWD, native.c_str(), times, 0) == 0) return;
    if (errno != ENOENT) RaiseFileError(errno, native, kSource);
    int fd =
        open(native.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      // Made by someone else meanwhile: touch that file instead.
      if (errno == EEXIST) continue;
      RaiseFileError(errno, native, kSource);
    }
    const char zero = '\0';
    bool ok = write(fd, &zero, 1) == 1 && futimens(fd, times) == 0;
    int saved = errno;
    close(fd);
    if (!ok) {
      unlink(native.c_str());  // the file is ours: leave nothing half made
      RaiseFileError(saved, native, kSource);
    }
    return;
  }
  // Still missing after the name appeared: a link to a missing file.
  RaiseFileError(ENOENT, native, kSource);
}

std::string CurrentDirectory() {
  std::vector<char> buffer(4096);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size())) return buffer.data();
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string MakeTempFile(const std::string& directory,
                         const std::string& prefix) {
  if (directory.empty() || prefix.find('/') != std::string::npos) return {};
  std::string name = directory;
  if (name.back() != '/') name += '/';
  name += prefix;
  name += "XXXXXX";
  int fd = mkstemp(name.data());
  if (fd < 0) return {};
  close(fd);
  return name;
}

}  // namespace kvl::files_internal

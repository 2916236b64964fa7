// The Linux side of FileAttributes and KVLPath: what a file's snapshot
// holds, the read-only and hidden flags, touching a file, and the file
// system's own services (current directory, temporary files).
//
// Every path here is a native Linux name (see NativePath). Functions that
// report through their result never raise; those that change a file raise
// the file errors of file_errors.h. Thread-safe, apart from the process's
// current directory that CurrentDirectory reads.
#ifndef KVL_FILES_INTERNAL_FILE_SYSTEM_H_
#define KVL_FILES_INTERNAL_FILE_SYSTEM_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "kvl/runtime/export.h"
#include "kvl/runtime/variant.h"

namespace kvl::files_internal {

// The hidden bit of the DOS attribute word.
inline constexpr uint32_t kDosHidden = 2;
// The extended attribute that keeps the DOS attribute word.
inline constexpr char kDosAttribName[] = "user.DOSATTRIB";

struct FileInfo {
  bool exists = false;
  bool is_directory = false;
  bool read_only = false;
  bool hidden = false;
  int64_t size = -1;
  Date mod_date;  // the zero date when missing
};

// A snapshot of `native` (symbolic links followed); `exists` false and the
// rest at their defaults when the file cannot be read.
FileInfo ReadFileInfo(const std::string& native);

// True when `native` names something (a dangling link counts).
bool NameExists(const std::string& native);

// True when the last name of `native` starts with "." (not "." or "..").
bool HiddenByName(std::string_view native);

// The DOS attribute word kept with the file, if any: the text "0x<hex>",
// with or without a NUL and whatever follows it.
std::optional<uint32_t> ReadDosAttributes(const std::string& native);

// Gives the owner write permission (read_only false: chmod u+w) or takes
// write permission from everyone (true: chmod a-w). Raises file errors.
void SetReadOnly(const std::string& native, bool read_only);

// Sets or clears the hidden bit in user.DOSATTRIB. Raises 75 when the file
// system cannot keep the attribute or when the attribute holds more than
// the text form (a record written by another program is never rewritten),
// and when clearing would need a rename (a dot name); other file errors as
// the system reports them.
void SetHidden(const std::string& native, bool hidden);

// Sets the modification time of `native` to `when` (local time) without
// touching its contents; a missing file is created holding one zero byte.
// Raises file errors.
void TouchFile(const std::string& native, Date when);

// The process's current directory, or "" when it cannot be read.
KVL_INTERNAL_EXPORT std::string CurrentDirectory();

// Creates a new empty file named `prefix` + six unique characters in
// `directory` (mode 0600); its name, or "" when it cannot be made.
std::string MakeTempFile(const std::string& directory,
                         const std::string& prefix);

}  // namespace kvl::files_internal

#endif  // KVL_FILES_INTERNAL_FILE_SYSTEM_H_

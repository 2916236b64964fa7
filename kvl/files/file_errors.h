// The standard file error numbers that file operations of the library
// raise, and the one routine that turns a failed system call into them.
//
// A failed operation on a named file raises KVLError with one of these
// numbers and a description that names the file, so that the caller sees
// which file and why: "Permission denied: /etc/app/main.cfg". Numbers are the
// standard automation file errors; the system's own reason is added where it
// says more than the number.
//
// Thread-safe; reads errno only through its argument.
//
//   if (chmod(name.c_str(), mode) != 0) RaiseFileError(errno, name);
#ifndef KVL_FILES_FILE_ERRORS_H_
#define KVL_FILES_FILE_ERRORS_H_

#include <cstdint>
#include <string_view>

namespace kvl {

inline constexpr int32_t kErrBadFileName = 52;   // "Bad file name or number"
inline constexpr int32_t kErrFileNotFound = 53;  // "File not found"
inline constexpr int32_t kErrPermissionDenied = 70;  // "Permission denied"
inline constexpr int32_t kErrPathFileAccess = 75;    // "Path/File access error"
inline constexpr int32_t kErrPathNotFound = 76;      // "Path not found"

// Raises the file error for system error `errnum` on `path` (a Linux name):
// an empty path 52; ENOENT 53, or 76 when the directory that should hold
// the file is missing too; ENOTDIR 76; EACCES and EPERM 70; anything else
// 75 with the system's reason. `source` defaults to "KVLCommon".
[[noreturn]] void RaiseFileError(int errnum, std::string_view path,
                                 std::string_view source = {});

// Raises `number` with "<standard text>: <path>" followed by `reason`.
[[noreturn]] void RaiseFileErrorNumber(int32_t number, std::string_view path,
                                       std::string_view reason,
                                       std::string_view source = {});

}  // namespace kvl

#endif  // KVL_FILES_FILE_ERRORS_H_

#include "kvl/files/file_errors.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "kvl/runtime/error.h"

namespace kvl {

namespace {

std::string_view FileErrorText(int32_t number) {
  switch (number) {
    case kErrBadFileName: return "Bad file name or number";
    case kErrFileNotFound: return "File not found";
    case kErrPermissionDenied: return "Permission denied";
    case kErrPathNotFound: return "Path not found";
    default: return "Path/File access error";
  }
}

// True when the directory part of `path` names an existing directory.
bool DirectoryOfExists(std::string_view path) {
  while (!path.empty() && path.back() == '/') path.remove_suffix(1);
  size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return true;  // the current directory
  std::string dir(path.substr(0, slash == 0 ? 1 : slash));
  struct stat st;
  return stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

void RaiseFileErrorNumber(int32_t number, std::string_view path,
                          std::string_view reason, std::string_view source) {
  std::string description(FileErrorText(number));
  description += ": ";
  description += path.empty() ? std::string_view("(empty name)") : path;
  if (!reason.empty()) {
    description += " (";
    description += reason;
    description += ")";
  }
  Raise(number, source, description);
}

void RaiseFileError(int errnum, std::string_view path,
                    std::string_view source) {
  if (path.empty()) RaiseFileErrorNumber(kErrBadFileName, path, {}, source);
  switch (errnum) {
    case ENOENT:
      RaiseFileErrorNumber(
          DirectoryOfExists(path) ? kErrFileNotFound : kErrPathNotFound, path,
          {}, source);
    case ENOTDIR: RaiseFileErrorNumber(kErrPathNotFound, path, {}, source);
    case EACCES:
    case EPERM: RaiseFileErrorNumber(kErrPermissionDenied, path, {}, source);
    default: {
      char buffer[256];
      // strerror_r (GNU) returns the text, not necessarily in `buffer`.
      const char* reason = strerror_r(errnum, buffer, sizeof buffer);
      RaiseFileErrorNumber(kErrPathFileAccess, path, reason, source);
    }
  }
}

}  // namespace kvl

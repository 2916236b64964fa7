// KVLPath: splitting and resolving paths, short and long names, the search
// path list and temporary files.
//
// KVLPath is a global class (kind 1): clients call its implicit instance,
// and other subsystems call InternalInstance<KVLPath>(). Its members are
// functions of their arguments, apart from the search-path list and the
// file-system services (temporary files, the current directory).
//
// Path grammar. Both "/" and "\" separate components, so Linux paths and
// paths written on the original platform with backslashes and drive letters
// read the same way: DirPart("/etc/app/main.cfg") is "/etc/app" and
// DirPart("C:\dir\file.txt") is "C:\dir". A drive is a letter and ":" at
// the start of a path; elsewhere ":" is an ordinary character. A path's
// components are its drive, then each name with its separator ("a\", "a/"),
// a leading separator being the root component by itself. Results that
// join components use the separator the base path is written with (its
// first separator; "\" for a bare drive, "/" otherwise), so that
// RelPathToAbsPath("sub\inc.cfg", "/etc/app") is "/etc/app/sub/inc.cfg".
// Names in a path with a drive or a backslash compare ignoring case, as on
// the original platform; names in a Linux path compare exactly. When a file
// is reached, NativePath turns the path into its Linux name ("\" becomes
// "/"), so a Linux name that contains a backslash cannot be reached.
// Positions count bytes, from 1. docs/platform-notes.md ("Paths and files")
// gives the Linux meaning of drives, short names and the platform services.
//
// Threading: the search-path list is library state (LibraryState), kept
// once per thread like every library-wide object; each thread that uses
// KVLPath sees its own list, created empty at start-up.
//
//   KVLPath& path = InternalInstance<KVLPath>();
//   path.DirPart("/etc/app/main.cfg");                  // "/etc/app"
//   path.RelPathToAbsPath("../inc/x.cfg", "/etc/app");  // "/etc/inc/x.cfg"
//   path.AbsPathToRelPath("C:\\a\\c\\f.txt", "C:\\a\\b");  // "..\\c\\f.txt"
#ifndef KVL_FILES_KVL_PATH_H_
#define KVL_FILES_KVL_PATH_H_

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "kvl/runtime/class_info.h"
#include "kvl/runtime/export.h"
#include "kvl/runtime/object.h"

namespace kvl {

// The Linux file-system name of a path written in the KVLPath grammar:
// every "\" becomes "/". Open files named through KVLPath with this.
KVL_EXPORT std::string NativePath(std::string_view path);

class KVL_EXPORT KVLPath : public Object {
  KVL_DECLARE_CLASS(KVLPath)
 public:
  // ---- splitting; never fail ----

  // The directory part: everything before the last separator (a trailing
  // separator does not count). A name right under the root gives the root
  // ("/etc" -> "/"); a path with a drive and no separator gives the drive
  // ("C:file.txt" -> "C:", the drive's current directory); a bare name gives
  // "." (the current directory); "" gives "".
  std::string DirPart(const std::string& s) const;
  // The directory part of DirPart(s) when that has a separator ("" when
  // not): "/etc/app/x.cfg" -> "/etc", "C:\dir\x" -> "C:".
  std::string ParentDir(const std::string& s) const;
  // FilePart without its extension; a name starting with "." (".profile")
  // has no extension.
  std::string BaseName(const std::string& s) const;
  // Everything after the last separator, or after the drive; a trailing
  // separator stays ("C:\dir\" -> "dir\").
  std::string FilePart(const std::string& s) const;
  // The extension without its dot; "" for "file." and ".profile".
  std::string Extension(const std::string& s) const;
  // "C:" for a path with a drive, otherwise "".
  std::string DrivePart(const std::string& s) const;
  // `s` shortened to `n` bytes (at least 20, and at least the file part plus
  // 10) by putting "..." in the middle; the last separator and the file part
  // are always kept, a multi-byte character is never cut (the result is then
  // a byte or two shorter). A path shorter than that is returned unchanged.
  std::string PathAbbreviation(const std::string& s, int16_t n) const;
  // The first component: "C:", "/" or "\", "dir/", or the whole path.
  std::string FirstPathComponent(const std::string& path) const;
  std::string StripFirstPathComponent(const std::string& path) const;
  // False for "/x", "\x", "C:\x" and "\\srv\share"; true for "", "x/y",
  // "./x" and "C:x".
  bool IsRelPath(const std::string& path) const;

  // ---- resolving ----

  // `rel_path` resolved against `base_path` ("" stands for the current
  // directory): ".." goes up one directory (never above the root), "."
  // and repeated separators are dropped, other names are appended with the
  // base's separator. An absolute `rel_path` is returned unchanged. A
  // relative path without a drive takes the base's drive; with a drive
  // other than the base's it is resolved against the current directory.
  // The process state is never changed.
  std::string RelPathToAbsPath(const std::string& rel_path,
                               const std::string& base_path) const;
  // `abs_path` relative to `base_path`: the components both share are
  // dropped and each component left in the base becomes "../" ("..\" for
  // a path written with backslashes). A trailing separator does not matter
  // ("/a/b" and "/a/b/" are the same base). `abs_path` unchanged when the
  // two share nothing; "" for the same path.
  std::string AbsPathToRelPath(const std::string& abs_path,
                               const std::string& base_path) const;

  // ---- short and long names (Linux has only long names) ----

  // True when `path` contains "~" followed by a digit.
  bool IsShortFileName(const std::string& path) const;
  // `path` itself when it names an existing file or directory, else "".
  std::string AsShortFilename(std::string path) const;
  // `path` rebuilt component by component. Linux names are all long, so a
  // short-looking component ("PROGRA~1") stays as it is; a drive gets its
  // separator ("C:a" -> "C:\a").
  std::string AsLongFileName(std::string path) const;

  // ---- search paths ----

  // Adds an existing directory to this thread's list; false for a missing
  // path, a file, or a directory already listed (compared as the path
  // grammar compares names). Never raises.
  bool AddSearchPath(const std::string& path);
  // "/usr/lib", where the system's shared libraries live.
  std::string FindSystemDirectory() const;
  bool AddSystemDirectoryToSearchPath();
  // False when `path` is not listed.
  bool RemoveSearchPath(const std::string& path);
  void ClearSearchPaths();
  // The first directory + separator + `file_name` that exists, in list
  // order, written with that directory's separator; "" when none does or
  // `file_name` is empty.
  std::string FindFileInSearchPath(const std::string& file_name) const;
  // The list in order (C++ only).
  std::vector<std::string> SearchPaths() const;

  // ---- file-system services ----

  // The absolute form of `file_name`, made without touching the file
  // system: a relative name is taken against the current directory, "."
  // and ".." are resolved, repeated separators dropped; links are not
  // followed. A path with a drive ("C:\a") or a share ("\\srv\share\a")
  // keeps its form; a drive-relative name ("C:a") is taken against the
  // current directory. "" for an empty name, or when the current directory
  // cannot be read or the result reaches PATH_MAX bytes; the positions are
  // then left as they are. Otherwise, 1-based in the result: `dir_part` the
  // root separator (1 for a Linux path, 3 after a drive, the separator
  // after the share name), `file_part` just after the last separator (left
  // as is when there is none), `ext_part` the extension's dot, or the
  // length + 1 when there is no extension.
  std::string GetFullPath(const std::string& file_name, int32_t& file_part,
                          int32_t& ext_part, int32_t& dir_part) const;
  std::string GetFullPath(const std::string& file_name) const;
  // Creates a new empty file `prefix` + six unique characters (mode 0600)
  // in `path_name`, or in GetTempDir() (stored into `path_name`) when it is
  // empty, and returns its full path. "" when the file cannot be made or
  // `prefix` contains a separator. The caller owns and removes the file.
  std::string GetTempFile(const std::string& prefix,
                          std::string& path_name) const;
  std::string GetTempFile(const std::string& prefix = "") const;
  // $TMPDIR when set and not empty, else "/tmp", always ending with "/".
  std::string GetTempDir() const;
};

}  // namespace kvl

#endif  // KVL_FILES_KVL_PATH_H_

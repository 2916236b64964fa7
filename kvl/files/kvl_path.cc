#include "kvl/files/kvl_path.h"

#include <limits.h>

#include <cstdlib>
#include <optional>
#include <utility>

#include "kvl/files/internal/file_system.h"
#include "kvl/files/internal/path_grammar.h"
#include "kvl/frame/catalogue.h"
#include "kvl/frame/library.h"
#include "kvl/runtime/utf8.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl {

namespace fi = files_internal;

namespace {

// The search-path list of one thread (see library.h).
struct SearchPathList {
  std::vector<std::string> paths;
};
KVL_REGISTER_LIBRARY_STATE(SearchPathList)

bool IsDotDot(std::string_view comp) {
  return fi::ComponentName(comp) == ".." && comp.size() <= 3;
}
bool IsDot(std::string_view comp) {
  return fi::ComponentName(comp) == "." && comp.size() <= 2;
}
bool IsRoot(std::string_view comp) {
  return comp.size() == 1 && fi::IsSeparator(comp[0]);
}

// Appends `comp` to `result` as RelPathToAbsPath and AsLongFileName do: a
// separator goes in between unless one side already has it.
void AppendComponent(std::string& result, std::string_view comp, char sep) {
  if (!result.empty() && !fi::IsSeparator(result.back()) && !comp.empty() &&
      !fi::IsSeparator(comp.front()))
    result += sep;
  result += comp;
}

// `path` (starting at its root separator) with "." and ".." resolved and
// repeated separators dropped, written with `sep`; a trailing separator
// stays. `root` is put in front and is never gone above.
std::string NormalizeUnder(std::string_view root, std::string_view path,
                           char sep) {
  std::vector<std::string_view> names;
  size_t i = 0;
  while (i < path.size()) {
    while (i < path.size() && fi::IsSeparator(path[i])) ++i;
    size_t start = i;
    while (i < path.size() && !fi::IsSeparator(path[i])) ++i;
    std::string_view name = path.substr(start, i - start);
    if (name.empty() || name == ".") continue;
    if (name == "..") {
      if (!names.empty()) names.pop_back();
      continue;
    }
    names.push_back(name);
  }
  std::string out(root);
  for (std::string_view name : names) {
    out += sep;
    out += name;
  }
  if (names.empty() || fi::IsSeparator(path.back())) out += sep;
  return out;
}

// The full path of `name` (see KVLPath::GetFullPath), or nullopt.
std::optional<std::string> FullPathOf(std::string_view name) {
  if (name.empty()) return std::nullopt;
  std::string full;
  if (fi::HasDrive(name) && name.size() > 2 && fi::IsSeparator(name[2])) {
    full = NormalizeUnder(name.substr(0, 2), name.substr(2), name[2]);
  } else if (name.starts_with("\\\\")) {
    // \\server\share stays the root of a share name.
    size_t server_end = name.find_first_of("/\\", 2);
    size_t share_end = server_end == std::string_view::npos
                           ? server_end
                           : name.find_first_of("/\\", server_end + 1);
    if (share_end == std::string_view::npos) {
      full = name;
    } else {
      full = NormalizeUnder(name.substr(0, share_end), name.substr(share_end),
                            '\\');
    }
  } else {
    std::string native = NativePath(name);
    if (fi::HasDrive(native)) native.erase(0, 2);  // the drive's current dir
    if (native.empty() || native.front() != '/') {
      std::string cwd = fi::CurrentDirectory();
      if (cwd.empty()) return std::nullopt;
      native = cwd + "/" + native;
    }
    full = NormalizeUnder("", native, '/');
  }
  if (full.size() >= PATH_MAX) return std::nullopt;
  return full;
}

}  // namespace

std::string NativePath(std::string_view path) {
  return fi::NativePath(path);
}

// ---- splitting ----

std::string KVLPath::DirPart(const std::string& s) const {
  size_t p = fi::LastSeparator(s);
  if (p == 1) return s.substr(0, 1);
  if (p > 1) return s.substr(0, p - 1);
  if (fi::HasDrive(s)) return s.substr(0, 2);
  if (s.empty()) return {};
  if (fi::IsSeparator(s[0])) return s.substr(0, 1);
  return ".";
}

std::string KVLPath::ParentDir(const std::string& s) const {
  std::string d = DirPart(s);
  return fi::LastSeparator(d) >= 1 ? DirPart(d) : std::string();
}

std::string KVLPath::FilePart(const std::string& s) const {
  size_t p = fi::LastSeparator(s);
  if (p >= 1) return s.substr(p);
  if (fi::HasDrive(s)) return s.substr(2);
  return s;
}

namespace {
// Position of the dot that starts the extension of file part `f`, or 0.
size_t ExtensionDot(std::string_view f) {
  size_t p = fi::LastChar(f, '.');
  return p > 1 ? p : 0;  // a leading dot names a hidden file
}
}  // namespace

std::string KVLPath::BaseName(const std::string& s) const {
  std::string f = FilePart(s);
  size_t p = ExtensionDot(f);
  return p >= 1 ? f.substr(0, p - 1) : f;
}

std::string KVLPath::Extension(const std::string& s) const {
  std::string f = FilePart(s);
  size_t p = ExtensionDot(f);
  return p >= 1 ? f.substr(p) : std::string();
}

std::string KVLPath::DrivePart(const std::string& s) const {
  return std::string(fi::DriveOf(s));
}

std::string KVLPath::PathAbbreviation(const std::string& s, int16_t n) const {
  const int64_t fp = static_cast<int64_t>(FilePart(s).size());
  int64_t width = n < 20 ? 20 : n;
  if (width < fp + 10) width = fp + 10;
  const int64_t len = static_cast<int64_t>(s.size());
  if (len < width) return s;
  const int64_t k = width - fp - 3;
  size_t keep = static_cast<size_t>(k - 1);
  // Never end the head inside a multi-byte character.
  while (keep > 0 && IsUtf8Continuation(static_cast<unsigned char>(s[keep])))
    --keep;
  return s.substr(0, keep) + "..." +
         s.substr(static_cast<size_t>(len - fp - 1));
}

std::string KVLPath::FirstPathComponent(const std::string& path) const {
  return std::string(fi::FirstComponent(path));
}

std::string KVLPath::StripFirstPathComponent(const std::string& path) const {
  return std::string(fi::StripFirstComponent(path));
}

bool KVLPath::IsRelPath(const std::string& path) const {
  std::string_view t = path;
  while (!t.empty()) {
    if (t.front() == '.') return true;
    if (!fi::HasDrive(t)) return !fi::IsSeparator(t.front());
    t = fi::StripFirstComponent(t);
  }
  return true;
}

// ---- resolving ----

std::string KVLPath::RelPathToAbsPath(const std::string& rel_path,
                                      const std::string& base_path) const {
  if (!IsRelPath(rel_path)) return rel_path;
  std::string result = base_path.empty() ? fi::CurrentDirectory() : base_path;
  std::string_view rel = rel_path;
  std::string_view rel_drive = fi::DriveOf(rel);
  if (!rel_drive.empty()) {
    // Linux keeps one current directory for every drive.
    if (!EqualsNoCase(rel_drive, fi::DriveOf(result)))
      result = fi::CurrentDirectory();
    rel.remove_prefix(2);
  }
  const char sep = fi::SeparatorOf(result);
  for (std::string_view comp = fi::FirstComponent(rel); !comp.empty();
       rel = fi::StripFirstComponent(rel), comp = fi::FirstComponent(rel)) {
    if (IsDotDot(comp)) {
      result = DirPart(result);
    } else if (IsDot(comp)) {
      // stays
    } else if (IsRoot(comp) && !result.empty() &&
               fi::IsSeparator(result.back())) {
      // a repeated separator
    } else {
      AppendComponent(result, fi::WithSeparator(comp, sep), sep);
    }
  }
  return result;
}

std::string KVLPath::AbsPathToRelPath(const std::string& abs_path,
                                      const std::string& base_path) const {
  const bool ignore_case =
      fi::IsDosStyle(abs_path) || fi::IsDosStyle(base_path);
  std::string_view a = abs_path;
  std::string_view b = base_path;
  bool common = false;
  while (!a.empty() && !b.empty()) {
    if (!fi::SameComponent(fi::FirstComponent(a), fi::FirstComponent(b),
                           ignore_case))
      break;
    common = true;
    a = fi::StripFirstComponent(a);
    b = fi::StripFirstComponent(b);
  }
  if (!common && !a.empty() && !b.empty()) return abs_path;
  const char sep = fi::SeparatorOf(abs_path);
  std::string result;
  for (; !b.empty(); b = fi::StripFirstComponent(b)) {
    std::string_view comp = fi::FirstComponent(b);
    if (IsRoot(comp) || IsDot(comp)) continue;
    result += "..";
    result += sep;
  }
  result += a;
  return result;
}

// ---- short and long names ----

bool KVLPath::IsShortFileName(const std::string& path) const {
  size_t tilde = path.find('~');
  return tilde != std::string::npos && tilde + 1 < path.size() &&
         path[tilde + 1] >= '0' && path[tilde + 1] <= '9';
}

std::string KVLPath::AsShortFilename(std::string path) const {
  return fi::NameExists(NativePath(path)) ? path : std::string();
}

std::string KVLPath::AsLongFileName(std::string path) const {
  // Every Linux name is long: a short-looking component ("PROGRA~1") is its
  // own display name, so only the separator after a drive is filled in.
  const char sep = fi::SeparatorOf(path);
  std::string result;
  std::string_view rest = path;
  for (std::string_view comp = fi::FirstComponent(rest); !comp.empty();
       rest = fi::StripFirstComponent(rest), comp = fi::FirstComponent(rest))
    AppendComponent(result, comp, sep);
  return result;
}

// ---- search paths ----

bool KVLPath::AddSearchPath(const std::string& path) {
  fi::FileInfo info = fi::ReadFileInfo(NativePath(path));
  if (!info.exists || !info.is_directory) return false;
  std::vector<std::string>& list = LibraryState<SearchPathList>().paths;
  for (const std::string& p : list) {
    if (fi::SamePathText(p, path)) return false;
  }
  list.push_back(path);
  return true;
}

std::string KVLPath::FindSystemDirectory() const {
  return "/usr/lib";
}

bool KVLPath::AddSystemDirectoryToSearchPath() {
  return AddSearchPath(FindSystemDirectory());
}

bool KVLPath::RemoveSearchPath(const std::string& path) {
  std::vector<std::string>& list = LibraryState<SearchPathList>().paths;
  for (auto it = list.begin(); it != list.end(); ++it) {
    if (fi::SamePathText(*it, path)) {
      list.erase(it);
      return true;
    }
  }
  return false;
}

void KVLPath::ClearSearchPaths() {
  std::vector<std::string>().swap(LibraryState<SearchPathList>().paths);
}

std::string KVLPath::FindFileInSearchPath(const std::string& file_name) const {
  if (file_name.empty()) return {};
  for (const std::string& dir : LibraryState<SearchPathList>().paths) {
    const char sep = fi::SeparatorOf(dir);
    std::string candidate = dir;
    if (!fi::IsSeparator(file_name.front()) &&
        (candidate.empty() || !fi::IsSeparator(candidate.back())))
      candidate += sep;
    candidate += fi::WithSeparator(file_name, sep);
    if (fi::ReadFileInfo(NativePath(candidate)).exists) return candidate;
  }
  return {};
}

std::vector<std::string> KVLPath::SearchPaths() const {
  return LibraryState<SearchPathList>().paths;
}

// ---- file-system services ----

std::string KVLPath::GetFullPath(const std::string& file_name,
                                 int32_t& file_part, int32_t& ext_part,
                                 int32_t& dir_part) const {
  std::optional<std::string> full = FullPathOf(file_name);
  if (!full) return {};
  const std::string& r = *full;
  const size_t len = r.size();

  size_t dir = 0;
  if (fi::HasDrive(r) && len > 2 && fi::IsSeparator(r[2])) {
    dir = 3;
  } else if (r.starts_with("\\\\")) {
    size_t first = r.find_first_of("/\\", 2);
    size_t second =
        first == std::string::npos ? first : r.find_first_of("/\\", first + 1);
    if (second != std::string::npos && second + 1 < len) dir = second + 1;
  } else if (!r.empty() && r[0] == '/') {
    dir = 1;
  }

  size_t ext = len + 1;
  for (size_t i = len; i-- > 0;) {
    if (fi::IsSeparator(r[i])) break;
    if (r[i] == '.') {
      if (i > 0 && !fi::IsSeparator(r[i - 1])) ext = i + 1;
      break;
    }
  }

  const size_t stop = dir ? dir : 1;
  for (size_t pos = len; pos >= stop && pos >= 1; --pos) {
    if (fi::IsSeparator(r[pos - 1])) {
      file_part = static_cast<int32_t>(pos + 1);
      break;
    }
  }
  ext_part = static_cast<int32_t>(ext);
  if (dir) dir_part = static_cast<int32_t>(dir);
  return r;
}

std::string KVLPath::GetFullPath(const std::string& file_name) const {
  int32_t file_part = 0, ext_part = 0, dir_part = 0;
  return GetFullPath(file_name, file_part, ext_part, dir_part);
}

std::string KVLPath::GetTempFile(const std::string& prefix,
                                 std::string& path_name) const {
  if (path_name.empty()) path_name = GetTempDir();
  if (prefix.find_first_of("/\\") != std::string::npos) return {};
  std::string made = fi::MakeTempFile(NativePath(path_name), prefix);
  return made.empty() ? std::string() : GetFullPath(made);
}

std::string KVLPath::GetTempFile(const std::string& prefix) const {
  std::string path_name;
  return GetTempFile(prefix, path_name);
}

std::string KVLPath::GetTempDir() const {
  const char* env = std::getenv("TMPDIR");
  std::string dir = env && *env ? env : "/tmp";
  if (dir.back() != '/') dir += '/';
  return dir;
}

// ---- member table ----

namespace {
using FullPathFn = std::string (KVLPath::*)(const std::string&, int32_t&,
                                            int32_t&, int32_t&) const;
using TempFileFn = std::string (KVLPath::*)(const std::string&,
                                            std::string&) const;
}  // namespace

const ClassInfo& KVLPath::StaticClass() {
  static const ClassInfo info =
      ClassBuilder<KVLPath>("KVLPath", ClassKind::kGlobal)
          .Method<&KVLPath::DirPart>("DirPart", {RefArg("s")})
          .Method<&KVLPath::ParentDir>("ParentDir", {RefArg("s")})
          .Method<&KVLPath::BaseName>("BaseName", {RefArg("s")})
          .Method<&KVLPath::FilePart>("FilePart", {RefArg("s")})
          .Method<&KVLPath::Extension>("Extension", {RefArg("s")})
          .Method<&KVLPath::DrivePart>("DrivePart", {RefArg("s")})
          .Method<&KVLPath::PathAbbreviation>("PathAbbreviation",
                                              {RefArg("s"), Arg("n")})
          .Method<&KVLPath::FirstPathComponent>("FirstPathComponent",
                                                {RefArg("Path")})
          .Method<&KVLPath::StripFirstPathComponent>("StripFirstPathComponent",
                                                     {RefArg("Path")})
          .Method<&KVLPath::IsRelPath>("IsRelPath", {RefArg("Path")})
          .Method<&KVLPath::RelPathToAbsPath>(
              "RelPathToAbsPath", {RefArg("RelPath"), RefArg("BasePath")})
          .Method<&KVLPath::AbsPathToRelPath>(
              "AbsPathToRelPath", {RefArg("AbsPath"), RefArg("BasePath")})
          .Method<&KVLPath::IsShortFileName>("IsShortFileName",
                                             {RefArg("Path")})
          .Method<&KVLPath::AsShortFilename>("AsShortFilename", {Arg("Path")})
          .Method<&KVLPath::AsLongFileName>("AsLongFileName", {Arg("Path")})
          .Method<&KVLPath::AddSearchPath>("AddSearchPath", {RefArg("Path")})
          .Method<&KVLPath::FindSystemDirectory>("FindSystemDirectory")
          .Method<&KVLPath::AddSystemDirectoryToSearchPath>(
              "AddSystemDirectoryToSearchPath")
          .Method<&KVLPath::RemoveSearchPath>("RemoveSearchPath",
                                              {RefArg("Path")})
          .Method<&KVLPath::ClearSearchPaths>("ClearSearchPaths")
          .Method<&KVLPath::FindFileInSearchPath>("FindFileInSearchPath",
                                                  {RefArg("FileName")})
          .Method<static_cast<FullPathFn>(&KVLPath::GetFullPath)>(
              "GetFullPath", {RefArg("sFileName"), OptArg("FilePart"),
                              OptArg("ExtPart"), OptArg("DirPart")})
          .Method<static_cast<TempFileFn>(&KVLPath::GetTempFile)>(
              "GetTempFile", {OptArg("Prefix").ByRef(), OptArg("PathName")})
          .Method<&KVLPath::GetTempDir>("GetTempDir")
          .Build();
  return info;
}

KVL_REGISTER_CLASS(KVLPath)

}  // namespace kvl

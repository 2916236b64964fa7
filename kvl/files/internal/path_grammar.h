// The path grammar shared by KVLPath and FileAttributes: separators, drive
// prefixes, components and the separator a path is written with.
//
// Both "/" and "\" separate components, so that Linux paths and paths
// written with backslashes and drive letters read the same way. A drive is a
// letter followed by ":" at the start of a path ("C:"); a colon anywhere else
// is an ordinary character of a Linux name. Positions are 1-based byte
// positions, 0 meaning "not found", as the public members report them.
//
// All functions are pure and thread-safe.
#ifndef KVL_FILES_INTERNAL_PATH_GRAMMAR_H_
#define KVL_FILES_INTERNAL_PATH_GRAMMAR_H_

#include <cstddef>
#include <string>
#include <string_view>

namespace kvl::files_internal {

inline bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

// True when `s` starts with a drive prefix: an ASCII letter and ":".
bool HasDrive(std::string_view s);
// The drive prefix ("C:") or "".
std::string_view DriveOf(std::string_view s);

// Position of the last separator of `s`, ignoring a separator that is the
// very last character (a trailing separator counts as absent); 0 when none.
size_t LastSeparator(std::string_view s);
// The same search for the character `c`.
size_t LastChar(std::string_view s, char c);

// The separator the path is written with: its first separator; for a path
// without one, "\" when it has a drive and "/" otherwise.
char SeparatorOf(std::string_view s);

// True for a path written the original way: with a drive or a backslash.
// Names in such paths compare ignoring case; names in Linux paths exactly.
bool IsDosStyle(std::string_view s);

// The first component of `s` (see KVLPath::FirstPathComponent).
std::string_view FirstComponent(std::string_view s);
// `s` without its first component.
std::string_view StripFirstComponent(std::string_view s);
// A component without its trailing separator ("a/" -> "a", "\" -> "").
std::string_view ComponentName(std::string_view comp);

// Whether two components name the same thing: separators of either kind
// are equal, a trailing separator is ignored, drive letters ignore case and
// names ignore case when `ignore_case`.
bool SameComponent(std::string_view a, std::string_view b, bool ignore_case);

// Whether two paths are written the same: separators of either kind are
// equal, and letters ignore case when either path IsDosStyle.
bool SamePathText(std::string_view a, std::string_view b);

// `s` with every separator written as `sep`.
std::string WithSeparator(std::string_view s, char sep);

// The Linux file-system name of `path`: every "\" becomes "/".
std::string NativePath(std::string_view path);

// The last name of a native path, trailing separators ignored ("" for "/").
std::string_view LastName(std::string_view native);

}  // namespace kvl::files_internal

#endif  // KVL_FILES_INTERNAL_PATH_GRAMMAR_H_

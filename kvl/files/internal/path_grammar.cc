#include "kvl/files/internal/path_grammar.h"

#include "kvl/runtime/ascii.h"
#include "kvl/runtime/variant_convert.h"

namespace kvl::files_internal {

namespace {

// Scans from the second-to-last character down to the first.
template <class Match>
size_t LastMatch(std::string_view s, Match match) {
  for (size_t i = s.size(); i-- > 1;) {
    if (match(s[i - 1])) return i;
  }
  return 0;
}

}  // namespace

bool HasDrive(std::string_view s) {
  return s.size() >= 2 && s[1] == ':' && IsAsciiLetter(s[0]);
}

std::string_view DriveOf(std::string_view s) {
  return HasDrive(s) ? s.substr(0, 2) : std::string_view();
}

size_t LastSeparator(std::string_view s) {
  return LastMatch(s, IsSeparator);
}

size_t LastChar(std::string_view s, char c) {
  return LastMatch(s, [c](char x) { return x == c; });
}

char SeparatorOf(std::string_view s) {
  for (char c : s) {
    if (IsSeparator(c)) return c;
  }
  return HasDrive(s) ? '\\' : '/';
}

bool IsDosStyle(std::string_view s) {
  return HasDrive(s) || s.find('\\') != std::string_view::npos;
}

std::string_view FirstComponent(std::string_view s) {
  if (s.empty()) return s;
  if (HasDrive(s)) return s.substr(0, 2);
  for (size_t i = 0; i < s.size(); ++i) {
    if (IsSeparator(s[i])) return s.substr(0, i + 1);
  }
  return s;
}

std::string_view StripFirstComponent(std::string_view s) {
  return s.substr(FirstComponent(s).size());
}

std::string_view ComponentName(std::string_view comp) {
  if (!comp.empty() && IsSeparator(comp.back())) comp.remove_suffix(1);
  return comp;
}

bool SameComponent(std::string_view a, std::string_view b, bool ignore_case) {
  if (HasDrive(a) != HasDrive(b)) return false;
  std::string_view na = ComponentName(a);
  std::string_view nb = ComponentName(b);
  // The root component is a lone separator; a name never is.
  if (na.empty() != nb.empty()) return false;
  if (na.empty()) return a.empty() == b.empty();
  if (ignore_case || HasDrive(a)) return EqualsNoCase(na, nb);
  return na == nb;
}

bool SamePathText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  std::string x = NativePath(a);
  std::string y = NativePath(b);
  return IsDosStyle(a) || IsDosStyle(b) ? EqualsNoCase(x, y) : x == y;
}

std::string WithSeparator(std::string_view s, char sep) {
  std::string out(s);
  for (char& c : out) {
    if (IsSeparator(c)) c = sep;
  }
  return out;
}

std::string NativePath(std::string_view path) {
  return WithSeparator(path, '/');
}

std::string_view LastName(std::string_view native) {
  while (!native.empty() && native.back() == '/') native.remove_suffix(1);
  size_t slash = native.rfind('/');
  return slash == std::string_view::npos ? native : native.substr(slash + 1);
}

}  // namespace kvl::files_internal

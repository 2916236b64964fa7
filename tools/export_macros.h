// Finds the declarations of a public header that libkvlcommon.so must
// export and that lack KVL_EXPORT (kvl/runtime/export.h), and inserts the
// macro where it is missing.
//
// The library is built with hidden visibility, so a public header must mark:
//   - every class, struct or union defined at namespace scope (primary
//     templates included; specializations and nested classes follow their
//     template or enclosing class);
//   - every function declared at namespace scope without a body, and every
//     friend function a class declares without a body;
//   - every function defined in the header whose body holds a static or
//     thread_local variable (one variable, not one per module);
//   - every extern variable, and every inline variable that is not const.
// Everything inside an anonymous namespace, and preprocessor lines, are left
// alone. The scan works on lines with comments and literals blanked out and
// counts braces; it is written for the code as clang-format lays it out, not
// for arbitrary C++.
//
// Not thread-safe per call; calls share nothing.
//
//   std::vector<ExportFinding> missing = FindMissingExports(text);
//   std::string fixed = InsertExports(text, missing);
#ifndef KVL_TOOLS_EXPORT_MACROS_H_
#define KVL_TOOLS_EXPORT_MACROS_H_

#include <string>
#include <string_view>
#include <vector>

namespace kvl::tools {

struct ExportFinding {
  int line = 0;        // 0-based line of the insertion point
  int column = 0;      // 0-based byte column where the macro goes
  bool before = true;  // "KVL_EXPORT " before the column, else " KVL_EXPORT"
  std::string what;    // "class X", "function F", ... for messages
};

// The declarations of `header` that need the macro and lack it, in order.
std::vector<ExportFinding> FindMissingExports(std::string_view header);

// `header` with the macro inserted at each finding, and the include of
// kvl/runtime/export.h added when findings exist and it is missing.
std::string InsertExports(std::string_view header,
                          const std::vector<ExportFinding>& findings);

// True when `header` includes kvl/runtime/export.h directly.
bool IncludesExportHeader(std::string_view header);

}  // namespace kvl::tools

#endif  // KVL_TOOLS_EXPORT_MACROS_H_

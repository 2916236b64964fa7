// kvl_export_macros: checks or adds KVL_EXPORT in the library's public
// headers.
//   kvl_export_macros <checkout>          lists what lacks the macro; exit 1
//   kvl_export_macros --fix <checkout>    adds it (re-run after merging new
//                                         classes) and reformats the changed
//                                         declarations with clang-format
// Public headers are the ones installed: kvl/<subsystem>/**/*.h outside
// internal/, testing/ and client/ folders, and not test_*.h.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "tools/export_macros.h"

namespace fs = std::filesystem;

namespace {

bool IsPublicHeader(const fs::path& file, const fs::path& kvl) {
  if (file.extension() != ".h") return false;
  if (file.filename().string().rfind("test_", 0) == 0) return false;
  if (file == kvl / "runtime" / "export.h") return false;
  for (const fs::path& part : fs::relative(file.parent_path(), kvl)) {
    if (part == "internal" || part == "testing" || part == "client")
      return false;
  }
  return true;
}

std::string ReadFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

int main(int argc, char** argv) {
  bool fix = false;
  std::string root;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--fix") {
      fix = true;
    } else {
      root = arg;
    }
  }
  if (root.empty()) {
    std::fprintf(stderr, "usage: kvl_export_macros [--fix] <checkout>\n");
    return 2;
  }
  const fs::path kvl = fs::path(root) / "kvl";
  std::set<fs::path> headers;
  for (const auto& entry : fs::recursive_directory_iterator(kvl)) {
    if (entry.is_regular_file() && IsPublicHeader(entry.path(), kvl)) {
      headers.insert(entry.path());
    }
  }
  int missing = 0;
  for (const fs::path& file : headers) {
    const std::string text = ReadFile(file);
    const auto findings = kvl::tools::FindMissingExports(text);
    const std::string shown = fs::relative(file, root).string();
    if (!fix) {
      for (const auto& f : findings) {
        std::printf("%s:%d: %s lacks KVL_EXPORT\n", shown.c_str(), f.line + 1,
                    f.what.c_str());
      }
      missing += static_cast<int>(findings.size());
      if (findings.empty() && text.find("KVL_EXPORT") != std::string::npos &&
          !kvl::tools::IncludesExportHeader(text)) {
        std::printf(
            "%s: uses KVL_EXPORT without including "
            "kvl/runtime/export.h\n",
            shown.c_str());
        ++missing;
      }
      continue;
    }
    if (findings.empty()) continue;
    const std::string fixed = kvl::tools::InsertExports(text, findings);
    std::ofstream(file, std::ios::binary) << fixed;
    std::printf("%s: %zu added\n", shown.c_str(), findings.size());
    // Reformat the changed declarations only (a longer first line moves
    // the continuation lines' alignment), bottom up, so a reflowed
    // declaration does not move the ones still to do.
    const int shift =
        kvl::tools::IncludesExportHeader(text)
            ? 0
            : static_cast<int>(std::count(fixed.begin(), fixed.end(), '\n') -
                               std::count(text.begin(), text.end(), '\n'));
    for (auto f = findings.rbegin(); f != findings.rend(); ++f) {
      const std::string line = std::to_string(f->line + shift + 1);
      const std::string command = "clang-format -i --lines=" + line + ":" +
                                  line + " '" + file.string() + "'";
      if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "%s:%s: not reformatted (clang-format failed)\n",
                     shown.c_str(), line.c_str());
      }
    }
  }
  if (missing > 0) {
    std::printf(
        "%d declarations lack KVL_EXPORT; run kvl_export_macros --fix\n",
        missing);
    return 1;
  }
  return 0;
}

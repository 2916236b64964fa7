// ScopedTempDir: a fresh directory for one test (mkdtemp), removed with all
// it holds when the object goes away. Tests of kvl/files touch no file
// outside one.
//
//   ScopedTempDir dir;
//   std::string cfg = dir.MakeFile("main.cfg", "x=1");
#ifndef KVL_FILES_INTERNAL_SCOPED_TEMP_DIR_H_
#define KVL_FILES_INTERNAL_SCOPED_TEMP_DIR_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>

namespace kvl::files_internal {

class ScopedTempDir {
 public:
  ScopedTempDir() {
    char pattern[] = "/tmp/kvl_files_XXXXXX";
    if (!mkdtemp(pattern)) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~ScopedTempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScopedTempDir(const ScopedTempDir&) = delete;
  ScopedTempDir& operator=(const ScopedTempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string Path(std::string_view name) const {
    return path_ + "/" + std::string(name);
  }
  std::string MakeFile(std::string_view name, std::string_view text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
    return Path(name);
  }
  std::string MakeDir(std::string_view name) const {
    std::filesystem::create_directories(Path(name));
    return Path(name);
  }
  static std::string Read(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::string path_;
};

}  // namespace kvl::files_internal

#endif  // KVL_FILES_INTERNAL_SCOPED_TEMP_DIR_H_

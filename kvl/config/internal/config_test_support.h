// Test helpers for the configuration classes: a temporary directory of
// configuration files and a sink that records the readers' notifications
// as text. Header-only, for *_test.cc files.
//
//   ConfigFiles files;
//   std::string main = files.Write("main.cfg", "[A]\nx=1\n");
//   auto log = MakeRef<NotificationLog>();
//   reader->Connect(log);  ...  EXPECT_EQ(log->lines, ...);
#ifndef KVL_CONFIG_INTERNAL_CONFIG_TEST_SUPPORT_H_
#define KVL_CONFIG_INTERNAL_CONFIG_TEST_SUPPORT_H_

#include <string>
#include <vector>

#include "kvl/config/config_interfaces.h"
#include "kvl/config/config_scanner.h"
#include "kvl/files/internal/scoped_temp_dir.h"

namespace kvl::config_internal {

using ConfigFiles = files_internal::ScopedTempDir;

// Records ScanError, EditError and Updated of a reader or scanner as
// "ScanError 3 text", "Updated 2 A 1"; progress only counts.
class NotificationLog : public Object,
                        public ConfigReaderEvents,
                        public ConfigScannerEvents {
 public:
  const ClassInfo& Class() const override {
    return ConfigReaderEvents::StaticClass();
  }
  void ScanError(int32_t line, const std::string& text) override {
    lines.push_back("ScanError " + std::to_string(line) + " " + text);
  }
  void NotifyProgress(double ratio) override {
    ++progress;
    last_ratio = ratio;
  }
  void EditError(const std::string& text) override {
    lines.push_back("EditError " + text);
  }
  void Updated(ConfigUpdateActions action, const std::string& section,
               int16_t index) override {
    lines.push_back("Updated " + std::to_string(action) + " " + section + " " +
                    std::to_string(index));
  }

  std::vector<std::string> lines;
  int progress = 0;
  double last_ratio = 0;
};

}  // namespace kvl::config_internal

#endif  // KVL_CONFIG_INTERNAL_CONFIG_TEST_SUPPORT_H_

// The `kvl config` subcommands (tools/kvl_config.cc).
#ifndef KVL_TOOLS_KVL_CONFIG_H_
#define KVL_TOOLS_KVL_CONFIG_H_

#include <string>

namespace kvl {

// `kvl config check FILE`: loads FILE with its includes and prints every
// problem as "file:line: message" (an include cycle also as its chain,
// "a.cfg:3 -> b.cfg:7 -> a.cfg"). Returns 1 when there was one, else 0.
int ConfigCheckCommand(const std::string& file);

// `kvl config dump FILE`: loads FILE and prints, for each file a save
// would write, a "; <file>" line and its sections and items in the saved
// form. Problems go to stderr as for check; returns 1 when loading failed.
// A FILE named *.xml is read as an XML configuration and shown in the same
// form: "[Section]" lines, then each item as its name followed by its
// attributes and child nodes («name=value», «Child=[...]»).
int ConfigDumpCommand(const std::string& file);

}  // namespace kvl

#endif  // KVL_TOOLS_KVL_CONFIG_H_

// The `kvl param` subcommand (tools/kvl_param.cc).
#ifndef KVL_TOOLS_KVL_PARAM_H_
#define KVL_TOOLS_KVL_PARAM_H_

#include <string>

namespace kvl {

// Parses `text` as a parameter string and prints the command, the item
// tree, the one-line and the reader form; on a parse error prints
// LastError to stderr. Returns the exit code.
int ParamCommand(const std::string& text);

}  // namespace kvl

#endif  // KVL_TOOLS_KVL_PARAM_H_

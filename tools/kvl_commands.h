// The `kvl` tool's commands, callable from tests: listing the catalogue,
// printing member tables and enumerations, calling a member by name.
#ifndef KVL_TOOLS_KVL_COMMANDS_H_
#define KVL_TOOLS_KVL_COMMANDS_H_

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

#include "kvl/runtime/class_info.h"

namespace kvl {

// The table published under `name`: a class or enumeration of the catalogue
// (by name, programmatic id or class id), a default interface "_X", an
// outgoing interface "__X", or an interface some class implements. Raises
// kREGDB_E_CLASSNOTREG ("Unknown class: ...") when there is none.
const ClassInfo& FindPublishedType(std::string_view name);

// The text `kvl members` prints for `info`: one line per member,
// "<dispid> <signature>[ [hidden]]", or for an enumeration one line per
// value, "<name> = <value>".
std::string MembersText(const ClassInfo& info);

// The text `kvl members --methods` prints for `info`: one line per member,
// the ActiveXMethod text the object factory gives for it
// ("Function Parse(Variant sInput) As Boolean").
std::string MethodsText(const ClassInfo& info);

// Runs the tool with `args` (the command line without the program name),
// printing results to `out` and failures to `err`; returns the exit code.
int RunTool(std::span<char*> args, std::FILE* out, std::FILE* err);

}  // namespace kvl

#endif  // KVL_TOOLS_KVL_COMMANDS_H_

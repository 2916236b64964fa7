// kvl: a command-line view of the library's catalogue, and a way to call a
// member of a class by name and to register or unregister the library.
// The commands are in kvl_commands.cc.
#include <cstdio>
#include <span>

#include "tools/kvl_commands.h"

int main(int argc, char** argv) {
  return kvl::RunTool(std::span<char*>(argv + 1, static_cast<size_t>(argc - 1)),
                      stdout, stderr);
}

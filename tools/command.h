#pragma once

#include <string>
#include <vector>

namespace zorva::tool {

// One sub-command of zorva-tool. Arguments arrive as the shell's bytes.
struct Command {
  const char* name;
  const char* usage;    // "xml-value FILE TAG [ATTRIBUTE VALUE [RESULT_ATTRIBUTE]]"
  const char* summary;  // one line for the command list
  const char* help;     // the rest of "zorva-tool NAME --help"
  int (*run)(const std::vector<std::string>& args);  // exit code
};

// The commands of each group, in the order the help lists them.
std::vector<Command> CoreCommands();
std::vector<Command> NetCommands();
std::vector<Command> JobCommands();

// Prints "usage: zorva-tool <usage>" of the named command to stderr and
// returns 2, the exit code for wrong arguments.
int UsageError(const char* commandName);

}  // namespace zorva::tool

// zorva-tool: looks at the client's files and servers with exactly the
// client's rules. Prints raw bytes to stdout, errors to stderr.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/command.h"

namespace zorva::tool {

namespace {

std::vector<Command> AllCommands() {
  std::vector<Command> all = CoreCommands();
  for (const Command& c : NetCommands()) all.push_back(c);
  for (const Command& c : JobCommands()) all.push_back(c);
  return all;
}

void PrintToolHelp(FILE* out) {
  std::fprintf(out,
               "usage: zorva-tool COMMAND [ARGUMENTS]\n"
               "The Zorva client's companion: XML lookup, codec, saved files, transfers,\nupdate jobs.\n\n"
               "commands:\n");
  for (const Command& c : AllCommands()) std::fprintf(out, "  %-14s %s\n", c.name, c.summary);
  std::fprintf(out, "\n'zorva-tool COMMAND --help' describes one command.\n");
}

}  // namespace

int UsageError(const char* commandName) {
  for (const Command& c : AllCommands()) {
    if (std::strcmp(c.name, commandName) == 0)
      std::fprintf(stderr, "usage: zorva-tool %s\n", c.usage);
  }
  return 2;
}

}  // namespace zorva::tool

int main(int argc, char** argv) {
  using namespace zorva::tool;
  if (argc < 2) {
    PrintToolHelp(stderr);
    return 2;
  }
  std::string name = argv[1];
  if (name == "--help" || name == "-h" || name == "help") {
    PrintToolHelp(stdout);
    return 0;
  }
  for (const Command& c : AllCommands()) {
    if (name != c.name) continue;
    std::vector<std::string> args(argv + 2, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
      std::printf("usage: zorva-tool %s\n%s\n", c.usage, c.help);
      return 0;
    }
    return c.run(args);
  }
  std::fprintf(stderr, "zorva-tool: unknown command '%s' (see zorva-tool --help)\n", name.c_str());
  return 2;
}

#include "tools/command.h"

namespace zorva::tool {

std::vector<Command> NetCommands() { return {}; }

}  // namespace zorva::tool

#include "tools/command.h"

namespace zorva::tool {

std::vector<Command> CoreCommands() { return {}; }

}  // namespace zorva::tool

// The shutdown of a game server instance, shared by --stop and --start.
#pragma once

#include <string>

#include "commands/instance_script.h"

namespace fieldkeep {

// The text of stop.sh, which works in the configuration directory.
std::string makeStopScript();

// Adds the step that writes stop.sh into the held configuration directory and
// the line that runs it, whose result is not examined: whatever the script
// reports, the instance is as stopped as it can be.
void addShutDownSteps(ScriptSteps& steps);

}  // namespace fieldkeep

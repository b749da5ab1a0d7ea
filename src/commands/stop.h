// The shutdown of a game server instance, shared by --stop and --start.
#pragma once

#include <string>

#include "commands/instance_script.h"

namespace fieldkeep {

// The text of stop.sh, which works in the configuration directory: it writes
// the game's stop line to the server's console, gives it the game's grace
// time, then signals what is left.
std::string makeStopScript(const GameDefinition& game);

// Adds the step that writes stop.sh into the held configuration directory and
// the line that runs it, whose result is not examined: whatever the script
// reports, the instance is as stopped as it can be.
void addShutDownSteps(ScriptSteps& steps, const GameDefinition& game);

}  // namespace fieldkeep

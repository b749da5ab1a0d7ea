// The shutdown of a game server instance, shared by --stop and --start.
#pragma once

#include <string>

#include "remote/runner.h"

namespace fieldkeep {

// The text of stop.sh for a configuration directory.
std::string makeStopScript(const std::string& cfgDir);
// Writes stop.sh into the configuration directory and runs it; throws TUError
// only when the script cannot be written.
void shutDownServer(RemoteRunner& host, const std::string& cfgDir);

}  // namespace fieldkeep

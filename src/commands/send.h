// --send, apart from the option handling, so that a test can see what it sends.
#pragma once

#include <string>

#include "game/game_definition.h"
#include "remote/runner.h"

namespace fieldkeep {

// Writes line and a line feed into the console pipe of the instance in cfgDir,
// the line on the remote command's standard input. Throws TUError when the
// server is not running or does not read its console within five seconds.
void sendConsoleLine(RemoteRunner& host, const GameDefinition& game, const std::string& cfgDir,
                     const std::string& line);

}  // namespace fieldkeep

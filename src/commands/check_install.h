// The installed-files check of --check-install.
#pragma once

#include <string>

#include "game/game_definition.h"
#include "remote/runner.h"

namespace fieldkeep {

// The remote line that prints "ok" when dir holds every file of the game's
// install check (any kind of file).
std::string makeServerFilesCheck(const std::string& dir, const GameDefinition& game);
// Runs that line; throws TUError when dir is relative or the line could not run.
bool checkServerFiles(RemoteRunner& host, const std::string& dir, const GameDefinition& game);

}  // namespace fieldkeep

// The install script of --install.
#pragma once

#include <string>

#include "game/game_definition.h"

namespace fieldkeep {

// The whole text of install.sh for an archive URL, a temporary directory and the
// game's install fields (an archive directory of letters, digits, '_', '-' and '.').
std::string makeInstallScript(const std::string& url, const std::string& dir,
                              const GameDefinition& game);

}  // namespace fieldkeep

// Reading a game definition, and finding the one a run names.
#pragma once

#include <string>
#include <string_view>

#include "game/game_definition.h"

namespace fieldkeep {

// The definition in text, called file in messages. Throws TUError "Game
// definition FILE:LINE:COLUMN: WHAT" for a syntax error, a missing field, an
// unknown kind, dialect, protocol, file or placeholder, a value that is not
// plain where a path, key or name must be, or a port setting that is no port.
GameDefinition parseGameDefinition(std::string_view text, const std::string& file);

// Battlefield 1942, built in: the game when a run names none.
const GameDefinition& builtInGame();

// NAME.toml from the first of the directory in FIELDKEEP_GAMES, /etc/fieldkeep/games and
// the installed games directory that holds one. Throws TUError "Unknown game 'NAME'" when
// none does (a NAME that is no plain word names none), and the errors of parseGameDefinition.
GameDefinition loadGame(const std::string& name);

}  // namespace fieldkeep

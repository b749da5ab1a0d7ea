// Small helpers for the option lookups every handler makes.
#pragma once

#include <string>

#include "game/game_definition.h"
#include "opt/toparsing.h"

namespace fieldkeep {

// The value of a required long option. A missing or empty one is raised when the
// lookup's result is released, before this returns.
std::string requiredValue(talvor::opt::TOParsing& options, const std::string& name);

// The value of an optional long option under mode; empty when it is absent or its
// value breaks the mode (it then stays unused, for check() to report).
std::string optionalValue(talvor::opt::TOParsing& options, const std::string& name, int mode);

// Whether an optional flag (a long option without value) was given.
bool optionalFlag(talvor::opt::TOParsing& options, const std::string& name);

// The game that --game names, Battlefield 1942 without one. Throws TUError for
// an unknown game or a broken definition, before anything is sent.
GameDefinition chosenGame(talvor::opt::TOParsing& options);

}  // namespace fieldkeep

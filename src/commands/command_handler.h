// The signature every command handler shares.
#pragma once

#include "opt/toparsing.h"

namespace fieldkeep {

// Takes a new reference to the shared option set and returns true once the
// command is handled; failures are thrown, never returned.
using TCommandHandler = bool (*)(talvor::opt::TOParsing options);

}  // namespace fieldkeep

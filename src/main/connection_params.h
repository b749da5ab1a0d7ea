#pragma once

#include "opt/toparsing.h"

namespace fieldkeep {

// Reads --address, --login and the password variable into the connection
// parameters; every run needs all three, whatever its command.
void readConnectionParams(talvor::opt::TOParsing options);

}  // namespace fieldkeep

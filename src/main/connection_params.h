#pragma once

#include "opt/toparsing.h"

namespace fieldkeep {

// Reads --address (host and port), --login and the password variable into the
// connection parameters; every run needs all three, whatever its command. The optional
// BF1942_KNOWN_HOSTS names a known_hosts file that pins the host key.
void readConnectionParams(talvor::opt::TOParsing options);

}  // namespace fieldkeep

#pragma once

#include "opt/toparsing.h"
#include "remote/session.h"

namespace fieldkeep {

// Reads --address (host and port), --login and the credentials into the run's
// session; every run needs them, whatever its command. The credentials are the
// password variable, the identity variable (a key file or the agent) or both. The optional
// BF1942_KNOWN_HOSTS names a known_hosts file that pins the host key; set to the empty string it
// counts as unset.
Session readConnectionParams(talvor::opt::TOParsing options);

}  // namespace fieldkeep

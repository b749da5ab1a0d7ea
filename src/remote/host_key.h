// Optional pinning of the server's host key against a known_hosts file.
#pragma once

#include "remote/session.h"
#include "remote/session_state.h"

namespace fieldkeep::remote {

// When the session's knownHosts names a file, the server's host key must match
// its entry for the session's host and port; throws TUError otherwise. Called
// before the password or a key is offered.
void verifyHostKey(SessionState& st, const Session& s);

}  // namespace fieldkeep::remote

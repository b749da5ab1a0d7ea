// Optional pinning of the server's host key against a known_hosts file.
#pragma once

namespace fieldkeep::remote {

// When connKnownHosts names a file, the session's host key must match its entry
// for connHost at connPort; throws TUError otherwise. Called before the password
// or a key is offered.
void verifyHostKey();

}  // namespace fieldkeep::remote

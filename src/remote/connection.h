// The one SSH-2 connection of a run: its setup and teardown.
#pragma once

#include "remote/session.h"
#include "remote/session_state.h"

namespace fieldkeep {

// Connects to the port of the session's host and logs in.
// Throws TUError with the reason; what was created stays for the teardown.
void connectRemote(remote::SessionState& st, const Session& s);

// Releases whatever of the connection exists. Safe in any state; never throws.
void disconnectRemote(remote::SessionState& st) noexcept;

}  // namespace fieldkeep

// The one SSH-2 connection of a run: its setup and teardown.
#pragma once

#include "remote/session.h"

namespace fieldkeep {

// Connects to the port of the session's host and logs in.
// Throws TUError with the reason; what was created stays for the teardown.
void connectRemote(const Session& s);

// Releases whatever of the session exists. Safe in any state; never throws.
void disconnectRemote() noexcept;

}  // namespace fieldkeep

// Logging in on an established session: key file or agent, then password or
// keyboard-interactive.
#pragma once

#include "remote/session.h"
#include "remote/session_state.h"

namespace fieldkeep::remote {

// Logs the session's login in. With its identity set, its keys are offered
// first; then the password (when set) through the password method, or through
// keyboard-interactive when the server offers that but not the password method. Throws TUError with
// the reason when no method let the login in.
void authenticate(SessionState& st, const Session& s);

}  // namespace fieldkeep::remote

// Every channel of the run is opened here: the commands' session channels and
// the SCP upload's, one at a time. Each channel is closed on both sides before
// the next opens, so that a server that allows one session at a time
// (OpenSSH's MaxSessions 1) takes the next. Such a server may still count the
// old session for a moment (OpenSSH until it next collects closed channels,
// so an opening that arrives with the close is refused): a refused opening is
// tried again a few times, and once that has happened the next openings leave
// the server a moment after each close.
#pragma once

#include <libssh2.h>

#include <string>

#include "remote/session_state.h"

namespace fieldkeep::remote {

// Frees the previous command's channel and puts a new one in the session's
// slot. Null when the server refused it every time or the link broke.
LIBSSH2_CHANNEL* openCommandChannel(SessionState& st);

// Frees the previous command's channel and opens an SCP upload of size bytes
// to path with mode. Null when the server refused the channel or the path.
LIBSSH2_CHANNEL* openScpChannel(SessionState& st, const std::string& path, int mode,
                                libssh2_int64_t size);

// Closes the channel of the command that has finished, on both sides, and frees it.
void releaseChannel(SessionState& st);

}  // namespace fieldkeep::remote

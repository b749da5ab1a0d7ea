// Runs one composed shell line on the remote host and brings back its standard
// output, standard error and exit status.
#pragma once

#include <string>

#include "errors/uerror.h"
#include "remote/output_sink.h"

namespace fieldkeep::remote {
// The state of the run's connection (remote/session_state.h).
struct SessionState;
}  // namespace fieldkeep::remote

namespace fieldkeep {

struct RemoteResult {
    int status;          // the line's exit status; -1 when none could be read
    std::string output;  // standard output without the status trailer
    std::string errors;  // standard error, unchanged
};

// The transport broke, or the server stopped answering, while a line ran: its
// result is unknown.
struct ConnectionLost : TUError {};

// Sends input to the line's standard input, then end-of-file. Both streams are
// read as data arrives, so neither can stall the other. Throws TUError when the
// channel, the pseudo-terminal or the exec request is refused or a stream passes
// kOwnLineOutputLimit, and ConnectionLost when the link breaks.
RemoteResult execRemote(remote::SessionState& st, const std::string& command,
                        const std::string& input, bool usePty);

// The same for output of any size: passes standard output on to sink as soon
// as it is known to precede the status trailer, then standard error (held in
// the meantime, in a file past a few MiB), and returns the status. When the
// link breaks, passes on all output that arrived, then the errors, and throws
// ConnectionLost. More than kHeldBackLimit held back of either stream passes
// on the output that arrived and throws TUError, the errors left unsaid.
int execRemoteStreaming(remote::SessionState& st, const std::string& command,
                        const std::string& input, const OutputSink& sink);

}  // namespace fieldkeep

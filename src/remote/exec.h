// Runs one composed shell line on the remote host and brings back its standard
// output, standard error and exit status.
#pragma once

#include <string>

#include "remote/exit_status.h"

namespace fieldkeep {

struct RemoteResult {
    int status;          // the line's exit status; -1 when none could be read
    std::string output;  // standard output without the status trailer
    std::string errors;  // standard error, unchanged
};

// Sends input to the line's standard input, then end-of-file. Both streams are
// read as data arrives, so neither can stall the other. Throws TUError only when
// the channel, the pseudo-terminal or the exec request is refused.
RemoteResult execRemote(const std::string& command, const std::string& input, bool usePty);

// The same, passing standard output on to onOutput as soon as it is known to
// precede the status trailer; the result's output holds only what is left.
// Keeps memory flat for commands that print a lot.
RemoteResult execRemoteStreaming(const std::string& command, const std::string& input,
                                 const OutputSink& onOutput);

}  // namespace fieldkeep

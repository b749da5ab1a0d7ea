// Runs one composed shell line on the remote host and brings back its standard
// output, standard error and exit status.
#pragma once

#include <string>

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

}  // namespace fieldkeep

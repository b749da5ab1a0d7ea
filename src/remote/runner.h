// The seam between the commands and the host: every remote line a command runs
// goes through a RemoteRunner, so that a test can pass a fake host and check
// which lines a command runs, in which order, and what it decides.
#pragma once

#include <string>

#include "remote/exec.h"

namespace fieldkeep {

class RemoteRunner {
public:
    virtual ~RemoteRunner() = default;

    // Runs line with input on its standard input, on a pseudo-terminal when usePty.
    virtual RemoteResult exec(const std::string& line, const std::string& input, bool usePty) = 0;

    // Runs line with empty input and no terminal.
    RemoteResult run(const std::string& line) { return exec(line, "", false); }

    // Runs line with empty input, on a pseudo-terminal when usePty; throws TUError
    // "FAILURE: ERRORS" with the line's error text when its status is not 0.
    RemoteResult runOrThrow(const std::string& line, const std::string& failure,
                            bool usePty = false);

    // Writes text to a remote file with "cat >", the text as the line's standard
    // input; target is the path as the shell takes it, already quoted. Throws
    // TUError "FAILURE: ERRORS" when that fails.
    void writeFile(const std::string& target, const std::string& text, const std::string& failure);
};

// The real host of the run, through execRemote.
RemoteRunner& hostRunner();

}  // namespace fieldkeep

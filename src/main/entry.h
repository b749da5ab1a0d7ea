// One run of the manager: one command, its output, its exit status.
#pragma once

#include <vector>

#include "commands/command_handler.h"

namespace fieldkeep {

struct CommandRow {
    const char* option;  // the command's long option, looked up as a flag
    TCommandHandler handler;
};

// Parses the arguments, reads the connection parameters, runs the first command
// of table that was given on host, reports any failure as one line, and always
// closes the session. Returns 0, 1, or -1 for an unexpected failure.
int runFieldkeep(int argc, const char* const* argv, const std::vector<CommandRow>& table,
                 RemoteRunner& host);

}  // namespace fieldkeep

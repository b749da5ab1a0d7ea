// The shutdown of a game server instance, shared by --stop and --start.
#pragma once

#include <string>

#include "remote/runner.h"

namespace fieldkeep {

// The text of stop.sh for a configuration directory.
std::string makeStopScript(const std::string& cfgDir);
// What the first command of a run carries besides stop.sh: shell text run once
// the host has accepted the directories, and the input it reads ahead of the script.
struct Preamble {
    std::string line;
    std::string input;
};

// The line that uploads stop.sh from its standard input once the host has
// accepted the configuration directory (and, when srvDir is given, found it to
// be another directory than srvDir), running preamble.line first; a refusal is
// printed, nothing written.
std::string makeGuardedUpload(const std::string& cfgDir, const std::string& srvDir,
                              const std::string& preambleLine = "");
// Writes stop.sh into the configuration directory and runs it. Throws TUError
// when the host refuses the directories (as makeGuardedUpload decides) or the
// script cannot be written; nothing is written or signalled then.
void shutDownServer(RemoteRunner& host, const std::string& cfgDir, const std::string& srvDir = "",
                    const Preamble& preamble = {});

}  // namespace fieldkeep

// Which process a pid file of an instance may name: the generated scripts
// signal or report a pid only through this test.
#pragma once

#include <string>

#include "game/game_definition.h"

namespace fieldkeep {

// The POSIX sh function `instance_pid FILE` and the functions it uses, to be put into a generated
// script before its use, which runs in the configuration directory. It succeeds, with IPID set to
// the pid that FILE holds, when FILE holds one decimal number from 2 up without leading zeros
// (blanks and line ends around it aside) and, where /proc exists, that process belongs to the
// current user and is this instance's own: the wrapper (an argument naming the directory's
// start.sh) or the game server it launched (the game's instance argument followed by one naming
// the directory). Otherwise it fails with IPID empty. It defines same_path and process_uids too.
std::string instancePidFunctions(const GameDefinition& game);

// The POSIX sh function `process_uids FILE`: from FILE, a /proc/PID/status,
// it sets FK_RUID, FK_EUID and FK_SUID to the process's real, effective and
// saved user ids; it fails when FILE cannot be read or holds none.
extern const char kProcessUidsFunction[];

}  // namespace fieldkeep

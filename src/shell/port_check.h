// Whether the game's ports are taken on the remote host, read from the
// kernel's socket tables.
#pragma once

#include <string>
#include <vector>

namespace fieldkeep {

// The POSIX sh function `ports_free PORT...`, to be put into a script before
// its use: status 0 when no UDP or TCP socket, IPv4 or IPv6, is bound to any of
// the ports locally, whatever its local address and state; else the number
// (from 1) of the first port taken. The ports must be decimal text.
extern const char kPortsFunction[];

// The call that checks the ports.
std::string makePortsFreeCommand(const std::vector<std::string>& ports);

}  // namespace fieldkeep

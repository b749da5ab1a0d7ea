// Whether a port is taken on the remote host, read from the kernel's socket tables.
#pragma once

#include <string>

namespace fieldkeep {

// The line that succeeds when some UDP or TCP socket, IPv4 or IPv6, is bound to
// port locally, whatever its local address and state. port must be decimal
// text: it is spliced into an awk program.
std::string makePortCheckCommand(const std::string& port);

}  // namespace fieldkeep

// Whether a port is taken on the remote host, read from the kernel's socket tables.
#pragma once

#include <string>

#include "remote/runner.h"

namespace fieldkeep {

// The line that succeeds when some UDP or TCP socket, IPv4 or IPv6, is bound to
// port locally, whatever its local address and state.
std::string makePortCheckCommand(const std::string& port);

// True when the port is free. port must be decimal text: it is spliced into an
// awk program.
bool checkPortFree(RemoteRunner& host, const std::string& port);

// Whether text is a port number the check can take safely: decimal digits only.
bool isDecimalNumber(const std::string& text);

// Whether text is a decimal number of at most five digits from 0 to 65535.
bool isPortNumber(const std::string& text);

}  // namespace fieldkeep

#include "shell/port_check.h"

#include <string>

#include "shell/quoting.h"

namespace fieldkeep {

// awk prints the port as the tables write it: upper-case hexadecimal of at least
// four digits. A table line starts with a slot number, then the local address
// (hexadecimal, 8 digits for IPv4 and 32 for IPv6) and the local port.
std::string makePortCheckCommand(const std::string& port) {
    return fillShellTemplate(
        R"(cat /proc/net/udp /proc/net/tcp /proc/net/udp6 /proc/net/tcp6)"
        R"( | grep -e '^[[:space:]]*[[:digit:]]\+:[[:space:]]*[[:xdigit:]]\+:'`awk 'BEGIN { printf "%04X", @PORT@ } '`)",
        {{"PORT", port}});
}

}  // namespace fieldkeep

#include "shell/port_check.h"

#include <string>

#include "shell/quoting.h"

namespace fieldkeep {

// awk prints the port as the tables write it: upper-case hexadecimal of at least
// four digits. A table line starts with a slot number, then the local address
// (hexadecimal, 8 digits for IPv4 and 32 for IPv6) and the local port.
std::string makePortCheckCommand(const std::string& port) {
    return "cat /proc/net/udp /proc/net/tcp /proc/net/udp6 /proc/net/tcp6 | grep -e "
           "'^[[:space:]]*[[:digit:]]\\+:[[:space:]]*[[:xdigit:]]\\+:'"
           "`awk 'BEGIN { printf \"%04X\", " +
           shellQuote(port) + " } '`";
}

bool checkPortFree(RemoteRunner& host, const std::string& port) {
    return host.run(makePortCheckCommand(port)).status != 0;
}

bool isDecimalNumber(const std::string& text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

bool isPortNumber(const std::string& text) {
    return isDecimalNumber(text) && text.size() <= 5 && std::stoul(text) <= 65535;
}

}  // namespace fieldkeep

// The syntax of --address: a host and an optional port.
#pragma once

#include <optional>
#include <string>

namespace fieldkeep {

struct HostAddress {
    std::string host;  // a name, a dotted IPv4 address or an IPv6 address, no brackets
    int port;
};

// Reads HOST, HOST:PORT, an IPv6 address (two colons or more, so no port),
// [IPv6] or [IPv6]:PORT; the port is 22 unless given. Nothing when the host is
// empty or the port is not a whole number from 1 to 65535.
std::optional<HostAddress> parseHostAddress(const std::string& text);

}  // namespace fieldkeep

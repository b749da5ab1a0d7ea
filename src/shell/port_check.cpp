#include "shell/port_check.h"

#include "shell/quoting.h"

namespace fieldkeep {

// One awk reads the four tables once. A table line starts with a slot number
// and a colon, then the local address (hexadecimal, 8 digits for IPv4 and 32
// for IPv6), a colon and the local port as four upper-case hexadecimal digits,
// as printf "%04X" writes a port number.
const char kPortsFunction[] = R"SH(ports_free()
{
	cat /proc/net/udp /proc/net/tcp /proc/net/udp6 /proc/net/tcp6 2>/dev/null | awk -v ports="$*" '
	BEGIN { n = split(ports, p, " "); for (i = n; i >= 1; i--) at[sprintf("%04X", p[i])] = i }
	$1 ~ /^[[:digit:]]+:$/ && split($2, a, ":") == 2 && a[1] ~ /^[[:xdigit:]]+$/ && (a[2] in at) {
		taken[at[a[2]]] = 1 }
	END { for (i = 1; i <= n; i++) if (taken[i]) exit i }'
}
)SH";

std::string makePortsFreeCommand(const std::vector<std::string>& ports) {
    std::string command = "ports_free";
    for (const std::string& port : ports) {
        command += " " + shellQuote(port);
    }
    return command;
}

}  // namespace fieldkeep

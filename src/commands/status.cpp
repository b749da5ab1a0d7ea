// --status: one remote script finds whether the instance's server runs (the
// test the stop script makes before it signals a pid) and, for a running
// server, its start time, the resident memory and the sockets of its process
// tree; for one that ended by itself, the wrapper's record of the end and the
// last line of the error log. The facts are checked and formatted here.
#include "commands/status.h"

#include <ctime>
#include <optional>
#include <set>
#include <sstream>

#include "commands/commands.h"
#include "commands/instance_pid.h"
#include "commands/options.h"
#include "errors/output.h"
#include "errors/uerror.h"
#include "remote/connection.h"
#include "remote/runner.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {
namespace {

// The process tree is found from the parent field of every /proc/PID/stat
// (the text after the last ')', since a command name may hold anything); its
// sockets are the socket inodes among its open files, looked up in the
// kernel's UDP and TCP tables (TCP only when listening, state 0A).
const char kStatusScript[] = R"SCRIPT(CFGDIR=@CFGDIR@
[ -d $CFGDIR ] || { echo missing; exit 0; }
PID=`instance_pid $CFGDIR/server.pid $CFGDIR`
if [ -n "$PID" ]; then
	echo running $PID
	echo hz `getconf CLK_TCK`
	grep '^btime ' /proc/stat
	S=`cat /proc/$PID/stat` && set -- ${S##*')'} && echo start ${20}
	PIDS=`for D in /proc/[0-9]*; do
		{ read -r S <$D/stat; } 2>/dev/null && set -- ${S##*')'} && echo ${D#/proc/} $2
	done | awk -v root=$PID '{ parent[$1] = $2 }
	END { tree = " " root " "
		do { grew = 0
			for (p in parent) if (index(tree, " " parent[p] " ") && !index(tree, " " p " ")) {
				tree = tree p " "; grew = 1 }
		} while (grew)
		print tree }'`
	INODES=
	for P in $PIDS; do
		sed -n 's/^VmRSS:[^0-9]*\([0-9]*\).*/rss \1/p' /proc/$P/status 2>/dev/null
		INODES="$INODES "`ls -l /proc/$P/fd 2>/dev/null | sed -n 's/.*socket:\[\([0-9]*\)\]$/\1/p'`
	done
	set --
	for F in udp udp6 tcp tcp6; do [ -r /proc/net/$F ] && set -- "$@" /proc/net/$F; done
	[ $# = 0 ] || awk -v want=" `echo $INODES` " 'FNR > 1 && index(want, " " $10 " ") &&
		(FILENAME ~ /udp/ || $4 == "0A") { n = split($2, a, ":")
		print "port", a[n], substr(FILENAME, 11, 3) }' "$@"
elif [ -e $CFGDIR/server.exit ] || [ -e $CFGDIR/server.pid ]; then
	echo exited
	[ -f $CFGDIR/server.exit ] && printf 'exit %s\n' "$(head -n 1 $CFGDIR/server.exit)"
	[ -f $CFGDIR/stderr.log ] && printf 'error %s\n' "$(tail -n 1 $CFGDIR/stderr.log)"
else
	echo stopped
fi
)SCRIPT";

// A decimal number of at most 18 digits, so that sums and products stay in range.
std::optional<long long> number(const std::string& word) {
    if (word.empty() || word.size() > 18 || !isDecimalNumber(word)) {
        return std::nullopt;
    }
    return std::stoll(word);
}

struct Facts {
    std::string state, pid;
    std::optional<long long> hz, btime, start, memory, exitStatus, ended;
    std::set<std::pair<int, long>> ports;  // protocol (0: udp, 1: tcp), port
    std::string lastError;
};

void addPort(Facts& f, const std::string& hex, const std::string& protocol) {
    if (hex.empty() || hex.size() > 4 ||
        hex.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos ||
        (protocol != "udp" && protocol != "tcp")) {
        return;
    }
    f.ports.emplace(protocol == "tcp", std::stol(hex, nullptr, 16));
}

void readFact(Facts& f, const std::string& line) {
    const std::size_t space = line.find(' ');
    const std::string tag = line.substr(0, space);
    const std::string rest = space == std::string::npos ? "" : line.substr(space + 1);
    std::istringstream in(rest);
    std::string a, b;
    in >> a >> b;
    if (tag == "running" && number(a)) {
        f.state = tag;
        f.pid = a;
    } else if (tag == "stopped" || tag == "exited" || tag == "missing") {
        f.state = tag;
    } else if (tag == "hz" || tag == "btime" || tag == "start") {
        (tag == "hz" ? f.hz : tag == "btime" ? f.btime : f.start) = number(a);
    } else if (tag == "rss" && number(a)) {
        f.memory = f.memory.value_or(0) + *number(a);
    } else if (tag == "port") {
        addPort(f, a, b);
    } else if (tag == "exit" && number(a) && number(b)) {
        f.exitStatus = number(a);
        f.ended = number(b);
    } else if (tag == "error") {
        f.lastError = rest;
    }
}

std::string runningReport(const Facts& f) {
    std::string report = "state: running\npid: " + f.pid + "\n";
    if (f.hz && *f.hz > 0 && f.btime && f.start) {
        report += "since: " + utcTime(*f.btime + *f.start / *f.hz) + "\n";
    }
    if (f.memory) {
        report += "memory: " + std::to_string(*f.memory) + " KiB\nports:";
        for (const auto& [protocol, port] : f.ports) {
            report += " " + std::to_string(port) + (protocol == 0 ? "/udp" : "/tcp");
        }
        report += "\n";
    }
    return report;
}

std::string exitedReport(const Facts& f) {
    std::string report = "state: exited\n";
    if (f.ended) {
        report += "ended: " + utcTime(*f.ended) + "\nexit: " + std::to_string(*f.exitStatus) + "\n";
    }
    if (!f.lastError.empty()) {
        report += "last error: " + f.lastError + "\n";
    }
    return report;
}

}  // namespace

std::string makeStatusScript(const std::string& cfgDir) {
    return kInstancePidFunction + fillShellTemplate(kStatusScript, {{"CFGDIR", cfgDir}});
}

std::string utcTime(long long seconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    char text[32] = "";
    if (gmtime_r(&t, &utc) != nullptr) {
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    }
    return text;
}

std::string statusReport(const RemoteResult& facts, const std::string& cfgDir) {
    Facts f;
    std::istringstream lines(facts.output);
    for (std::string line; std::getline(lines, line);) {
        readFact(f, line);
    }
    if (f.state == "missing") {
        throw TUError{"Configuration directory " + cfgDir + " does not exist"};
    }
    if (f.state.empty()) {
        throw TUError{"Status query failed: " + facts.errors};
    }
    return f.state == "running"  ? runningReport(f)
           : f.state == "exited" ? exitedReport(f)
                                 : "state: stopped\n";
}

bool showStatus(talvor::opt::TOParsing options) {
    const std::string cfgDir = requiredValue(options, "cfg-dir");
    options.check();
    requireAbsolutePath(cfgDir);
    requirePlainWord(cfgDir, "cfg-dir");
    connectRemote();
    writeOut(statusReport(hostRunner().run(makeStatusScript(cfgDir)), cfgDir));
    return true;
}

}  // namespace fieldkeep

// --status: one remote script, in the held configuration directory, finds whether the instance's
// server runs (the test the stop script makes before it signals a pid) and, for a running server,
// its start time, the resident memory and the sockets of its process tree; for one that ended by
// itself, the wrapper's record of the end and the last line of the error log (not through a
// symbolic link, which could show a line of another file). The facts are checked and formatted
// here.
#include "commands/status.h"

#include <ctime>
#include <limits>
#include <optional>
#include <set>
#include <sstream>

#include "commands/commands.h"
#include "commands/instance_pid.h"
#include "commands/options.h"
#include "errors/decimal.h"
#include "errors/output.h"
#include "errors/shown_text.h"
#include "errors/uerror.h"
#include "game/game_query.h"
#include "remote/datagram.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {
namespace {

// For a running server one awk reads the game's query port from its settings
// (a regular file only: a pipe there would hold the run), or the server's
// arguments hold it, and, reading /proc with getline (a process that ended
// meanwhile is skipped, not an error), prints the tick rate, the boot time and
// the server's start, builds the process tree from the parent field of every
// /proc/PID/stat (the text after the last ')', since a command name may hold
// anything), sums its resident memory and looks the socket inodes among its
// open files up in the kernel's UDP and TCP tables (TCP only when listening,
// state 0A). Few processes are started: the script's time on the host adds to
// the round trips. The tick rate is 100 wherever Linux runs but on a few old
// architectures: awk takes 100 when its own start, in ticks since boot, over
// the seconds since boot says so (a virtualized uptime does not), else asks
// getconf.
const char kStatusScript[] = R"SCRIPT(instance_pid server.pid
PID=$IPID
[ -f server.restarts ] && printf 'restarts %s\n' "$(head -n 1 server.restarts)"
if [ -n "$PID" ]; then
	echo running $PID
	PF=@PORTFILE@
	[ -f "$PF" ] && [ ! -h "$PF" ] || PF=
@PORTFROMARGUMENTS@	exec awk -v root=$PID -v pf="$PF" -v pk=@PORTKEY@ -v quake=@QUAKE@ 'BEGIN {
		if ((getline line < "/proc/self/stat") > 0 && match(line, /\) [^)]*$/))
			split(substr(line, RSTART + 2), w, " ")
		if ((getline up < "/proc/uptime") > 0 && up + 0 > 10 && w[20] / up > 95 && w[20] / up < 105)
			hz = 100
		else {
			cmd = "getconf CLK_TCK"; cmd | getline hz; close(cmd) }
		print "hz", hz
		while (pf != "" && (getline line < pf) > 0) {
			sub(/^[ \t\r\v\f]+/, "", line)
			if (quake) sub(/^set[asu]?[ \t\r\v\f]+/, "", line)
			if (substr(line, 1, length(pk)) == pk && substr(line, length(pk) + 1, 1) ~ /[ \t\r\v\f]/) {
				line = substr(line, length(pk) + 1); sub(/^[ \t\r\v\f]+"?/, "", line)
				match(line, /^[0-9]*/); print "queryport", substr(line, 1, RLENGTH) }
		}
		close(pf)
		while ((getline line < "/proc/stat") > 0) if (line ~ /^btime /) print line
		for (i = 1; i < ARGC; i++) {
			f = ARGV[i] "/stat"
			if ((getline line < f) > 0 && match(line, /\) [^)]*$/)) {
				split(substr(line, RSTART + 2), w, " ")
				parent[substr(ARGV[i], 7)] = w[2]
				if (substr(ARGV[i], 7) == root) print "start", w[20]
			}
			close(f)
		}
		tree = " " root " "
		do { grew = 0
			for (p in parent) if (index(tree, " " parent[p] " ") && !index(tree, " " p " ")) {
				tree = tree p " "; grew = 1 }
		} while (grew)
		n = split(tree, pids, " "); dirs = ""
		for (i = 1; i <= n; i++) {
			f = "/proc/" pids[i] "/status"
			while ((getline line < f) > 0) if (line ~ /^VmRSS:/) { split(line, w, " "); print "rss", w[2] }
			close(f)
			dirs = dirs " /proc/" pids[i] "/fd"
		}
		cmd = "exec ls -l" dirs " 2>/dev/null"
		while ((cmd | getline line) > 0) if (match(line, /socket:\[[0-9]+\]$/))
			want[substr(line, RSTART + 8, RLENGTH - 9)] = 1
		close(cmd)
		split("udp udp6 tcp tcp6", kinds, " ")
		for (k = 1; k <= 4; k++) {
			f = "/proc/net/" kinds[k]
			getline line < f
			while ((getline line < f) > 0) {
				split(line, w, " ")
				if ((w[10] in want) && (k <= 2 || w[4] == "0A")) {
					m = split(w[2], a, ":"); print "port", a[m], substr(kinds[k], 1, 3), a[1] }
			}
			close(f)
		}
		exit }' /proc/[0-9]*
elif [ -e server.exit ] || [ -e server.pid ]; then
	echo exited
	[ -f server.exit ] && printf 'exit %s\n' "$(head -n 1 server.exit)"
	[ -f stderr.log ] && [ ! -h stderr.log ] && printf 'error %s\n' "$(tail -n 1 stderr.log)"
else
	echo stopped
fi
)SCRIPT";

// The server's argument after the game's port argument, for a game whose port
// is set on its command line.
const char kPortFromArguments[] =
    R"SCRIPT(	tr '\000' '\n' </proc/$PID/cmdline 2>/dev/null | awk -v a=@ARGUMENT@ 'p == a { print "queryport", $0; exit } { p = $0 }'
)SCRIPT";

// A decimal number of at most 18 digits, so that sums and products stay in range.
std::optional<long long> number(const std::string& word) {
    return decimalNumber(word, std::numeric_limits<long long>::max(), 18);
}

struct Facts {
    std::string state, pid;
    std::optional<long long> hz, btime, start, memory, exitStatus, ended;
    std::set<std::pair<int, long>> ports;  // protocol (0: udp, 1: tcp), port
    std::set<std::pair<long, std::string>>
        udpAddresses;  // port, local address as the kernel writes it
    std::string lastError;
    std::optional<long long> restarts;
    std::string queryPort;
};

void addPort(Facts& f, const std::string& hex, const std::string& protocol,
             const std::string& address) {
    if (hex.empty() || hex.size() > 4 ||
        hex.find_first_not_of("0123456789ABCDEFabcdef") != std::string::npos ||
        (protocol != "udp" && protocol != "tcp")) {
        return;
    }
    f.ports.emplace(protocol == "tcp", std::stol(hex, nullptr, 16));
    if (protocol == "udp") {
        f.udpAddresses.emplace(std::stol(hex, nullptr, 16), address);
    }
}

// Whether the server holds the UDP port on every address or on the one this
// run reached the host at.
bool holdsQueryPort(const RemoteRunner& host, const Facts& f, long port) {
    const std::string reached = reachedAddressAsKernelWrites(host.connection());
    for (const auto& [held, address] : f.udpAddresses) {
        if (held == port &&
            (address.find_first_not_of('0') == std::string::npos || address == reached)) {
            return true;
        }
    }
    return false;
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
    } else if (tag == "stopped" || tag == "exited") {
        f.state = tag;
    } else if (tag == "hz" || tag == "btime" || tag == "start") {
        (tag == "hz" ? f.hz : tag == "btime" ? f.btime : f.start) = number(a);
    } else if (tag == "rss" && number(a)) {
        f.memory = f.memory.value_or(0) + *number(a);
    } else if (tag == "port") {
        std::string address;
        in >> address;
        addPort(f, a, b, address);
    } else if (tag == "exit" && number(a) && number(b)) {
        f.exitStatus = number(a);
        f.ended = number(b);
    } else if (tag == "error") {
        f.lastError = rest;
    } else if (tag == "restarts") {
        f.restarts = number(a);
    } else if (tag == "queryport") {
        f.queryPort = a;
    }
}

// "KEY: TIME" and a line feed; nothing for a time that the calendar cannot hold.
std::string timeLine(const std::string& key, long long seconds) {
    const std::string time = utcTime(seconds);
    return time.empty() ? "" : key + ": " + time + "\n";
}

// "restarts: N" when the wrapper restarted the server since the start.
std::string restartsLine(const Facts& f) {
    return f.restarts.value_or(0) > 0 ? "restarts: " + std::to_string(*f.restarts) + "\n" : "";
}

std::string runningReport(const Facts& f) {
    std::string report = "state: running\npid: " + f.pid + "\n";
    if (f.hz && *f.hz > 0 && f.btime && f.start) {
        report += timeLine("since", *f.btime + *f.start / *f.hz);
    }
    if (f.memory) {
        report += "memory: " + std::to_string(*f.memory) + " KiB\nports:";
        for (const auto& [protocol, port] : f.ports) {
            report += " " + std::to_string(port) + (protocol == 0 ? "/udp" : "/tcp");
        }
        report += "\n";
    }
    return report + restartsLine(f);
}

std::string exitedReport(const Facts& f) {
    std::string report = "state: exited\n";
    if (f.ended) {
        report += timeLine("ended", *f.ended) + "exit: " + std::to_string(*f.exitStatus) + "\n";
    }
    report += restartsLine(f);
    if (!f.lastError.empty()) {
        report += "last error: " + shownText(f.lastError) + "\n";
    }
    return report;
}

Facts readFacts(const InstanceRun& run, const std::string& cfgDir) {
    if (!run.entered) {
        throw TUError{"Configuration directory " + cfgDir + " does not exist"};
    }
    Facts f;
    std::istringstream lines(run.result.output);
    for (std::string line; std::getline(lines, line);) {
        readFact(f, line);
    }
    if (f.state.empty()) {
        throw TUError{"Status query failed: " + run.result.errors};
    }
    return f;
}

}  // namespace

std::string makeStatusScript(const GameDefinition& game) {
    const bool inSettings = !game.queryPortFile.empty();
    const GameSettingsFile* file = inSettings ? &game.settingsFile(game.queryPortFile) : nullptr;
    const std::string script = fillShellTemplate(
        kStatusScript,
        {{"PORTFILE", file != nullptr ? file->path : ""},
         {"PORTKEY", game.queryPortKey},
         {"QUAKE", file != nullptr && file->dialect == GameSettingsFile::Quake ? "1" : ""}},
        {{"PORTFROMARGUMENTS",
          inSettings
              ? ""
              : fillShellTemplate(kPortFromArguments, {{"ARGUMENT", game.queryPortArgument}})}});
    return instancePidFunctions(game) + script;
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

std::optional<int> runningGamePort(const RemoteRunner& host, const InstanceRun& run,
                                   const std::string& cfgDir, const GameDefinition& game) {
    const Facts f = readFacts(run, cfgDir);
    if (f.state != "running") {
        return std::nullopt;
    }
    // Where the server's sockets are known, a port that it does not hold is
    // another process's: its answer would not be the game's.
    const int port = gameQueryPort(game, f.queryPort);
    return f.memory && !holdsQueryPort(host, f, port) ? 0 : port;
}

std::string gameReport(const std::optional<GameStatus>& game) {
    if (!game) {
        return "query: no answer\n";
    }
    const auto value = [&game](const char* key) {
        const auto found = game->server.find(key);
        return found == game->server.end() ? "" : shownValue(found->second);
    };
    return "query: answered in " + std::to_string(game->answeredInMs) +
           " ms\nname: " + value("hostname") + "\nmap: " + value("mapname") +
           "\nplayers: " + value("numplayers") + "/" + value("maxplayers") + "\n";
}

std::string statusReport(const InstanceRun& run, const std::string& cfgDir) {
    const Facts f = readFacts(run, cfgDir);
    return f.state == "running"  ? runningReport(f)
           : f.state == "exited" ? exitedReport(f)
                                 : "state: stopped\n";
}

bool showStatus(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string cfgDir = requiredValue(options, "cfg-dir");
    const GameDefinition game = chosenGame(options);
    options.check();
    requireAbsolutePlainPath(cfgDir, "cfg-dir");
    host.connect();
    const InstanceRun run =
        runInstanceScript(host, {game, cfgDir, makeStatusScript(game)}, "Status query failed: ");
    std::string report = statusReport(run, cfgDir);
    if (const auto port = runningGamePort(host, run, cfgDir, game)) {
        report += gameReport(*port != 0 ? queryGame(host, game, *port) : std::nullopt);
    }
    writeOut(report);
    return true;
}

}  // namespace fieldkeep

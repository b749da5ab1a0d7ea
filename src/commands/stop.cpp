// --stop: stops the game server instance that runs from a configuration
// directory. The generated stop.sh, written there and run there, asks the
// server to quit through its input pipe, then kills whatever the pid files
// still name and removes them.
#include "commands/stop.h"

#include "commands/commands.h"
#include "commands/instance_pid.h"
#include "commands/options.h"
#include "errors/uerror.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {
namespace {

// Works in the configuration directory: the one it was run from by a run,
// its own when run by its path. The pipe is opened to read and write at once,
// which cannot block when the server is gone (no reader needs to be there),
// and the game's stop line (and an empty line) is written in the background,
// so that a server that stopped reading with its pipe full cannot hold the
// stop up: the writer is ended after the game's grace time. Only what
// instance_pid finds is signalled, and asked again before the KILL a second
// after the TERM: by then the process may have ended and its number gone to
// another. The pid files go either way. While it works, the empty file
// server.stopping tells the wrapper not to start a server that ended again nor
// to record its end; it is made only when a running instance left anything (a
// wrapper removes it when it ends or starts), by the shell itself, never
// through a name already there (set -C). The wrapper's records of the server's
// end and restarts go last, with the marker, once nothing is left that could
// write them: the instance is stopped. Each rm is a process of its own, so one
// starts only when a name is there to remove; a marker directory that an older
// stop script made goes too.
const char kStopScript[] = R"SCRIPT(umask 077
case $0 in */*) cd -P "${0%/*}" || exit 1 ;; esac
[ -e start.pid ] || [ -e server.pid ] || [ -e server-stdin ] &&
	[ ! -e server.stopping ] && [ ! -h server.stopping ] &&
	{ set -C; true >server.stopping; set +C; } 2>/dev/null
remove()
{
	for F; do
		[ -e "$F" ] || [ -h "$F" ] && { rm -f "$@"; return; }
	done
}
end_process()
{
	instance_pid $1 || return 0
	kill $IPID 2>/dev/null
	sleep 1
	! instance_pid $1 || kill -9 $IPID 2>/dev/null
}

if [ -p server-stdin -a -r server-stdin ]; then
	{ echo @STOPLINE@ >&3 & } 3<>server-stdin && FQUITPID=$!
	for i in @GRACE@; do
		sleep 1
		[ ! -p server-stdin ] && break
	done
	kill $FQUITPID 2>/dev/null
fi

remove server-stdin

[ -f server.pid ] && end_process server.pid
remove server.pid

[ -f start.pid ] && sleep 1 && end_process start.pid

remove start.pid server.exit server.restarts server.stopping 2>/dev/null
[ ! -d server.stopping ] || rmdir server.stopping 2>/dev/null
)SCRIPT";

// Whatever the script reports, the instance is as stopped as it can be.
const char kRunStopScript[] = "chmod 750 stop.sh && ./stop.sh </dev/null >/dev/null 2>&1";

}  // namespace

std::string makeStopScript(const GameDefinition& game) {
    std::string seconds;
    for (int second = 1; second <= game.stopGrace; ++second) {
        seconds += (second > 1 ? " " : "") + std::to_string(second);
    }
    return "#!/bin/sh\n" + instancePidFunctions(game) + "\n" +
           fillShellTemplate(kStopScript, {{"STOPLINE", game.stopLine + "\n"}},
                             {{"GRACE", seconds}});
}

void addShutDownSteps(ScriptSteps& steps, const GameDefinition& game) {
    steps.add(hereDocument("cat >stop.sh", makeStopScript(game)), "Copy stop script failed");
    steps.addUnchecked(kRunStopScript);
}

bool stopServer(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string cfgDir = requiredValue(options, "cfg-dir");
    const GameDefinition game = chosenGame(options);
    options.check();
    requireAbsolutePlainPath(cfgDir, "cfg-dir");
    host.connect();
    ScriptSteps steps;
    addShutDownSteps(steps, game);
    const InstanceRun run =
        runInstanceScript(host, {game, cfgDir, steps.text()}, "Copy stop script failed: ");
    if (!run.entered) {
        throw TUError{"Copy stop script failed: " + run.result.errors};
    }
    steps.throwFailure(run.result);
    return true;
}

}  // namespace fieldkeep

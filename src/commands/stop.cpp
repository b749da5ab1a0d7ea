// --stop: stops the game server instance that runs from a configuration
// directory. The generated stop.sh asks the server to quit through its input
// pipe, then kills whatever the pid files still name and removes them.
#include "commands/stop.h"

#include "commands/commands.h"
#include "commands/instance_pid.h"
#include "commands/options.h"
#include "errors/uerror.h"
#include "remote/channels_ahead.h"
#include "remote/connection.h"
#include "remote/runner.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {
namespace {

// A background reader keeps the pipe open so that opening it to write "quit"
// cannot block when the server is gone, and "quit" is written in the background
// too, so that a server that stopped reading with its pipe full cannot hold
// the stop up: both are ended after the wait. Only what instance_pid prints is
// signalled, and asked again before the KILL a second after the TERM: by then
// the process may have ended and its number gone to another. The pid files go
// either way. The wrapper's record of the server's end goes last, once nothing
// is left that could write it: the instance is stopped.
const char kStopScript[] = R"SCRIPT(umask 077
CFGDIR=@CFGDIR@
end_process()
{
	P=`instance_pid $1 $CFGDIR`
	[ -n "$P" ] || return 0
	kill $P 2>/dev/null
	sleep 1
	P=`instance_pid $1 $CFGDIR`
	[ -z "$P" ] || kill -9 $P 2>/dev/null
}

if [ -p $CFGDIR/server-stdin -a -r $CFGDIR/server-stdin ]; then
	{ sleep 1000 <$CFGDIR/server-stdin & } && FSLEEPPID=$!
	{ echo 'quit
' >$CFGDIR/server-stdin & } && FQUITPID=$!
	for i in 1 2 3 4 5; do
		sleep 1
		[ ! -p $CFGDIR/server-stdin ] && break
	done
	kill $FSLEEPPID $FQUITPID 2>/dev/null
fi

rm -f $CFGDIR/server-stdin

[ -f $CFGDIR/server.pid ] && end_process $CFGDIR/server.pid
rm -f $CFGDIR/server.pid

[ -f $CFGDIR/start.pid ] && sleep 1 && end_process $CFGDIR/start.pid

rm -f $CFGDIR/start.pid $CFGDIR/server.exit 2>/dev/null
)SCRIPT";

// Run on the host before anything is written in an existing configuration
// directory: it prints why the directory is refused (owner: it, or a symbolic
// link that names it, is not the login's; link NAME: a path the runs or the
// wrapper write or edit is a symbolic link) and fails. A link of another
// account would let it point a run of the login at a directory of its choice.
const char kDirectoryGuard[] = R"SH(D=@CFGDIR@
if [ -d "$D" ]; then
	ls -nd "$D" "$D/" | awk -v u="`id -u`" '$3 != u { bad = 1 } END { exit bad || NR != 2 }' ||
		{ echo owner; exit 1; }
	for N in settings settings/serversettings.con settings/serversettings.con.pre \
		settings/adminsettings.con settings/adminsettings.con.pre settings.values \
		start.sh stop.sh server-stdin server.pid start.pid server.exit stderr.log; do
		[ -L "$D/$N" ] && { echo "link $N"; exit 1; }
	done
fi
)SH";

// The host's own view of "same directory": links, bind mounts and /proc/self/root.
const char kSameDirectoryGuard[] = R"SH([ @SRVDIR@ -ef @CFGDIR@ ] && { echo same; exit 1; }
)SH";

// Throws the refusal that a guard printed, if any.
void refuseGuarded(const std::string& printed, const std::string& cfgDir) {
    const std::string prefix = "Configuration directory " + cfgDir;
    if (printed == "same\n") {
        throw TUError{"Server and configuration directories must differ"};
    }
    if (printed == "owner\n") {
        throw TUError{prefix + " is not owned by " + connLogin};
    }
    if (printed.rfind("link ", 0) == 0) {
        throw TUError{prefix + " holds a symbolic link: " + printed.substr(5, printed.size() - 6)};
    }
}

}  // namespace

std::string makeStopScript(const std::string& cfgDir) {
    return std::string("#!/bin/sh\n") + kInstancePidFunction + "\n" +
           fillShellTemplate(kStopScript, {{"CFGDIR", cfgDir}});
}

std::string makeGuardedUpload(const std::string& cfgDir, const std::string& srvDir,
                              const std::string& preambleLine) {
    const std::vector<ShellWord> dirs = {{"CFGDIR", cfgDir}, {"SRVDIR", srvDir}};
    return (srvDir.empty() ? "" : fillShellTemplate(kSameDirectoryGuard, dirs)) +
           fillShellTemplate(kDirectoryGuard, dirs) + preambleLine + "cat >" + shellQuote(cfgDir) +
           "/stop.sh";
}

void shutDownServer(RemoteRunner& host, const std::string& cfgDir, const std::string& srvDir,
                    const Preamble& preamble) {
    const std::string q = shellQuote(cfgDir);
    {
        const ChannelsAhead ahead;
        const RemoteResult upload = host.exec(makeGuardedUpload(cfgDir, srvDir, preamble.line),
                                              preamble.input + makeStopScript(cfgDir), false);
        refuseGuarded(upload.output, cfgDir);
        if (upload.status != 0) {
            throw TUError{"Copy stop script failed: " + upload.errors};
        }
    }
    // Whatever the script reports, the instance is as stopped as it can be.
    host.run("chmod 750 " + q + "/stop.sh && " + q + "/stop.sh");
}

bool stopServer(talvor::opt::TOParsing options, RemoteRunner& host) {
    const std::string cfgDir = requiredValue(options, "cfg-dir");
    options.check();
    requireAbsolutePlainPath(cfgDir, "cfg-dir");
    host.connect();
    shutDownServer(host, cfgDir);
    return true;
}

}  // namespace fieldkeep

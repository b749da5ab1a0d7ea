// --start: stops the instance, writes every game setting, checks the launcher
// and the ports, then launches the game server behind a wrapper script that
// feeds it from a named pipe, and waits until the wrapper is seen running.
#include "commands/start.h"

#include "commands/commands.h"
#include "commands/options.h"
#include "commands/stop.h"
#include "errors/uerror.h"
#include "remote/connection.h"
#include "remote/runner.h"
#include "shell/config_edit.h"
#include "shell/port_check.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {
namespace {

using talvor::opt::NoArg;
using talvor::opt::OptArg;

// The wrapper keeps one old error log when the log has grown past 10 MiB,
// records its pid, recreates the pipe, keeps a writer on it, starts the game's
// launcher reading from it and waits. A signal to the wrapper ends that wait
// early, so it waits again for the server's own exit status, which it records
// with the time in server.exit (removed by the stop script: an instance that
// holds it ended by itself). The last two lines clean up.
const char kStartScript[] = R"SCRIPT(#!/bin/sh
SRVDIR=@SRVDIR@
CFGDIR=@CFGDIR@
SRVPID=
[ -n "`find $CFGDIR/stderr.log -size +10485760c 2>/dev/null`" ] &&
	mv -f $CFGDIR/stderr.log $CFGDIR/stderr.log.1
echo $$ > $CFGDIR/start.pid && cd $SRVDIR && rm -f $CFGDIR/server-stdin && mkfifo $CFGDIR/server-stdin && { cat >$CFGDIR/server-stdin & } && FCATPID=$! && { ./start.sh +statusMonitor 1 +overlayPath $CFGDIR <$CFGDIR/server-stdin >/dev/null 2>>$CFGDIR/stderr.log & } && SRVPID=$! && trap "kill $SRVPID" 1 2 15 && echo $SRVPID > $CFGDIR/server.pid && wait $SRVPID
STATUS=$?
while [ -n "$SRVPID" ] && kill -0 $SRVPID 2>/dev/null; do wait $SRVPID; STATUS=$?; done
[ -n "$SRVPID" ] && echo $STATUS `date +%s` >$CFGDIR/server.exit

kill $FCATPID 2>/dev/null
rm -f $CFGDIR/server.pid $CFGDIR/server-stdin $CFGDIR/start.pid 2>/dev/null
)SCRIPT";

// Makes the wrapper executable and launches it detached. The first look comes
// after one second, so that a launcher that fails at once has taken its
// wrapper down (and the shell has reaped it) and is seen dead rather than
// caught in its last milliseconds. Then six rounds (16 s of sleep in all)
// until the wrapper shows in /proc.
const char kLaunchCommand[] = R"SCRIPT(chmod 750 @CFGDIR@/start.sh || exit 1
nohup @CFGDIR@/start.sh </dev/null >/dev/null 2>&1 &
PID=`echo $!`
sleep 1
for s in 1 1 2 2 5 5; do
[ ! -d /proc/$PID ] && echo 'Process dead' 1>&2 && exit 1
cat /proc/$PID/cmdline | grep '.*start\.sh.\?$' >/dev/null 2>&1 && exit 0 || sleep $s
done
echo 'Timeout end' 1>&2
exit 1
)SCRIPT";

void writeSettings(RemoteRunner& host, const StartOptions& o) {
    for (const SettingChange& change : settingChanges(o)) {
        if (change.remove) {
            deleteConfigOption(host, change.file, change.key);
        } else {
            setConfigOption(host, change.file, change.key, change.value, change.quoted);
        }
    }
}

void requireLauncher(RemoteRunner& host, const std::string& srvDir) {
    if (host.run("test -x " + shellQuote(srvDir) + "/start.sh").status != 0) {
        throw TUError{"Test on exec server failed"};
    }
}

void requirePortsFree(RemoteRunner& host, const StartOptions& o) {
    for (const auto& [option, port] : portsToCheck(o)) {
        if (!checkPortFree(host, port)) {
            throw TUError{"Port " + port + " using already other proces"};
        }
    }
}

void writeLauncherWrapper(RemoteRunner& host, const std::string& srvDir,
                          const std::string& cfgDir) {
    host.writeFile(shellQuote(cfgDir) + "/start.sh", makeStartScript(srvDir, cfgDir),
                   "Copy start script failed");
}

void launchServer(RemoteRunner& host, const std::string& cfgDir) {
    host.runOrThrow(makeLaunchCommand(cfgDir), "Start server failed", true);
}

}  // namespace

StartOptions readStartOptions(talvor::opt::TOParsing& options) {
    StartOptions o;
    o.srvDir = requiredValue(options, "srv-dir");
    o.cfgDir = requiredValue(options, "cfg-dir");
    o.name = requiredValue(options, "name");
    o.maxPlayers = requiredValue(options, "max-players");
    o.serverInternet = optionalFlag(options, "server-internet");
    o.srvBandwidth = requiredValue(options, "srv-bandwidth");
    o.clBandwidth = requiredValue(options, "cl-bandwidth");
    o.ip = requiredValue(options, "ip");
    o.port = requiredValue(options, "port");
    o.spyLanPort = requiredValue(options, "spy-lan-port");
    o.spyPort = requiredValue(options, "spy-port");
    o.gameTime = requiredValue(options, "game-time");
    o.scoreLim = requiredValue(options, "score-lim");
    o.roundNum = requiredValue(options, "round-num");
    o.punkBuster = optionalFlag(options, "punk-buster");
    o.srvPasswd = options.longOpt("srv-passwd", OptArg).value();
    {
        // Held while the password is looked up, so only that lookup's outcome counts.
        auto flag = options.longOpt("no-remote-admin", NoArg);
        o.noRemoteAdmin = flag.found();
        if (!o.noRemoteAdmin) {
            o.remoteAdminPasswd = requiredValue(options, "remote-admin-passwd");
        }
    }
    {
        auto flag = options.longOpt("no-rcon", NoArg);
        o.noRcon = flag.found();
        if (!o.noRcon) {
            o.rconUsername = requiredValue(options, "rcon-username");
            o.rconPassword = requiredValue(options, "rcon-password");
            o.rconPort = requiredValue(options, "rcon-port");
        }
    }
    return o;
}

void validateStartOptions(const StartOptions& o) {
    requireAbsolutePath(o.srvDir);
    requireAbsolutePath(o.cfgDir);
    requirePlainWord(o.srvDir, "srv-dir");
    requirePlainWord(o.cfgDir, "cfg-dir");
    // Compared as the paths they name; the values are used as given.
    if (normalizePath(o.srvDir) == normalizePath(o.cfgDir)) {
        throw TUError{"Server and configuration directories must differ"};
    }
    const std::pair<const char*, const std::string*> values[] = {
        {"name", &o.name},
        {"max-players", &o.maxPlayers},
        {"srv-bandwidth", &o.srvBandwidth},
        {"cl-bandwidth", &o.clBandwidth},
        {"ip", &o.ip},
        {"port", &o.port},
        {"spy-lan-port", &o.spyLanPort},
        {"spy-port", &o.spyPort},
        {"game-time", &o.gameTime},
        {"score-lim", &o.scoreLim},
        {"round-num", &o.roundNum},
        {"srv-passwd", &o.srvPasswd},
        {"remote-admin-passwd", &o.remoteAdminPasswd},
        {"rcon-username", &o.rconUsername},
        {"rcon-password", &o.rconPassword},
        {"rcon-port", &o.rconPort},
    };
    for (const auto& [option, value] : values) {
        requireSingleLine(*value, option);
    }
    // A port text is spliced into an awk program by the port check.
    for (const auto& [option, port] : portsToCheck(o)) {
        if (!isDecimalNumber(port)) {
            throw TUError{"Option '--" + option + "' must be a decimal number"};
        }
        if (!isPortNumber(port)) {
            throw TUError{"Option '--" + option + "' must be a decimal number from 0 to 65535"};
        }
    }
}

std::vector<SettingChange> settingChanges(const StartOptions& o) {
    const std::string server = o.cfgDir + "/settings/serversettings.con";
    const std::string admin = o.cfgDir + "/settings/adminsettings.con";
    const std::string rconValue =
        "\"" + o.rconUsername + "\" \"" + o.rconPassword + "\" " + o.rconPort;
    return {
        {server, "game.serverName", o.name, true, false},
        {server, "game.serverMaxPlayers", o.maxPlayers, false, false},
        {server, "game.serverInternet", o.serverInternet ? "1" : "0", false, false},
        {server, "game.serverBandwidthChokeLimit", o.srvBandwidth, false, false},
        {server, "game.serverMaxAllowedConnectionType", o.clBandwidth, false, false},
        {server, "game.serverIP", o.ip, false, false},
        {server, "game.serverPort", o.port, false, false},
        {server, "game.gameSpyLANPort", o.spyLanPort, false, false},
        {server, "game.gameSpyPort", o.spyPort, false, false},
        {server, "game.serverGameTime", o.gameTime, false, false},
        {server, "game.serverScoreLimit", o.scoreLim, false, false},
        {server, "game.serverNumberOfRounds", o.roundNum, false, false},
        {server, "game.serverPunkBuster", o.punkBuster ? "1" : "0", false, false},
        {server, "game.serverPassword", o.srvPasswd, true, false},
        {admin, "admin.enableRemoteAdmin", o.remoteAdminPasswd, true, o.noRemoteAdmin},
        {admin, "admin.enableRemoteConsole", rconValue, false, o.noRcon},
    };
}

std::vector<std::pair<std::string, std::string>> portsToCheck(const StartOptions& o) {
    std::vector<std::pair<std::string, std::string>> all = {
        {"port", o.port}, {"spy-lan-port", o.spyLanPort}, {"spy-port", o.spyPort}};
    if (!o.noRcon) {
        all.emplace_back("rcon-port", o.rconPort);
    }
    std::vector<std::pair<std::string, std::string>> checked;
    for (auto& entry : all) {
        if (entry.second != "0") {
            checked.push_back(std::move(entry));
        }
    }
    return checked;
}

std::string makeStartScript(const std::string& srvDir, const std::string& cfgDir) {
    return fillShellTemplate(kStartScript, {{"SRVDIR", srvDir}, {"CFGDIR", cfgDir}});
}

std::string makeLaunchCommand(const std::string& cfgDir) {
    return fillShellTemplate(kLaunchCommand, {{"CFGDIR", cfgDir}});
}

void startInstance(RemoteRunner& host, const StartOptions& o) {
    {
        const ChannelsAhead ahead;
        shutDownServer(host, o.cfgDir);
        writeSettings(host, o);
        requireLauncher(host, o.srvDir);
        requirePortsFree(host, o);
        writeLauncherWrapper(host, o.srvDir, o.cfgDir);
    }
    launchServer(host, o.cfgDir);
}

bool startServer(talvor::opt::TOParsing options) {
    const StartOptions o = readStartOptions(options);
    options.check();
    validateStartOptions(o);
    connectRemote();
    startInstance(hostRunner(), o);
    return true;
}

}  // namespace fieldkeep

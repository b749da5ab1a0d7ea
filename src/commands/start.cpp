// --start: stops the instance, writes every game setting, checks the launcher
// and the ports, then launches the game server behind a wrapper script that
// feeds it from a named pipe, and waits until the wrapper is seen running.
#include "commands/start.h"

#include <algorithm>

#include "commands/commands.h"
#include "commands/instance_script.h"
#include "commands/options.h"
#include "commands/status.h"
#include "commands/stop.h"
#include "errors/decimal.h"
#include "errors/uerror.h"
#include "game/game_query.h"
#include "shell/config_edit.h"
#include "shell/port_check.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace fieldkeep {
namespace {

using talvor::opt::NoArg;
using talvor::opt::OptArg;

// The wrapper runs in the configuration directory (its own, when run by its path).
// Whatever it creates is the owner's only, and so become error logs that an
// earlier wrapper left readable. It keeps one old error log when the log has
// grown past 10 MiB, records its pid, recreates the pipe, keeps a writer on it
// (a sleep: the wrapper's own input is empty, so a cat would end at once and
// leave the server reading end-of-file), starts the game's launcher in the
// server directory reading from it and waits. A signal to the wrapper ends
// that wait early, so it waits again for the server's own exit status. With
// RESTART 1, a crash (a status other than 0, or a signal) starts the server
// again a second later and counts it in server.restarts, unless the stop
// script is at work (server.stopping) or the previous crash was less than a
// minute before. Unless the stop script is at work, the wrapper records the
// last exit status with the time in server.exit (an instance that holds it
// ended by itself; the stop script removes it). The last two lines clean up,
// the stop script's marker too: no wrapper is left to heed it, and the stop
// script then finds nothing of the instance left to remove.
const char kStartScript[] = R"SCRIPT(#!/bin/sh
umask 077
case $0 in */*) cd -P "${0%/*}" || exit 1 ;; esac
SRVDIR=@SRVDIR@
CFGDIR=@CFGDIR@
RESTART=@RESTART@
SRVPID=
CRASHED=0
RESTARTS=0
[ -n "`find stderr.log -size +10485760c 2>/dev/null`" ] && mv -f stderr.log stderr.log.1
chmod 600 stderr.log stderr.log.1 2>/dev/null
rm -f server.restarts server.stopping
[ ! -d server.stopping ] || rmdir server.stopping 2>/dev/null
trap '[ -z "$SRVPID" ] || kill $SRVPID; RESTART=0' 1 2 15
run_server()
{
	{ { cd "$SRVDIR" && exec @LAUNCH@; } <server-stdin >/dev/null 2>>stderr.log & } && SRVPID=$! && echo $SRVPID > server.pid && wait $SRVPID
	STATUS=$?
	while [ -n "$SRVPID" ] && kill -0 $SRVPID 2>/dev/null; do wait $SRVPID; STATUS=$?; done
}
restart_after_crash()
{
	NOW=`date +%s`
	[ "$RESTART" = 1 ] && [ "$STATUS" != 0 ] && [ ! -e server.stopping ] && [ $((NOW - CRASHED)) -ge 60 ] || return 1
	CRASHED=$NOW
	RESTARTS=$((RESTARTS + 1))
	echo $RESTARTS >server.restarts
	sleep 1
	[ "$RESTART" = 1 ] && [ ! -e server.stopping ]
}
echo $$ > start.pid && rm -f server-stdin && mkfifo server-stdin && { sleep 2147483647 >server-stdin & } && FKEEPPID=$! && run_server
while [ -n "$SRVPID" ] && restart_after_crash; do run_server; done
[ -n "$SRVPID" ] && [ ! -e server.stopping ] && echo $STATUS `date +%s` >server.exit

kill $FKEEPPID 2>/dev/null
rm -f server.pid server-stdin start.pid server.stopping 2>/dev/null
)SCRIPT";

// Makes the wrapper executable and launches it detached. The first look comes
// after one second, so that a launcher that fails at once has taken its
// wrapper down (and the shell has reaped it) and is seen dead rather than
// caught in its last milliseconds. Then six rounds (16 s of sleep in all)
// until the wrapper shows in /proc. Its reasons are not reported (as on the
// terminal the launch once ran on).
const char kLaunchCommand[] = R"SCRIPT(chmod 750 start.sh || exit 1
nohup ./start.sh </dev/null >/dev/null 2>&1 &
PID=`echo $!`
sleep 1
for s in 1 1 2 2 5 5; do
[ ! -d /proc/$PID ] && echo 'Process dead' 1>&2 && exit 1
cat /proc/$PID/cmdline | grep '.*start\.sh.\?$' >/dev/null 2>&1 && exit 0 || sleep $s
done
echo 'Timeout end' 1>&2
exit 1)SCRIPT";

// An earlier version kept the setting values in this file during a start; rm
// starts only when it is there.
const char kRemoveOldValueStore[] =
    "[ ! -e settings.values ] && [ ! -h settings.values ] || rm -f settings.values";

// One pass over each settings file, in the order of the changes; a failure
// names the change that would have failed first.
void addSettingSteps(ScriptSteps& steps, const StartOptions& o) {
    const std::vector<SettingChange> changes = settingChanges(o);
    for (auto first = changes.begin(); first != changes.end();) {
        const auto end = std::find_if(
            first, changes.end(), [&](const SettingChange& c) { return c.file != first->file; });
        const GameSettingsFile& file = o.game.settingsFile(first->fileId);
        std::vector<SettingEdit> edits;
        std::vector<std::string> failures;
        for (auto c = first; c != end; ++c) {
            edits.push_back({c->key, c->value, c->remove});
            failures.push_back((c->remove ? "Delete option '" : "Set option '") + c->key +
                               "' failed in " + c->file);
        }
        steps.add(
            makeEditSettingsCommand(file.path, edits, file.dialect == GameSettingsFile::Quake),
            failures);
        first = end;
    }
}

void addLaunchSteps(ScriptSteps& steps, const StartOptions& o) {
    steps.add("test -x " + shellQuote(o.srvDir) + "/" + shellWord(o.game.launcher),
              "Test on exec server failed", false);
    std::vector<std::string> ports, taken;
    for (const auto& [option, port] : portsToCheck(o)) {
        ports.push_back(port);
        taken.push_back("Port " + port + " using already other proces");
    }
    if (!ports.empty()) {
        steps.add(makePortsFreeCommand(ports), taken, false);
    }
    steps.add(hereDocument("cat >start.sh", makeStartScript(o)), "Copy start script failed");
    steps.add("( " + std::string(kLaunchCommand) + " ) 2>/dev/null",
              "Start server failed: ", false);
}

// The game keeps at most 255 bytes of a setting's value, and cuts a console
// line past 1023 bytes into two commands: a longer value would run its rest.
constexpr std::size_t kLongestQuakeValue = 255;
constexpr int kMostWait = 600;
constexpr long long kLargestNumber = 999999999999999999;

std::string lookUp(talvor::opt::TOParsing& options, const GameOption& option) {
    switch (option.kind) {
        case GameOption::Flag:
            return optionalFlag(options, option.name) ? "1" : "0";
        case GameOption::Any:
            return options.longOpt(option.name, OptArg).value();
        default:
            return requiredValue(options, option.name);
    }
}

// Whether the launcher gets {name} as an argument.
bool usedAsArgument(const GameDefinition& game, const std::string& name) {
    return std::find(game.arguments.begin(), game.arguments.end(), "{" + name + "}") !=
           game.arguments.end();
}

// Game servers read their arguments as console text (ioq3ded splits them at
// '+' into commands, ends one at '//' and keeps 1023 bytes of them all), so a
// value there is a short plain word; the configuration directory too when the
// definition says the server reads them so.
void requireConsoleWord(const std::string& value, const std::string& option) {
    if (value.empty() || value.size() > kLongestQuakeValue ||
        value.find("//") != std::string::npos ||
        value.find_first_not_of(
            "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_-./") !=
            std::string::npos) {
        throw TUError{"Option '--" + option +
                      "' must be letters, digits, '_', '-', '.' and single '/' only"};
    }
}

bool blanked(const StartOptions& o, const GameOption& option) {
    return o.blanking.count(option.blankedBy) > 0;
}

// Whether the option is written to a settings file of the quake dialect.
bool quakeFile(const StartOptions& o, const GameOption& option) {
    return !option.file.empty() &&
           o.game.settingsFile(option.file).dialect == GameSettingsFile::Quake;
}

// A value that a settings file holds between double quotes.
bool quotedInFile(const StartOptions& o, const GameOption& option) {
    return option.quoted || quakeFile(o, option);
}

// The launcher and its arguments as the wrapper's shell words: the
// configuration directory is the wrapper's $CFGDIR, an option's value is quoted.
std::string launchWords(const StartOptions& o) {
    std::string words = shellWord("./" + o.game.launcher);
    for (const std::string& argument : o.game.arguments) {
        const auto name = argumentPlaceholder(argument);
        // A blanked option's value is an empty word.
        const auto value = o.values.find(name.value_or(""));
        words += " " + (name == "cfgdir" ? std::string("\"$CFGDIR\"")
                        : name           ? shellWord(value != o.values.end() ? value->second : "")
                                         : shellWord(argument));
    }
    return words;
}

}  // namespace

StartOptions readStartOptions(talvor::opt::TOParsing& options) {
    StartOptions o;
    o.game = chosenGame(options);
    o.srvDir = requiredValue(options, "srv-dir");
    o.cfgDir = requiredValue(options, "cfg-dir");
    const std::vector<GameOption>& all = o.game.options;
    const auto lookUpAll = [&](auto begin, auto end) {
        for (auto option = begin; option != end; ++option) {
            o.values[option->name] = lookUp(options, *option);
        }
    };
    for (auto option = all.begin(); option != all.end();) {
        const auto end = std::find_if(option, all.end(), [&](const GameOption& next) {
            return next.blankedBy != option->blankedBy;
        });
        if (option->blankedBy.empty()) {
            lookUpAll(option, end);
        } else {
            // Held while the options it replaces are looked up, so only their outcome counts.
            auto flag = options.longOpt(option->blankedBy, NoArg);
            if (flag.found()) {
                o.blanking.insert(option->blankedBy);
            } else {
                lookUpAll(option, end);
            }
        }
        option = end;
    }
    o.restartOnCrash = optionalFlag(options, "restart-on-crash");
    o.waitReady = optionalValue(options, "wait-ready", talvor::opt::ReqArg);
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
    requireNoParentStep(o.srvDir, "srv-dir");
    requireNoParentStep(o.cfgDir, "cfg-dir");
    if (o.game.consoleArguments && usedAsArgument(o.game, "cfgdir")) {
        requireConsoleWord(o.cfgDir, "cfg-dir");
    }
    for (const GameOption& option : o.game.options) {
        const auto value = o.values.find(option.name);
        if (value != o.values.end()) {
            requireSingleLine(value->second, option.name);
            if (quotedInFile(o, option)) {
                requireNoDoubleQuote(value->second, option.name);
            }
            if (usedAsArgument(o.game, option.name)) {
                requireConsoleWord(value->second, option.name);
            }
            if (quakeFile(o, option) && value->second.size() > kLongestQuakeValue) {
                throw TUError{"Option '--" + option.name + "' must be at most 255 bytes"};
            }
            if (option.kind == GameOption::Number &&
                !decimalNumber(value->second, kLargestNumber, std::string::npos, Beyond::held)) {
                throw TUError{"Option '--" + option.name + "' must be a decimal number"};
            }
            if (option.kind == GameOption::Port && !isPortNumber(value->second)) {
                throw TUError{"Option '--" + option.name + "' must be a number from 0 to 65535"};
            }
        }
    }
    if (!o.waitReady.empty() && decimalNumber(o.waitReady, kMostWait, 3).value_or(0) < 1) {
        throw TUError{"Option '--wait-ready' must be a number from 1 to 600"};
    }
}

std::vector<SettingChange> settingChanges(const StartOptions& o) {
    std::vector<SettingChange> changes;
    for (const GameOption& option : o.game.options) {
        if (option.file.empty()) {
            continue;
        }
        if (changes.empty() || changes.back().key != option.key ||
            changes.back().fileId != option.file) {
            changes.push_back({o.cfgDir + "/" + o.game.settingsFile(option.file).path, option.file,
                               option.key, "", blanked(o, option)});
        } else {
            changes.back().value += " ";
        }
        if (!blanked(o, option)) {
            const std::string& value = o.values.at(option.name);
            changes.back().value += quotedInFile(o, option) ? "\"" + value + "\"" : value;
        }
    }
    return changes;
}

std::vector<std::pair<std::string, std::string>> portsToCheck(const StartOptions& o) {
    std::vector<std::pair<std::string, std::string>> checked;
    for (const GameOption& option : o.game.options) {
        if (option.checkFree && !blanked(o, option) && o.values.at(option.name) != "0") {
            checked.emplace_back(option.name, o.values.at(option.name));
        }
    }
    return checked;
}

std::string makeStartScript(const StartOptions& o) {
    return fillShellTemplate(
        kStartScript,
        {{"SRVDIR", o.srvDir}, {"CFGDIR", o.cfgDir}, {"RESTART", o.restartOnCrash ? "1" : "0"}},
        {{"LAUNCH", launchWords(o)}});
}

namespace {

std::string makeStartBody(const StartOptions& o, ScriptSteps& steps) {
    addShutDownSteps(steps, o.game);
    steps.addUnchecked(kRemoveOldValueStore);
    addSettingSteps(steps, o);
    addLaunchSteps(steps, o);
    return std::string(kEditSettingsFunction) + kPortsFunction + steps.text();
}

}  // namespace

void startInstance(RemoteRunner& host, const StartOptions& o) {
    ScriptSteps steps;
    const InstanceRun run = runInstanceScript(
        host, {o.game, o.cfgDir, makeStartBody(o, steps), o.srvDir}, "Copy stop script failed: ");
    if (!run.entered) {
        throw TUError{"Copy stop script failed: " + run.result.errors};
    }
    steps.throwFailure(run.result);
    if (run.result.status != 0) {
        throw TUError{"Start server failed: " + run.result.errors};
    }
}

// Asks the game once a second until it answers, and then the host whether the
// server holds that port (another process could have answered); the server
// stays running when it did not answer.
void waitUntilReady(RemoteRunner& host, const StartOptions& o) {
    const GameOption* setsPort = o.game.queryPortOption();
    const auto value = setsPort != nullptr ? o.values.find(setsPort->name) : o.values.end();
    const int port = gameQueryPort(o.game, value != o.values.end() ? value->second : "");
    if (!queryGame(host, o.game, port,
                   static_cast<int>(*decimalNumber(o.waitReady, kMostWait, 3))) ||
        runningGamePort(host,
                        runInstanceScript(host, {o.game, o.cfgDir, makeStatusScript(o.game)},
                                          "Status query failed: "),
                        o.cfgDir, o.game) != port) {
        throw TUError{"Server did not answer its query within " + o.waitReady + " s"};
    }
}

bool startServer(talvor::opt::TOParsing options, RemoteRunner& host) {
    const StartOptions o = readStartOptions(options);
    options.check();
    validateStartOptions(o);
    host.connect();
    startInstance(host, o);
    if (!o.waitReady.empty()) {
        waitUntilReady(host, o);
    }
    return true;
}

}  // namespace fieldkeep

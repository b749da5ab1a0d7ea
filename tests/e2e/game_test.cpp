// The game server on the sandbox host: --install from fake archives over HTTP,
// --check-install, and --start and --stop of the fake server the archives hold.
#include "harness.h"

namespace fieldkeep::e2e {
namespace {

// clang-format off
// An install into /srv/t/DIR (made by SETUP) that lib.sh's `installed` finds as
// the row says, and after which ALSO_TRUE holds in /srv/t.
Case installs(const char* name, const char* archive, const std::string& setup, std::string dir,
              const char* outcome = "install_ok.ret", const char* status = "0",
              const char* log = "download_ok.ret", const char* logHas = "0",
              const std::string& alsoTrue = "true") {
    dir = "/srv/t" + dir;
    return {name, {"--install", "--url=" + envOf("FK_ARCHIVE_URL") + "/" + archive, "--dir=" + dir},
            "temp dir: '" + dir + "/.bf1942_install_...", 0,
            "installed " + shellWord(dir) + " " + outcome + " " + shellWord(status) + " " + log +
                " " + shellWord(logHas) + " && " + alsoTrue,
            setup + " && chmod -R 777 ."};
}

INSTANTIATE_TEST_SUITE_P(Install, Run, ::testing::Values(
    installs("TarBzip2", "bf.tar.bz2", "true", ""),
    installs("TarGzipIntoAQuotedDir", "bf.tar.gz", "mkdir \"it's\"", "/it's"),
    on("dropbear", "TarGzipOnDropbear", installs("", "bf.tar.gz", "true", "")),
    on("onesession", "TarGzipOnOneSession", installs("", "bf.tar.gz", "true", "")),
    installs("Zip", "bf.zip", "true", ""),
    installs("SelfExtracting", "bf.run", "true", ""),
    installs("UnknownType", "unknown.bin", "true", "", "extract_err.ret", "-1", "extract.log",
             "Unknown archive type"),
    installs("DownloadFails", "no-such-file.tar.gz", "true", "", "download_err.ret",
             "8" /* wget: server error */, "download.log", "404"),
    installs("NoBf1942Directory", "nodir.tar.gz", "true", "", "install_err.ret", "",
             "install.log", "bf1942"),
    installs("FailingFixinstall", "badfix.tar.gz", "true", "", "install_err.ret", "3",
             "bf1942/fixinstall.sh", "exit 3"),  // left where it was unpacked
    installs("ExistingServerLeftAlone", "bf.tar.gz", "mkdir bf1942 && echo old >bf1942/keep", "",
             "install_err.ret", "", "install.log", "mv", "grep -qx old bf1942/keep"),
    Case{"MissingDirectoryNotMade", {"--install", "--url=http://h/a.tgz", "--dir=/srv/none"},
         "Make temporary directory in '/srv/none' failed: mktemp: ...", 1, "! test -e /srv/none"}),
    caseName);
// clang-format on

// A server needs its launcher and the mod's init file; any kind of file counts.
Case checks(const char* name, const char* setup, const char* dir, const char* out) {
    return {name, {"--check-install", std::string("--dir=") + dir}, out, 0, "", setup};
}

// clang-format off
const char kFull[] = "touch start.sh && mkdir -p mods/bf1942 && touch mods/bf1942/init.con";
INSTANTIATE_TEST_SUITE_P(CheckInstall, Run, ::testing::Values(
    checks("LauncherOnly", "touch start.sh", "/srv/t", "failed\n"),
    checks("ModInitOnly", "mkdir -p mods/bf1942 && touch mods/bf1942/init.con", "/srv/t",
           "failed\n"),
    checks("Both", kFull, "/srv/t", "ok\n"),
    checks("BothWithTrailingSlash", kFull, "/srv/t/", "ok\n"),
    checks("LauncherADirectory", "mkdir -p start.sh mods/bf1942 && touch mods/bf1942/init.con",
           "/srv/t", "ok\n")), caseName);

// --start of lib.sh's `instance` in /srv/t; an option given again in EXTRA wins.
std::vector<std::string> startArgs(const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args{
        "--start", "--srv-dir=/srv/t/game/bf1942", "--cfg-dir=/srv/t/cfg", "--name=My server",
        "--max-players=16", "--srv-bandwidth=256000", "--cl-bandwidth=3", "--ip=127.0.0.1",
        "--port=14567", "--spy-lan-port=22000", "--spy-port=23000", "--game-time=20",
        "--score-lim=100", "--round-num=3", "--srv-passwd", "--remote-admin-passwd=adm pass",
        "--rcon-username=op", "--rcon-password=secret", "--rcon-port=4711"};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}
// clang-format on

// A start through lib.sh's fk, the pids of the server it launched saved in cfg/old-*.pid.
const std::string kStartFirst = "fk" + joined(startArgs()) +
                                " && soon 'test -s cfg/server.pid' "
                                "&& cp cfg/start.pid cfg/old-start.pid && cp cfg/server.pid "
                                "cfg/old-server.pid";

// The settings after a start: the keys present are set in place, the others added.
std::string serverSettings(const std::string& name = "My server") {
    return "game.serverName \"" + name +
           "\"\n  game.serverMaxPlayers 16\nGAME.SERVERPORT 1\n"
           "game.serverIP\n\tgame.serverPassword \"\"\ngame.serverNumberOfRounds 3\n"
           "game.serverInternet 0\n\ngame.serverBandwidthChokeLimit 256000\n\n"
           "game.serverMaxAllowedConnectionType 3\n\ngame.serverIP 127.0.0.1\n\n"
           "game.serverPort 14567\n\ngame.gameSpyLANPort 22000\n\ngame.gameSpyPort 23000\n\n"
           "game.serverGameTime 20\n\ngame.serverScoreLimit 100\n\ngame.serverPunkBuster 0\n";
}
std::string adminSettings(const std::string& rconPassword = "secret") {
    return "admin.enableRemoteAdmin \"adm pass\"\nadmin.enableRemoteConsole \"op\" \"" +
           rconPassword + "\" 4711\n";
}

// clang-format off
// --start writes the settings with these values and launches the server (lib.sh's
// `started`); a login's --stop then ends it. AGAIN: a server started before is stopped.
Case starts(const char* name, const Account& as, const std::string& serverName,
            const std::string& rcon, bool again = false) {
    return {name, startArgs({"--name=" + serverName, "--rcon-password=" + rcon}), "", 0,
            "cd cfg/settings && printf %s " + shellWord(serverSettings(serverName)) +
                " | cmp - serversettings.con && printf %s " + shellWord(adminSettings(rcon)) +
                " | cmp - adminsettings.con && cd /srv/t && started && " +
                (again ? "stopped && " : "") + "[ -z \"$(AS=" + as.login +
                " fk --stop --cfg-dir=/srv/t/cfg)\" ]",
            "instance " + as.login + (again ? " && AS=" + as.login + " " + kStartFirst : ""), as};
}

// A start that fails says at which step and launches nothing; --stop uploads its
// script the same way, so it fails exactly where the start's copy failed.
Case fails(const char* name, const std::string& setup, const std::string& out, const char* log) {
    return {name, startArgs(), out + "...", 1,
            "! test -e cfg/start.pid && ! test -e cfg/server-stdin && [ \"$(cat cfg/stderr.log "
            "2>/dev/null)\" = " + shellWord(log) + " ] && " + (out[0] == 'C' ? "" : "! ") +
                "fk --stop --cfg-dir=/srv/t/cfg | grep -q '^Copy stop script'",
            "instance && " + setup};
}

// A helper process holds port 24555 while --start runs: reported before anything is launched.
Case taken(const char* name, const std::string& socket, const char* option) {
    return {name, startArgs({std::string(option) + "=24555"}),
            "Port 24555 using already other proces\n", 1,
            "kill $(cat hold.pid); ! test -e cfg/start.sh && ! test -e cfg/start.pid",
            "instance && hold " + socket};
}

// --stop ends the server that the setup started, and its pid files and console go.
const Case kStops{"Stops", {"--stop", "--cfg-dir=/srv/t/cfg"}, "", 0, "stopped && [ \"$(ls cfg)\" "
                  "= \"$(printf '%s\\n' console.log old-server.pid old-start.pid server.args server.quit "
                  "settings start.sh stderr.log stop.sh)\" ]", "instance && " + kStartFirst};
// clang-format on

// Hostile values (no double quote: it would end the quoted setting) reach the settings intact
// through either login shell.
const std::string kHostile = "a/b&c\\d'e $HOME `id` $(id) \\1";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Start, Run, ::testing::Values(
    starts("Starts", user(), "My server", "secret"),
    starts("HostileValuesViaSh", user(), kHostile, "p&w/d"),
    starts("HostileValuesViaBash", bashUser(), kHostile, "p&w/d"),
    // A second start stops the running server first (a zsh login).
    starts("SecondStartStopsTheFirst", zshUser(), "My server", "secret", true),
    // Dropbear 2022.83 and an sshd with MaxSessions 1 alike.
    on("dropbear", "SecondStartOnDropbear", starts("", user(), "My server", "secret", true)),
    on("onesession", "SecondStartOnOneSession", starts("", user(), "My server", "secret", true)),
    kStops,
    fails("MissingLauncher", "rm game/bf1942/start.sh", "Test on exec server failed\n", ""),
    // On the launch's terminal the reason ("Process dead") is no error output.
    fails("LauncherExitsAtOnce", "printf '#!/bin/sh\\necho no game here >&2\\nexit 1\\n' "
          ">game/bf1942/start.sh", "Start server failed: \n", "no game here"),
    // Writable by the login but owned by root: the upload works, chmod does not.
    fails("WrapperCannotBeMadeRunnable", ": >cfg/start.sh && chown root cfg/start.sh && "
          "chmod 666 cfg/start.sh", "Start server failed: \n", ""),
    fails("UnwritableConfigurationDirectory", "chmod 555 cfg",
          "Copy stop script failed: ", ""),
    taken("UdpWildcard", "'' DGRAM 0.0.0.0", "--port"),
    taken("TcpLoopback", "'' STREAM 127.0.0.1", "--spy-lan-port"),
    taken("Ipv6Wildcard", "6 STREAM ::", "--spy-port"),
    taken("Ipv6Udp", "6 DGRAM ::", "--rcon-port")), caseName);
// clang-format on

const std::vector<std::string> kStatus = {"--status", "--cfg-dir=/srv/t/cfg"};

// clang-format off
// A started server told LINE on its console ends by itself: --status shows how and when.
Case exits(const char* name, const char* line, const std::string& shown) {
    return {name, kStatus, "state: exited\nended: ...", 0, "recent ended && [ \"$(sed 2d "
            "/srv/out)\" = " + shellWord("state: exited\n" + shown) + " ]", "instance && date +%s "
            ">t0 && " + kStartFirst + " && echo " + shellWord(line) + " >cfg/server-stdin && soon "
            "'! test -e cfg/start.pid'"};
}

const char kThenStop[] = " && fk --stop --cfg-dir=/srv/t/cfg";
INSTANTIATE_TEST_SUITE_P(Operate, Run, ::testing::Values(
    // Once the fake server has bound its ports; it is stopped whatever the check finds.
    Case{"StatusOfARunningServer", kStatus, "state: running\npid: ...", 0,
         "shows_running; s=$?; fk --stop --cfg-dir=/srv/t/cfg; exit $s", "instance && date +%s "
         ">t0 && " + kStartFirst + " && soon '[ $(ss -Hlntu | grep -cE \":(14567|23000|4711) \") = 3 ]'"},
    Case{"StatusAfterStop", kStatus, "state: stopped\n", 0, "",
         "instance && " + kStartFirst + kThenStop},
    Case{"StatusOfANewInstance", kStatus, "state: stopped\n", 0, "", "instance"},
    exits("StatusAfterACrash", "crash", "exit: 139\nlast error: fake server crashed"),
    exits("StatusAfterAnExit", "exit 3", "exit: 3"),
    // The line arrives byte for byte, once; the fake server records what it reads.
    Case{"SendArrivesOnce", {"--send", "--cfg-dir=/srv/t/cfg", "--line=" + kHostile}, "", 0,
         "soon 'test -s cfg/console.log' && sleep 1 && [ \"$(cat cfg/console.log)\" = " +
             shellWord(kHostile) + " ]" + kThenStop, "instance && " + kStartFirst},
    // Only the host's confirmation counts: a login that runs no command sends nothing.
    Case{"SendUnconfirmedFails", {"--send", "--cfg-dir=/srv/t/cfg", "--line=x"},
         "Send failed: This account is currently not available.\n", 1, "", "", {"testhost",
         "fknologin", envOf("FK_USER_PASSWORD")}},
    Case{"SendToAStoppedServerMakesNoPipe", {"--send", "--cfg-dir=/srv/t/cfg", "--line=x"},
         "Server is not running\n", 1, "[ \"$(ls cfg)\" = settings ]", "instance"},
    // A stopped server whose console pipe is full; --stop still ends it, within bounded time.
    Case{"SendToAServerThatDoesNotRead", {"--send", "--cfg-dir=/srv/t/cfg", "--line=late"},
         "Server is not reading its console\n", 1, "fk --stop --cfg-dir=/srv/t/cfg "
         "&& ! alive cfg/old-server.pid && ! grep -q late cfg/console.log", "instance && " +
             kStartFirst + " && kill -STOP $(cat cfg/server.pid) && yes '' | head -c 65536 "
             ">cfg/server-stdin"},
    Case{"LogTailsAsItIs", {"--log", "--cfg-dir=/srv/t/cfg", "--lines=2"}, "two\nthree", 0, "",
         "instance && printf 'one\\ntwo\\nthree' >cfg/stderr.log"},
    Case{"LogOfFiftyLinesByDefault", {"--log", "--cfg-dir=/srv/t/cfg"}, "11\n...", 0,
         "seq 11 60 | cmp - /srv/out", "instance && seq 60 >cfg/stderr.log"},
    Case{"NoLogNoOutput", {"--log", "--cfg-dir=/srv/t/cfg"}, "", 0, "", "instance"},
    // The log past 10 MiB becomes the one old log; the server writes a new one.
    Case{"StartKeepsOneOldLog", startArgs(), "", 0, "[ $(stat -c %s cfg/stderr.log.1) = 10485761 ] "
         "&& test -e cfg/stderr.log && ! test -s cfg/stderr.log" + std::string(kThenStop),
         "instance && echo old >cfg/stderr.log.1 && head -c 10485761 /dev/zero >cfg/stderr.log"}),
    caseName);
// clang-format on

// The game's own answer to its query, and a wrapper that starts a crashed server again. KEEP
// starts the server with --restart-on-crash, soon answering; ASK runs a check with --status.
const std::string kKeep = "fk" + joined(startArgs({"--restart-on-crash"})) +
                          " && soon 'test -s "
                          "cfg/server.pid' && cp cfg/server.pid cfg/old-server.pid";
const std::string kMute = " && echo mute >cfg/server-stdin && soon 'test -e cfg/query.off'";
const std::string kAsk = " && fk --status --cfg-dir=/srv/t/cfg | sed 2d >status && printf '%s\\n' ";
const std::vector<std::string> kPlayers = {"--players", "--cfg-dir=/srv/t/cfg"};

// clang-format off
INSTANTIATE_TEST_SUITE_P(Game, Run, ::testing::Values(
    Case{"PlayersInIndexOrderStaleOnesDropped", kPlayers, "name\tteam\tscore\tkills\tdeaths\tping\n"
         "Ann\t1\t30\t12\t3\t45\nB\\x09o\\x1B[2Jb\t2\t10\t4\t7\t120\n", 0, "true" +
         std::string(kThenStop), "instance && " + kStartFirst},
    Case{"PlayersOfAStoppedServer", kPlayers, "Server is not running\n", 1, "", "instance"},
    // The game answers on 127.0.0.2 only; another account's answer on 127.0.0.1 is not its own.
    Case{"AnotherAccountsAnswerIsNone", kPlayers, "Server did not answer its query\n", 1,
         "pkill -f 'squa[t].py'" + std::string(kThenStop), "instance && fk" + joined(startArgs({"--ip=127.0.0.2"})) +
         " && soon 'test -s cfg/server.pid' && squat"},
    Case{"PlayersOfAMutedGame", kPlayers, "Server did not answer its query\n", 1, "true" +
         std::string(kThenStop), "instance && " + kStartFirst + kMute},
    // Within five seconds, the process alive.
    Case{"StatusOfAMutedGame", kStatus, "state: running\n...", 0, "tail -n 1 /srv/out | grep -qx "
         "'query: no answer' && [ $(($(date +%s) - $(cat t1))) -le 5 ]" + std::string(kThenStop),
         "instance && " + kStartFirst + kMute + " && date +%s >t1"},
    // A crash restarts the server; a second within a minute leaves it exited.
    Case{"RestartAfterACrashNotInALoop", kStatus, "state: running\n...", 0, "grep -qx 'restarts: 1'"
         " /srv/out && grep -qx 'map: Wake Island' /srv/out && echo crash >cfg/server-stdin && soon '!"
         " test -e cfg/start.pid'" + kAsk + "'state: exited' 'exit: 139' 'restarts: 1' 'last error: "
         "fake server crashed' | cmp - status", "instance && " + kKeep + " && echo crash "
         ">cfg/server-stdin && soon 'test -e cfg/server.restarts && ! cmp -s cfg/server.pid "
         "cfg/old-server.pid' && sleep 1"},
    Case{"NoRestartAfterQuit", kStatus, "state: exited\nended: ...", 0, "! grep -q restarts /srv/out "
         "&& grep -qx 'exit: 0' /srv/out", "instance && " + kKeep + " && echo quit >cfg/server-stdin "
         "&& soon '! test -e cfg/start.pid'"},
    // A server that does not quit is killed by --stop: no other is started, and no end is
    // recorded nor marker left.
    Case{"NoRestartAfterStop", {"--stop", "--cfg-dir=/srv/t/cfg"}, "", 0, "sleep 2 && ! pgrep -f "
         "'overlayPat[h] /srv/t/cfg' && ! test -e cfg/server.pid && ! test -e cfg/server.exit && ! "
         "test -e cfg/server.stopping", "instance && " + kKeep + " && kill "
         "-STOP $(cat cfg/server.pid)"},
    Case{"WaitsUntilTheGameAnswers", startArgs({"--wait-ready=10"}), "", 0, "started && fk --players "
         "--cfg-dir=/srv/t/cfg | grep -q ^Ann" + std::string(kThenStop), "instance"},
    Case{"GameThatNeverAnswersLeftRunning", startArgs({"--wait-ready=1"}), "Server did not answer "
         "its query within 1 s\n", 1, "started" + std::string(kThenStop), "instance && touch "
         "cfg/query.off"}), caseName);
// clang-format on

// fktenant shares the host with fkuser; root's panel works on directories a customer made. A
// refusal writes and signals nothing: planted.pid lives, outside stays.
const std::vector<std::string> kStop = {"--stop", "--cfg-dir=/srv/t/cfg"};
const std::string kPlanted = "echo keep >outside && plant root cfg/server.pid cfg/start.pid";
const std::string kKept = "grep -qx keep outside && alive planted.pid && kill $(cat planted.pid)";

// clang-format off
// --start with secrets by the login AS, watched by fktenant's spy: no secret shows in an argument
// list of the login or in a file that another account can read, and --stop then works.
Case secretsStay(const char* name, const Account& as, const std::string& check = "true") {
    return {name, startArgs({"--srv-passwd=Srv-S3cret", "--rcon-username=R-U53r",
            "--remote-admin-passwd=Adm-S3cret", "--rcon-password=Rcon-S3cret"}), "", 0, "spied && "
            "tenant 'for f in cfg/settings/*.con cfg/stderr.log; do ! cat $f || exit; done; ! test -r"
            " cfg/server-stdin' && " + check + " && [ -z \"$(AS=" + as.login + " fk --stop --cfg-dir="
            "/srv/t/cfg)\" ]", "instance " + as.login + " && install -o " + as.login + " -m 644 "
            "/dev/null cfg/stderr.log && spy " + as.login + " Srv-S3cret R-U53r Adm-S3cret Rcon-S3cret", as};
}
// clang-format on
const std::string kAsRoot = "AS=root PW=$FK_ROOT_PASSWORD fk ";

// clang-format off
INSTANTIATE_TEST_SUITE_P(Tenant, Run, ::testing::Values(
    secretsStay("SecretsStayWithTheOwner", user()),
    // mksh has no printf of its own: fkmksh's records its arguments.
    secretsStay("SecretsStayWithTheOwnerViaMksh", mkshUser(), "! grep -s S3cret ~fkmksh/printf.args"),
    // A start that fails after writing the settings leaves no value outside them.
    Case{"FailedStartLeavesNoValueBehind", startArgs({"--rcon-password=Rcon-S3cret"}),
         "Test on exec server failed\n", 1, "[ \"$(grep -rlF Rcon-S3cret /srv/t /home /run $(find /tmp "
         "/var/tmp -user fkuser))\" = /srv/t/cfg/settings/adminsettings.con ]", "instance && rm game/bf1942/start.sh"},
    // Root on a customer's directory acts as the customer: it cannot signal root's own process.
    Case{"RootActsAsTheOwner", kStop, "", 0, "[ \"$(stat -c %U cfg/stop.sh)\" = fkuser ] && " +
         kKept, "instance && " + kPlanted, root()},
    // Root starts, queries, talks to, reads and stops a customer's instance, which is all the
    // customer's: files, server and wrapper.
    Case{"RootManagesACustomersInstance", startArgs(), "", 0, "started && [ -z \"$(find cfg ! -user "
         "fkuser)\" ] && P=$(cat cfg/server.pid),$(cat cfg/start.pid) && [ \"$(ps -o user= -p $P)\" = "
         "fkuser$'\\n'fkuser ] && " + kAsRoot + "--status --cfg-dir=/srv/t/cfg | grep -qx 'state: "
         "running' && [ -z \"$(" + kAsRoot + "--send --cfg-dir=/srv/t/cfg --line=hello)\" ] && soon "
         "'grep -qx hello cfg/console.log' && echo oops >>cfg/stderr.log && [ \"$(" + kAsRoot +
         "--log --cfg-dir=/srv/t/cfg)\" = oops ] && [ -z \"$(" + kAsRoot + "--stop "
         "--cfg-dir=/srv/t/cfg)\" ] && grep -qx quit cfg/server.quit && ! ps -o stat= -p $P | grep -qv "
         "Z", "instance", root()},
    // Another account's link on the way leads nowhere, even for root.
    Case{"ForeignLinkOnTheWayRefused", {"--log", "--cfg-dir=/srv/t/l/cfg"}, "Configuration "
         "directory /srv/t/l/cfg holds a symbolic link: /srv/t/l/cfg\n", 1, "", "instance && echo "
         "secret >cfg/stderr.log && ln -s . l && chown -h fktenant l", root()},
    // The launcher runs with the owner's rights: another account must not own it.
    Case{"ForeignServerDirectoryRefused", startArgs(), "Server directory /srv/t/game/bf1942 is not "
         "safe: /srv/t/game is writable by other accounts\n", 1, "! test -e cfg/start.sh",
         "instance && chown -R fktenant game"},
    // Nothing in the install another account could change: a file of it, a link on the way.
    Case{"ForeignFileInTheServerDirectoryRefused", startArgs(), "Server directory /srv/t/game/"
         "bf1942 is not safe: /srv/t/game/bf1942/mods is writable by other accounts\n", 1, "",
         "instance && chown fktenant game/bf1942/mods"},
    Case{"ForeignLinkToTheServerDirectoryRefused", startArgs({"--srv-dir=/srv/t/l/bf1942"}),
         "Server directory /srv/t/l/bf1942 holds a symbolic link: /srv/t/l/bf1942\n", 1, "",
         "instance && ln -s game l && chown -h fktenant l"},
    Case{"PipeAsPidFileReadByNobody", {"--status", "--cfg-dir=/srv/t/cfg"}, "state: exited\n", 0,
         "", "instance && mkfifo cfg/server.pid"},
    Case{"PipeAsSettingsReadByNobody", {"--status", "--cfg-dir=/srv/t/cfg"}, "state: running\n...", 0,
         "[ -z \"$(fk --stop --cfg-dir=/srv/t/cfg)\" ] && stopped", "instance && " + kStartFirst +
         " && rm cfg/settings/serversettings.con && mkfifo cfg/settings/serversettings.con"},
    Case{"PlantedLinkRefused", kStop, "Configuration directory /srv/t/cfg holds a symbolic link: "
         "stop.sh\n", 1, kKept, "instance root && " + kPlanted + " && ln -s ../outside cfg/stop.sh",
         root()},
    Case{"LinkAsTheDirectoryRefused", {"--stop", "--cfg-dir=/srv/t/l/"}, "Configuration "
         "directory /srv/t/l/ holds a symbolic link: /srv/t/l/\n", 1, "! test -e cfg/stop.sh",
         "instance root && ln -s cfg l && chown -h fkuser l", root()},
    // A link root made in a directory only root can change is followed.
    Case{"RootsLinkFollowed", {"--status", "--cfg-dir=/run/fk-t/cfg"}, "state: stopped\n", 0, "",
         "instance && ln -sfn /srv/t /run/fk-t"},
    Case{"OwnersOtherProcessSurvivesStop", kStop, "", 0, kKept + " && ! test -e cfg/server.pid",
         "instance && echo keep >outside && plant fkuser cfg/server.pid cfg/start.pid"},
    Case{"WrapperKilledWithoutConsole", kStop, "", 0, "! alive cfg/old-start.pid && ! alive "
         "cfg/old-server.pid && ! test -e cfg/server.quit", "instance && " + kStartFirst +
         " && rm cfg/server-stdin cfg/server.pid"},
    Case{"SameDirectoryThroughProcRefused", startArgs({"--cfg-dir=/srv/t/game/bf1942", "--srv-dir="
         "/proc/self/root/srv/t/game/bf1942"}), "Server and configuration directories must differ\n",
         1, "cmp game/bf1942/start.sh launcher", "instance && cp game/bf1942/start.sh launcher"},
    // A value that holds a placeholder of the script stays a value.
    Case{"PlaceholderInAValueStaysData", startArgs({"--cfg-dir=/srv/t/c@SERVERDIR@",
         "--srv-dir=/srv/t/x;>/srv/t/pwned;"}), "Test on exec server failed\n", 1, "! test -e pwned",
         "instance && mv cfg c@SERVERDIR@"},
    Case{"DoubleQuoteRefused", startArgs({"--rcon-username=a\"b"}), "Option '--rcon-username' "
         "must not contain '\"'\n", 1, "! test -e cfg/stop.sh", "instance"}), caseName);

// Hostile values, each refused with its message although the login would work: nothing
// under the instance's directory (launcher, settings, install directory, upload target) changes.
using Refused = std::vector<std::pair<std::vector<std::string>, std::string>>;

// After SETUP in /srv/t, each row's run is refused with its message: nothing under /srv/t changes.
void expectRefusals(const std::string& setup, const Refused& rows) {
    freshDir();
    ASSERT_EQ(sh("cd /srv/t && instance && " + setup).status, 0) << setup;
    const std::string listing = "find /srv/t -printf '%p %y %s %m %u %T@\\n' | sort";
    const std::string before = sh(listing).out;
    for (const auto& [args, message] : rows) {
        const RunResult run = fieldkeep(user(), args);
        EXPECT_EQ(run.out, message + "\n") << setup << " " << args.back();
        EXPECT_EQ(run.status, 1);
    }
    EXPECT_EQ(sh(listing).out, before) << setup;
}

TEST(Refusals, ChangeNothingOnTheHost) {
    const std::string install = "--dir=/srv/t/install", to = "--to=/srv/t/target";
    const std::string url = "--url=" + envOf("FK_ARCHIVE_URL") + "/bf.tar.gz";
    const std::string blanks = "' must not contain blanks or the characters * ? [";
    const std::string dash = "' must not start with '-'", lines = "' must not contain line breaks";
    const std::string range = "' must be a number from 0 to 65535";
    const std::string unread = "Failed to read from the file ";
    const std::string absolute = "Directry/file must be set absolute pathname";
    expectRefusals("mkfifo fifo && mkdir install && echo keep >target && chown -R fkuser .", {
        {{"--install", "--url=-O/srv/t/game/bf1942/start.sh", install}, "Option '--url" + dash},
        {{"--install", "--url=http://h/a b.tgz", install}, "Option '--url" + blanks},
        {{"--install", url, install + "/*"}, "Option '--dir" + blanks},
        {{"--install", install}, "Requires long option '--url'"},
        {{"--install", url, "--dir=srv/x"}, absolute},
        {{"--check-install", "--dir=relative/dir"}, absolute},
        {{"--exec"}, "Requires long option '--cmd'"},
        {{"--exec", "--cmd="}, "Incorrect long option '--cmd'"},
        {{"--exec", "--cmd=touch /srv/t/x", "--input="}, "Unknown option '--input'"},
        {{"--check-host", "--cmd=x"}, "Unknown option '--cmd'"},
        {{"--check-on-root", "-v"}, "Unknown option '-v'"},
        {{"--create-user", "--name=x"}, "Unknown option '--name'"},
        {startArgs({"--cfg-dir=/.//srv/t/cfg/..//game/bf1942/"}),
         "Server and configuration directories must differ"},
        {startArgs({"--srv-dir=/srv/*"}), "Option '--srv-dir" + blanks},
        {startArgs({"--srv-dir=game"}), absolute},
        {startArgs({"--cfg-dir=./cfg"}), absolute},
        {startArgs({"--cfg-dir=/srv/c*"}), "Option '--cfg-dir" + blanks},
        {startArgs({"--rcon-password=cr\r"}), "Option '--rcon-password" + lines},
        {startArgs({"--rcon-port=000080"}), "Option '--rcon-port" + range},
        {startArgs({"--name=two\nlines"}), "Option '--name" + lines},
        {startArgs({"--spy-port=system(\"touch /srv/t/x\")"}), "Option '--spy-port" + range},
        {startArgs({"--port=65536"}), "Option '--port" + range},
        {startArgs({"--wait-ready=0"}), "Option '--wait-ready' must be a number from 1 to 600"},
        {{"--stop", "--cfg-dir=cfg"}, absolute},
        {{"--log", "--cfg-dir=/srv/t/game/../cfg"}, "Option '--cfg-dir' must not contain '..'"},
        {{"--status", "--cfg-dir=/srv/t/no"}, "Configuration directory /srv/t/no does not exist"},
        {{"--send", "--cfg-dir=/srv/t/cfg", "--line=a\nquit"}, "Option '--line" + lines},
        {{"--log", "--cfg-dir=/srv/t/cfg", "--lines=10001"},
         "Option '--lines' must be a number from 1 to 10000"},
        {{"--copy-file", "--from=/srv/t/fifo", to}, unread + "/srv/t/fifo"},
        {{"--copy-file", "--from=/srv/t", to}, unread + "/srv/t"},
        {{"--copy-file", "--from=/srv/t/missing", to}, "Unable to define file size"},
        {{"--copy-file", "--from=/srv/t/target", "--to=-f"}, "Option '--to" + dash},
        {{"--copy-file", "--from=/srv/t/target", to + "\nC0640 1 x"}, "Option '--to" + lines},
        {{"--copy-file", to}, "Requires long option '--from'"},
        {{"--copy-file", "--from=/x", to, "--mode=1"}, "Unknown option '--mode'"}});
}

// Each instance command refuses a configuration directory that another account could change
// under it. Every other row runs in a sticky /srv/t, which is accepted.
TEST(Refusals, DirectoriesOthersCouldChange) {
    const std::string cfg = "--cfg-dir=/srv/t/cfg", others = " is writable by other accounts";
    const std::vector<std::vector<std::string>> commands = {
        startArgs(), {"--stop", cfg}, {"--status", cfg}, {"--send", cfg, "--line=x"}, {"--log", cfg}};
    for (const auto& [setup, refusal] : std::vector<std::pair<std::string, std::string>>{
             {"chmod 757 cfg", "is not safe: /srv/t/cfg" + others},
             {"chmod 1777 cfg", "is not safe: /srv/t/cfg" + others},
             {"chmod 775 cfg/settings", "is not safe: /srv/t/cfg/settings" + others},
             {"chmod 777 /srv/t", "is not safe: /srv/t" + others},
             {"chown fktenant /srv/t", "is not safe: /srv/t" + others},
             {"ln -s /etc/shadow cfg/stderr.log.1", "holds a symbolic link: stderr.log.1"},
             {"mv cfg/settings s && ln -s ../s cfg/settings", "holds a symbolic link: settings"}}) {
        Refused rows;
        for (const auto& args : commands)
            rows.push_back({args, "Configuration directory /srv/t/cfg " + refusal});
        expectRefusals(setup, rows);
    }
}
// clang-format on

// clang-format off
// The Quake III stand-in (lib.sh's q3instance) through games/quake3.toml, found in /etc/fieldkeep/games.
std::vector<std::string> q3(std::vector<std::string> args) {
    args.insert(args.begin() + 1, {"--game=quake3", "--cfg-dir=/srv/t/cfg"});
    return args;
}
const std::vector<std::string> kQ3Start = q3({"--start", "--srv-dir=/srv/t/q3game/ioq3",
    "--name=Q3 host", "--max-players=12", "--port=27961", "--map=q3dm17", "--srv-passwd=pw",
    "--rcon-password=rc", "--wait-ready=10"});
// A start with one option given anew.
std::vector<std::string> q3Start(const std::string& option) {
    std::vector<std::string> args = kQ3Start;
    const std::string name = option.substr(0, option.find('=') + 1);
    for (std::string& arg : args) {
        arg = arg.compare(0, name.size(), name) == 0 ? option : arg;
    }
    return args;
}
std::string q3fk(const std::vector<std::string>& args) { return "\"$(fk" + joined(q3(args)) + ")\""; }

INSTANTIATE_TEST_SUITE_P(Quake3, Run, ::testing::Values(
    // Settings in place or appended as seta, the port and map on the command line, the game's
    // own query for --status and --players, the console for --send and --stop.
    Case{"RunsEndToEnd", kQ3Start, "", 0, "printf '%s\\n' 'seta sv_hostname \"Q3 host\"' 'seta g_motd "
         "\"keep me\"' 'set sv_maxclients \"12\"' '' 'seta g_password \"pw\"' '' 'seta rconpassword "
         "\"rc\"' | cmp - cfg/baseq3/server.cfg && [ \"$(tr '\\n' ' ' <cfg/server.args)\" = '+set "
         "dedicated 1 +set fs_homepath /srv/t/cfg +set net_port 27961 +exec server.cfg +map q3dm17 ' ] "
         "&& [[ " + q3fk({"--status"}) + " == *$'\\nquery: answered in '*$' ms\\nname: Q3 host\\n"
         "map: q3dm17\\nplayers: 2/12' ]] && [ " + q3fk({"--players"}) + " = $'name\\tteam\\tscore\\tkills\\t"
         "deaths\\tping\\n^1Ann\\t\\t5\\t\\t\\t48\\nB\\\\x09o\\\\x1B[2Jb\\t\\t-1\\t\\t\\t103' ] && [ -z " +
         q3fk({"--send", "--line=say hi"}) + " ] && soon 'grep -qx \"say hi\" cfg/console.log' && echo "
         "oops >>cfg/stderr.log && [ " + q3fk({"--log"}) + " = oops ] && [ -z " + q3fk({"--stop"}) +
         " ] && grep -qx quit cfg/server.quit && ! test -e cfg/server.pid", "q3instance"},
    // A value on the server's command line is one plain word: ioq3ded splits its arguments at '+'
    // and ends them at '//'; a setting past 255 bytes would run its rest as a command.
    Case{"CommandLineValueRefused", q3Start("--map=q3dm17+set"), "Option '--map' must be letters, "
         "digits, '_', '-', '.' and single '/' only\n", 1, "grep -qx 'seta sv_hostname \"old name\"' "
         "cfg/baseq3/server.cfg && ! test -e cfg/stop.sh", "q3instance"},
    Case{"DoubleSlashInTheDirectoryRefused", q3Start("--cfg-dir=/srv/t//cfg"), "Option '--cfg-dir' "
         "must be letters, digits, '_', '-', '.' and single '/' only\n", 1},
    Case{"LongSettingRefused", q3Start("--name=" + std::string(250, 'a') + "rconpassword evil"),
         "Option '--name' must be at most 255 bytes\n", 1},
    // Installed from its archive, its launcher made executable, and found by --check-install.
    Case{"Installs", {"--install", "--game=quake3", "--url=" + envOf("FK_ARCHIVE_URL") + "/q3.tar.gz",
         "--dir=/srv/t/i"}, "temp dir: '/srv/t/i/.ioq3_install_...", 0, "soon 'test -e i/ioq3/ioq3ded' "
         "&& [ \"$(stat -c %a i/ioq3/ioq3ded)\" = 750 ] && [ \"$(fk --check-install --game=quake3 "
         "--dir=/srv/t/i/ioq3)\" = ok ] && [ \"$(fk --check-install --dir=/srv/t/i/ioq3)\" = failed ]",
         "mkdir i && chmod 777 i"},
    Case{"UnknownGame", {"--status", "--game=quake4", "--cfg-dir=/srv/t/cfg"},
         "Unknown game 'quake4'\n", 1},
    Case{"BrokenDefinitionBeforeConnecting", {"--stop", "--game=bad", "--cfg-dir=/srv/t/cfg"},
         "Game definition /srv/t/bad.toml:1:8: Error while parsing value: could not determine value "
         "type\n", 1, "! test -e cfg", "printf 'name = =\\n' >bad.toml", user(),
         {{"FIELDKEEP_GAMES", "/srv/t"}, {"BF1942_PASSWD", "wrong"}}}), caseName);
// clang-format on

}  // namespace
}  // namespace fieldkeep::e2e

// The game server lifecycle on the sandbox host: --start writes the settings
// and launches the (fake) server behind its wrapper, --stop ends it.
#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

const char kServerSettings[] =  // no line feed at the end
    "game.serverName \"old name\"\n  game.serverMaxPlayers 8 // players\nGAME.SERVERPORT 1\n"
    "game.serverIP\n\tgame.serverPassword \"old\"\ngame.serverNumberOfRounds 1";
const char kAdminSettings[] = "admin.enableRemoteAdmin \"old\"\nadmin.enableRemoteConsole \"a\" \"b\" 1\n";

// A server directory with the fake game unpacked, and a configuration directory
// with settings files, both owned by the login that runs the commands.
struct Instance {
    std::string srvDir;
    std::string cfgDir;

    std::string file(const std::string& name) const { return readFile(cfgDir + "/" + name); }
    std::string pid(const std::string& name) const { return readWhenWritten(cfgDir + "/" + name); }
    std::string serverSettings() const { return file("settings/serversettings.con"); }
    std::string adminSettings() const { return file("settings/adminsettings.con"); }
};

Instance makeInstance(const std::string& name, const std::string& owner = "fkuser") {
    const std::string base = freshDir(name);
    Instance instance{base + "/game/bf1942", base + "/cfg"};
    sh("mkdir -p " + base + "/game " + instance.cfgDir + "/settings && tar -xzf " +
       gameArchive("bf.tar.gz") + " -C " + base + "/game && chmod 750 " + instance.srvDir +
       "/*.sh");
    writeFile(instance.cfgDir + "/settings/serversettings.con", kServerSettings);
    writeFile(instance.cfgDir + "/settings/adminsettings.con", kAdminSettings);
    sh("chown -R " + owner + " " + base);
    return instance;
}

std::vector<std::string> startOptions(const Instance& instance,
                                      const std::vector<std::string>& extra = {}) {
    std::vector<std::string> args{
        "--start", "--srv-dir=" + instance.srvDir, "--cfg-dir=" + instance.cfgDir,
        "--name=My server", "--max-players=16", "--srv-bandwidth=256000", "--cl-bandwidth=3",
        "--ip=127.0.0.1", "--port=14567", "--spy-lan-port=22000", "--spy-port=23000",
        "--game-time=20", "--score-lim=100", "--round-num=3", "--srv-passwd",
        "--remote-admin-passwd=adm pass", "--rcon-username=op", "--rcon-password=secret",
        "--rcon-port=4711"};
    for (const std::string& e : extra) {  // replaces the option of that name, or is added
        const std::string name = e.substr(0, e.find('='));
        auto same = [&](const std::string& a) { return a.substr(0, a.find('=')) == name; };
        auto at = std::find_if(args.begin(), args.end(), same);
        at == args.end() ? args.push_back(e) : void(*at = e);
    }
    return args;
}

RunResult start(const Instance& instance, const std::vector<std::string>& extra = {},
                const Account& account = testUser()) {
    return fieldkeep(account, startOptions(instance, extra));
}

RunResult stop(const Instance& instance) {
    return fieldkeep(testUser(), {"--stop", "--cfg-dir=" + instance.cfgDir});
}

// The settings file after the start: the keys present are set in place, the others added.
const char kExpectedServerSettings[] =
    "game.serverName \"My server\"\n  game.serverMaxPlayers 16\nGAME.SERVERPORT 1\n"
    "game.serverIP\n\tgame.serverPassword \"\"\ngame.serverNumberOfRounds 3\n"
    "game.serverInternet 0\n\ngame.serverBandwidthChokeLimit 256000\n\n"
    "game.serverMaxAllowedConnectionType 3\n\ngame.serverIP 127.0.0.1\n\n"
    "game.serverPort 14567\n\ngame.gameSpyLANPort 22000\n\ngame.gameSpyPort 23000\n\n"
    "game.serverGameTime 20\n\ngame.serverScoreLimit 100\n\ngame.serverPunkBuster 0\n";

TEST(StartStop, FullLifecycle) {
    const Instance instance = makeInstance("lifecycle");
    const RunResult first = start(instance);
    ASSERT_EQ(first.out, "");
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.err, "");

    EXPECT_EQ(instance.serverSettings(), kExpectedServerSettings);
    EXPECT_EQ(instance.adminSettings(),
              "admin.enableRemoteAdmin \"adm pass\"\n"
              "admin.enableRemoteConsole \"op\" \"secret\" 4711\n");
    EXPECT_EQ(fileMode(instance.cfgDir + "/start.sh"), "750");
    EXPECT_EQ(fileMode(instance.cfgDir + "/stop.sh"), "750");
    EXPECT_EQ(sh("test -p " + instance.cfgDir + "/server-stdin").status, 0);
    const std::string wrapperPid = instance.pid("start.pid");
    const std::string serverPid = instance.pid("server.pid");
    EXPECT_TRUE(processRunning(wrapperPid));
    EXPECT_TRUE(processRunning(serverPid));
    EXPECT_EQ(readWhenWritten(instance.cfgDir + "/server.args"),
              "+statusMonitor\n1\n+overlayPath\n" + instance.cfgDir + "\n");

    // A second start stops the running server first, then starts a new one.
    const RunResult second = start(instance);
    ASSERT_EQ(second.out, "");
    EXPECT_EQ(instance.file("server.quit"), "quit\n");
    EXPECT_FALSE(processRunning(serverPid));
    EXPECT_FALSE(processRunning(wrapperPid));
    const std::string newServerPid = instance.pid("server.pid");
    EXPECT_TRUE(processRunning(newServerPid));
    EXPECT_EQ(instance.serverSettings(), kExpectedServerSettings);

    sh("rm -f " + instance.cfgDir + "/server.quit");
    const std::string newWrapperPid = instance.pid("start.pid");
    const RunResult stopped = stop(instance);
    EXPECT_EQ(stopped.out, "");
    EXPECT_EQ(stopped.status, 0);
    EXPECT_EQ(instance.file("server.quit"), "quit\n");
    for (const char* f : {"start.pid", "server.pid", "server-stdin"}) {
        EXPECT_FALSE(exists(instance.cfgDir + "/" + f)) << f;
    }
    EXPECT_FALSE(processRunning(newServerPid));
    EXPECT_FALSE(processRunning(newWrapperPid));

    // Stopping a stopped instance is no error.
    EXPECT_EQ(stop(instance).out, "");
    EXPECT_EQ(stop(instance).status, 0);
}

// Hostile values reach the settings intact through either login shell.
TEST(StartStop, BashAndShLoginsWriteTheSameValuesIntact) {
    const Instance viaSh = makeInstance("login-sh");
    const Instance viaBash = makeInstance("login-bash", "fkbash");
    const std::string name = "a/b&c\\d'e\"f $HOME `id` \\1";
    const std::vector<std::string> values{"--name=" + name, "--rcon-password=p&w/d"};
    ASSERT_EQ(start(viaSh, values).out, "");
    ASSERT_EQ(start(viaBash, values, testBashUser()).out, "");
    std::string expected = kExpectedServerSettings;
    expected.replace(17, 9, name);
    EXPECT_EQ(viaSh.serverSettings(), expected);
    EXPECT_EQ(viaBash.serverSettings(), expected);
    EXPECT_EQ(viaSh.adminSettings(), "admin.enableRemoteAdmin \"adm pass\"\n"
                                     "admin.enableRemoteConsole \"op\" \"p&w/d\" 4711\n");
    EXPECT_EQ(viaBash.adminSettings(), viaSh.adminSettings());
    EXPECT_EQ(stop(viaSh).out, "");
    EXPECT_EQ(fieldkeep(testBashUser(), {"--stop", "--cfg-dir=" + viaBash.cfgDir}).out, "");
}

struct PortCase {
    const char* name;
    const char* family;
    const char* kind;
    const char* address;
    const char* option;
};

class TakenPort : public ::testing::TestWithParam<PortCase> {};

// A helper process holds port 24555 (the row's family, kind and address) while --start runs.
TEST_P(TakenPort, IsReportedBeforeLaunching) {
    const PortCase& c = GetParam();
    const Instance instance = makeInstance(std::string("port-") + c.name);
    const std::string held = instance.cfgDir + "/../held";
    const std::string pid =
        sh(std::string("python3 -c \"import socket, time; s = socket.socket(socket.AF_INET") +
           c.family + ", socket.SOCK_" + c.kind + "); s.bind(('" + c.address + "', 24555)); " +
           (std::string(c.kind) == "STREAM" ? "s.listen(); " : "") + "open('" + held +
           "', 'w'); time.sleep(60)\" >/dev/null 2>&1 & echo $!").out;
    const bool holding = eventually([&] { return exists(held); });
    const RunResult run = holding ? start(instance, {std::string(c.option) + "=24555"}) : RunResult{};
    sh("kill " + pid);
    ASSERT_TRUE(holding);
    EXPECT_EQ(run.out, "Port 24555 using already other proces\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(exists(instance.cfgDir + "/start.sh"));
    EXPECT_FALSE(exists(instance.cfgDir + "/start.pid"));
    // The channel opened ahead for the next step ends with the connection.
    EXPECT_EQ(sh("for i in $(seq 30); do pgrep -f 'sshd: [f]kuser' >/dev/null || exit 0; "
                 "sleep 0.1; done; exit 1").status, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Sockets, TakenPort,
    ::testing::Values(PortCase{"UdpWildcard", "", "DGRAM", "0.0.0.0", "--port"},
                      PortCase{"TcpLoopback", "", "STREAM", "127.0.0.1", "--spy-lan-port"},
                      PortCase{"Ipv6Wildcard", "6", "STREAM", "::", "--spy-port"},
                      PortCase{"Ipv6Udp", "6", "DGRAM", "::", "--rcon-port"}),
    [](const auto& info) { return std::string(info.param.name); });

// A start that fails on the host says at which step; the wrapper never runs.
struct FailureCase {
    const char* name;
    const char* setup;  // run in the instance's base directory
    std::string out;    // the start of the output
    const char* log;    // stderr.log afterwards
};

class StartFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(StartFailure, IsReportedAndLeavesNoWrapperRunning) {
    const Instance instance = makeInstance(std::string("fail-") + GetParam().name);
    sh(std::string("cd /srv/fail-") + GetParam().name + " && " + GetParam().setup);
    const RunResult run = start(instance);
    EXPECT_EQ(run.out.substr(0, GetParam().out.size()), GetParam().out) << run.out;
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(exists(instance.cfgDir + "/start.pid"));
    EXPECT_FALSE(exists(instance.cfgDir + "/server-stdin"));
    EXPECT_EQ(instance.file("stderr.log"), GetParam().log);
    // --stop uploads its script the same way: it fails where the start's copy failed.
    const std::string stopped = stop(instance).out;
    EXPECT_EQ(stopped.rfind("Copy stop script failed: ", 0) == 0,
              GetParam().out == "Copy stop script failed: ") << stopped;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StartFailure,
    ::testing::Values(
        FailureCase{"MissingLauncher", "rm game/bf1942/start.sh",
                    "Test on exec server failed\n", ""},
        // On the launch's terminal the reason ("Process dead") is no error output.
        FailureCase{"LauncherExitsAtOnce",
                    "printf '#!/bin/sh\\necho no game here >\\46\\62\\nexit 1\\n' >game/bf1942/start.sh",
                    "Start server failed: \n", "no game here\n"},
        // Writable by the login but owned by root: the upload works, chmod does not.
        FailureCase{"WrapperCannotBeMadeRunnable",
                    ": >cfg/start.sh && chown root cfg/start.sh && chmod 666 cfg/start.sh",
                    "Start server failed: \n", ""},
        FailureCase{"UnwritableConfigurationDirectory", "chown root cfg && chmod 755 cfg",
                    "Copy stop script failed: ", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Hostile values, each refused with its message although the login would work:
// nothing under the instance's directory (the launcher, the settings, an
// install directory, an upload target) changes, and every run ends at once.
TEST(Refusals, ChangeNothingOnTheHost) {
    const Instance instance = makeInstance("refused");
    const std::string base = "/srv/refused";
    sh("mkfifo " + base + "/fifo && mkdir " + base + "/install && echo keep >" + base +
       "/target && chown -R fkuser " + base);
    const std::string install = "--dir=" + base + "/install";
    const std::string url = "--url=" + std::string(std::getenv("FK_ARCHIVE_URL")) + "/bf.tar.gz";
    const std::string to = "--to=" + base + "/target";
    const std::string blanks = "' must not contain blanks or the characters * ? [";
    const std::string dash = "' must not start with '-'";
    const std::string lines = "' must not contain line breaks";
    const std::string differ = "Server and configuration directories must differ";
    const std::string range = "' must be a decimal number from 0 to 65535";
    const std::string unread = "Failed to read from the file ";
    const std::vector<std::pair<std::vector<std::string>, std::string>> rows = {
        {{"--install", "--url=-O" + base + "/launcher", install}, "Option '--url" + dash},
        {{"--install", "--url=http://h/a b.tgz", install}, "Option '--url" + blanks},
        {{"--install", url, install + "/*"}, "Option '--dir" + blanks},
        {{"--install", install}, "Requires long option '--url'"},
        {{"--install", url, "--dir=srv/x"}, "Directry/file must be set absolute pathname"},
        {{"--check-install", "--dir=relative/dir"}, "Directry/file must be set absolute pathname"},
        {{"--exec"}, "Requires long option '--cmd'"},
        {{"--exec", "--cmd="}, "Incorrect long option '--cmd'"},
        {{"--exec", "--cmd=touch " + base + "/x", "--input="}, "Unknown option '--input'"},
        {{"--check-host", "--cmd=x"}, "Unknown option '--cmd'"},
        {{"--check-on-root", "-v"}, "Unknown option '-v'"},
        {{"--create-user", "--name=x"}, "Unknown option '--name'"},
        {startOptions(instance, {"--cfg-dir=" + instance.srvDir + "/."}), differ},
        {startOptions(instance, {"--cfg-dir=/./" + base + "/cfg/..//game/bf1942/"}), differ},
        {startOptions(instance, {"--srv-dir=/srv/*"}), "Option '--srv-dir" + blanks},
        {startOptions(instance, {"--srv-dir=game"}), "Directry/file must be set absolute pathname"},
        {startOptions(instance, {"--cfg-dir=./cfg"}), "Directry/file must be set absolute pathname"},
        {startOptions(instance, {"--cfg-dir=/srv/c*"}), "Option '--cfg-dir" + blanks},
        {startOptions(instance, {"--rcon-password=cr\r"}), "Option '--rcon-password" + lines},
        {startOptions(instance, {"--rcon-port=000080"}), "Option '--rcon-port" + range},
        {startOptions(instance, {"--name=two\nlines"}), "Option '--name" + lines},
        {startOptions(instance, {"--spy-port=system(\"touch /srv/pwned\")"}),
         "Option '--spy-port' must be a decimal number"},
        {startOptions(instance, {"--port=65536"}), "Option '--port" + range},
        {startOptions(instance, {"--rcon-port=100000"}), "Option '--rcon-port" + range},
        {{"--stop", "--cfg-dir=cfg"}, "Directry/file must be set absolute pathname"},
        {{"--copy-file", "--from=" + base + "/fifo", to}, unread + base + "/fifo"},
        {{"--copy-file", "--from=/dev/zero", to}, unread + "/dev/zero"},
        {{"--copy-file", "--from=" + base, to}, unread + base},
        {{"--copy-file", "--from=" + base + "/missing", to}, "Unable to define file size"},
        {{"--copy-file", "--from=" + base + "/target", "--to=-f"}, "Option '--to" + dash},
        {{"--copy-file", "--from=" + base + "/target", to + "\nC0640 1 x"}, "Option '--to" + lines},
        {{"--copy-file", to}, "Requires long option '--from'"},
        {{"--copy-file", "--from=/x", to, "--mode=1"}, "Unknown option '--mode'"}};
    const std::string listing = "find " + base + " -printf '%p %y %s %T@\\n' | sort";
    const std::string before = sh(listing).out;
    for (const auto& [args, message] : rows) {
        const RunResult run = fieldkeep(testUser(), args);
        EXPECT_EQ(run.out, message + "\n") << args.back();
        EXPECT_EQ(run.status, 1);
    }
    EXPECT_EQ(sh(listing).out, before);
}

}  // namespace
}  // namespace fieldkeep::e2e

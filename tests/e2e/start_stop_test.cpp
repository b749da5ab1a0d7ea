// The game server lifecycle on the sandbox host: --start writes the settings
// and launches the (fake) server behind its wrapper, --stop ends it.
#include <gtest/gtest.h>

#include <cstdlib>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

const char kServerSettings[] =
    "game.serverName \"old name\"\n"
    "  game.serverMaxPlayers 8 // players\n"
    "GAME.SERVERPORT 1\n"
    "game.serverIP\n"
    "\tgame.serverPassword \"old\"\n"
    "game.serverNumberOfRounds 1";  // no line feed at the end

const char kAdminSettings[] =
    "admin.enableRemoteAdmin \"old\"\n"
    "admin.enableRemoteConsole \"a\" \"b\" 1\n";

// A server directory with the fake game unpacked, and a configuration directory
// with settings files, both owned by the login that runs the commands.
struct Instance {
    std::string srvDir;
    std::string cfgDir;

    std::string file(const std::string& name) const { return readFile(cfgDir + "/" + name); }
    // A pid file, once the wrapper has written it.
    std::string pid(const std::string& name) const {
        return readWhenWritten(cfgDir + "/" + name, 10);
    }
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
    std::vector<std::string> args{"--start",
                                  "--srv-dir=" + instance.srvDir,
                                  "--cfg-dir=" + instance.cfgDir,
                                  "--name=My server",
                                  "--max-players=16",
                                  "--srv-bandwidth=256000",
                                  "--cl-bandwidth=3",
                                  "--ip=127.0.0.1",
                                  "--port=14567",
                                  "--spy-lan-port=22000",
                                  "--spy-port=23000",
                                  "--game-time=20",
                                  "--score-lim=100",
                                  "--round-num=3",
                                  "--srv-passwd",
                                  "--remote-admin-passwd=adm pass",
                                  "--rcon-username=op",
                                  "--rcon-password=secret",
                                  "--rcon-port=4711"};
    for (const std::string& e : extra) {
        const std::string name = e.substr(0, e.find('='));
        bool replaced = false;
        for (std::string& a : args) {
            if (a.substr(0, a.find('=')) == name) {
                a = e;
                replaced = true;
            }
        }
        if (!replaced) {
            args.push_back(e);
        }
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

void expectStopped(const Instance& instance, const std::string& oldServerPid,
                   const std::string& oldWrapperPid) {
    for (const char* f : {"start.pid", "server.pid", "server-stdin"}) {
        EXPECT_FALSE(exists(instance.cfgDir + "/" + f)) << f;
    }
    EXPECT_FALSE(processRunning(oldServerPid));
    EXPECT_FALSE(processRunning(oldWrapperPid));
}

const char kExpectedServerSettings[] =
    "game.serverName \"My server\"\n"
    "  game.serverMaxPlayers 16\n"
    "GAME.SERVERPORT 1\n"
    "game.serverIP\n"
    "\tgame.serverPassword \"\"\n"
    "game.serverNumberOfRounds 3\n"
    "game.serverInternet 0\n"
    "\n"
    "game.serverBandwidthChokeLimit 256000\n"
    "\n"
    "game.serverMaxAllowedConnectionType 3\n"
    "\n"
    "game.serverIP 127.0.0.1\n"
    "\n"
    "game.serverPort 14567\n"
    "\n"
    "game.gameSpyLANPort 22000\n"
    "\n"
    "game.gameSpyPort 23000\n"
    "\n"
    "game.serverGameTime 20\n"
    "\n"
    "game.serverScoreLimit 100\n"
    "\n"
    "game.serverPunkBuster 0\n";

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
    EXPECT_EQ(readWhenWritten(instance.cfgDir + "/server.args", 10),
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
    expectStopped(instance, newServerPid, newWrapperPid);

    // Stopping a stopped instance is no error.
    EXPECT_EQ(stop(instance).out, "");
    EXPECT_EQ(stop(instance).status, 0);
}

TEST(StartStop, FlagsAndBlankedAdminSettings) {
    const Instance instance = makeInstance("flags");
    const RunResult run = start(instance, {"--server-internet", "--punk-buster", "--no-remote-admin",
                                           "--no-rcon", "--srv-passwd=pw"},
                                testUser());
    // The removed options stay given: drop them from the argument list instead.
    EXPECT_EQ(run.out, "Unknown option '--rcon-password'\n");
    std::vector<std::string> args;
    for (const std::string& a : startOptions(instance, {"--server-internet", "--punk-buster",
                                                        "--no-remote-admin", "--no-rcon",
                                                        "--srv-passwd=pw", "--port=0"})) {
        if (a.rfind("--rcon-", 0) != 0 && a.rfind("--remote-admin-passwd", 0) != 0) {
            args.push_back(a);
        }
    }
    ASSERT_EQ(fieldkeep(testUser(), args).out, "");
    const std::string settings = instance.serverSettings();
    EXPECT_NE(settings.find("\ngame.serverInternet 1\n"), std::string::npos);
    EXPECT_NE(settings.find("\ngame.serverPunkBuster 1\n"), std::string::npos);
    EXPECT_NE(settings.find("\tgame.serverPassword \"pw\"\n"), std::string::npos);
    EXPECT_NE(settings.find("\ngame.serverPort 0\n"), std::string::npos);
    EXPECT_EQ(instance.adminSettings(), "\n\n");
    EXPECT_EQ(stop(instance).out, "");
}

TEST(StartStop, ValuesReachTheFileIntact) {
    const Instance instance = makeInstance("values");
    const std::string name = "a/b&c\\d'e\"f $HOME `id` \\1";
    ASSERT_EQ(start(instance, {"--name=" + name, "--rcon-password=p&w/d"}).out, "");
    EXPECT_EQ(instance.serverSettings().substr(0, 18 + name.size()),
              "game.serverName \"" + name + "\"");
    EXPECT_NE(instance.adminSettings().find("admin.enableRemoteConsole \"op\" \"p&w/d\" 4711\n"),
              std::string::npos);
    EXPECT_EQ(stop(instance).out, "");
}

TEST(StartStop, BashAndShLoginsWriteTheSameFile) {
    const Instance viaSh = makeInstance("login-sh");
    const Instance viaBash = makeInstance("login-bash", "fkbash");
    ASSERT_EQ(start(viaSh).out, "");
    ASSERT_EQ(start(viaBash, {}, testBashUser()).out, "");
    EXPECT_EQ(viaBash.serverSettings(), viaSh.serverSettings());
    EXPECT_EQ(viaBash.serverSettings(), kExpectedServerSettings);
    EXPECT_EQ(viaBash.adminSettings(), viaSh.adminSettings());
    EXPECT_EQ(stop(viaSh).out, "");
    EXPECT_EQ(fieldkeep(testBashUser(), {"--stop", "--cfg-dir=" + viaBash.cfgDir}).out, "");
}

// Holds a port with a small helper process until the returned guard is killed.
class PortHolder {
public:
    PortHolder(const std::string& family, const std::string& kind, const std::string& address,
               int port) {
        const std::string ready = "/srv/port-holder.ready";
        sh("rm -f " + ready);
        const std::string script =
            "import socket, time\n"
            "s = socket.socket(socket.AF_INET" + family + ", socket.SOCK_" + kind + ")\n"
            "s.bind(('" + address + "', " + std::to_string(port) + "))\n" +
            (kind == "STREAM" ? "s.listen()\n" : "") +
            "open('" + ready + "', 'w').close()\n"
            "time.sleep(60)\n";
        writeFile("/srv/port-holder.py", script);
        pid_ = sh("(/usr/bin/python3 /srv/port-holder.py >/dev/null 2>&1 & echo $!)").out;
        ready_ = waitForFile("/srv", {"port-holder.ready"}, 10) != "";
    }
    ~PortHolder() { sh("kill " + pid_); }
    bool ready() const { return ready_; }

private:
    std::string pid_;
    bool ready_ = false;
};

struct PortCase {
    const char* name;
    const char* family;
    const char* kind;
    const char* address;
    const char* option;
};

class TakenPort : public ::testing::TestWithParam<PortCase> {};

TEST_P(TakenPort, IsReportedBeforeLaunching) {
    const Instance instance = makeInstance(std::string("port-") + GetParam().name);
    PortHolder holder(GetParam().family, GetParam().kind, GetParam().address, 24555);
    ASSERT_TRUE(holder.ready());
    const RunResult run = start(instance, {std::string(GetParam().option) + "=24555"});
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

TEST(StartFailures, AMissingLauncher) {
    const Instance instance = makeInstance("no-launcher");
    sh("rm " + instance.srvDir + "/start.sh");
    const RunResult run = start(instance);
    EXPECT_EQ(run.out, "Test on exec server failed\n");
    EXPECT_EQ(run.status, 1);
    // The settings were written before the test.
    EXPECT_EQ(instance.serverSettings(), kExpectedServerSettings);
}

TEST(StartFailures, ALauncherThatExitsAtOnce) {
    const Instance instance = makeInstance("dying");
    writeFile(instance.srvDir + "/start.sh", "#!/bin/sh\necho 'no game here' >&2\nexit 1\n");
    for (int attempt = 0; attempt < 3; ++attempt) {
        const RunResult run = start(instance);
        // On the launch's terminal the reason ("Process dead") is no error output.
        EXPECT_EQ(run.out, "Start server failed: \n");
        EXPECT_EQ(run.status, 1);
    }
    EXPECT_FALSE(exists(instance.cfgDir + "/start.pid"));
    EXPECT_FALSE(exists(instance.cfgDir + "/server-stdin"));
    EXPECT_EQ(instance.file("stderr.log"), "no game here\nno game here\nno game here\n");
}

TEST(StartFailures, AWrapperThatCannotBeStarted) {
    const Instance instance = makeInstance("no-chmod");
    // Writable by the login but owned by root: the upload works, chmod does not.
    writeFile(instance.cfgDir + "/start.sh", "");
    sh("chown root " + instance.cfgDir + "/start.sh && chmod 666 " + instance.cfgDir + "/start.sh");
    const RunResult run = start(instance);
    EXPECT_EQ(run.out, "Start server failed: \n");
    EXPECT_EQ(run.status, 1);
    EXPECT_FALSE(exists(instance.cfgDir + "/start.pid"));
}

TEST(StartFailures, AnUnwritableConfigurationDirectory) {
    const Instance instance = makeInstance("unwritable");
    sh("chown root " + instance.cfgDir + " && chmod 755 " + instance.cfgDir);
    const RunResult run = start(instance);
    EXPECT_EQ(run.out.substr(0, 25), "Copy stop script failed: ");
    EXPECT_NE(run.out.find("Permission denied"), std::string::npos) << run.out;
    EXPECT_EQ(stop(instance).out.substr(0, 25), "Copy stop script failed: ");
}

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
        {startOptions(instance, {"--cfg-dir=" + instance.srvDir + "/."}), differ},
        {startOptions(instance, {"--cfg-dir=/./" + base + "/cfg/..//game/bf1942/"}), differ},
        {startOptions(instance, {"--srv-dir=/srv/*"}), "Option '--srv-dir" + blanks},
        {startOptions(instance, {"--srv-dir=game"}), "Directry/file must be set absolute pathname"},
        {startOptions(instance, {"--name=two\nlines"}), "Option '--name" + lines},
        {startOptions(instance, {"--port=system(\"touch /srv/pwned\")"}),
         "Option '--port' must be a decimal number"},
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

// A pid file holding -1 would signal every process of the account, one holding
// a live pid and more words would signal that pid: --stop signals neither.
TEST(StartStop, StopSignalsOnlyPlainPids) {
    const Instance instance = makeInstance("planted");
    const RunResult victim = fieldkeep(
        testUser(), {"--exec", "--cmd=nohup sleep 60 >/dev/null 2>&1 </dev/null & echo $!"});
    const std::string pid = victim.out.substr(0, victim.out.find('\n'));
    writeFile(instance.cfgDir + "/server.pid", "-1\n");
    writeFile(instance.cfgDir + "/start.pid", pid + " garbage\n");
    EXPECT_EQ(stop(instance).out, "");
    EXPECT_TRUE(processRunning(pid)) << victim.out;
    EXPECT_FALSE(exists(instance.cfgDir + "/server.pid"));
    EXPECT_FALSE(exists(instance.cfgDir + "/start.pid"));
    sh("kill " + pid);
}

}  // namespace
}  // namespace fieldkeep::e2e

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <map>

#include "argv.h"
#include "commands/stop.h"
#include "commands/start.h"
#include "shell/config_edit.h"
#include "remote/runner.h"
#include "shell/port_check.h"
#include "shell/quoting.h"

namespace {

using namespace fieldkeep;
using fieldkeep::testing::Argv;
using fieldkeep::testing::raisedMessage;

std::string readFile(const std::string& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A settings edit as the remote shell runs it: the composed line through
// /bin/sh on a temporary file, then the file compared.
struct EditCase {
    const char* before;  // null: the file does not exist
    const char* key;
    const char* value;
    bool quoted;
    bool remove;
    std::string after;
};

class SettingsEdit : public ::testing::TestWithParam<EditCase> {};

TEST_P(SettingsEdit, RewritesTheFileInPlace) {
    char dirName[] = "/tmp/fieldkeep-edit.XXXXXX";
    ASSERT_NE(mkdtemp(dirName), nullptr);
    const std::string file = std::string(dirName) + "/it's settings.con";
    if (GetParam().before != nullptr) {
        std::ofstream(file) << GetParam().before;
    }
    const EditCase& c = GetParam();
    const std::string line = c.remove ? makeDeleteOptionCommand(file, c.key)
                                      : makeSetOptionCommand(file, c.key, c.value, c.quoted);
    EXPECT_EQ(std::system(("/bin/sh -c " + shellQuote(line)).c_str()), 0);
    EXPECT_EQ(readFile(file), c.after);
    EXPECT_FALSE(std::ifstream(file + ".pre").is_open());
    EXPECT_EQ(std::system(("rm -rf " + std::string(dirName)).c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SettingsEdit,
    ::testing::Values(
        EditCase{"a 1\n\tgame.serverName old one\ngame.serverName x\n", "game.serverName",
                 "a/b&c\\d'e $x", true, false,
                 "a 1\n\tgame.serverName \"a/b&c\\d'e $x\"\ngame.serverName \"a/b&c\\d'e $x\"\n"},
        EditCase{"game.serverNameX 1\nlast", "game.serverName", "*", false, false,
                 "game.serverNameX 1\nlast\ngame.serverName *\n"},
        EditCase{nullptr, "k", "v", true, false, "\nk \"v\"\n"},
        EditCase{"a 1\n  admin.enableRemoteAdmin \"x\"\nadmin.enableRemoteAdminX 2\n",
                 "admin.enableRemoteAdmin", "", false, true,
                 "a 1\n\nadmin.enableRemoteAdminX 2\n"}));

// The port check on this machine's own tables: taken while a socket is bound to
// the port on loopback, free once it is closed.
TEST(PortCheck, SeesABoundSocket) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string line = makePortCheckCommand(std::to_string(ntohs(address.sin_port)));
    EXPECT_EQ(std::system(("/bin/sh -c " + shellQuote(line) + " >/dev/null").c_str()), 0);
    close(fd);
    EXPECT_NE(std::system(("/bin/sh -c " + shellQuote(line) + " >/dev/null").c_str()), 0);
}

// The stop script, run by /bin/sh on a planted pid file next to a sleeping
// victim. Its kill is wrapped: every call is logged, and only the victim's own
// number reaches the real kill, so that a faulty script signals nothing else.
struct PidFile {
    const char* file;
    const char* content;  // % stands for the victim's number
    bool killed;
};

const char kGuardedRun[] =
    "kill() {\n"
    "\techo \"$*\" >>kill.log\n"
    "\tcase \"$*\" in \"$VICTIM\"|\"-9 $VICTIM\") command kill \"$@\" ;; esac\n"
    "}\n"
    ". ./stop.sh\n";

class StopScriptPidFile : public ::testing::TestWithParam<PidFile> {};

TEST_P(StopScriptPidFile, SignalsOnlyAPlainNumberFromTwo) {
    char dirName[] = "/tmp/fieldkeep-stop.XXXXXX";
    ASSERT_NE(mkdtemp(dirName), nullptr);
    const std::string dir = dirName;
    const pid_t victim = fork();
    if (victim == 0) {
        execl("/bin/sleep", "sleep", "60", static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::string v = std::to_string(victim);
    std::string content = GetParam().content;
    if (content.find('%') != std::string::npos) {
        content.replace(content.find('%'), 1, v);
    }
    std::ofstream(dir + "/" + GetParam().file) << content;
    std::ofstream(dir + "/stop.sh") << makeStopScript(dir);
    std::ofstream(dir + "/run.sh") << kGuardedRun;
    EXPECT_EQ(std::system(("cd " + dir + " && VICTIM=" + v + " /bin/sh run.sh").c_str()), 0);
    kill(victim, SIGKILL);
    int status = 0;
    waitpid(victim, &status, 0);
    EXPECT_EQ(readFile(dir + "/kill.log"), GetParam().killed ? v + "\n-9 " + v + "\n" : "");
    EXPECT_EQ(WTERMSIG(status), GetParam().killed ? SIGTERM : SIGKILL);
    EXPECT_FALSE(std::ifstream(dir + "/" + GetParam().file).is_open());
    EXPECT_EQ(std::system(("rm -rf " + dir).c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StopScriptPidFile,
    ::testing::Values(PidFile{"server.pid", "-1", false}, PidFile{"server.pid", "*", false},
                      PidFile{"server.pid", "0", false}, PidFile{"server.pid", "1", false},
                      PidFile{"server.pid", "  % \n", true}, PidFile{"server.pid", "%x", false},
                      PidFile{"start.pid", "%\r\n", true}, PidFile{"start.pid", "0%", false},
                      PidFile{"start.pid", "% %", false}));

const std::vector<std::string> kAllStartOptions = {
    "--srv-dir=/srv/bf1942", "--cfg-dir=/srv/cfg/", "--name=My \"best\" server", "--max-players=16",
    "--srv-bandwidth=2", "--cl-bandwidth=3", "--ip=10.0.0.1", "--port=14567", "--spy-lan-port=0",
    "--spy-port=23000", "--game-time=0", "--score-lim=100", "--round-num=3", "--punk-buster",
    "--srv-passwd", "--remote-admin-passwd=ra", "--rcon-username=u", "--rcon-password=p w",
    "--rcon-port=4711"};

struct LookupCase {
    std::vector<std::string> drop;  // options left out
    std::vector<std::string> add;   // options added
    std::string raised;
};

// Options read in their fixed order, then the value checks (refused values are
// rows of the end-to-end refusal table).
class StartLookups : public ::testing::TestWithParam<LookupCase> {};

TEST_P(StartLookups, FollowTheFixedOrderAndRules) {
    std::vector<std::string> words;
    for (const std::string& w : kAllStartOptions) {
        bool dropped = false;
        for (const std::string& d : GetParam().drop) {
            dropped = dropped || w.rfind("--" + d, 0) == 0;
        }
        if (!dropped) {
            words.push_back(w);
        }
    }
    words.insert(words.end(), GetParam().add.begin(), GetParam().add.end());
    talvor::opt::TOParsing options = Argv(words).parse();
    EXPECT_EQ(raisedMessage([&] {
                  validateStartOptions(readStartOptions(options));
                  options.check();
              }),
              GetParam().raised);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartLookups,
    ::testing::Values(
        LookupCase{{}, {}, ""},
        LookupCase{{"srv-dir", "name"}, {}, "Requires long option '--srv-dir'"},
        LookupCase{{"name"}, {}, "Requires long option '--name'"},
        LookupCase{{"srv-passwd"}, {}, "Requires long option '--srv-passwd'"},
        LookupCase{{}, {"--server-internet", "--punk-buster"}, ""},
        LookupCase{{}, {"--punk-buster=1"}, "Unknown option '--punk-buster'"},
        LookupCase{{"remote-admin-passwd"}, {}, "Requires long option '--remote-admin-passwd'"},
        LookupCase{{"remote-admin-passwd"}, {"--no-remote-admin"}, ""},
        LookupCase{{}, {"--no-remote-admin"}, "Unknown option '--remote-admin-passwd'"},
        LookupCase{{"rcon-username", "rcon-password"}, {}, "Requires long option '--rcon-username'"},
        LookupCase{{"rcon-password"}, {}, "Requires long option '--rcon-password'"},
        LookupCase{{"rcon-port"}, {"--rcon-port="}, "Incorrect long option '--rcon-port'"},
        LookupCase{{}, {"--no-rcon"}, "Unknown option '--rcon-password'"},
        LookupCase{{"rcon-username", "rcon-password", "rcon-port"}, {"--no-rcon"}, ""},
        LookupCase{{}, {"--stop"}, "Unknown option '--stop'"},
        LookupCase{{"port", "spy-port"}, {"--port=65535", "--spy-port=00000"}, ""}));

StartOptions sampleOptions() {
    talvor::opt::TOParsing options = Argv(kAllStartOptions).parse();
    return readStartOptions(options);
}

// What the end-to-end start does not show: the flags, an empty server password
// and the admin keys, which are blanked when turned off. Each change as "file key=value",
// "file key q=value" (quoted) or "file key -" (blanked), file being server or admin.
TEST(SettingChanges, FollowTheFlags) {
    const auto text = [](const StartOptions& o) {
        std::string all;
        for (const SettingChange& c : settingChanges(o)) {
            const std::string file = c.file == "/srv/cfg//settings/serversettings.con"  ? "server"
                                     : c.file == "/srv/cfg//settings/adminsettings.con" ? "admin"
                                                                                        : c.file;
            all += file + " " + c.key + (c.remove ? " -" : (c.quoted ? " q=" : " =") + c.value) + "\n";
        }
        return all;
    };
    StartOptions o = sampleOptions();
    const std::string on = text(o);
    EXPECT_NE(on.find("server game.serverName q=My \"best\" server\n"), std::string::npos) << on;
    EXPECT_NE(on.find("server game.serverInternet =0\n"), std::string::npos) << on;
    EXPECT_NE(on.find("server game.serverPunkBuster =1\nserver game.serverPassword q=\n"
                      "admin admin.enableRemoteAdmin q=ra\n"
                      "admin admin.enableRemoteConsole =\"u\" \"p w\" 4711\n"), std::string::npos) << on;
    o.serverInternet = true;
    o.noRemoteAdmin = true;
    o.noRcon = true;
    const std::string off = text(o);
    EXPECT_NE(off.find("server game.serverInternet =1\n"), std::string::npos) << off;
    const std::string blanked = "admin admin.enableRemoteAdmin -\nadmin admin.enableRemoteConsole -\n";
    EXPECT_EQ(off.substr(off.size() - blanked.size()), blanked);
}

TEST(PortsToCheck, SkipsZeroAndTheConsolePortWhenOff) {
    const auto text = [](const StartOptions& o) {
        std::string all;
        for (const auto& [name, port] : portsToCheck(o)) {
            all += name + "=" + port + " ";
        }
        return all;
    };
    StartOptions o = sampleOptions();
    EXPECT_EQ(text(o), "port=14567 spy-port=23000 rcon-port=4711 ");
    o.noRcon = true;
    o.spyLanPort = "00";
    EXPECT_EQ(text(o), "port=14567 spy-lan-port=00 spy-port=23000 ");
}

// A host that names each line --start runs by its step and answers with the
// status the case gives that step (0 when none is given). A port check's 0
// means the port is taken.
struct StepHost : RemoteRunner {
    std::map<std::string, int> statuses;
    std::string steps;

    RemoteResult exec(const std::string& line, const std::string&, bool usePty) override {
        const std::pair<const char*, const char*> kinds[] = {
            {"/stop.sh", "stop"},  {"/settings/", "settings"}, {"test -x ", "launcher"},
            {"/proc/net/", "port"}, {"cat >", "wrapper"},  {"nohup ", "launch"}};
        std::string step = "?";
        for (const auto& [part, name] : kinds) {
            if (line.find(part) != std::string::npos) {
                step = name;
                break;
            }
        }
        if (step == "launch" && !usePty) {
            step = "launch without terminal";
        }
        if (steps.empty() || steps.substr(steps.rfind(' ') + 1) != step) {
            steps += (steps.empty() ? "" : " ") + step;
        }
        const auto given = statuses.find(step == "port" ? line.substr(line.size() - 12) : step);
        return {given == statuses.end() ? (step == "port" ? 1 : 0) : given->second, "", "E"};
    }
};

struct StepCase {
    std::map<std::string, int> statuses;  // a port check is keyed by its line's last 12 bytes
    std::string steps;
    std::string raised;
};

class StartSteps : public ::testing::TestWithParam<StepCase> {};

TEST_P(StartSteps, RunInOrderAndStopAtTheFirstFailure) {
    StepHost host;
    host.statuses = GetParam().statuses;
    EXPECT_EQ(raisedMessage([&] { startInstance(host, sampleOptions()); }), GetParam().raised);
    EXPECT_EQ(host.steps, GetParam().steps);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StartSteps,
    ::testing::Values(
        StepCase{{}, "stop settings launcher port wrapper launch", ""},
        StepCase{{{"stop", 1}}, "stop", "Copy stop script failed: E"},
        StepCase{{{"settings", 2}}, "stop settings",
                 "Set option 'game.serverName' failed in /srv/cfg//settings/serversettings.con: E"},
        StepCase{{{"launcher", 1}}, "stop settings launcher", "Test on exec server failed"},
        StepCase{{{"'23000' } '`", 0}}, "stop settings launcher port",
                 "Port 23000 using already other proces"},
        StepCase{{{"launch", 1}}, "stop settings launcher port wrapper launch",
                 "Start server failed: E"}));

}  // namespace

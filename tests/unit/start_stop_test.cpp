#include <arpa/inet.h>
#include <unistd.h>

#include "commands/start.h"
#include "commands/stop.h"
#include "shell/config_edit.h"
#include "shell/port_check.h"
#include "support.h"

using namespace fieldkeep;
using namespace fieldkeep::testing;

// A settings edit as the remote shell runs it: the composed line run by /bin/sh on a file (missing when
// before is null), then the file compared. A null value deletes the key.
TEST(SettingsEdit, RewritesTheFileInPlace) {
    const std::tuple<const char*, const char*, const char*, bool, const char*> rows[] = {
        {"a 1\n\tgame.serverName old one\ngame.serverName x\n", "game.serverName", "a/b&c\\d'e $x", true,
         "a 1\n\tgame.serverName \"a/b&c\\d'e $x\"\ngame.serverName \"a/b&c\\d'e $x\"\n"},
        {"game.serverNameX 1\nlast", "game.serverName", "*", false, "game.serverNameX 1\nlast\ngame.serverName *\n"},
        {nullptr, "k", "v", true, "\nk \"v\"\n"},
        {"a 1\n  admin.enableRemoteAdmin \"x\"\nadmin.enableRemoteAdminX 2\n", "admin.enableRemoteAdmin", nullptr,
         false, "a 1\n\nadmin.enableRemoteAdminX 2\n"}};
    for (const auto& [before, key, value, quoted, after] : rows) {
        const Scratch s;
        const std::string file = s.path("it's settings.con");
        if (before != nullptr) { s.write("it's settings.con", before); }
        EXPECT_EQ(s.sh(value ? makeSetOptionCommand(file, key, value, quoted) : makeDeleteOptionCommand(file, key)), 0);
        EXPECT_EQ(s.read("it's settings.con"), after) << key;
        EXPECT_FALSE(std::filesystem::exists(file + ".pre")) << key;
    }
}

// The port check on this machine's own tables: taken while a UDP socket is bound to the port on
// loopback, free once it is closed.
TEST(PortCheck, SeesABoundSocket) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string line = makePortCheckCommand(std::to_string(ntohs(address.sin_port))) + " >/dev/null";
    const Scratch s;
    EXPECT_EQ(s.sh(line), 0);
    close(fd);
    EXPECT_NE(s.sh(line), 0);
}

// The stop script run by /bin/sh on a planted pid file. Its kill only logs, so nothing gets
// signalled and the log shows what would: a plain number from 2 only. The file goes either way.
TEST(StopScript, SignalsOnlyAPlainNumberFromTwo) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"server.pid", "-1", false}, {"server.pid", "*", false}, {"server.pid", "0", false},
        {"server.pid", "1", false}, {"server.pid", "  4242 \n", true}, {"server.pid", "4242x", false},
        {"start.pid", "4242\r\n", true}, {"start.pid", "04242", false}, {"start.pid", "4242 4242", false}};
    for (const auto& [file, content, killed] : rows) {
        const Scratch s;
        s.write(file, content);
        s.write("stop.sh", makeStopScript(s.dir));
        EXPECT_EQ(s.sh("kill() { echo \"$*\" >>kill.log; }\n. ./stop.sh\n"), 0);
        EXPECT_EQ(s.read("kill.log"), killed ? "4242\n-9 4242\n" : "") << content;
        EXPECT_FALSE(std::filesystem::exists(s.path(file))) << content;
    }
}

// All start options changed by a cell: a word "--..." is added, any other word drops the options
// whose names start with it ("rcon" drops all three) and stays as a plain word.
static talvor::opt::TOParsing startOptions(const std::string& change) {
    std::string cell;
    for (const std::string& option : words(
             "--srv-dir=/srv/bf1942|--cfg-dir=/srv/cfg/|--name=My \"best\" server|--max-players=16|--srv-bandwidth=2|"
             "--cl-bandwidth=3|--ip=10.0.0.1|--port=14567|--spy-lan-port=0|--spy-port=23000|--game-time=0|"
             "--score-lim=100|--round-num=3|--punk-buster|--srv-passwd|--remote-admin-passwd=ra|--rcon-username=u|"
             "--rcon-password=p w|--rcon-port=4711")) {
        bool dropped = false;
        for (const std::string& w : words(change)) { dropped |= option.rfind("--" + w, 0) == 0; }
        cell += dropped ? "" : option + "|";
    }
    return Argv(cell + change).parse();
}

// Options are looked up in their fixed order, then the values checked (refused values are rows of the
// end-to-end refusal table). When they pass: the settings the flags decide, as =VALUE, q=VALUE (quoted)
// or - (blanked), for server name, internet, punk buster and password, admin password and console.
TEST(StartOptions, FollowTheFixedOrderTheRulesAndTheFlags) {
    const std::string all = "q=My \"best\" server =0 =1 q= q=ra =\"u\" \"p w\" 4711 ";
    const std::pair<std::string, std::string> rows[] = {
        {"", all}, {"port|spy-port|--port=65535|--spy-port=00000", all},
        {"--server-internet|punk-buster", "q=My \"best\" server =1 =0 q= q=ra =\"u\" \"p w\" 4711 "},
        {"remote-admin-passwd|--no-remote-admin", "q=My \"best\" server =0 =1 q= - =\"u\" \"p w\" 4711 "},
        {"rcon|--no-rcon", "q=My \"best\" server =0 =1 q= q=ra - "},
        {"srv-dir|name", "Requires long option '--srv-dir'"}, {"name", "Requires long option '--name'"},
        {"srv-passwd", "Requires long option '--srv-passwd'"}, {"--stop", "Unknown option '--stop'"},
        {"--punk-buster=1", "Unknown option '--punk-buster'"},
        {"remote-admin-passwd", "Requires long option '--remote-admin-passwd'"},
        {"--no-remote-admin", "Unknown option '--remote-admin-passwd'"},
        {"rcon-username|rcon-password", "Requires long option '--rcon-username'"},
        {"rcon-password", "Requires long option '--rcon-password'"},
        {"rcon-port|--rcon-port=", "Incorrect long option '--rcon-port'"}, {"--no-rcon", "Unknown option '--rcon-password'"}};
    const std::string flagged = "game.serverName game.serverInternet game.serverPunkBuster game.serverPassword admin.";
    expectRows(rows, [&](const std::string& change) {
        talvor::opt::TOParsing options = startOptions(change);
        std::string shown;
        const std::string raised = raisedMessage([&] {
            const StartOptions o = readStartOptions(options);
            validateStartOptions(o);
            options.check();
            for (const SettingChange& c : settingChanges(o)) {
                const std::string file = c.key[0] == 'g' ? "server" : "admin";
                EXPECT_EQ(c.file, "/srv/cfg//settings/" + file + "settings.con") << c.key;
                const bool shows = flagged.find(c.key) != std::string::npos || c.key[0] == 'a';
                shown += !shows ? "" : c.remove ? "- " : (c.quoted ? "q=" : "=") + c.value + " ";
            }
        });
        return raised.empty() ? shown : raised;
    });
}

// A host that names each line --start runs by its step (a port check with its port, the last number
// of its line) and fails the step a row names; a port check's status 0 means taken.
struct StepHost : RemoteRunner {
    std::string failing, steps, last;
    RemoteResult exec(const std::string& line, const std::string&, bool usePty) override {
        std::string step = "?";
        for (const auto& [part, name] : {std::pair{"/stop.sh", "stop"}, {"/settings/", "settings"}, {"test -x ", "launcher"},
                                         {"/proc/net/", "port"}, {"cat >", "wrapper"}, {"nohup ", "launch"}}) {
            if (step == "?" && line.find(part) != std::string::npos) { step = name; }
        }
        const std::size_t end = line.find_last_of("0123456789") + 1, start = line.find_last_not_of("0123456789", end - 1) + 1;
        if (step == "port") { step += " " + line.substr(start, end - start); }
        if (step == "launch" && !usePty) { step += " without terminal"; }
        steps += step == last ? "" : (steps.empty() ? "" : " ") + step;
        last = step;
        return {(step.rfind("port", 0) == 0) != (step == failing) ? 1 : 0, "", "E"};
    }
};

// The steps run, for the options changed and the step that fails, and what is raised.
TEST(StartInstance, RunsInOrderAndStopsAtTheFirstFailure) {
    const std::string all = "stop settings launcher port 14567 port 23000 port 4711 wrapper launch";
    const std::tuple<const char*, const char*, std::string, const char*> rows[] = {
        {"", "", all, ""},
        {"rcon|--no-rcon|spy-lan-port|--spy-lan-port=00", "", "stop settings launcher port 14567 port 00 port 23000 wrapper launch", ""},
        {"", "stop", "stop", "Copy stop script failed: E"},
        {"", "settings", "stop settings", "Set option 'game.serverName' failed in /srv/cfg//settings/serversettings.con: E"},
        {"", "launcher", "stop settings launcher", "Test on exec server failed"},
        {"", "port 23000", "stop settings launcher port 14567 port 23000", "Port 23000 using already other proces"},
        {"", "launch", all, "Start server failed: E"}};
    for (const auto& [change, failing, steps, raised] : rows) {
        talvor::opt::TOParsing options = startOptions(change);
        StepHost host;
        host.failing = failing;
        EXPECT_EQ(raisedMessage([&] { startInstance(host, readStartOptions(options)); }), raised) << failing;
        EXPECT_EQ(host.steps, steps) << change << " " << failing;
    }
}

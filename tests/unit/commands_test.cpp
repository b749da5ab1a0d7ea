#include <arpa/inet.h>
#include <crypt.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <set>

#include "commands/account_random.h"
#include "commands/create_user.h"
#include "commands/start.h"
#include "commands/stop.h"
#include "shell/config_edit.h"
#include "shell/port_check.h"
#include "support.h"

using namespace fieldkeep;

TEST(ShellText, RunsAsMeantByBinSh) {
    // A settings edit on a file (null: missing), then the file; a null value deletes.
    const std::tuple<const char*, const char*, const char*, bool, const char*> edits[] = {
        {"a 1\n\tg.n old one\ng.n x\n", "g.n", "a/&\\'$x", true, "a 1\n\tg.n \"a/&\\'$x\"\ng.n \"a/&\\'$x\"\n"},
        {"g.nX 1\nlast", "g.n", "*", false, "g.nX 1\nlast\ng.n *\n"}, {nullptr, "k", "v", true, "\nk \"v\"\n"},
        {"a 1\n  g.n \"x\"\ng.nX 2\n", "g.n", nullptr, false, "a 1\n\ng.nX 2\n"}};
    for (const auto& [before, key, value, quoted, after] : edits) {
        const Scratch s;
        const std::string f = s.path("it's settings.con");
        if (before != nullptr) { s.write("it's settings.con", before); }
        const std::string line = value ? makeSetOptionCommand(f, key, value, quoted) : makeDeleteOptionCommand(f, key);
        EXPECT_EQ(std::system(line.c_str()), 0);
        EXPECT_EQ(s.read("it's settings.con"), after) << key;
        EXPECT_FALSE(std::filesystem::exists(f + ".pre")) << key;
    }
    // The stop script on a planted pid file, with a kill that only logs: only a plain number from 2 is signalled.
    const std::tuple<const char*, const char*, bool> pidFiles[] = {
        {"server.pid", "-1", false}, {"server.pid", "*", false}, {"server.pid", "0", false},
        {"server.pid", "1", false}, {"server.pid", "  4242 \n", true}, {"server.pid", "4242x", false},
        {"start.pid", "4242\r\n", true}, {"start.pid", "04242", false}, {"start.pid", "4242 4242", false}};
    for (const auto& [file, content, killed] : pidFiles) {
        const Scratch s;
        s.write(file, content);
        s.write("stop.sh", makeStopScript(s.dir));
        EXPECT_EQ(std::system(("cd " + s.dir + " && kill() { echo \"$*\" >>kill.log; } && . ./stop.sh").c_str()), 0);
        EXPECT_EQ(s.read("kill.log"), killed ? "4242\n-9 4242\n" : "") << content;
        EXPECT_FALSE(std::filesystem::exists(s.path(file))) << content;  // removed either way
    }
    // The port check on this machine's own tables: taken while a UDP socket is bound to the port, then free.
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string line = makePortCheckCommand(std::to_string(ntohs(address.sin_port))) + " >/dev/null";
    EXPECT_EQ(std::system(line.c_str()), 0);
    close(fd);
    EXPECT_NE(std::system(line.c_str()), 0);
}

// A host that logs the lines it runs and answers each through a function of the line and its terminal flag.
struct FakeHost : RemoteRunner {
    explicit FakeHost(std::function<RemoteResult(const std::string&, bool)> a) : answer(std::move(a)) {}
    std::function<RemoteResult(const std::string&, bool)> answer;
    std::string sent;
    RemoteResult exec(const std::string& line, const std::string&, bool usePty) override {
        sent += line + "\n";
        return answer(line, usePty);
    }
};

// Start options changed by a cell ("--..." added, a name drops the options it starts) are looked up in fixed
// order, then checked (refused values: the end-to-end refusal table). Passed, they show what the flags set for
// internet, punk buster, passwords and console (=VALUE, q=VALUE quoted, - blanked), then the ports to check;
// with "fail=STEP", the steps start runs on a host where STEP fails (a port check's 0: taken) and what is raised.
TEST(Start, FollowsTheOptionsAndRunsItsSteps) {
    const Texts rows = {
        {"", "=0 =1 q= q=ra =\"u\" \"p\" 4711 ports 14567 23000 4711"},
        {"port|spy-port|--port=65535|--spy-port=00000", "=0 =1 q= q=ra =\"u\" \"p\" 4711 ports 65535 00000 4711"},
        {"--server-internet|punk-buster", "=1 =0 q= q=ra =\"u\" \"p\" 4711 ports 14567 23000 4711"},
        {"remote-admin-passwd|--no-remote-admin", "=0 =1 q= - =\"u\" \"p\" 4711 ports 14567 23000 4711"},
        {"rcon|--no-rcon|spy-lan-port|--spy-lan-port=00", "=0 =1 q= q=ra - ports 14567 00 23000"},
        {"srv-dir|name", "Requires long option '--srv-dir'"}, {"name", "Requires long option '--name'"},
        {"srv-passwd", "Requires long option '--srv-passwd'"}, {"--stop", "Unknown option '--stop'"},
        {"--punk-buster=1", "Unknown option '--punk-buster'"}, {"--no-rcon", "Unknown option '--rcon-password'"},
        {"remote-admin-passwd", "Requires long option '--remote-admin-passwd'"},
        {"--no-remote-admin", "Unknown option '--remote-admin-passwd'"},
        {"rcon-username|rcon-password", "Requires long option '--rcon-username'"},
        {"rcon-password", "Requires long option '--rcon-password'"},
        {"rcon-port|--rcon-port=", "Incorrect long option '--rcon-port'"},
        {"fail=", "stop settings launcher port wrapper launch: "}, {"fail=stop", "stop: Copy stop script failed: E"},
        {"fail=settings", "stop settings: Set option 'game.serverName' failed in /c//settings/serversettings.con: E"},
        {"fail=launcher", "stop settings launcher: Test on exec server failed"},
        {"fail=port", "stop settings launcher port: Port 14567 using already other proces"},
        {"fail=launch", "stop settings launcher port wrapper launch: Start server failed: E"}};
    expectRows(rows, [](const std::string& change) {
        std::string cell, shown, steps, last;
        const std::vector<std::string> changes = words(change);
        for (const std::string& option :
             words("--srv-dir=/s|--cfg-dir=/c/|--name=N|--max-players=1|--srv-bandwidth=2|--cl-bandwidth=3|--ip=i|"
                   "--port=14567|--spy-lan-port=0|--spy-port=23000|--game-time=0|--score-lim=1|--round-num=3|"
                   "--punk-buster|--srv-passwd|--remote-admin-passwd=ra|--rcon-username=u|--rcon-password=p|"
                   "--rcon-port=4711")) {
            const auto drops = [&](const std::string& w) { return option.rfind("--" + w, 0) == 0; };
            cell += std::any_of(changes.begin(), changes.end(), drops) ? "" : option + "|";
        }
        FakeHost host([&](const std::string& line, bool usePty) -> RemoteResult {
            const auto has = [&](const char* part) { return line.find(part) != std::string::npos; };
            std::string step = has("/stop.sh") ? "stop" : has("/settings/") ? "settings" : has("test -x ") ? "launcher"
                             : has("/proc/net/") ? "port" : has("cat >") ? "wrapper" : has("nohup ") ? "launch" : "?";
            step += step == "launch" && !usePty ? " without terminal" : "";
            steps += step == last ? "" : (steps.empty() ? "" : " ") + step;
            last = step;
            return {(step == "port") != ("fail=" + step == change) ? 1 : 0, "", "E"};
        });
        talvor::opt::TOParsing options = Argv(cell + change).parse();
        const std::string raised = raisedMessage([&] {
            const StartOptions o = readStartOptions(options);
            validateStartOptions(o);
            options.check();
            if (change.rfind("fail=", 0) == 0) { return startInstance(host, o); }
            for (const SettingChange& c : settingChanges(o)) {
                EXPECT_EQ(c.file, "/c//settings/" + std::string(c.key[0] == 'g' ? "server" : "admin") + "settings.con");
                const bool flag = c.key[0] == 'a' || c.key == "game.serverInternet" ||
                                  c.key == "game.serverPunkBuster" || c.key == "game.serverPassword";
                shown += !flag ? "" : c.remove ? "- " : (c.quoted ? "q=" : "=") + c.value + " ";
            }
            shown += "ports";
            for (const auto& [option, port] : portsToCheck(o)) { shown += " " + port; }
        });
        return change.rfind("fail=", 0) == 0 ? steps + ": " + raised : raised.empty() ? shown : raised;
    });
}

TEST(Account, RandomDrawsAndTheFirstFreeName) {
    // Draws use exactly the 62 letters and digits, the salt alphabet adds "./", numbers their whole range; salt
    // settings are SHA-512 crypt's, no password repeats, and a hash verifies with crypt() but is salted afresh.
    std::string passwordChars, saltChars, numbers;
    EXPECT_EQ(std::string(kSaltAlphabet), "./" + std::string(kPasswordAlphabet));
    EXPECT_EQ(std::string(kPasswordAlphabet).size(), 62u);
    std::set<std::string> passwords;
    for (int i = 0; i < 2000; ++i) {
        const std::string p = makePassword(), setting = makeSaltSetting();
        ASSERT_EQ(p.size(), kPasswordLength);
        ASSERT_EQ(setting.substr(0, 3) + std::to_string(setting.size()), "$6$" + std::to_string(3 + kSaltLength));
        passwords.insert(p);
        passwordChars += p;
        saltChars += setting.substr(3);
        numbers += std::to_string(randomBelow(7) + 10 * randomBelow(1));
    }
    const auto letters = [](const std::string& text) { return std::set<char>(text.begin(), text.end()); };
    EXPECT_EQ(letters(passwordChars), letters("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    EXPECT_EQ(letters(saltChars), letters(kSaltAlphabet));
    EXPECT_EQ(letters(numbers), letters("0123456"));  // randomBelow(1) must be 0
    EXPECT_EQ(passwords.size(), 2000u);
    const std::string hash = encryptPassword("Abc123xyz9");
    EXPECT_STREQ(crypt("Abc123xyz9", hash.c_str()), hash.c_str());
    EXPECT_EQ(hash.substr(0, 3), "$6$");
    EXPECT_NE(encryptPassword("Abc123xyz9"), hash);
    // The lines that find a user or group (by their start), the system and useradd's status; the login chosen
    // (bf1942_NNNN: a random one) or the message raised; how the lines sent begin and how many they are.
    const std::tuple<std::string, const char*, int, const char*, std::string, long> hosts[] = {
        {"", "Linux\n", 0, "bf1942", "id 'bf1942'\nuname -s\ngroupmod 'bf1942'\nuseradd ", 4},
        {"id 'bf1942'|groupmod 'bf'", "Linux\n", 0, "battlefield", "id 'bf1942'\nid 'bf'\nuname -s\ngroupmod 'bf'", 8},
        {"id 'bf1942'|id 'bf'|id 'ba", "Linux\n", 0, "bf1942_NNNN", "id 'bf1942'\nid 'bf'\nid 'battlefield'\nid 'b", 8},
        {"id '", "Linux\n", 0, "No free user name found", "id 'bf1942'\n", 4 + kRandomNameAttempts},
        {"pw groupshow 'bf1942'", "FreeBSD\n", 0, "bf", "id 'bf1942'\nuname -s\npw groupshow 'bf1942'\nid 'bf'\n", 7},
        {"", "SunOS\n", 0, "Unknown system: SunOS\n", "id 'bf1942'\nuname -s\n", 2},
        {"", "Linux\n", 1, "Create system user 'bf1942' failed: useradd failed", "", 4}};
    for (const auto& [taken, system, addStatus, result, sent, count] : hosts) {
        FakeHost host([taken = taken, system = system, addStatus = addStatus](const std::string& line, bool) {
            bool found = false;
            for (const std::string& start : words(taken)) { found |= line.rfind(start, 0) == 0; }
            if (line.rfind("useradd ", 0) == 0) { return RemoteResult{addStatus, "", "useradd failed"}; }
            return RemoteResult{line == "uname -s" || found ? 0 : 1, line == "uname -s" ? system : "", ""};
        });
        std::string chosen;
        const std::string raised = raisedMessage([&] {
            const std::string login = chooseUserAccount(host).login;
            const bool random = login.size() == 11 && login.rfind("bf1942_", 0) == 0;
            chosen = random && std::stoi(login.substr(7)) >= 1000 ? "bf1942_NNNN" : login;
            const std::string start = "useradd -c \"Talvor's BF1942 module\" -m '" + login + "' -p '$6$";
            EXPECT_EQ(host.sent.substr(host.sent.rfind("useradd "), start.size()), start);  // the last line
        });
        EXPECT_EQ(chosen + raised, result) << taken;
        EXPECT_EQ(host.sent.substr(0, sent.size()), sent) << taken;
        EXPECT_EQ(std::count(host.sent.begin(), host.sent.end(), '\n'), count) << taken;
    }
}

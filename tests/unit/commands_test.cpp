// The commands' pieces apart from the connection: shell text run by /bin/sh here, decisions against fake hosts.
#include <arpa/inet.h>
#include <crypt.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <set>

#include "commands/account_random.h"
#include "commands/create_user.h"
#include "commands/start.h"
#include "commands/stop.h"
#include "shell/config_edit.h"
#include "shell/port_check.h"
#include "support.h"

using namespace fieldkeep;
using namespace fieldkeep::testing;

// A settings edit run by /bin/sh on a file (null: missing), then the file compared; a null value deletes.
TEST(ShellText, SettingsEditRewritesTheFileInPlace) {
    const std::tuple<const char*, const char*, const char*, bool, const char*> rows[] = {
        {"a 1\n\tg.name old one\ng.name x\n", "g.name", "a/b&c\\d'e $x", true, "a 1\n\tg.name \"a/b&c\\d'e $x\"\ng.name \"a/b&c\\d'e $x\"\n"},
        {"g.nameX 1\nlast", "g.name", "*", false, "g.nameX 1\nlast\ng.name *\n"},
        {nullptr, "k", "v", true, "\nk \"v\"\n"},
        {"a 1\n  g.name \"x\"\ng.nameX 2\n", "g.name", nullptr, false, "a 1\n\ng.nameX 2\n"}};
    for (const auto& [before, key, value, quoted, after] : rows) {
        const Scratch s;
        const std::string file = s.path("it's settings.con");
        if (before != nullptr) { s.write("it's settings.con", before); }
        EXPECT_EQ(std::system((value ? makeSetOptionCommand(file, key, value, quoted) : makeDeleteOptionCommand(file, key)).c_str()), 0);
        EXPECT_EQ(s.read("it's settings.con"), after) << key;
        EXPECT_FALSE(std::filesystem::exists(file + ".pre")) << key;
    }
}

// The port check on this machine's own tables: taken while a UDP socket is bound to the port, then free.
TEST(ShellText, PortCheckSeesABoundSocket) {
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const std::string line = makePortCheckCommand(std::to_string(ntohs(address.sin_port))) + " >/dev/null";
    EXPECT_EQ(std::system(line.c_str()), 0);
    close(fd);
    EXPECT_NE(std::system(line.c_str()), 0);
}

// The stop script run by /bin/sh on a planted pid file with a kill that only logs: it would signal a plain
// number from 2 only, and the file goes either way.
TEST(ShellText, StopScriptSignalsOnlyAPlainNumberFromTwo) {
    const std::tuple<const char*, const char*, bool> rows[] = {
        {"server.pid", "-1", false}, {"server.pid", "*", false}, {"server.pid", "0", false},
        {"server.pid", "1", false}, {"server.pid", "  4242 \n", true}, {"server.pid", "4242x", false},
        {"start.pid", "4242\r\n", true}, {"start.pid", "04242", false}, {"start.pid", "4242 4242", false}};
    for (const auto& [file, content, killed] : rows) {
        const Scratch s;
        s.write(file, content);
        s.write("stop.sh", makeStopScript(s.dir));
        EXPECT_EQ(std::system(("cd " + s.dir + " && kill() { echo \"$*\" >>kill.log; } && . ./stop.sh").c_str()), 0);
        EXPECT_EQ(s.read("kill.log"), killed ? "4242\n-9 4242\n" : "") << content;
        EXPECT_FALSE(std::filesystem::exists(s.path(file))) << content;
    }
}

// A host that names each line --start runs by its step and fails the step named (a port check's 0: taken).
struct StepHost : RemoteRunner {
    std::string failing, steps, last;
    RemoteResult exec(const std::string& line, const std::string&, bool usePty) override {
        std::string step = "?";
        for (const auto& [part, name] : {std::pair{"/stop.sh", "stop"}, {"/settings/", "settings"}, {"test -x ", "launcher"},
                                         {"/proc/net/", "port"}, {"cat >", "wrapper"}, {"nohup ", "launch"}}) {
            if (step == "?" && line.find(part) != std::string::npos) { step = name; }
        }
        step += step == "launch" && !usePty ? " without terminal" : "";
        steps += step == last ? "" : (steps.empty() ? "" : " ") + step;
        last = step;
        return {(step == "port") != (step == failing) ? 1 : 0, "", "E"};
    }
};

// Start options changed by a cell (a word "--..." is added, a name drops the options it starts, "rcon" all
// three) are looked up in fixed order, then checked; refused values are rows of the end-to-end refusal table.
// Passed, they show what the flags set (=VALUE, q=VALUE quoted, - blanked) for internet, punk buster, server
// password, admin password and console, then the ports to check; with "fail=STEP", the steps start runs on a
// host where STEP fails, and what is raised.
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
        {"rcon-password", "Requires long option '--rcon-password'"}, {"rcon-port|--rcon-port=", "Incorrect long option '--rcon-port'"},
        {"fail=", "stop settings launcher port wrapper launch: "}, {"fail=stop", "stop: Copy stop script failed: E"},
        {"fail=settings", "stop settings: Set option 'game.serverName' failed in /srv/cfg//settings/serversettings.con: E"},
        {"fail=launcher", "stop settings launcher: Test on exec server failed"},
        {"fail=port", "stop settings launcher port: Port 14567 using already other proces"},
        {"fail=launch", "stop settings launcher port wrapper launch: Start server failed: E"}};
    expectRows(rows, [](const std::string& change) {
        std::string cell, shown;
        for (const std::string& option :
             words("--srv-dir=/srv/bf1942|--cfg-dir=/srv/cfg/|--name=N|--max-players=16|--srv-bandwidth=2|--ip=10.0.0.1|"
                   "--cl-bandwidth=3|--port=14567|--spy-lan-port=0|--spy-port=23000|--game-time=0|--score-lim=100|"
                   "--round-num=3|--punk-buster|--srv-passwd|--remote-admin-passwd=ra|--rcon-username=u|--rcon-password=p|"
                   "--rcon-port=4711")) {
            bool dropped = false;
            for (const std::string& w : words(change)) { dropped |= option.rfind("--" + w, 0) == 0; }
            cell += dropped ? "" : option + "|";
        }
        talvor::opt::TOParsing options = Argv(cell + change).parse();
        StepHost host;
        const bool runs = change.rfind("fail=", 0) == 0;
        const std::string raised = raisedMessage([&] {
            const StartOptions o = readStartOptions(options);
            validateStartOptions(o);
            options.check();
            host.failing = runs ? change.substr(5) : "";
            if (runs) { return startInstance(host, o); }
            for (const SettingChange& c : settingChanges(o)) {
                EXPECT_EQ(c.file, std::string("/srv/cfg//settings/") + (c.key[0] == 'g' ? "server" : "admin") + "settings.con");
                const bool flag = c.key[0] == 'a' || c.key == "game.serverInternet" ||
                                  c.key == "game.serverPunkBuster" || c.key == "game.serverPassword";
                shown += !flag ? "" : c.remove ? "- " : (c.quoted ? "q=" : "=") + c.value + " ";
            }
            shown += "ports";
            for (const auto& [option, port] : portsToCheck(o)) { shown += " " + port; }
        });
        return runs ? host.steps + ": " + raised : raised.empty() ? shown : raised;
    });
}

// The alphabets hold each letter and digit once; draws use exactly the alphabet or range, salt settings are
// SHA-512 crypt's, no password repeats, and a hash verifies with crypt() but is salted afresh each time.
TEST(AccountRandom, DrawsCoverTheWholeAlphabetOrRange) {
    std::string sorted = kPasswordAlphabet, passwordChars, saltChars, numbers;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(std::string(kSaltAlphabet), "./" + std::string(kPasswordAlphabet));
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
    EXPECT_EQ(letters(passwordChars), letters(kPasswordAlphabet));
    EXPECT_EQ(letters(saltChars), letters(kSaltAlphabet));
    EXPECT_EQ(letters(numbers), letters("0123456"));  // randomBelow(1) must be 0
    EXPECT_EQ(passwords.size(), 2000u);
    const std::string hash = encryptPassword("Abc123xyz9");
    EXPECT_STREQ(crypt("Abc123xyz9", hash.c_str()), hash.c_str());
    EXPECT_EQ(hash.substr(0, 3), "$6$");
    EXPECT_NE(encryptPassword("Abc123xyz9"), hash);
}

// A host on which the lines starting as in a cell find a user or group; it logs the lines sent.
struct AccountHost : RemoteRunner {
    std::string taken, system, sent;
    int addStatus = 0;
    RemoteResult exec(const std::string& line, const std::string&, bool) override {
        sent += line + "\n";
        bool found = false;
        for (const std::string& start : words(taken)) { found |= line.rfind(start, 0) == 0; }
        if (line == "uname -s") { return {0, system, ""}; }
        return line.rfind("useradd ", 0) == 0 ? RemoteResult{addStatus, "", "useradd failed"} : RemoteResult{found ? 0 : 1, "", ""};
    }
};

// The host's taken names, system and useradd status; the login chosen (bf1942_NNNN: a random one) or the
// message raised; how the lines sent begin and how many they are. The last line creates the login.
TEST(ChooseUserAccount, TakesTheFirstFreeName) {
    const std::tuple<const char*, const char*, int, const char*, std::string, long> rows[] = {
        {"", "Linux\n", 0, "bf1942", "id 'bf1942'\nuname -s\ngroupmod 'bf1942'\nuseradd ", 4},
        {"id 'bf1942'|groupmod 'bf'", "Linux\n", 0, "battlefield",
         "id 'bf1942'\nid 'bf'\nuname -s\ngroupmod 'bf'\nid 'battlefield'\nuname -s\ngroupmod 'battlefield'\n", 8},
        {"id 'bf1942'|id 'bf'|id 'battlefield'|id 'battlefield1942'", "Linux\n", 0, "bf1942_NNNN",
         "id 'bf1942'\nid 'bf'\nid 'battlefield'\nid 'battlefield1942'\n", 8},
        {"id '", "Linux\n", 0, "No free user name found", "id 'bf1942'\n", 4 + kRandomNameAttempts},
        {"pw groupshow 'bf1942'", "FreeBSD\n", 0, "bf", "id 'bf1942'\nuname -s\npw groupshow 'bf1942'\nid 'bf'\n", 7},
        {"", "SunOS\n", 0, "Unknown system: SunOS\n", "id 'bf1942'\nuname -s\n", 2},
        {"", "Linux\n", 1, "Create system user 'bf1942' failed: useradd failed", "", 4}};
    for (const auto& [taken, system, addStatus, result, sent, count] : rows) {
        AccountHost host;
        std::tie(host.taken, host.system, host.addStatus) = std::tie(taken, system, addStatus);
        std::string chosen;
        const std::string raised = raisedMessage([&] {
            const std::string login = chooseUserAccount(host).login;
            chosen = std::regex_match(login, std::regex("bf1942_[1-9][0-9]{3}")) ? "bf1942_NNNN" : login;
            const std::string start = "useradd -c \"Talvor's BF1942 module\" -m '" + login + "' -p '$6$";
            EXPECT_EQ(host.sent.substr(host.sent.rfind("useradd "), start.size()), start);
        });
        EXPECT_EQ(chosen + raised, result) << taken;
        EXPECT_EQ(host.sent.substr(0, sent.size()), sent) << taken;
        EXPECT_EQ(std::count(host.sent.begin(), host.sent.end(), '\n'), count) << taken;
    }
}

#include <crypt.h>

#include <algorithm>
#include <set>

#include "commands/account_random.h"
#include "commands/commands.h"
#include "commands/create_user.h"
#include "commands/send.h"
#include "commands/start.h"
#include "commands/stop.h"
#include "shell/config_edit.h"
#include "shell/quoting.h"
#include "support.h"

using namespace fieldkeep;

TEST(ShellLines, EditSettingsAndStopOnThisMachine) {
    // A file (null: missing), the key set to the value from line 2 of the store (null: deleted)
    // through /bin/sh, the file, owner-only; the store goes after the last edit.
    const std::tuple<const char*, const char*, const char*, const char*> edits[] = {
        {nullptr, "k", "\"v\"", "\nk \"v\"\n"},
        {"a 1\n  g.n \"x\"\ng.nX 2\n", "g.n", nullptr, "a 1\n\ng.nX 2\n"},
        {"a\n\tg-n\t1 // c", "g.n", "\"/&\\1 $(id)\"", "a\n\tg-n\t\"/&\\1 $(id)\""},
    };
    for (const auto& [before, key, value, after] : edits) {
        const Scratch s;
        const std::string file = s.path("it's settings.con");
        if (before != nullptr) std::ofstream(file) << before;
        const std::string store = s.path("values");
        std::ofstream(store) << "x\n" << (value ? value : "") << "\n";
        const std::string line = value != nullptr ? makeSetOptionCommand(file, key, store, 2, true)
                                                  : makeDeleteOptionCommand(file, key, store, true);
        EXPECT_EQ(std::system(line.c_str()), 0);
        EXPECT_EQ(s.read("it's settings.con"), after) << key;
        EXPECT_FALSE(std::filesystem::exists(file + ".pre") || std::filesystem::exists(store));
        EXPECT_EQ(int(std::filesystem::status(file).permissions()), 0600) << key;
    }
    // Whether the stop script signals a planted pid: only a plain number from 2, blanks aside, of a
    // process of this user with the directory after +overlayPath (%s: the script's own shell).
    const std::tuple<const char*, const char*, const char*> pidFiles[] = {
        {"server.pid", "-1", ""},
        {"server.pid", "1", ""},
        {"server.pid", "0%s", ""},
        {"server.pid", "  %s \n", "%s\n-9 %s\n"},
        {"start.pid", "%s\r\n", "%s\n-9 %s\n"},
        {"start.pid", "%s 2", ""},
    };
    const Scratch s;
    std::ofstream(s.path("stop.sh")) << makeStopScript(s.dir);
    for (const auto& [file, content, signals] : pidFiles) {
        const std::string line = "cd " + s.dir + " && : >kill.log && printf -- '" + content +
                                 "' $$ >" + file + " && printf '" + signals + "' $$ $$ >sent && "
                                 "kill() { echo \"$*\" >>kill.log; } && . ./stop.sh && cmp sent "
                                 "kill.log && ! test -e " + file;  // removed either way
        const std::string run = "sh -c " + shellQuote(line) + " sh +overlayPath " + s.dir;
        EXPECT_EQ(std::system(run.c_str()), 0) << content;
    }
}

// A host that logs the lines and steps of start sent; each succeeds, printing ANSWER, but
// the failing step (a port check's success means the port is taken).
struct FakeHost : RemoteRunner {
    RemoteResult exec(const std::string& line, const std::string& input, bool usePty) override {
        const std::pair<const char*, const char*> parts[] = {
            {"/stop.sh", "stop"},
            {"/settings/", "settings"},
            {"test -x ", "launcher"},
            {"/proc/net/", "port"},
            {"cat >", "wrapper"},
            {"nohup ", "launch"},
        };
        std::string step = "?";
        for (const auto& [part, name] : parts) {
            if (line.find(part) != std::string::npos) {
                step = name;
                break;
            }
        }
        step += step == "launch" && !usePty ? " without terminal" : "";
        if (step != last) {
            steps += (steps.empty() ? "" : " ") + step;
        }
        last = step;
        sent += line + "\n";
        inputs += input;
        return {(step == "port") != (step == failing) ? 1 : 0, answer, "E"};
    }
    void connect() override {}
    void disconnect() noexcept override {}
    int execStreaming(const std::string&, const std::string&, const OutputSink&) override {
        return 0;
    }
    void upload(UploadSource&, const std::string&) override {}
    std::string failing, answer, last, steps, sent, inputs;
};

// The settings for internet, punk buster and admin keys ("-": blanked), then the ports checked.
static std::string shownSettings(const StartOptions& o) {
    std::string shown;
    for (const SettingChange& c : settingChanges(o)) {
        if (c.key == "game.serverInternet" || c.key == "game.serverPunkBuster" || c.key[0] == 'a') {
            shown += (c.remove ? "-" : c.value) + " ";
        }
    }
    shown += "ports";
    for (const auto& [option, port] : portsToCheck(o)) {
        shown += " " + port;
    }
    return shown;
}

TEST(Start, FollowsTheOptionsAndRunsItsSteps) {
    // Options less those a cell names plus those it gives: the flags set, or the steps run.
    const std::string all =
        "--srv-dir=/s|--cfg-dir=/c|--name=N|--max-players=1|--srv-bandwidth=2|--cl-bandwidth=3|"
        "--ip=i|--port=14567|--spy-lan-port=0|--spy-port=23000|--game-time=0|--score-lim=1|"
        "--round-num=3|--punk-buster|--srv-passwd|--remote-admin-passwd=ra|--rcon-username=u|"
        "--rcon-password=p|--rcon-port=4711";
    const Texts rows = {
        {"", "0 1 \"ra\" \"u\" \"p\" 4711 ports 14567 23000 4711"},
        {"--server-internet|punk-buster", "1 0 \"ra\" \"u\" \"p\" 4711 ports 14567 23000 4711"},
        {"remote-admin-passwd|--no-remote-admin", "0 1 - \"u\" \"p\" 4711 ports 14567 23000 4711"},
        {"rcon|--no-rcon|spy-lan-port|--spy-lan-port=00", "0 1 \"ra\" - ports 14567 00 23000"},
        {"srv-dir|name", "Requires long option '--srv-dir'"},
        {"srv-passwd", "Requires long option '--srv-passwd'"},
        {"rcon-username|rcon-password", "Requires long option '--rcon-username'"},
        {"--punk-buster=1", "Unknown option '--punk-buster'"},
        {"--no-remote-admin", "Unknown option '--remote-admin-passwd'"},
        {"--no-rcon", "Unknown option '--rcon-password'"},
        {"fail=", "stop settings launcher port wrapper launch: "},
        {"fail=settings",
         "stop settings: Set option 'game.serverName' failed in /c/settings/serversettings.con: E"},
    };
    expectRows(rows, [&](const std::string& change) {
        std::string cell;
        for (const std::string& option : words(all)) {
            const auto named = [&](const std::string& w) { return option.rfind("--" + w, 0) == 0; };
            const std::vector<std::string> changes = words(change);
            if (std::none_of(changes.begin(), changes.end(), named)) {
                cell += option + "|";
            }
        }
        talvor::opt::TOParsing options = Argv(cell + change).parse();
        FakeHost host;
        host.failing = change.substr(std::min(change.size(), std::size_t{5}));
        std::string shown;
        const std::string raised = raisedMessage([&] {
            const StartOptions o = readStartOptions(options);
            validateStartOptions(o);
            options.check();
            shown = change.rfind("fail=", 0) == 0 ? "" : shownSettings(o);
            if (shown.empty()) {
                startInstance(host, o);
            }
        });
        return host.steps.empty() ? raised + shown : host.steps + ": " + raised;
    });
}

TEST(Exec, ShowsWhatArrivedBeforeTheLinkBroke) {
    struct BreakingHost : FakeHost {
        int execStreaming(const std::string& line, const std::string&,
                          const OutputSink& sink) override {
            sink(line.data(), line.size());
            throw ConnectionLost{{"Connection lost"}};
        }
    } host;
    std::ostringstream captured;
    std::streambuf* const saved = std::cout.rdbuf(captured.rdbuf());
    const std::string raised =
        raisedMessage([&] { execCommand(Argv("--cmd=partial").parse(), host); });
    std::cout.rdbuf(saved);
    EXPECT_EQ(captured.str() + raised, "partial\nConnection lost");  // on a line of its own
}

TEST(Send, TheLineTravelsOnlyOnStandardInput) {
    FakeHost host;
    sendConsoleLine(host, "/c", "admin.password 'pass word'");
    EXPECT_EQ(host.inputs, "admin.password 'pass word'\n");
    EXPECT_EQ(host.sent.find("pass word"), std::string::npos);
}

TEST(Account, RandomDrawsAndABoundedNameSearch) {
    // Draws use exactly the 62 letters and digits, salts add "./", numbers cover their range.
    std::set<char> passwordChars, saltChars;
    std::string numbers;
    for (int i = 0; i < 2000; ++i) {
        const std::string p = makePassword(), setting = makeSaltSetting();
        ASSERT_EQ(p.size(), kPasswordLength);
        ASSERT_EQ(setting.substr(0, 3), "$6$");
        ASSERT_EQ(setting.size(), 3 + kSaltLength);
        passwordChars.insert(p.begin(), p.end());
        saltChars.insert(setting.begin() + 3, setting.end());
        numbers += std::to_string(randomBelow(7) + 10 * randomBelow(1));
    }
    const std::string alnum = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(std::string(passwordChars.begin(), passwordChars.end()), alnum);
    EXPECT_EQ(std::string(saltChars.begin(), saltChars.end()), "./" + alnum);
    EXPECT_EQ(std::set<char>(numbers.begin(), numbers.end()).size(), 7u);  // 0 to 6 only
    // A hash verifies with crypt() but is salted afresh each time.
    const std::string hash = encryptPassword("Abc123xyz9");
    EXPECT_STREQ(crypt("Abc123xyz9", hash.c_str()), hash.c_str());
    EXPECT_NE(encryptPassword("Abc123xyz9"), hash);
    // Every name taken: the fixed names, then a bounded number of random bf1942_NNNN are tried.
    FakeHost host;
    EXPECT_EQ(raisedMessage([&] { chooseUserAccount(host); }), "No free user name found");
    const std::string fixed = "id 'bf1942'\nid 'bf'\nid 'battlefield'\nid 'battlefield1942'\n";
    EXPECT_EQ(host.sent.substr(0, fixed.size()), fixed);
    const std::size_t randomLine = std::string("id 'bf1942_NNNN'\n").size();
    EXPECT_EQ(host.sent.size(), fixed.size() + kRandomNameAttempts * randomLine);
    // The system that "uname -s" names decides which tool knows groups; others are refused.
    const Texts systems = {
        {"FreeBSD\n", "uname -s\npw groupshow 'a b'\n"},
        {"Linux\n", "uname -s\ngroupmod 'a b'\n"},
        {"SunOS\n", "Unknown system: SunOS\n"},
    };
    expectRows(systems, [](const std::string& system) {
        FakeHost group;
        group.answer = system;
        const std::string raised = raisedMessage([&] { groupExists(group, "a b"); });
        return raised.empty() ? group.sent : raised;
    });
}

#include "commands/commands.h"

#include <crypt.h>

#include <set>

#include "commands/account_random.h"
#include "commands/create_user.h"
#include "commands/instance_script.h"
#include "commands/send.h"
#include "commands/start.h"
#include "commands/stop.h"
#include "fake_host.h"
#include "game/game_loader.h"
#include "shell/config_edit.h"
#include "shell/port_check.h"
#include "shell/quoting.h"
#include "support.h"

using namespace fieldkeep;
namespace fs = std::filesystem;

TEST(SettingsEdit, OnePassMakesWhatTheEditsOneAfterAnotherWould) {
    // The keys set to their values (blank: their lines emptied), through /bin/sh on this
    // machine; no FILE.pre stays. The status names the first key whose edit fails.
    const SettingEdit a{"g.n", "\"/&\\1 $(id)\"", false}, b{"k", "v", false}, x{"k", "", true};
    // clang-format off
    const std::tuple<const char*, const char*, std::vector<SettingEdit>, int, const char*> rows[] = {
        {"a missing file is created", nullptr, {b, a}, 0, "\nk v\n\ng.n \"/&\\1 $(id)\"\n"},
        {"the very key only, literally", "a\n\tg-n\t1 // c\ng.nX 2", {a}, 0,
         "a\n\tg-n\t\"/&\\1 $(id)\"\ng.nX 2"},
        {"blanked in place, the count of lines kept", "k 1\n  k 2\nx\n", {x, a}, 0,
         "\n\nx\n\ng.n \"/&\\1 $(id)\"\n"},
        {"blanking in a missing file", nullptr, {a, x}, 0, "\ng.n \"/&\\1 $(id)\"\n"},
        {"blanking in a missing file first", nullptr, {b, x, a}, 0, "\nk v\n\ng.n \"/&\\1 $(id)\"\n"},
        {"fails at the blank that comes first", nullptr, {x, b}, 1, nullptr},
    };
    // clang-format on
    for (const auto& [behaviour, before, edits, status, after] : rows) {
        const Scratch s;
        const std::string file = s.path("it's settings.con");
        if (before != nullptr)
            std::ofstream(file) << before;
        const std::string line = kEditSettingsFunction + makeEditSettingsCommand(file, edits);
        EXPECT_EQ(WEXITSTATUS(std::system(("sh -c " + shellQuote(line)).c_str())), status)
            << behaviour;
        EXPECT_EQ(s.read("it's settings.con"), after ? after : "") << behaviour;
        EXPECT_FALSE(std::filesystem::exists(file + ".pre"));
        EXPECT_TRUE(!after || std::filesystem::status(file).permissions() == fs::perms(0600));
    }
}

TEST(StopScript, SignalsOnlyAPlainPidOfTheInstance) {
    // The pid file holds printf's text with %s the pid of the shell that runs stop.sh with the
    // arguments "+overlayPath CFGDIR" (its parent has them inside one argument); the kill calls
    // expected, and the file removed either way.
    // clang-format off
    const std::tuple<const char*, const char*, const char*, const char*> pidFiles[] = {
        {"a negative number", "server.pid", "-1", ""},
        {"init", "server.pid", "1", ""},
        {"a leading zero", "server.pid", "0%s", ""},
        {"blanks around the server's pid", "server.pid", "  %s \n", "%s\n-9 %s\n"},
        {"a line end from DOS", "start.pid", "%s\r\n", "%s\n-9 %s\n"},
        {"two numbers", "start.pid", "%s 2", ""},
        {"a process of ours that runs something else", "server.pid", "%.0s'$PPID'", ""},
    };
    // clang-format on
    const Scratch s;
    std::ofstream(s.path("stop.sh")) << makeStopScript(builtInGame());
    for (const auto& [behaviour, file, content, signals] : pidFiles) {
        const std::string line = "cd " + s.dir + " && : >kill.log && printf -- '" + content +
                                 "' $$ >" + file + " && printf '" + signals +
                                 "' $$ $$ >sent && "
                                 "kill() { echo \"$*\" >>kill.log; } && . ./stop.sh && cmp sent "
                                 "kill.log && ! test -e " +
                                 file;
        const std::string run = "sh -c " + shellQuote(line) + " sh +overlayPath " + s.dir;
        EXPECT_EQ(std::system(run.c_str()), 0) << behaviour;
    }
}

TEST(PortCheck, FindsTheLocalPortOnlyAsTheTablesWriteIt) {
    // The check through /bin/sh, with cat reading a socket table line in place of
    // /proc/net: the slot, the local address and port, the remote ones, the state. The status
    // names the first port taken.
    // clang-format off
    const std::tuple<const char*, const char*, std::vector<std::string>, int> rows[] = {
        {"a local port", "   0: 0100007F:3A47 00000000:0000 0A", {"14919"}, 1},
        {"a port below 4096 has leading zeros", "  3: 00000000:0050 00000000:0000 07", {"1", "80"}, 2},
        {"an IPv6 local port", "  1: 0000000000000000FFFF00000100007F:0FA0 0", {"4000"}, 1},
        {"another local port", "   0: 0100007F:0051 00000000:0000 0A", {"80"}, 0},
        {"the remote port does not count", "   1: 0100007F:9C40 0100007F:0050 01", {"80"}, 0},
        {"the table's header", "  sl  local_address rem_address   st", {"80"}, 0},
    };
    // clang-format on
    for (const auto& [behaviour, table, ports, taken] : rows) {
        const std::string line = "cat() { echo " + shellQuote(table) + "; }; " + kPortsFunction +
                                 makePortsFreeCommand(ports);
        EXPECT_EQ(WEXITSTATUS(std::system(("sh -c " + shellQuote(line)).c_str())), taken)
            << behaviour;
    }
}

TEST(ShellTemplate, FillsEachPlaceholderOnceWithOneWord) {
    // clang-format off
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"a value becomes one quoted word", "x @B@ y", "x 'it'\\''s' y"},
        {"a value holding a placeholder is not filled again", "@A@", "'@B@'"},
        {"placeholders side by side", "@A@@B@", "'@B@''it'\\''s'"},
        {"unknown names and lone @ stay", "@C@ a@b @@ @", "@C@ a@b @@ @"},
        {"a text goes in as it is, not searched again", "@A@ @T@", "'@B@' a @A@"},
    };
    // clang-format on
    for (const auto& [behaviour, text, filled] : rows) {
        EXPECT_EQ(fillShellTemplate(text, {{"A", "@B@"}, {"B", "it's"}}, {{"T", "a @A@"}}), filled)
            << behaviour;
    }
}

// What --start makes of its arguments, or the first thing it refuses: the values written for
// server internet, punk buster, remote admin and remote console ("-": blanked), then after "|"
// the ports it checks.
static std::string startSettings(const std::string& args) {
    talvor::opt::TOParsing options = Argv(args).parse();
    std::string shown;
    const std::string raised = raisedMessage([&] {
        const StartOptions o = readStartOptions(options);
        options.check();
        validateStartOptions(o);
        for (const SettingChange& c : settingChanges(o)) {
            if (c.key == "game.serverInternet" || c.key == "game.serverPunkBuster" ||
                c.key.rfind("admin.", 0) == 0) {
                shown += (c.remove ? "-" : c.value) + " ";
            }
        }
        shown += "|";
        for (const auto& [option, port] : portsToCheck(o)) {
            shown += " " + port;
        }
    });
    return raised.empty() ? shown : raised;
}

// The options of --start but the server password and the remote admin and console ones.
static const std::string kGame =
    "--srv-dir=/s|--cfg-dir=/c|--name=N|--max-players=1|--srv-bandwidth=2|--cl-bandwidth=3|--ip=i|"
    "--port=1|--spy-lan-port=0|--spy-port=2|--game-time=0|--score-lim=1|--round-num=3|";

TEST(Start, WritesFlagsAndBlanksAndChecksPorts) {
    const std::string pw = "--srv-passwd|", admin = "--remote-admin-passwd=a|";
    const std::string rcon = "--rcon-username=u|--rcon-password=p|--rcon-port=3|";
    const std::string all = kGame + pw + admin + rcon;
    // clang-format off
    const std::tuple<const char*, std::string, const char*> rows[] = {
        {"flags not given write 0", all, "0 0 \"a\" \"u\" \"p\" 3 | 1 2 3"},
        {"flags given", all + "--server-internet|--punk-buster", "1 1 \"a\" \"u\" \"p\" 3 | 1 2 3"},
        {"no remote admin", kGame + pw + rcon + "--no-remote-admin", "0 0 - \"u\" \"p\" 3 | 1 2 3"},
        {"no remote console", kGame + pw + admin + "--no-rcon", "0 0 \"a\" - | 1 2"},
        {"only 0 skips a port", all + "--spy-lan-port=00", "0 0 \"a\" \"u\" \"p\" 3 | 1 00 2 3"},
        {"the server directory first", "--cfg-dir=/c|--name=N", "Requires long option '--srv-dir'"},
        {"a server password", kGame + admin + rcon, "Requires long option '--srv-passwd'"},
        {"no console options", kGame + pw + admin, "Requires long option '--rcon-username'"},
        {"a flag given a value", all + "--punk-buster=1", "Unknown option '--punk-buster'"},
        {"admin off and on", all + "--no-remote-admin", "Unknown option '--remote-admin-passwd'"},
        {"console off and on", all + "--no-rcon", "Unknown option '--rcon-password'"},
    };
    // clang-format on
    for (const auto& [behaviour, args, shown] : rows) {
        EXPECT_EQ(startSettings(args), shown) << behaviour;
    }
}

static StartOptions startOptions() {
    talvor::opt::TOParsing options =
        Argv(kGame + "--srv-passwd|--no-remote-admin|--no-rcon").parse();
    return readStartOptions(options);
}

TEST(Start, OneScriptStopsWritesChecksAndLaunchesInThatOrder) {
    FakeHost host;
    host.answers = {"ok\n"};
    startInstance(host, startOptions());
    EXPECT_EQ(host.sent, "/bin/sh -s\n");  // one remote command, no terminal, no value in it
    std::size_t at = 0;
    for (const char* step :
         {"enter '/c'", "[ '/s' -ef . ]", "cat >stop.sh", "./stop.sh", "game.serverName",
          "admin.enableRemoteConsole", "test -x '\\''/s'\\''/start.sh", "ports_free '",
          "cat >start.sh", "nohup ./start.sh"}) {
        at = host.inputs.find(step, at);
        EXPECT_NE(at, std::string::npos) << step;
    }
}

TEST(Start, EndsAtTheFirstFailingStep) {
    const Texts rows = {
        {"a setting", "game.serverName",
         "Set option 'game.serverName' failed in /c/settings/serversettings.con: E"},
        {"the launch", "nohup", "Start server failed: "},
    };
    expectRows(rows, [](const std::string& failing) {
        FakeHost host;
        host.failing = failing;
        return raisedMessage([&] { startInstance(host, startOptions()); });
    });
}

TEST(Guard, EachAnswerAndAFailedStepEndTheRunWithTheirMessage) {
    using Run = void (*)(FakeHost&);
    const Run stop = [](FakeHost& h) { stopServer(Argv("--cfg-dir=/c").parse(), h); };
    const Run status = [](FakeHost& h) { showStatus(Argv("--cfg-dir=/c").parse(), h); };
    const Run start = [](FakeHost& h) { startInstance(h, startOptions()); };
    const std::string c = "Configuration directory /c ", s = "Server directory /s ";
    const std::string others = " is writable by other accounts";
    // clang-format off
    const std::tuple<const char*, Run, const char*, std::string> rows[] = {
        {"let in", stop, "ok", ""},
        {"no directory to stop", stop, "missing", "Copy stop script failed: E"},
        {"no directory to look at", status, "missing", c + "does not exist"},
        {"the same directories", start, "refused same", "Server and configuration directories must differ"},
        {"another owner", stop, "refused owner", c + "is not owned by me"},
        {"the directory a link", stop, "refused dirlink", c + "holds a symbolic link: /c"},
        {"a link inside", status, "refused link /c/x", c + "holds a symbolic link: /c/x"},
        {"writable by others", stop, "refused unsafe /c", c + "is not safe: /c" + others},
        {"a path too long to check", status, "refused unchecked", c + "cannot be checked"},
        {"a server directory too long", start, "refused srvunchecked", s + "cannot be checked"},
        {"no launcher", start, "refused nolauncher", "Test on exec server failed"},
        {"the server directory a link", start, "refused srvlink", s + "holds a symbolic link: /s"},
        {"server directory writable", start, "refused srvunsafe /", s + "is not safe: /" + others},
        {"no way to the owner", status, "refused act u1", "Cannot act as u1 on addr"},
        {"no guard ran", status, "This account is currently not available.", "Status query failed: E"},
        {"no guard ran before a start", start, "This account is currently not available.", "Copy stop script failed: E"},
        {"a failed step", stop, "ok\nfailed 0 1", "Copy stop script failed: E"},
    };
    // clang-format on
    for (const auto& [behaviour, run, answer, message] : rows) {
        FakeHost host;
        host.answers = {std::string(answer) + "\n"};
        EXPECT_EQ(raisedMessage([&host, f = run] { f(host); }), message) << behaviour;
    }
}

TEST(Guard, HoldsTheDirectoryItsPathNamesInEveryShell) {
    // In a scratch tree T: a and b, each with settings/, and l, a link to a that T's owner made.
    Scratch s;
    fs::create_directories(s.path("a/settings")), fs::create_directories(s.path("b/settings"));
    fs::create_directory_symlink("a", s.path("l"));
    const std::pair<std::string, std::string> rows[] = {
        {"enter T/a/./", "why= unsafe="},  // one cd -P, spare names and all
        {"enter T/l", "why= unsafe="},     // followed: T's owner is root or the login
        {"enter T/a && PWD=T/b", "why=dirlink unsafe="},  // a path to another directory
        {"enter T/a && PWD=T/l", "why= unsafe="},         // a link to the very directory held
        {"chmod 777 T/a/settings && enter T/a", "why= unsafe=T/a/settings"}};
    const auto inT = [&s](std::string text) {
        for (std::size_t at = 0; (at = text.find("T/", at)) != std::string::npos;)
            at = text.replace(at, 1, s.dir).find('/', at + s.dir.size());
        return text;
    };
    for (const char* shell : {"sh", "bash --posix", "mksh"}) {
        for (const auto& [line, expected] : rows) {
            const std::string run =
                std::string(kLookHere) + kEnterFunction + inT(line) +
                " && look_here '' settings; echo \"why=$FK_WHY unsafe=$FK_UNSAFE\"";
            std::system((shell + (" -c " + shellQuote(run)) + " >" + s.path("out")).c_str());
            EXPECT_EQ(s.read("out"), inT(expected) + "\n") << shell << ": " << line;
        }
        fs::permissions(s.path("a/settings"), fs::perms(0700));
    }
}

TEST(Send, TheLineTravelsOnlyOnStandardInputAndMustBeConfirmed) {
    FakeHost host;
    host.answers = {"ok\nsent\n"};
    sendConsoleLine(host, builtInGame(), "/c", "admin.password 'pass word'");
    EXPECT_NE(host.inputs.find("\nadmin.password 'pass word'\nFIELDKEEP_END\n"), std::string::npos);
    EXPECT_EQ(host.sent, "/bin/sh -s\n");
    host.answers = {"ok\n"};
    EXPECT_EQ(raisedMessage([&] { sendConsoleLine(host, builtInGame(), "/c", "x"); }),
              "Send failed: E");
}

TEST(Account, PasswordsAndSaltsAreDrawnFromTheirAlphabets) {
    std::set<char> passwordChars, saltChars;
    std::string numbers;
    for (int i = 0; i < 2000; ++i) {
        const std::string p = makePassword(), setting = makeSaltSetting();
        ASSERT_EQ(p.size(), 10u);
        ASSERT_EQ(setting.substr(0, 3), "$6$");  // SHA-512 with the longest salt
        ASSERT_EQ(setting.size(), 3u + 16u);
        passwordChars.insert(p.begin(), p.end());
        saltChars.insert(setting.begin() + 3, setting.end());
        numbers += std::to_string(randomBelow(7));
    }
    const std::string alnum = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    EXPECT_EQ(std::string(passwordChars.begin(), passwordChars.end()), alnum);
    EXPECT_EQ(std::string(saltChars.begin(), saltChars.end()), "./" + alnum);
    EXPECT_EQ(std::set<char>(numbers.begin(), numbers.end()).size(), 7u);  // 0 to 6 only
    // A hash verifies with crypt() but is salted afresh each time.
    const std::string hash = encryptPassword("Abc123xyz9");
    EXPECT_STREQ(crypt("Abc123xyz9", hash.c_str()), hash.c_str());
    EXPECT_NE(encryptPassword("Abc123xyz9"), hash);
}

TEST(Account, TriesTheFixedNamesThen1000RandomOnes) {
    FakeHost host;  // every name is taken
    EXPECT_EQ(raisedMessage([&] { chooseUserAccount(host, builtInGame()); }),
              "No free user name found");
    const std::string fixed = "id 'bf1942'\nid 'bf'\nid 'battlefield'\nid 'battlefield1942'\n";
    EXPECT_EQ(host.sent.substr(0, fixed.size()), fixed);
    std::istringstream lines(host.sent.substr(fixed.size()));
    int tried = 0;
    for (std::string line; std::getline(lines, line); ++tried) {  // id 'bf1942_1000' to 9999
        const std::string number = line.substr(11, 4);
        EXPECT_TRUE(line.size() == 16 && line.compare(0, 11, "id 'bf1942_") == 0 &&
                    line.back() == '\'' && number[0] != '0' &&
                    number.find_first_not_of("0123456789") == std::string::npos)
            << line;
    }
    EXPECT_EQ(tried, 1000);
}

TEST(Account, TheSystemNamesTheToolThatKnowsGroups) {
    const Texts systems = {
        {"FreeBSD", "FreeBSD\n", "uname -s\npw groupshow 'a b'\n"},
        {"Linux", "Linux\n", "uname -s\ngroupmod 'a b'\n"},
        {"others", "SunOS\n", "Unknown system: SunOS\n"},
    };
    expectRows(systems, [](const std::string& system) {
        FakeHost group;
        group.answers = {system};
        const std::string raised = raisedMessage([&] { groupExists(group, "a b"); });
        return raised.empty() ? group.sent : raised;
    });
}

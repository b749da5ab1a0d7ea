#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "errors/output.h"
#include "main/entry.h"
#include "support.h"

using namespace fieldkeep;
using namespace talvor::opt;

// The value one long lookup finds, "(none)" when it finds none, or what its release raises.
static std::string longValue(const std::string& args, const std::string& name, int mode) {
    TOParsing options = Argv(args).parse();
    std::string value;
    const std::string raised = raisedMessage([&] {
        const TOptResult found = options.longOpt(name, mode);
        value = found ? found.value() : "(none)";
    });
    return raised.empty() ? value : raised;
}

TEST(Options, ALongLookupFollowsItsArgumentMode) {
    // clang-format off
    const std::tuple<const char*, const char*, const char*, TArgMode, const char*> rows[] = {
        {"a value runs from the first '='", "--d=/a=b", "d", ReqArg, "/a=b"},
        {"the last one given counts", "--x=1|--x=2", "x", ReqArg, "2"},
        {"an empty required value", "--in=", "in", ReqArg, "Incorrect long option '--in'"},
        {"a required option not given", "--zeta", "cmd", ReqArg, "Requires long option '--cmd'"},
        {"a flag given no value", "--exec", "exec", NoArg, ""},
        {"a flag given an empty value", "--exec=", "exec", NoArg, ""},
        {"a flag given a value", "--exec=1", "exec", NoArg, "Incorrect long option '--exec'"},
        {"an optional value absent", "--pw", "pw", OptArg, ""},
        {"an optional value given", "--pw=x", "pw", OptArg, "x"},
        {"its option not given", "--z", "pw", OptArg, "Requires long option '--pw'"},
    };
    // clang-format on
    for (const auto& [behaviour, args, name, mode, shown] : rows) {
        EXPECT_EQ(longValue(args, name, mode), shown) << behaviour;
    }
}

TEST(Options, OfLookupsHeldTogetherOnlyTheLatestIsRaised) {
    TOParsing options = Argv("--b=1").parse();
    const auto both = [&](const char* first, const char* second) {
        return raisedMessage([&] {
            const TOptResult a = options.longOpt(first, ReqArg),
                             b = options.longOpt(second, ReqArg);
        });
    };
    EXPECT_EQ(both("a", "b"), "");  // a later lookup that found its option makes a miss optional
    EXPECT_EQ(both("b", "a"), "Requires long option '--a'");
}

TEST(Options, ShortOptionsAreLettersOfWellFormedGroups) {
    // Words that are no well-formed option are no option at all: check() passes them by.
    TOParsing options = Argv("-abc|-_|-a-b|-d=1|--a b|--.a|--2x|--a.b=1|-|--|---x|--h").parse();
    for (char c : {'a', 'b', 'c', '_'}) EXPECT_TRUE(options.shortOpt(c).found()) << c;
    EXPECT_EQ(raisedMessage([&] { options.shortOpt('d'); }), "Requires short option '-d'");
    EXPECT_EQ(raisedMessage([&] { options.shortOpt('h'); }), "Requires short option '-h'");
    options.clear();
    EXPECT_EQ(raisedMessage([&] { options.check(); }), "Unknown option '--h'");
}

TEST(Options, CheckNamesTheFirstOptionNoLookupFound) {
    // clang-format off
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"letters before names", "--zeta|--alpha|-zb", "Unknown option '-b'"},
        {"names in byte order", "--zeta|--alpha", "Unknown option '--alpha'"},
        {"upper case before '_' before lower", "--abc|--_x|--Zed", "Unknown option '--Zed'"},
        {"a found option is known", "--a=1|--zeta", "Unknown option '--zeta'"},
        {"a cleared lookup leaves its option unknown", "--a=", "Unknown option '--a'"},
    };
    // clang-format on
    for (const auto& [behaviour, args, message] : rows) {
        TOParsing options = Argv(args).parse();
        const std::string raised = raisedMessage([&] {
            {
                const TOptResult a = options.longOpt("a", ReqArg);
                options.clear();
            }
            options.check();
        });
        EXPECT_EQ(raised, message) << behaviour;
    }
    TOParsing options = Argv("--a=1").parse();  // each check looks at the lookups since the last
    {
        const TOptResult a = options.longOpt("a", ReqArg);
        options.check();  // raises nothing
    }
    EXPECT_EQ(raisedMessage([&] { options.check(); }), "Unknown option '--a'");
}

// A fake command: says it ran and, when it is done, checks the options left.
static bool ran(TOParsing o, const char* name, bool done) {
    writeLine(name);
    if (done)
        o.check();
    return done;
}

static bool showConnection(TOParsing, RemoteRunner& host) {
    const Session& s = host.session();
    writeLine(s.address + " " + s.login + " " + s.password + " " +
              std::to_string(s.connectTimeout) + " " + std::to_string(s.aliveInterval));
    return true;
}

static const std::vector<CommandRow> kFakeCommands = {
    {"first", [](TOParsing o, RemoteRunner&) { return ran(o, "first", true); }},
    {"second", [](TOParsing o, RemoteRunner&) { return ran(o, "second", false); }},
    {"third", [](TOParsing o, RemoteRunner&) { return ran(o, "third", true); }},
    {"empty-fail", [](TOParsing, RemoteRunner&) -> bool { throw TUError{""}; }},
    {"bad-alloc", [](TOParsing, RemoteRunner&) -> bool { throw std::bad_alloc(); }},
    {"cut", [](TOParsing, RemoteRunner&) -> bool { writeOut(".."), throw TUError{"Cut"}; }},
    {"where", showConnection},
    {"connect", [](TOParsing, RemoteRunner& host) { return host.connect(), true; }},
};

// Runs the entry with the real host on the arguments, the environment variables set or
// unset (nullptr) first; all it prints, then its status.
using Environment = std::vector<std::pair<const char*, const char*>>;
static std::string runEntry(const std::string& args, const Environment& environment) {
    for (const char* name : {"BF1942_IDENTITY", "BF1942_CONNECT_TIMEOUT", "BF1942_ALIVE_INTERVAL",
                             "BF1942_RUN_TIMEOUT", "BF1942_KNOWN_HOSTS"}) {
        unsetenv(name);
    }
    setenv("BF1942_PASSWD", "pw", 1);
    for (const auto& [name, value] : environment) {
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    }
    std::ostringstream captured;
    std::streambuf* const saved = std::cout.rdbuf(captured.rdbuf());
    const Argv argv(args);
    const int status = runFieldkeep(static_cast<int>(argv.all.size()), argv.pointers.data(),
                                    kFakeCommands, *makeHostRunner());
    std::cout.rdbuf(saved);
    return captured.str() + std::to_string(status);
}

TEST(Entry, ReadsTheConnectionThenRunsTheFirstCommandGiven) {
    const std::string C = "--address=h|--login=u|", W = C + "--where";
    const char *PW = "BF1942_PASSWD", *CT = "BF1942_CONNECT_TIMEOUT", *AI = "BF1942_ALIVE_INTERVAL";
    // clang-format off
    const std::tuple<const char*, std::string, Environment, const char*> rows[] = {
        {"the address comes first", "--login=u", {}, "Requires long option '--address'\n1"},
        {"port 0", "--address=h:0|--login=", {}, "Incorrect long option '--address'\n1"},
        {"no login", "--address=h|--where", {}, "Requires long option '--login'\n1"},
        {"an empty login", "--address=h|--login=", {}, "Incorrect long option '--login'\n1"},
        {"no password or key", W, {{PW, nullptr}}, "Password is not set\n1"},
        {"an empty key", W, {{PW, nullptr}, {"BF1942_IDENTITY", ""}}, "Password is not set\n1"},
        {"an empty password", W, {{PW, ""}}, "h u  20 15\n0"},
        {"no command, nothing to do", C + "-hx|--zap", {}, "0"},
        {"a stray option", C + "--zap", {}, "Unknown option '--zap'\n1"},
        {"a command given a value", C + "--first=1", {}, "Unknown option '--first'\n1"},
        {"a command not done runs the next", C + "--second|--third", {}, "second\nthird\n0"},
        {"the table's order", C + "--third|--first", {}, "first\nUnknown option '--third'\n1"},
        {"an empty message is a line", C + "--empty-fail", {}, "\n1"},
        {"an unexpected failure", C + "--bad-alloc", {}, "Undefined error\n-1"},
        {"a message starts a line of its own", C + "--cut", {}, "..\nCut\n1"},
        {"a connect timeout of 0", W, {{CT, "0"}}, "Incorrect BF1942_CONNECT_TIMEOUT\n1"},
        {"huge timeouts are held", W, {{CT, "99999999999999999999"}}, "h u pw 100000000 15\n0"},
        {"an empty alive interval", W, {{AI, ""}}, "Incorrect BF1942_ALIVE_INTERVAL\n1"},
        {"an alive interval of 0 turns it off", W, {{AI, "0"}}, "h u pw 20 0\n0"},
        {"digits only", W, {{"BF1942_RUN_TIMEOUT", "-1"}}, "Incorrect BF1942_RUN_TIMEOUT\n1"},
    };
    // clang-format on
    for (const auto& [behaviour, args, environment, output] : rows) {
        EXPECT_EQ(runEntry(args, environment), output) << behaviour;
    }
}

TEST(Entry, AConnectionAttemptNeverAnsweredTimesOut) {
    // A listener with a backlog of 0 whose one queued connection is never accepted drops
    // further SYNs, so the run's own connect() waits unanswered.
    const int listener = socket(AF_INET, SOCK_STREAM, 0), queued = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};  // on a free port
    socklen_t size = sizeof address;
    const auto any = reinterpret_cast<sockaddr*>(&address);
    ASSERT_EQ(bind(listener, any, size) | listen(listener, 0) | getsockname(listener, any, &size),
              0);
    ASSERT_EQ(connect(queued, any, size), 0);
    const std::string port = std::to_string(ntohs(address.sin_port));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(runEntry("--address=127.0.0.1:" + port + "|--login=u|--connect",
                       {{"BF1942_CONNECT_TIMEOUT", "1"}}),
              "Connection timed out\n1");
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    EXPECT_TRUE(took.count() > 0.9 && took.count() < 3) << took.count();
    pollfd another{listener, POLLIN, 0};  // the run's connection never reached the queue
    EXPECT_TRUE(accept(listener, nullptr, nullptr) >= 0 && poll(&another, 1, 0) == 0);
    close(queued);
    close(listener);
}

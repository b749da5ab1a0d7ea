#include "errors/output.h"
#include "main/entry.h"
#include "remote/connection.h"
#include "support.h"

using namespace fieldkeep;
using namespace talvor::opt;

// The store as "--name=value@word -letter@word ...", words counted from 0.
static std::string describe(const TOpts& opts) {
    std::string text;
    const auto at = [&](const std::string* w) { return "@" + std::to_string(w - opts.args().data()) + " "; };
    for (const auto& [name, e] : opts.longOpts()) { text += "--" + name + "=" + e.value + at(e.word); }
    for (const auto& [letter, e] : opts.shortOpts()) { text += std::string("-") + letter + at(e.word); }
    return text;
}

// Which words are options, with which name and value; the last of a name or letter wins; all stay in args.
TEST(TOpts, WordSyntax) {
    const Texts rows = {
        {"--max-players=16", "--max-players=16@0 "}, {"--dir=/a=b", "--dir=/a=b@0 "}, {"--x=1|--x=2", "--x=2@1 "},
        {"--name|--flag=", "--flag=@1 --name=@0 "}, {"--_x|--a_b-c=v w", "--_x=@0 --a_b-c=v w@1 "}, {"-a-b|-a=1", ""},
        {"--port2=1|-p2|--2x|--.a|--a.b=1|--a b", ""}, {"|-|--|foo|---x", ""}, {"-h|-H", "-H@1 -h@0 "},
        {"--Name|--name", "--Name=@0 --name=@1 "}, {"-abc|-_", "-_@1 -a@0 -b@0 -c@0 "}, {"-ab|-b|-a", "-a@2 -b@1 "},
        {"--x=|--x=a=b=", "--x=a=b=@1 "}};
    expectRows(rows, [](const std::string& cell) {
        const TOpts opts = Argv(cell).parse().opts();
        return describe(opts) + (opts.args() == words(cell) ? "" : "(args differ from the words)");
    });
    const char* cut[] = {"prog", "--a", nullptr, "--b"};  // no vector, one starting or stopping at a null
    EXPECT_TRUE(TOpts(0, nullptr).args().empty() && TOpts(0, nullptr).programName().empty());
    EXPECT_EQ(std::to_string(TOpts(1, cut + 2).args().size()) + TOpts(4, cut).programName() + describe(TOpts(4, cut)),
              "0prog--a=@0 ");
    const TOpts opts = Argv("w").parse().opts();
    const auto error = caught<TOpts::TOutOfRange>([&] { opts.arg(1); });
    ASSERT_TRUE(error && opts.arg(0) == "w");
    EXPECT_EQ(error->what() + (" " + std::to_string(error->index())), "Wrong index (index = 1) 1");
    EXPECT_EQ(&error->opts().args(), &opts.args());  // shares the store
}

TEST(TOParsing, LookupsAndChecks) {
    // One long lookup per mode: "+VALUE" when found, "-" when not, and what its release raises.
    const std::vector<std::pair<std::tuple<const char*, const char*, int>, std::string>> lookups = {
        {{"cmd", "--cmd=ls", ReqArg}, "+ls"}, {{"cmd", "--cmd", ReqArg}, "- Incorrect long option '--cmd'"},
        {{"cmd", "--cmd=", ReqArg}, "- Incorrect long option '--cmd'"}, {{"exec", "--exec=", NoArg}, "+"},
        {{"cmd", "", ReqArg}, "- Requires long option '--cmd'"}, {{"odd", "--odd=x", 9}, "+x"},
        {{"exec", "--exec=1", NoArg}, "- Incorrect long option '--exec'"}, {{"pw", "--pw", OptArg}, "+"},
        {{"h", "-h", OptArg}, "- Requires long option '--h'"}, {{"pw", "--pw=x", OptArg}, "+x"}};
    expectRows(lookups, [](const auto& lookup) {
        TOParsing options = Argv(std::get<1>(lookup)).parse();
        std::string seen;
        const std::string raised = raisedMessage([&] {
            auto result = options.longOpt(std::get<0>(lookup), std::get<2>(lookup));
            seen = (result.found() ? "+" : "-") + result.value();
        });
        return seen + (raised.empty() ? "" : " " + raised);
    });
    // Two steps of lookups on one parse and what each raises: short lookups find no long option, clear() makes a
    // lookup optional, only the latest outcome is held, copies share use, held outcomes come first, check forgets.
    using P = TOParsing&;
    const std::tuple<const char*, void (*)(P), const char*, void (*)(P), const char*> steps[] = {
        {"--h|-x", [](P o) { o.shortOpt('h'); }, "Requires short option '-h'", [](P o) { o.shortOpt('x'); }, ""},
        {"--input=", [](P o) { auto in = o.longOpt("input", ReqArg); o.clear(); }, "",
         [](P o) { o.check(); }, "Unknown option '--input'"},
        {"--b=1", [](P o) { auto a = o.longOpt("a", ReqArg), b = o.longOpt("b", ReqArg); }, "",
         [](P o) { auto b = o.longOpt("b", ReqArg), a = o.longOpt("a", ReqArg); }, "Requires long option '--a'"},
        {"--a=1|--b=2", [](P o) { TOParsing copy = o; copy.longOpt("a", ReqArg); }, "",
         [](P o) { o.longOpt("b", ReqArg); o.check(); }, ""},
        {"--zeta", [](P o) { auto held = o.longOpt("cmd", ReqArg); o.check(); }, "Requires long option '--cmd'",
         [](P) {}, ""},
        {"--a=1", [](P o) { o.longOpt("a", ReqArg); o.check(); }, "", [](P o) { o.check(); }, "Unknown option '--a'"}};
    for (const auto& [cell, first, raisedFirst, then, raisedThen] : steps) {
        TOParsing options = Argv(cell).parse();
        EXPECT_EQ(raisedMessage([&, f = first] { f(options); }), raisedFirst) << cell;
        EXPECT_EQ(raisedMessage([&, f = then] { f(options); }), raisedThen) << cell;
    }
    // check() after "--known" was looked up names the first unused option: letters first, each in byte order.
    const Texts checks = {
        {"--known|foo|-|--", ""}, {"--known|--zeta|--alpha", "Unknown option '--alpha'"},
        {"--known|-zb", "Unknown option '-b'"}, {"--known|--zeta|--alpha|-q", "Unknown option '-q'"},
        {"--known|--abc|--_x|--Zed", "Unknown option '--Zed'"}, {"--known|--abc|--_x", "Unknown option '--_x'"}};
    expectRows(checks, [](const std::string& cell) {
        TOParsing o = Argv(cell).parse();
        return raisedMessage([&] { o.longOpt("known", OptArg); o.check(); });
    });
    // The errors carry the option given.
    TOParsing options = Argv("--exec=1|-q").parse();
    const auto bad = caught<TOParsing::TBadLOpt>([&] { options.longOpt("exec", NoArg); });
    options.clear();  // otherwise check() raises the same outcome again
    const auto unknown = caught<TOParsing::TUnknSOpt>([&] { options.check(); });
    ASSERT_TRUE(bad && unknown);
    EXPECT_EQ(bad->given().name + " " + bad->given().value + " " + *bad->given().word, "exec 1 --exec=1");
    EXPECT_EQ(unknown->given().letter + std::string(" ") + unknown->what(), "q Unknown option '-q'");
}

// Fake commands: they say that they ran, fail in each way or show the connection parameters read.
static const std::vector<CommandRow> kFakeCommands = {
    {"first", [](TOParsing o) { writeLine("first"); o.check(); return true; }},
    {"second", [](TOParsing) { writeLine("second"); return false; }},
    {"third", [](TOParsing o) { writeLine("third"); o.check(); return true; }},
    {"print-fail", [](TOParsing) -> bool { writeLine("partial"); throw TUError{"Handler failed"}; }},
    {"empty-fail", [](TOParsing) -> bool { throw TUError{""}; }}, {"int-fail", [](TOParsing) -> bool { throw 7; }},
    {"bad-alloc", [](TOParsing) -> bool { throw std::bad_alloc(); }}, {"help", showHelp},
    {"where", [](TOParsing) { writeLine(connAddress + " " + connLogin + " " + connPassword + " " +
                                        std::to_string(connConnectTimeout) + " " + std::to_string(connAliveInterval));
                              return true; }}};

// A run's words, among them changes to the environment ("NAME=VALUE" sets, "NAME" unsets; the password is
// "secret" otherwise), then all it prints and its status. Time limits are whole seconds, held at most.
TEST(Entry, DispatchesAndReports) {
    const std::string C = "--address=h|--login=u|";
    const Texts rows = {
        {"BF1942_PASSWD", "Requires long option '--address'\n1"}, {C + "-hx|--zap", "0"}, {C + "--help|--zap", "0"},
        {"--address|--login=u", "Incorrect long option '--address'\n1"}, {C + "-q", "Unknown option '-q'\n1"},
        {"--address=h:0|--login=", "Incorrect long option '--address'\n1"}, {C + "--empty-fail", "\n1"},
        {"--address=h|--help", "Requires long option '--login'\n1"}, {C + "--zap", "Unknown option '--zap'\n1"},
        {"--address=h|--login=", "Incorrect long option '--login'\n1"}, {C + "--int-fail", "Undefined error\n-1"},
        {C + "--first=1", "Unknown option '--first'\n1"}, {C + "--bad-alloc", "Undefined error\n-1"},
        {C + "--help|BF1942_PASSWD", "Password is not set\n1"}, {C + "--where|BF1942_PASSWD=", "h u  20 15\n0"},
        {C + "--second|--third", "second\nthird\n0"}, {C + "--third|--first", "first\nUnknown option '--third'\n1"},
        {C + "--third|--help", "third\nUnknown option '--help'\n1"}, {C + "--print-fail", "partial\nHandler failed\n1"},
        {"--address=a|--address=b|--login=u|foo|-|--|--where", "b u secret 20 15\n0"},
        {C + "--where|BF1942_CONNECT_TIMEOUT=0", "Incorrect BF1942_CONNECT_TIMEOUT\n1"},
        {C + "--where|BF1942_CONNECT_TIMEOUT=", "Incorrect BF1942_CONNECT_TIMEOUT\n1"},
        {C + "--where|BF1942_CONNECT_TIMEOUT=1.5", "Incorrect BF1942_CONNECT_TIMEOUT\n1"},
        {C + "--where|BF1942_CONNECT_TIMEOUT=99999999999999999999", "h u secret 100000000 15\n0"},
        {C + "--where|BF1942_ALIVE_INTERVAL=-1", "Incorrect BF1942_ALIVE_INTERVAL\n1"},
        {C + "--where|BF1942_ALIVE_INTERVAL=0", "h u secret 20 0\n0"}};
    expectRows(rows, [](const std::string& cell) {
        std::string given;
        for (const std::string& w : words("BF1942_PASSWD=secret|BF1942_IDENTITY|BF1942_CONNECT_TIMEOUT|"
                                          "BF1942_ALIVE_INTERVAL|" + cell)) {
            const std::size_t equals = w.find('=');
            if (w.rfind("BF1942_", 0) != 0) { given += w + "|"; }
            else if (equals == std::string::npos) { unsetenv(w.c_str()); }
            else { setenv(w.substr(0, equals).c_str(), &w[equals + 1], 1); }
        }
        std::ostringstream captured;
        std::streambuf* const saved = std::cout.rdbuf(captured.rdbuf());
        const Argv args(given);
        const int status = runFieldkeep(static_cast<int>(args.all.size()), args.pointers.data(), kFakeCommands);
        std::cout.rdbuf(saved);
        return captured.str() + std::to_string(status);
    });
    std::string order;  // the real table keeps its commands in dispatch order
    for (const CommandRow& row : commandTable()) { order += std::string(row.option) + " "; }
    EXPECT_EQ(order, "exec copy-file check-host check-on-root create-user check-install install start stop help ");
}

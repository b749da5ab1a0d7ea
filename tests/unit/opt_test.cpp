#include "support.h"

using namespace fieldkeep::testing;
using namespace talvor::opt;

// The store as "--name=value@word -letter@word ...", words counted from 0.
static std::string describe(const TOpts& opts) {
    std::string text;
    const auto at = [&](const std::string* w) { return "@" + std::to_string(w - opts.args().data()) + " "; };
    for (const auto& [name, e] : opts.longOpts()) { text += "--" + name + "=" + e.value + at(e.word); }
    for (const auto& [letter, e] : opts.shortOpts()) { text += std::string("-") + letter + at(e.word); }
    return text;
}

// Which words are options, with which name and value; the last word of a name or letter wins, and
// every word stays in args. Empty, null-cut or missing vectors give an empty store.
TEST(TOpts, WordSyntax) {
    const Texts rows = {
        {"--max-players=16", "--max-players=16@0 "}, {"--dir=/a=b", "--dir=/a=b@0 "}, {"--x=1|--x=2", "--x=2@1 "},
        {"--name|--flag=", "--flag=@1 --name=@0 "}, {"--_x|--a_b-c=v w", "--_x=@0 --a_b-c=v w@1 "},
        {"--port2=1|-p2|--2x|--.a|--a.b=1|--a b", ""}, {"|-|--|foo|---x", ""}, {"-a-b|-a=1", ""},
        {"--Name|--name", "--Name=@0 --name=@1 "}, {"-h|-H", "-H@1 -h@0 "}, {"-abc|-_", "-_@1 -a@0 -b@0 -c@0 "},
        {"--x=|--x=a=b=", "--x=a=b=@1 "}, {"-ab|-b|-a", "-a@2 -b@1 "}};
    expectRows(rows, [](const std::string& cell) {
        const TOpts opts = Argv(cell).parse().opts();
        EXPECT_EQ(opts.args(), words(cell));
        return describe(opts);
    });
    const char* nullFirst[] = {nullptr};
    const char* stopsAtNull[] = {"prog", "--a", nullptr, "--b"};
    EXPECT_TRUE(TOpts(0, nullptr).args().empty() && TOpts(0, nullptr).programName().empty());
    EXPECT_TRUE(TOpts(1, nullFirst).args().empty());
    EXPECT_EQ(TOpts(4, stopsAtNull).programName() + " " + describe(TOpts(4, stopsAtNull)), "prog --a=@0 ");
}

TEST(TOpts, IndexPastTheEndIsOutOfRange) {
    const TOpts opts = Argv("w").parse().opts();
    const auto error = caught<TOpts::TOutOfRange>([&] { opts.arg(1); });
    ASSERT_TRUE(error && opts.arg(0) == "w");
    EXPECT_EQ(error->what() + (" " + std::to_string(error->index())), "Wrong index (index = 1) 1");
    EXPECT_EQ(&error->opts().args(), &opts.args());  // shares the store
}

// One long lookup per mode: "+VALUE" when found, "-" when not, and what its release raises.
TEST(TOParsing, LongLookupModes) {
    const std::vector<std::pair<std::tuple<const char*, const char*, int>, std::string>> rows = {
        {{"cmd", "--cmd=ls", ReqArg}, "+ls"}, {{"cmd", "--cmd", ReqArg}, "- Incorrect long option '--cmd'"},
        {{"cmd", "--cmd=", ReqArg}, "- Incorrect long option '--cmd'"}, {{"exec", "--exec=", NoArg}, "+"},
        {{"cmd", "", ReqArg}, "- Requires long option '--cmd'"}, {{"odd", "--odd=x", 9}, "+x"},
        {{"exec", "--exec=1", NoArg}, "- Incorrect long option '--exec'"}, {{"h", "-h", OptArg}, "- Requires long option '--h'"},
        {{"srv-passwd", "--srv-passwd", OptArg}, "+"}, {{"srv-passwd", "--srv-passwd=x", OptArg}, "+x"}};
    expectRows(rows, [](const auto& lookup) {
        TOParsing options = Argv(std::get<1>(lookup)).parse();
        std::string seen;
        const std::string raised = raisedMessage([&] {
            auto result = options.longOpt(std::get<0>(lookup), std::get<2>(lookup));
            seen = (result.found() ? "+" : "-") + result.value();
        });
        return seen + (raised.empty() ? "" : " " + raised);
    });
}

// Lookups on one parse in two steps, and what each step raises.
TEST(TOParsing, Usage) {
    using Step = void (*)(TOParsing&);
    const std::tuple<const char*, Step, const char*, Step, const char*> rows[] = {
        {"--h|-x", [](TOParsing& o) { o.shortOpt('h'); }, "Requires short option '-h'",
         [](TOParsing& o) { EXPECT_TRUE(o.shortOpt('x').found()); }, ""},
        // Cleared, the lookup is optional; its value broke the mode, so check finds it unused.
        {"--input=", [](TOParsing& o) { auto in = o.longOpt("input", ReqArg); o.clear(); EXPECT_FALSE(in); }, "",
         [](TOParsing& o) { o.check(); }, "Unknown option '--input'"},
        // Only the latest outcome is held.
        {"--b=1", [](TOParsing& o) { auto a = o.longOpt("a", ReqArg), b = o.longOpt("b", ReqArg); }, "",
         [](TOParsing& o) { auto b = o.longOpt("b", ReqArg), a = o.longOpt("a", ReqArg); }, "Requires long option '--a'"},
        {"--a=1|--b=2", [](TOParsing& o) { TOParsing copy = o; copy.longOpt("a", ReqArg); }, "",
         [](TOParsing& o) { o.longOpt("b", ReqArg); o.check(); }, ""},  // copies share what was used
        {"--zeta", [](TOParsing& o) { auto held = o.longOpt("cmd", ReqArg); o.check(); },
         "Requires long option '--cmd'", [](TOParsing&) {}, ""},  // the held outcome comes first
        {"--a=1", [](TOParsing& o) { o.longOpt("a", ReqArg); o.check(); }, "",
         [](TOParsing& o) { o.check(); }, "Unknown option '--a'"}};  // check forgets what was used
    for (const auto& [cell, first, raisedFirst, then, raisedThen] : rows) {
        TOParsing options = Argv(cell).parse();
        EXPECT_EQ(raisedMessage([&, f = first] { f(options); }), raisedFirst) << cell;
        EXPECT_EQ(raisedMessage([&, f = then] { f(options); }), raisedThen) << cell;
    }
}

// check() after "--known" was looked up names the first unused option: letters before names, each in
// byte order. The errors carry the option given.
TEST(TOParsing, CheckReportsTheFirstUnusedOption) {
    const Texts rows = {
        {"--known|foo|-|--", ""}, {"--known|--zeta|--alpha", "Unknown option '--alpha'"},
        {"--known|--zeta|--alpha|-q", "Unknown option '-q'"}, {"--known|-zb", "Unknown option '-b'"},
        {"--known|--abc|--_x|--Zed", "Unknown option '--Zed'"}, {"--known|--abc|--_x", "Unknown option '--_x'"}};
    expectRows(rows, [](const std::string& cell) {
        TOParsing options = Argv(cell).parse();
        return raisedMessage([&] { options.longOpt("known", OptArg); options.check(); });
    });
    TOParsing options = Argv("--exec=1|-q").parse();
    const auto bad = caught<TOParsing::TBadLOpt>([&] { options.longOpt("exec", NoArg); });
    options.clear();  // otherwise check() raises the same outcome again
    const auto unknown = caught<TOParsing::TUnknSOpt>([&] { options.check(); });
    ASSERT_TRUE(bad && unknown);
    EXPECT_EQ(bad->given().name + " " + bad->given().value + " " + *bad->given().word, "exec 1 --exec=1");
    EXPECT_EQ(unknown->given().letter + std::string(" ") + unknown->what(), "q Unknown option '-q'");
}

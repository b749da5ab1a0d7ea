#include <map>

#include "errors/output.h"
#include "main/entry.h"
#include "remote/connection.h"
#include "support.h"

using namespace fieldkeep;
using namespace talvor::opt;

// Runs words on a parse: "N", "O" or "R" and a name look a long option up in the mode NoArg,
// OptArg or ReqArg, "S" and a letter a short one, each shown as "+VALUE" or "-" and held until
// the words after it ran; "X" clears, "K" checks.
static void runWords(TOParsing& o, const std::vector<std::string>& ws, std::size_t i,
                     std::string& seen) {
    if (i == ws.size()) {
        return;
    }
    const std::map<char, int> modes = {{'N', NoArg}, {'O', OptArg}, {'R', ReqArg}};
    if (ws[i] == "X" || ws[i] == "K") {
        ws[i] == "X" ? o.clear() : o.check();
        return runWords(o, ws, i + 1, seen);
    }
    const TOptResult held = ws[i][0] == 'S' ? o.shortOpt(ws[i][1])
                                            : o.longOpt(ws[i].substr(1), modes.at(ws[i][0]));
    seen += (held.found() ? "+" : "-") + held.value();
    runWords(o, ws, i + 1, seen);
}

TEST(TOParsing, ReadsWordsLooksUpAndChecks) {
    // Steps (split by "/") on copies of a parse: what each shows and raises ("!") by option rules.
    const std::tuple<const char*, const char*, const char*> rows[] = {
        {"--dir=/a=b|--x=1|--x=2", "Rdir Rx", "+/a=b+2"},
        {"-abc|-_|-a-b|-d=1|--a b|--.a|--2x|--a.b=1|-|--|---x", "Sd Sa Sb Sc S_ K", "-++++"},
        {"--exec=", "Nexec", "+"},
        {"--exec=1", "Nexec", "-!Incorrect long option '--exec'"},
        {"--pw", "Opw", "+"},
        {"--pw=x", "Opw", "+x"},
        {"--h|-x", "Sh / Sx", "-!Requires short option '-h' / +"},
        {"--input=", "Rinput X / K", "- / !Unknown option '--input'"},
        {"--b=1", "Ra Rb / Rb Ra", "-+1 / +1-!Requires long option '--a'"},
        {"--a=1|--b=2", "Ra / Rb K", "+1 / +2"},
        {"--zeta", "Rcmd K", "-!Requires long option '--cmd'"},
        {"--a=1", "Ra K / K", "+1 / !Unknown option '--a'"},
        {"--zeta|--alpha|-zb", "K", "!Unknown option '-b'"},
        {"--zeta|--alpha", "K", "!Unknown option '--alpha'"},
        {"--abc|--_x|--Zed", "K", "!Unknown option '--Zed'"},
    };
    for (const auto& [cell, script, expected] : rows) {
        const TOParsing options = Argv(cell).parse();
        std::string shown;
        std::istringstream steps(script);
        for (std::string step; std::getline(steps, step, '/');) {
            TOParsing copy = options;
            std::istringstream in(step);
            const std::vector<std::string> ws{std::istream_iterator<std::string>(in), {}};
            std::string seen;
            const std::string raised = raisedMessage([&] { runWords(copy, ws, 0, seen); });
            shown += (shown.empty() ? "" : " / ") + seen + (raised.empty() ? "" : "!" + raised);
        }
        EXPECT_EQ(shown, expected) << cell;
    }
}

// A fake command: says it ran and, when it is done, checks the options left.
static bool ran(TOParsing o, const char* name, bool done) {
    writeLine(name);
    if (done) {
        o.check();
    }
    return done;
}

static bool showConnection(TOParsing, RemoteRunner&) {
    writeLine(connAddress + " " + connLogin + " " + connPassword + " " +
              std::to_string(connConnectTimeout) + " " + std::to_string(connAliveInterval));
    return true;
}

static const std::vector<CommandRow> kFakeCommands = {
    {"first", [](TOParsing o, RemoteRunner&) { return ran(o, "first", true); }},
    {"second", [](TOParsing o, RemoteRunner&) { return ran(o, "second", false); }},
    {"third", [](TOParsing o, RemoteRunner&) { return ran(o, "third", true); }},
    {"empty-fail", [](TOParsing, RemoteRunner&) -> bool { throw TUError{""}; }},
    {"bad-alloc", [](TOParsing, RemoteRunner&) -> bool { throw std::bad_alloc(); }},
    {"where", showConnection},
};

// Runs the entry on the words of a cell, among them changes to the environment ("NAME=VALUE"
// sets, "NAME" unsets); all it prints, then its status.
static std::string runEntry(const std::string& cell) {
    std::string given;
    for (const std::string& w : words(cell)) {
        const std::size_t equals = w.find('=');
        if (w.rfind("BF1942_", 0) != 0) {
            given += w + "|";
        } else if (equals == std::string::npos) {
            unsetenv(w.c_str());
        } else {
            setenv(w.substr(0, equals).c_str(), &w[equals + 1], 1);
        }
    }
    std::ostringstream captured;
    std::streambuf* const saved = std::cout.rdbuf(captured.rdbuf());
    const Argv args(given);
    const int status =
        runFieldkeep(static_cast<int>(args.all.size()), args.pointers.data(), kFakeCommands,
                     hostRunner());
    std::cout.rdbuf(saved);
    return captured.str() + std::to_string(status);
}

TEST(Entry, DispatchesAndReports) {
    // What a run prints and its status: connection parameters first, then the commands in order.
    const std::string C = "--address=h|--login=u|";
    const Texts rows = {
        {"BF1942_PASSWD", "Requires long option '--address'\n1"},
        {"--address=h:0|--login=", "Incorrect long option '--address'\n1"},
        {"--address=h|--where", "Requires long option '--login'\n1"},
        {"--address=h|--login=", "Incorrect long option '--login'\n1"},
        {C + "--where|BF1942_PASSWD", "Password is not set\n1"},
        {C + "--where|BF1942_PASSWD=", "h u  20 15\n0"},
        {C + "-hx|--zap", "0"},
        {C + "--zap", "Unknown option '--zap'\n1"},
        {C + "--first=1", "Unknown option '--first'\n1"},
        {C + "--second|--third", "second\nthird\n0"},
        {C + "--third|--first", "first\nUnknown option '--third'\n1"},
        {C + "--empty-fail", "\n1"},
        {C + "--bad-alloc", "Undefined error\n-1"},
        {C + "--where|BF1942_CONNECT_TIMEOUT=0", "Incorrect BF1942_CONNECT_TIMEOUT\n1"},
        {C + "--where|BF1942_CONNECT_TIMEOUT=99999999999999999999", "h u pw 100000000 15\n0"},
        {C + "--where|BF1942_ALIVE_INTERVAL=-1", "Incorrect BF1942_ALIVE_INTERVAL\n1"},
        {C + "--where|BF1942_ALIVE_INTERVAL=0", "h u pw 20 0\n0"},
        {C + "--where|BF1942_RUN_TIMEOUT=1s", "Incorrect BF1942_RUN_TIMEOUT\n1"},
    };
    const std::string unset =
        "BF1942_IDENTITY|BF1942_CONNECT_TIMEOUT|BF1942_ALIVE_INTERVAL|BF1942_RUN_TIMEOUT|";
    expectRows(rows, [&](const std::string& cell) {
        return runEntry("BF1942_PASSWD=pw|" + unset + cell);
    });
}

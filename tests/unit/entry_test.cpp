#include <new>

#include "errors/output.h"
#include "main/entry.h"
#include "remote/connection.h"
#include "support.h"

using namespace fieldkeep;
using namespace fieldkeep::testing;
using talvor::opt::TOParsing;

// Fake commands: they say that they ran, fail in each way, read an option or show the connection
// parameters read.
static const std::vector<CommandRow> kFakeCommands = {
    {"first", [](TOParsing o) { writeLine("first"); o.check(); return true; }},
    {"second", [](TOParsing) { writeLine("second"); return false; }},
    {"third", [](TOParsing o) { writeLine("third"); o.check(); return true; }},
    {"print-fail", [](TOParsing) -> bool { writeLine("partial"); throw TUError{"Handler failed"}; }},
    {"empty-fail", [](TOParsing) -> bool { throw TUError{""}; }},
    {"bad-alloc", [](TOParsing) -> bool { throw std::bad_alloc(); }},
    {"int-fail", [](TOParsing) -> bool { throw 7; }},
    {"needs-cmd", [](TOParsing o) { o.longOpt("cmd", talvor::opt::ReqArg); return true; }},
    {"where", [](TOParsing) {
         writeLine(connAddress + " " + connLogin + " " + connPassword + " " + std::to_string(connConnectTimeout) + " " +
                   std::to_string(connAliveInterval));
         return true; }},
    {"help", showHelp}};

// One run: its words, changes to the environment ("NAME=VALUE" sets, "NAME" unsets; the password is
// "secret" otherwise), all it prints and its status. Time limits are whole seconds; huge ones are held.
TEST(Entry, DispatchesAndReports) {
    const std::string C = "--address=h|--login=u|";
    const std::tuple<std::string, std::string, const char*, int> rows[] = {
        {"", "BF1942_PASSWD", "Requires long option '--address'\n", 1},
        {"--address|--login=u", "", "Incorrect long option '--address'\n", 1},
        {"--address=h:0|--login=", "", "Incorrect long option '--address'\n", 1},
        {"--address=h|--help", "", "Requires long option '--login'\n", 1},
        {"--address=h|--login=", "", "Incorrect long option '--login'\n", 1},
        {C + "--help", "BF1942_PASSWD", "Password is not set\n", 1}, {C + "--where", "BF1942_PASSWD=", "h u  20 15\n", 0},
        {"--address=a|--address=b|--login=u|--where", "", "b u secret 20 15\n", 0},
        {C + "foo|-|--", "", "", 0}, {C + "--help|--zap", "", "", 0}, {C + "-hx|--zap", "", "", 0},
        {C + "--zap", "", "Unknown option '--zap'\n", 1}, {C + "-q", "", "Unknown option '-q'\n", 1},
        {C + "--first=1", "", "Unknown option '--first'\n", 1}, {C + "--second|--third", "", "second\nthird\n", 0},
        {C + "--third|--first", "", "first\nUnknown option '--third'\n", 1},  // the first row wins
        {C + "--third|-h", "", "third\nUnknown option '-h'\n", 1},
        {C + "--third|--help", "", "third\nUnknown option '--help'\n", 1},
        {C + "--print-fail", "", "partial\nHandler failed\n", 1}, {C + "--empty-fail", "", "\n", 1},
        {C + "--bad-alloc", "", "Undefined error\n", -1}, {C + "--int-fail", "", "Undefined error\n", -1},
        {C + "--needs-cmd", "", "Requires long option '--cmd'\n", 1},
        {C + "--where", "BF1942_CONNECT_TIMEOUT=0", "Incorrect BF1942_CONNECT_TIMEOUT\n", 1},
        {C + "--where", "BF1942_CONNECT_TIMEOUT=", "Incorrect BF1942_CONNECT_TIMEOUT\n", 1},
        {C + "--where", "BF1942_CONNECT_TIMEOUT=1.5", "Incorrect BF1942_CONNECT_TIMEOUT\n", 1},
        {C + "--where", "BF1942_CONNECT_TIMEOUT=99999999999999999999", "h u secret 100000000 15\n", 0},
        {C + "--where", "BF1942_ALIVE_INTERVAL=-1", "Incorrect BF1942_ALIVE_INTERVAL\n", 1},
        {C + "--where", "BF1942_ALIVE_INTERVAL=0", "h u secret 20 0\n", 0}};
    for (const auto& [cell, env, output, status] : rows) {
        for (const std::string& change :
             words("BF1942_PASSWD=secret|BF1942_IDENTITY|BF1942_CONNECT_TIMEOUT|BF1942_ALIVE_INTERVAL|" + env)) {
            const std::size_t equals = change.find('=');
            equals == std::string::npos ? unsetenv(change.c_str())
                                        : setenv(change.substr(0, equals).c_str(), change.c_str() + equals + 1, 1);
        }
        std::ostringstream captured;
        std::streambuf* const saved = std::cout.rdbuf(captured.rdbuf());
        const Argv args(cell);
        const int ran = runFieldkeep(static_cast<int>(args.all.size()), args.pointers.data(), kFakeCommands);
        std::cout.rdbuf(saved);
        EXPECT_EQ(captured.str() + std::to_string(ran), output + std::to_string(status)) << cell << " " << env;
    }
}

TEST(CommandTable, KeepsTheCommandsInDispatchOrder) {
    std::string order;
    for (const CommandRow& row : commandTable()) { order += std::string(row.option) + " "; }
    EXPECT_EQ(order, "exec copy-file check-host check-on-root create-user check-install install start stop help ");
}

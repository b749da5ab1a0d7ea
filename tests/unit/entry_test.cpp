#include <gtest/gtest.h>

#include <tuple>

#include <cstdlib>
#include <iostream>
#include <new>
#include <sstream>

#include "argv.h"
#include "errors/output.h"
#include "errors/uerror.h"
#include "main/entry.h"
#include "remote/connection.h"

namespace {

using fieldkeep::CommandRow;
using fieldkeep::TUError;
using fieldkeep::testing::Argv;
using talvor::opt::ReqArg;
using talvor::opt::TOParsing;

std::string calls;  // which fake handlers ran, in order

// Fake commands: they record their runs, fail in each way, or read an option.
const std::vector<CommandRow> kTable = {
    {"first", [](TOParsing o) { calls += "first;"; o.check(); return true; }},
    {"second", [](TOParsing) { calls += "second;"; return false; }},
    {"third", [](TOParsing o) { calls += "third;"; o.check(); return true; }},
    {"print-fail", [](TOParsing) -> bool { fieldkeep::writeLine("partial"); throw TUError{"Handler failed"}; }},
    {"empty-fail", [](TOParsing) -> bool { throw TUError{""}; }},
    {"bad-alloc", [](TOParsing) -> bool { throw std::bad_alloc(); }},
    {"int-fail", [](TOParsing) -> bool { throw 7; }},
    {"needs-cmd", [](TOParsing o) { o.longOpt("cmd", ReqArg); return true; }},
    {"help", fieldkeep::showHelp},
};

class Entry : public ::testing::Test {
protected:
    void SetUp() override {
        calls.clear();
        saved_ = std::cout.rdbuf(captured_.rdbuf());
        setenv("BF1942_PASSWD", "secret", 1);
    }
    void TearDown() override { std::cout.rdbuf(saved_); }

    int run(std::initializer_list<std::string> words) {
        Argv args(words);
        return fieldkeep::runFieldkeep(args.argc(), args.argv(), kTable);
    }
    std::string output() const { return captured_.str(); }

    std::ostringstream captured_;
    std::streambuf* saved_ = nullptr;
};


struct EntryCase {
    std::vector<std::string> words;
    bool withPassword;
    std::string output;
    int status;
    std::string calls;
};

class EntryRun : public Entry, public ::testing::WithParamInterface<EntryCase> {};

TEST_P(EntryRun, DispatchesAndReports) {
    const EntryCase& c = GetParam();
    if (!c.withPassword) {
        unsetenv("BF1942_PASSWD");
    }
    const Argv args(c.words);
    const int status = fieldkeep::runFieldkeep(args.argc(), args.argv(), kTable);
    EXPECT_EQ(output(), c.output);
    EXPECT_EQ(status, c.status);
    EXPECT_EQ(calls, c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, EntryRun,
    ::testing::Values(
        EntryCase{{}, true, "Requires long option '--address'\n", 1, ""},
        EntryCase{{}, false, "Requires long option '--address'\n", 1, ""},
        EntryCase{{"--address", "--login=u"}, true, "Incorrect long option '--address'\n", 1, ""},
        EntryCase{{"--address=h:0", "--login="}, true, "Incorrect long option '--address'\n", 1, ""},
        EntryCase{{"--address=h", "--help"}, true, "Requires long option '--login'\n", 1, ""},
        EntryCase{{"--address=h", "--login="}, true, "Incorrect long option '--login'\n", 1, ""},
        EntryCase{{"--address=h", "--login=u", "--help"}, false, "Password is not set\n", 1, ""},
        EntryCase{{"--address=h", "--login=u"}, true, "", 0, ""},
        EntryCase{{"--address=h", "--login=u", "foo", "-", "--"}, true, "", 0, ""},
        EntryCase{{"--address=h", "--login=u", "--help", "--zap"}, true, "", 0, ""},
        EntryCase{{"--address=h", "--login=u", "-h", "--zap"}, true, "", 0, ""},
        EntryCase{{"--address=h", "--login=u", "-hx"}, true, "", 0, ""},
        EntryCase{{"--address=h", "--login=u", "--zap"}, true, "Unknown option '--zap'\n", 1, ""},
        EntryCase{{"--address=h", "--login=u", "-q"}, true, "Unknown option '-q'\n", 1, ""},
        EntryCase{{"--address=h", "--login=u", "--first=1"}, true,
                  "Unknown option '--first'\n", 1, ""},
        // The first row runs; its check finds the later command unused.
        EntryCase{{"--address=h", "--login=u", "--third", "--first"}, true,
                  "Unknown option '--third'\n", 1, "first;"},
        EntryCase{{"--address=h", "--login=u", "--second", "--third"}, true, "", 0,
                  "second;third;"},
        EntryCase{{"--address=h", "--login=u", "--third", "-h"}, true, "Unknown option '-h'\n", 1,
                  "third;"},
        EntryCase{{"--address=h", "--login=u", "--third", "--help"}, true,
                  "Unknown option '--help'\n", 1, "third;"},
        EntryCase{{"--address=h", "--login=u", "--print-fail"}, true, "partial\nHandler failed\n",
                  1, ""},
        EntryCase{{"--address=h", "--login=u", "--empty-fail"}, true, "\n", 1, ""},
        EntryCase{{"--address=h", "--login=u", "--bad-alloc"}, true, "Undefined error\n", -1, ""},
        EntryCase{{"--address=h", "--login=u", "--int-fail"}, true, "Undefined error\n", -1, ""},
        EntryCase{{"--address=h", "--login=u", "--needs-cmd"}, true,
                  "Requires long option '--cmd'\n", 1, ""}));

TEST_F(Entry, TimeLimitsMustBeWholeSeconds) {
    const std::vector<std::tuple<const char*, const char*, std::string>> cases = {
        {"BF1942_CONNECT_TIMEOUT", "0", "Incorrect BF1942_CONNECT_TIMEOUT\n"},
        {"BF1942_CONNECT_TIMEOUT", "", "Incorrect BF1942_CONNECT_TIMEOUT\n"},
        {"BF1942_CONNECT_TIMEOUT", "1.5", "Incorrect BF1942_CONNECT_TIMEOUT\n"},
        {"BF1942_CONNECT_TIMEOUT", "99999999999999999999", ""},
        {"BF1942_ALIVE_INTERVAL", "-1", "Incorrect BF1942_ALIVE_INTERVAL\n"},
        {"BF1942_ALIVE_INTERVAL", " 5", "Incorrect BF1942_ALIVE_INTERVAL\n"},
        {"BF1942_ALIVE_INTERVAL", "0", ""},
    };
    for (const auto& [name, value, expected] : cases) {
        captured_.str("");
        setenv(name, value, 1);
        EXPECT_EQ(run({"--address=h", "--login=u"}), expected.empty() ? 0 : 1) << name << value;
        EXPECT_EQ(output(), expected);
        unsetenv(name);
    }
}

TEST_F(Entry, EmptyPasswordIsAccepted) {
    setenv("BF1942_PASSWD", "", 1);
    EXPECT_EQ(run({"--address=h", "--login=u"}), 0);
    EXPECT_EQ(output(), "");
    EXPECT_STREQ(fieldkeep::connPassword, "");
}

TEST_F(Entry, LastAddressWins) {
    EXPECT_EQ(run({"--address=a", "--address=b", "--login=u"}), 0);
    EXPECT_EQ(fieldkeep::connAddress, "b");
    EXPECT_EQ(fieldkeep::connLogin, "u");
}

TEST(CommandTable, KeepsTheCommandsInDispatchOrder) {
    std::string order;
    for (const CommandRow& row : fieldkeep::commandTable()) {
        order += std::string(row.option) + " ";
    }
    EXPECT_EQ(order, "exec copy-file check-host check-on-root create-user check-install install start stop help ");
}

}  // namespace

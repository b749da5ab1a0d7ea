#include <gtest/gtest.h>

#include "argv.h"
#include "opt/toparsing.h"

using fieldkeep::testing::Argv;
using fieldkeep::testing::raisedMessage;
using namespace talvor::opt;

namespace {

std::string longOptsOf(const TOpts& opts) {
    std::string text;
    for (const auto& [name, entry] : opts.longOpts()) {
        text += name + "=" + entry.value + ";";
    }
    return text;
}

std::string shortOptsOf(const TOpts& opts) {
    std::string text;
    for (const auto& [letter, entry] : opts.shortOpts()) {
        text += letter;
    }
    return text;
}

struct SyntaxCase {
    std::vector<std::string> words;
    std::string longs;   // name=value; in name order
    std::string shorts;  // letters in code order
};

class WordSyntax : public ::testing::TestWithParam<SyntaxCase> {};

TEST_P(WordSyntax, ParsesEveryWordOnce) {
    const SyntaxCase& c = GetParam();
    const TOpts opts = Argv(c.words).store();
    EXPECT_EQ(longOptsOf(opts), c.longs);
    EXPECT_EQ(shortOptsOf(opts), c.shorts);
    EXPECT_EQ(opts.args(), c.words);  // every word stays in args, option or not
}

INSTANTIATE_TEST_SUITE_P(
    Words, WordSyntax,
    ::testing::Values(
        SyntaxCase{{"--max-players=16"}, "max-players=16;", ""},
        SyntaxCase{{"--dir=/a=b"}, "dir=/a=b;", ""},
        SyntaxCase{{"--name", "--flag="}, "flag=;name=;", ""},
        SyntaxCase{{"--_x", "--a_b-c=v w"}, "_x=;a_b-c=v w;", ""},
        SyntaxCase{{"--port2=1", "-p2", "--2x", "--.a", "--a.b=1", "--a b"}, "", ""},
        SyntaxCase{{"", "-", "--", "foo", "---x"}, "", ""},
        SyntaxCase{{"--Name", "--name"}, "Name=;name=;", ""},
        SyntaxCase{{"-h", "-H"}, "", "Hh"},
        SyntaxCase{{"-abc", "-_"}, "", "_abc"},
        SyntaxCase{{"-a-b", "-a=1"}, "", ""},
        SyntaxCase{{"--x=1", "--x=2"}, "x=2;", ""},
        SyntaxCase{{"--x=", "--x=a=b="}, "x=a=b=;", ""}));

TEST(TOpts, LastOccurrenceWinsWithItsWord) {
    const char* argv[] = {"prog", "-ab", "-b", "--x=1", "--x=2"};
    TOpts opts(5, argv);
    EXPECT_EQ(opts.findShort('a')->word, &opts.args()[0]);
    EXPECT_EQ(opts.findShort('b')->word, &opts.args()[1]);
    EXPECT_EQ(opts.findLong("x")->word, &opts.args()[3]);
}

TEST(TOpts, EmptyOrMissingArgumentsGiveAnEmptyStore) {
    TOpts none(0, nullptr);
    EXPECT_EQ(none.programName(), "");
    EXPECT_TRUE(none.args().empty());
    const char* nullFirst[] = {nullptr};
    EXPECT_TRUE(TOpts(1, nullFirst).args().empty());
    const char* stopsAtNull[] = {"prog", "--a", nullptr, "--b"};
    TOpts stopped(4, stopsAtNull);
    EXPECT_EQ(stopped.programName(), "prog");
    EXPECT_EQ(longOptsOf(stopped), "a=;");
}

TEST(TOpts, IndexPastTheEndIsOutOfRange) {
    const char* argv[] = {"prog", "w"};
    TOpts opts(2, argv);
    EXPECT_EQ(opts.arg(0), "w");
    try {
        opts.arg(7);
        FAIL() << "no error raised";
    } catch (const TOpts::TOutOfRange& e) {
        EXPECT_STREQ(e.what(), "Wrong index (index = 7)");
        EXPECT_EQ(e.index(), 7u);
        EXPECT_EQ(&e.opts().args(), &opts.args());  // shares the store
    }
}

struct LookupCase {
    const char* name;
    std::vector<std::string> words;
    int mode;
    bool found;
    std::string value;
    std::string raisedOnRelease;
};

class LongLookup : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LongLookup, FindsOrDefersItsError) {
    const LookupCase& c = GetParam();
    TOParsing options = Argv(c.words).parse();
    bool found = false;
    std::string value;
    const std::string raised = raisedMessage([&] {
        auto result = options.longOpt(c.name, c.mode);
        found = result.found();
        value = result.value();
    });
    EXPECT_EQ(found, c.found);
    EXPECT_EQ(value, c.value);
    EXPECT_EQ(raised, c.raisedOnRelease);
}

INSTANTIATE_TEST_SUITE_P(
    Modes, LongLookup,
    ::testing::Values(
        LookupCase{"cmd", {"--cmd=ls"}, ReqArg, true, "ls", ""},
        LookupCase{"cmd", {"--cmd"}, ReqArg, false, "", "Incorrect long option '--cmd'"},
        LookupCase{"cmd", {"--cmd="}, ReqArg, false, "", "Incorrect long option '--cmd'"},
        LookupCase{"cmd", {}, ReqArg, false, "", "Requires long option '--cmd'"},
        LookupCase{"exec", {"--exec=1"}, NoArg, false, "", "Incorrect long option '--exec'"},
        LookupCase{"exec", {"--exec="}, NoArg, true, "", ""},
        LookupCase{"srv-passwd", {"--srv-passwd"}, OptArg, true, "", ""},
        LookupCase{"srv-passwd", {"--srv-passwd=x"}, OptArg, true, "x", ""},
        LookupCase{"odd", {"--odd=x"}, 9, true, "x", ""},
        LookupCase{"h", {"-h"}, OptArg, false, "", "Requires long option '--h'"}));

// A sequence of lookups on one parse, and what it raises (in one or two steps).
struct UsageCase {
    const char* name;
    std::vector<std::string> words;
    void (*first)(TOParsing&);
    std::string raisedFirst;
    void (*then)(TOParsing&);
    std::string raisedThen;
};

class Usage : public ::testing::TestWithParam<UsageCase> {};

TEST_P(Usage, RaisesWhatItShould) {
    TOParsing options = Argv(GetParam().words).parse();
    EXPECT_EQ(raisedMessage([&] { GetParam().first(options); }), GetParam().raisedFirst);
    EXPECT_EQ(raisedMessage([&] { GetParam().then(options); }), GetParam().raisedThen);
}

INSTANTIATE_TEST_SUITE_P(
    Sequences, Usage,
    ::testing::Values(
        UsageCase{"ShortLookupNeverFindsALongName", {"--h", "-x"},
                  [](TOParsing& o) { o.shortOpt('h'); }, "Requires short option '-h'",
                  [](TOParsing& o) { EXPECT_TRUE(o.shortOpt('x').found()); }, ""},
        // The optional option given with a value its mode rejects counts as unknown.
        UsageCase{"ClearMakesTheLatestLookupOptional", {"--input="},
                  [](TOParsing& o) { auto in = o.longOpt("input", ReqArg); o.clear(); EXPECT_FALSE(in.found()); },
                  "", [](TOParsing& o) { o.check(); }, "Unknown option '--input'"},
        UsageCase{"ALaterLookupReplacesAHeldOutcome", {"--b=1"},
                  [](TOParsing& o) { auto a = o.longOpt("a", ReqArg), b = o.longOpt("b", ReqArg); }, "",
                  [](TOParsing& o) { auto b = o.longOpt("b", ReqArg), a = o.longOpt("a", ReqArg); },
                  "Requires long option '--a'"},
        UsageCase{"CopiesShareWhatWasUsed", {"--a=1", "--b=2"},
                  [](TOParsing& o) { TOParsing copy = o; copy.longOpt("a", ReqArg); }, "",
                  [](TOParsing& o) { o.longOpt("b", ReqArg); o.check(); }, ""},
        UsageCase{"CheckRaisesTheOutstandingLookupFirst", {"--zeta"},
                  [](TOParsing& o) { auto held = o.longOpt("cmd", ReqArg); o.check(); },
                  "Requires long option '--cmd'", [](TOParsing&) {}, ""},
        UsageCase{"CheckForgetsWhatWasUsed", {"--a=1"},
                  [](TOParsing& o) { o.longOpt("a", ReqArg); o.check(); }, "",
                  [](TOParsing& o) { o.check(); }, "Unknown option '--a'"}),
    [](const auto& info) { return std::string(info.param.name); });

struct CheckCase {
    std::vector<std::string> words;
    std::string raised;
};

class UnknownCheck : public ::testing::TestWithParam<CheckCase> {};

TEST_P(UnknownCheck, ReportsTheFirstUnusedOption) {
    TOParsing options = Argv(GetParam().words).parse();
    const std::string raised = raisedMessage([&] {
        options.longOpt("known", OptArg);
        options.check();
    });
    EXPECT_EQ(raised, GetParam().raised);
}

INSTANTIATE_TEST_SUITE_P(
    Order, UnknownCheck,
    ::testing::Values(CheckCase{{"--known", "foo", "-", "--"}, ""},
                      CheckCase{{"--known", "--zeta", "--alpha"}, "Unknown option '--alpha'"},
                      CheckCase{{"--known", "--zeta", "--alpha", "-q"}, "Unknown option '-q'"},
                      CheckCase{{"--known", "--abc", "--_x", "--Zed"}, "Unknown option '--Zed'"},
                      CheckCase{{"--known", "--abc", "--_x"}, "Unknown option '--_x'"},
                      CheckCase{{"--known", "-zb"}, "Unknown option '-b'"}));

TEST(TOParsing, CheckRaisesTheOutstandingLookupFirst) {
    Argv args{"--zeta"};
    auto options = args.parse();
    std::string raised = raisedMessage([&] {
        auto held = options.longOpt("cmd", ReqArg);
        options.check();
    });
    EXPECT_EQ(raised, "Requires long option '--cmd'");
}

TEST(TOParsing, CheckForgetsWhatWasUsed) {
    Argv args{"--a=1"};
    auto options = args.parse();
    EXPECT_EQ(raisedMessage([&] {
                  options.longOpt("a", ReqArg);
                  options.check();
              }),
              "");
    EXPECT_EQ(raisedMessage([&] { options.check(); }), "Unknown option '--a'");
}

TEST(TOParsing, ErrorsCarryTheGivenOption) {
    Argv args{"--exec=1", "-q"};
    auto options = args.parse();
    try {
        options.longOpt("exec", NoArg);
        FAIL() << "no error raised";
    } catch (const TOParsing::TBadLOpt& e) {
        EXPECT_EQ(e.given().name, "exec");
        EXPECT_EQ(e.given().value, "1");
        EXPECT_EQ(*e.given().word, "--exec=1");
    }
    options.clear();  // otherwise check() raises the same outcome again
    try {
        options.check();
        FAIL() << "no error raised";
    } catch (const TOParsing::TUnknSOpt& e) {
        EXPECT_EQ(e.given().letter, 'q');
        EXPECT_STREQ(e.what(), "Unknown option '-q'");
    }
}

}  // namespace

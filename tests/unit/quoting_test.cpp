#include <gtest/gtest.h>

#include "errors/uerror.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"

namespace {

using fieldkeep::shellQuote;
using fieldkeep::TUError;

struct QuoteCase {
    std::string text;
    std::string quoted;
};

class ShellQuote : public ::testing::TestWithParam<QuoteCase> {};

TEST_P(ShellQuote, MakesOneLiteralWord) {
    EXPECT_EQ(shellQuote(GetParam().text), GetParam().quoted);
}

INSTANTIATE_TEST_SUITE_P(
    Nasty, ShellQuote,
    ::testing::Values(QuoteCase{"abc", "'abc'"}, QuoteCase{"a b", "'a b'"},
                      QuoteCase{"it's", "'it'\\''s'"}, QuoteCase{"'", "''\\'''"},
                      QuoteCase{"''", "''\\'''\\'''"}, QuoteCase{"", "''"},
                      QuoteCase{"line\nbreak\ttab", "'line\nbreak\ttab'"},
                      QuoteCase{"$HOME `id` $(id) \\ \"", "'$HOME `id` $(id) \\ \"'"},
                      QuoteCase{std::string("nul\0byte", 8), std::string("'nul\0byte'", 10)},
                      QuoteCase{"\xff\xfe'", "'\xff\xfe'\\'''"}));

// The shell that reads the quoted word must give back the very bytes.
TEST(ShellQuote, RoundTripsThroughARealShell) {
    const std::string nasty = "a b'c\"d$e`f\\g\nh*?[i]'' ;|&<>#~";
    const std::string command = "printf %s " + shellQuote(nasty);
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    char buffer[256];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        out.append(buffer, n);
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(out, nasty);
}

std::string failureOf(void (*check)(const std::string&), const std::string& value) {
    try {
        check(value);
    } catch (const TUError& e) {
        return e.message;
    }
    return "";
}

TEST(RequireAbsolutePath, AcceptsOnlyALeadingSlash) {
    const auto check = [](const std::string& p) { fieldkeep::requireAbsolutePath(p); };
    const std::string refused = "Directry/file must be set absolute pathname";
    for (const char* ok : {"/", "/srv/bf/", "//x", "/a b"}) {
        EXPECT_EQ(failureOf(check, ok), "") << ok;
    }
    for (const char* bad : {"", "srv", "./srv", " /srv", "~/srv"}) {
        EXPECT_EQ(failureOf(check, bad), refused) << bad;
    }
}

TEST(RequirePlainWord, RefusesWhatTheScriptsWouldSplitOrExpand) {
    const auto check = [](const std::string& v) { fieldkeep::requirePlainWord(v, "dir"); };
    const std::string refused = "Option '--dir' must not contain blanks or the characters * ? [";
    for (const char* ok : {"/srv/it's", "/srv/$x", "/srv/`id`", "http://h/a.tgz", "/a]b"}) {
        EXPECT_EQ(failureOf(check, ok), "") << ok;
    }
    for (const char* bad : {"/srv/a b", "/srv/a\tb", "/srv/a\nb", "/srv/*", "/srv/a?", "/srv/[a]"}) {
        EXPECT_EQ(failureOf(check, bad), refused) << bad;
    }
}

TEST(NormalizePath, ResolvesTheSpellingsOfOnePath) {
    const std::pair<const char*, const char*> cases[] = {
        {"/srv/cfg", "/srv/cfg"},   {"/srv/cfg/", "/srv/cfg"},     {"//srv///cfg//", "/srv/cfg"},
        {"/srv/./cfg/.", "/srv/cfg"}, {"/srv/x/../cfg", "/srv/cfg"}, {"/./srv/cfg", "/srv/cfg"},
        {"/srv/x/y/../../cfg", "/srv/cfg"}, {"/..", "/"}, {"/", "/"}, {"//", "/"},
        {"/srv/..cfg/...", "/srv/..cfg/..."}, {"a/../../b/", "../b"}, {"./", "."}, {"", "."}};
    for (const auto& [path, normal] : cases) {
        EXPECT_EQ(fieldkeep::normalizePath(path), normal) << path;
    }
}

}  // namespace

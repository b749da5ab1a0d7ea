#include "commands/host_checks.h"
#include "main/host_address.h"
#include "remote/exit_status.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"
#include "support.h"

using namespace fieldkeep;

TEST(ExitStatus, CutsTheLastNumberAndReadsIntegersInRange) {
    // The status cut off and the output left, where the fuzzed round trip cannot tell.
    const std::vector<std::pair<std::string, std::pair<int, std::string>>> trailers = {
        {"a--5\n", {-5, "a"}},
        {"7", {7, ""}},
        {"abc", {-1, ""}},
    };
    expectRows(trailers, [](std::string text) {
        const int status = splitExitStatus(text);
        return std::make_pair(status, text);
    });
    // The integer a text starts with, after blanks; -99 stands for none.
    const std::vector<std::pair<std::string, int>> integers = {
        {"\t\n 42abc", 42},
        {"+8", 8},
        {"-", -99},
        {"2147483647", 2147483647},
        {"2147483648", -99},
        {"-2147483648", -2147483647 - 1},
        {"-2147483649", -99},
    };
    expectRows(integers, [](const std::string& text) { return parseIntOr(text, -99); });
}

TEST(ShellQuote, MakesOneWordAShellReadsBackAsTheBytes) {
    const std::string nasty = "a b'c\"d$e`f\\g\nh*?[i]'' ;|&<>#~\xff";
    const Scratch s;
    EXPECT_EQ(std::system(("printf %s " + shellQuote(nasty) + " >" + s.path("out")).c_str()), 0);
    EXPECT_EQ(s.read("out"), nasty);
}

TEST(HostText, PathsAddressesAndAnswersReadRight) {
    // The path a spelling names: ".." climbs above a relative start but not above the root.
    const Texts paths = {
        {"/", "/"},
        {"//srv///cfg//", "/srv/cfg"},
        {"/srv/./cfg/.", "/srv/cfg"},
        {"/srv/x/../cfg", "/srv/cfg"},
        {"/..", "/"},
        {"/srv/..cfg/...", "/srv/..cfg/..."},
        {"a/../../b/", "../b"},
        {"", "."},
    };
    expectRows(paths, normalizePath);
    // An address as "host port", "" when refused; a second colon makes the whole an IPv6 host.
    const Texts addresses = {
        {"10.0.0.5:2222", "10.0.0.5 2222"},
        {"h:065535", "h 65535"},
        {"::1", "::1 22"},
        {"[::1]", "::1 22"},
        {"[2001:db8::5]:80", "2001:db8::5 80"},
        {"h:0", ""},
        {"h:65536", ""},
        {"h:1x", ""},
        {":22", ""},
        {"[::1]22", ""},
        {"[::1", ""},
        {"[]", ""},
        {"[]:22", ""},
        {"", ""},
    };
    expectRows(addresses, [](const std::string& text) {
        const auto a = parseHostAddress(text);
        return a ? a->host + " " + std::to_string(a->port) : "";
    });
    // What --check-host says for the status and output of "uname -a": Linux on x86 only.
    const std::vector<std::pair<std::pair<int, std::string>, std::string>> unames = {
        {{0, "Linux i586\n"}, "suitable\n"},
        {{0, "Linux i686\n"}, "suitable\n"},
        {{1, "Linux x86_64\n"}, "unsuitable\nuname: Linux x86_64\n"},
        {{0, "Linux arm\n"}, "unsuitable\nuname: Linux arm\n"},
        {{0, "FreeBSD x86_64\n"}, "unsuitable\nuname: FreeBSD x86_64\n"},
        {{0, "linux i686\n"}, "unsuitable\nuname: linux i686\n"},
    };
    expectRows(unames, [](const auto& u) { return hostCheckReport({u.first, u.second, "E"}); });
    // Whether the output of "id -u" names the superuser: a lone 0, with or without a line feed.
    const std::vector<std::pair<std::string, bool>> ids = {
        {"0", true},
        {"0\n\n", false},
        {"welcome\n0\n", false},
    };
    expectRows(ids, namesSuperuser);
}

#include "commands/host_checks.h"
#include "commands/status.h"
#include "main/host_address.h"
#include "remote/channel_opening.h"
#include "remote/exit_status.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"
#include "support.h"

using namespace fieldkeep;

TEST(ExitStatus, TheLastLineIsCutOffWhereTheFuzzedRoundTripCannotTell) {
    // clang-format off
    const std::vector<std::pair<std::string, std::pair<int, std::string>>> trailers = {
        {"a--5\n", {-5, "a"}},
        {"7", {7, ""}},
        {"abc", {-1, "abc"}},
        {"x\n5\r\n", {5, "x"}},
        {"x\n5abc", {-1, "x\n5abc"}},
        {"x\n2147483647", {2147483647, "x"}},
        {"x\n2147483648", {-1, "x"}},
        {"x\n-2147483648", {-2147483647 - 1, "x"}},
        {"x\n-2147483649", {-1, "x"}},
    };
    // clang-format on
    expectRows(trailers, [](std::string text) {
        const int status = splitExitStatus(text);
        return std::make_pair(status, text);
    });
}

TEST(ShellQuote, AnyBytesMakeOneWordAShellReadsBackAsTheVeryBytes) {
    const std::string nasty = "a b'c\"d$e`f\\g\nh*?[i]'' ;|&<>#~\xff";
    const Scratch s;
    EXPECT_EQ(std::system(("printf %s " + shellQuote(nasty) + " >" + s.path("out")).c_str()), 0);
    EXPECT_EQ(s.read("out"), nasty);
}

TEST(Paths, DotDotClimbsAboveARelativeStartButNotAboveTheRoot) {
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
}

TEST(Address, ASecondColonMakesTheWholeAnIPv6Host) {
    // "host port", "" when refused.
    const Texts addresses = {
        {"h:065535", "h 65535"},
        {"::1", "::1 22"},
        {"[::1]", "::1 22"},
        {"[2001:db8::5]:80", "2001:db8::5 80"},
        {"h:65536", ""},
        {"h:1x", ""},
        {":22", ""},
        {"[::1]22", ""},
        {"[]", ""},
        {"[]:22", ""},
    };
    expectRows(addresses, [](const std::string& text) {
        const auto a = parseHostAddress(text);
        return a ? a->host + " " + std::to_string(a->port) : "";
    });
}

TEST(CheckHost, OnlyLinuxOn32BitX86IsSuitable) {
    // What --check-host says for the status and output of "uname -a".
    const std::vector<std::pair<std::pair<int, std::string>, std::string>> unames = {
        {{0, "Linux i586\n"}, "suitable\n"},
        {{0, "Linux i686\n"}, "suitable\n"},
        {{1, "Linux x86_64\n"}, "unsuitable\nuname: Linux x86_64\n"},
        {{0, "Linux arm\n"}, "unsuitable\nuname: Linux arm\n"},
        {{0, "FreeBSD x86_64\n"}, "unsuitable\nuname: FreeBSD x86_64\n"},
        {{0, "linux i686\n"}, "unsuitable\nuname: linux i686\n"},
        {{0, "\x1b]0;\x7f\tx\n"}, "unsuitable\nuname: \\x1B]0;\\x7F\tx\n"},  // shown as text
    };
    expectRows(unames, [](const auto& u) { return hostCheckReport({u.first, u.second, "E"}); });
}

TEST(CheckOnRoot, RootIsAnIdOutputOfExactly0AndALineFeed) {
    for (const char* output : {"0\n", "0"}) {
        EXPECT_TRUE(namesSuperuser(output)) << output;
    }
    for (const char* output : {"1000\n", "0\n\n", "motd\n0\n", "00\n", ""}) {
        EXPECT_FALSE(namesSuperuser(output)) << output;
    }
}

TEST(ChannelsAhead, AnyServerButDropbearBefore2024_86OrOfNoKnownRelease) {
    for (const char* banner : {"SSH-2.0-OpenSSH_9.2p1 Debian-2", "SSH-2.0-dropbear_2024.86",
                               "SSH-2.0-dropbear_2025.88", "SSH-2.0-x-dropbear_2022.83"}) {
        EXPECT_TRUE(remote::takesChannelsAhead(banner)) << banner;
    }
    for (const char* banner : {"SSH-2.0-dropbear_2022.83", "SSH-2.0-dropbear_2024.85",
                               "SSH-2.0-dropbear_0.52", "SSH-2.0-dropbear"}) {
        EXPECT_FALSE(remote::takesChannelsAhead(banner)) << banner;
    }
}

TEST(Status, DropsLinesThatDoNotParseAndListsPortsSortedUdpFirstOnce) {
    // A start is the boot time plus the ticks over the tick rate.
    const Texts facts = {
        {"running 42\nhz 100\nbtime 1796600000\nstart 6250\nrss 100\nrss x\nrss 23\nport 0FA0 tcp\n"
         "port 38E7 udp\nport 0fa0 tcp\nport 270F udp\nport 1 sctp\nport G udp\nport 12345 udp",
         "state: running\npid: 42\nsince: 2026-12-06T23:34:22Z\nmemory: 123 KiB\n"
         "ports: 9999/udp 14567/udp 4000/tcp\n"},
        {"running 42\nhz 0\nbtime 1\nstart 1\nerror x\n", "state: running\npid: 42\n"},
        {"exited\nexit 139 1796601561\nerror a: b  c\n",
         "state: exited\nended: 2026-12-06T23:59:21Z\nexit: 139\nlast error: a: b  c\n"},
        {"exited\nexit 3 999999999999999999\nerror \n", "state: exited\nexit: 3\n"},
        {"missing\n", "Configuration directory /c does not exist"},
        {"running -1\nstopping\n", "Status query failed: "},
    };
    expectRows(facts, [](const std::string& text) {
        std::string shown;
        const std::string error = raisedMessage([&] { shown = statusReport({0, text, ""}, "/c"); });
        return error + shown;
    });
}

#include "commands/host_checks.h"
#include "commands/status.h"
#include "errors/decimal.h"
#include "game/game_query.h"
#include "main/host_address.h"
#include "remote/exit_status.h"
#include "remote/spill_buffer.h"
#include "shell/quoting.h"
#include "shell/value_checks.h"
#include "support.h"

using namespace fieldkeep;

TEST(ExitStatus, TheLastLineIsCutOffWhereTheFuzzedRoundTripCannotTell) {
    // clang-format off
    const Rows<std::string, std::pair<int, std::string>> trailers = {
        {"a negative status after text", "a--5\n", {-5, "a"}},
        {"a status alone", "7", {7, ""}},
        {"no status", "abc", {-1, "abc"}},
        {"a DOS line end", "x\n5\r\n", {5, "x"}},
        {"text after the digits", "x\n5abc", {-1, "x\n5abc"}},
        {"the largest int", "x\n2147483647", {2147483647, "x"}},
        {"past the largest int", "x\n2147483648", {-1, "x"}},
        {"the smallest int", "x\n-2147483648", {-2147483647 - 1, "x"}},
        {"past the smallest int", "x\n-2147483649", {-1, "x"}},
    };
    // clang-format on
    // In braces the status is cut off before the text left is copied.
    expectRows(trailers, [](std::string text) { return std::pair{splitExitStatus(text), text}; });
}

TEST(SpillBuffer, PastItsMemoryTheBytesWaitInAFileInTheFirstDirectoryThatTakesOne) {
    const Scratch s;
    const Rows<std::vector<std::string>, std::string> dirs = {
        {"a missing directory is passed over", {"/none", s.dir}, "123456789"},
        {"none takes one: the run ends rather than the memory grow",
         {"/none", "/proc"},
         "No temporary file for held-back output (tried /none, /proc)"},
    };
    expectRows(dirs, [](const std::vector<std::string>& in) {
        SpillBuffer held(4, 64, in);
        const std::string raised =
            raisedMessage([&] { held.append("12345", 5), held.append("6789", 4); });
        return raised.empty() ? held.copy(0, held.size()) : raised;
    });
}

TEST(ShellQuote, AnyBytesMakeOneWordOrOneHereDocumentAShellReadsBackAsTheVeryBytes) {
    const std::string nasty = "a b'c\"d$e`f\\g\nh*?[i]'' ;|&<>#~\xff";
    const Scratch s;
    EXPECT_EQ(std::system(("printf %s " + shellQuote(nasty) + " >" + s.path("out")).c_str()), 0);
    EXPECT_EQ(s.read("out"), nasty);
    const std::string doc = "FIELDKEEP_END\n" + nasty;  // no line of it ends the document
    EXPECT_EQ(std::system(hereDocument("cat >" + s.path("doc"), doc).c_str()), 0);
    EXPECT_EQ(s.read("doc"), doc + "\n");
}

TEST(Paths, DotDotClimbsAboveARelativeStartButNotAboveTheRoot) {
    const Texts paths = {
        {"the root", "/", "/"},
        {"repeated slashes", "//srv///cfg//", "/srv/cfg"},
        {"dots", "/srv/./cfg/.", "/srv/cfg"},
        {"dot dot", "/srv/x/../cfg", "/srv/cfg"},
        {"dot dot at the root", "/..", "/"},
        {"names that start with dots", "/srv/..cfg/...", "/srv/..cfg/..."},
        {"dot dot above a relative start", "a/../../b/", "../b"},
        {"nothing", "", "."},
    };
    expectRows(paths, normalizePath);
}

TEST(Decimal, DigitsOnlyWithinTheirCountAndTheMostOrHeldThere) {
    const std::size_t any = std::string_view::npos;
    const long long top = std::numeric_limits<long long>::max();
    const Beyond R = Beyond::refused, H = Beyond::held;
    // clang-format off
    const std::tuple<const char*, const char*, long long, std::size_t, Beyond, std::optional<long long>> rows[] = {
        {"leading zeros count as digits", "007", 7, 3, R, 7},
        {"one digit too many", "0007", 7, 3, R, {}},
        {"above the most", "8", 7, any, R, {}},
        {"held at the most", "99999999999999999999999", 7, any, H, 7},
        {"the most of a long long", "9223372036854775807", top, any, R, top},
        {"a sign", "+1", 7, any, H, {}},
        {"nothing", "", 7, any, H, {}},
    };
    // clang-format on
    for (const auto& [behaviour, text, most, digits, beyond, value] : rows) {
        EXPECT_EQ(decimalNumber(text, most, digits, beyond), value) << behaviour;
    }
}

TEST(Address, ASecondColonMakesTheWholeAnIPv6Host) {
    // "host port", "" when refused.
    const Texts addresses = {
        {"leading zeros", "h:065535", "h 65535"},
        {"IPv6", "::1", "::1 22"},
        {"IPv6 in brackets", "[::1]", "::1 22"},
        {"IPv6 in brackets with a port", "[2001:db8::5]:80", "2001:db8::5 80"},
        {"a port past 65535", "h:65536", ""},
        {"a port not a number", "h:1x", ""},
        {"no host", ":22", ""},
        {"no colon after the brackets", "[::1]22", ""},
        {"empty brackets", "[]", ""},
        {"empty brackets with a port", "[]:22", ""},
    };
    expectRows(addresses, [](const std::string& text) {
        const auto a = parseHostAddress(text);
        return a ? a->host + " " + std::to_string(a->port) : "";
    });
}

TEST(CheckHost, LinuxOnX86IsSuitable) {
    // What --check-host says for the status and output of "uname -a".
    // clang-format off
    const Rows<std::pair<int, std::string>, std::string> unames = {
        {"i586", {0, "Linux i586\n"}, "suitable\n"},
        {"i686", {0, "Linux i686\n"}, "suitable\n"},
        {"x86_64", {0, "Linux x86_64\n"}, "suitable\n"},
        {"uname failed", {1, "Linux x86_64\n"}, "unsuitable\nuname: Linux x86_64\n"},
        {"not x86", {0, "Linux arm\n"}, "unsuitable\nuname: Linux arm\n"},
        {"not Linux", {0, "FreeBSD x86_64\n"}, "unsuitable\nuname: FreeBSD x86_64\n"},
        {"the case counts", {0, "linux i686\n"}, "unsuitable\nuname: linux i686\n"},
        {"control bytes", {0, "\x1b]0;\x7f\tx\n"}, "unsuitable\nuname: \\x1B]0;\\x7F\tx\n"},
        {"C1 controls", {0, "\xc2\x9b[2J \x9b\n"}, "unsuitable\nuname: \\xC2\\x9B[2J \\x9B\n"},
        {"UTF-8", {0, "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xc2\xa0\n"}, "unsuitable\nuname: "
         "\xc3\xa9\xe2\x82\xac\xf0\x9f\x98\x80\xc2\xa0\n"},
        {"broken UTF-8", {0, "\xe2\x82 \xed\xa0\x80\xc2\xff\n"}, "unsuitable\nuname: "
         "\xe2\\x82 \xed\xa0\\x80\xc2\xff\n"},
    };
    // clang-format on
    expectRows(unames, [](const auto& u) { return hostCheckReport({u.first, u.second, "E"}); });
}

TEST(CheckOnRoot, RootIsAnIdOutputOf0AndAtMostOneLineFeed) {
    for (const char* id : {"0\n", "0"}) EXPECT_TRUE(namesSuperuser(id)) << id;
    for (const char* id : {"1000\n", "0\n\n", "motd\n0\n", "00\n", ""})
        EXPECT_FALSE(namesSuperuser(id)) << id;
}

TEST(Status, DropsLinesThatDoNotParseAndListsPortsSortedUdpFirstOnce) {
    // A start is the boot time plus the ticks over the tick rate.
    // clang-format off
    const Texts facts = {
        {"a running server", "running 42\nhz 100\nbtime 1796600000\nstart 6250\nrss 100\nrss x\n"
         "rss 23\nport 0FA0 tcp\nport 38E7 udp\nport 0fa0 tcp\nport 270F udp\nport 1 sctp\n"
         "port G udp\nport 12345 udp",
         "state: running\npid: 42\nsince: 2026-12-06T23:34:22Z\nmemory: 123 KiB\n"
         "ports: 9999/udp 14567/udp 4000/tcp\n"},
        {"hz 0", "running 42\nhz 0\nbtime 1\nstart 1\nerror x\n", "state: running\npid: 42\n"},
        {"an exited server", "exited\nexit 139 1796601561\nerror a: b  c\n",
         "state: exited\nended: 2026-12-06T23:59:21Z\nexit: 139\nlast error: a: b  c\n"},
        {"a huge time", "exited\nexit 3 999999999999999999\nerror \n", "state: exited\nexit: 3\n"},
        {"escapes in the log", "exited\nerror \x1b[2J\n", "state: exited\nlast error: \\x1B[2J\n"},
        {"no directory", "missing\n", "Configuration directory /c does not exist"},
        {"no state", "running -1\nstopping\n", "Status query failed: "},
    };
    // clang-format on
    expectRows(facts, [](const std::string& text) {
        std::string shown;
        const InstanceRun run{text != "missing\n", {0, text, ""}};
        const std::string error = raisedMessage([&] { shown = statusReport(run, "/c"); });
        return error + shown;
    });
}

TEST(GameQuery, AnAnswerIsWholeWhenEveryPartOfOneQueryIdCame) {
    // The server's name and its players below numplayers; key hashes are never kept.
    const std::string a = "\\hostname\\T\\numplayers\\2\\queryid\\7.1",
                      end = "\\final\\\\queryid\\";
    const std::string b =
        "\\playername_0\\A\\keyhash_0\\k\\playername_1\\B\\playername_2\\Old" + end;
    const Rows<std::vector<std::string>, std::string> rows = {
        {"parts out of order, a stale player", {b + "7.2", a}, "T: A B"},
        {"a missing part", {b + "7.2"}, "none"},
        {"a part of another query id", {a, b + "8.2"}, "none"},
        {"pairs cut short", {a, "\\playername_0\\A\\x" + end + "7.2"}, "none"},
        {"an answer past 64 KiB", {std::string(65536, 'x'), a, b + "7.2"}, "none"},
        {"a part twice", {a, a, b + "7.2"}, "T: A B"}};
    expectRows(rows, [](const std::vector<std::string>& datagrams) {
        GameSpyAnswer answer;
        bool whole = false;
        for (const std::string& datagram : datagrams) whole = answer.take(datagram) || whole;
        std::string shown = whole ? answer.status().server["hostname"] + ":" : "none";
        for (const GamePlayer& p : whole ? answer.status().players : std::vector<GamePlayer>{})
            shown += " " + p.name;
        return shown + (whole && answer.status().server.count("keyhash_0") ? " keyhash" : "");
    });
}

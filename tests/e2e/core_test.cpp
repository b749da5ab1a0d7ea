// The real binary against the sandbox's sshd: remote execution, host checks and
// every way a connection can fail.
#include <gtest/gtest.h>

#include <cstring>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

std::string numbered(std::size_t size) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) {
        text += std::to_string(i) + (i % 17 == 0 ? "\n" : " ");
    }
    return text;
}

std::vector<std::string> execArgs(const std::string& cmd, const std::string& input) {
    std::vector<std::string> args{"--exec", "--cmd=" + cmd};
    if (!input.empty()) {
        args.push_back("--input=" + input);
    }
    return args;
}

struct RunCase {
    const char* name;
    std::vector<std::string> args;
    std::string expected;  // the whole standard output, for fkuser (/bin/sh) and fkbash
};

class Run : public ::testing::TestWithParam<RunCase> {};

TEST_P(Run, PrintsOutputErrorsAndStatus) {
    for (const Account& account : {testUser(), testBashUser()}) {
        const RunResult run = fieldkeep(account, GetParam().args);
        EXPECT_EQ(run.out, GetParam().expected) << account.login;
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Run,
    ::testing::Values(
        RunCase{"True", execArgs("true", ""), "\n0\n"},
        RunCase{"BothStreams", execArgs("echo out; echo err >&2; exit 3", ""), "out\nerr\n\n3\n"},
        RunCase{"ErrorsContinueAnUnfinishedLine", execArgs("printf out; printf err >&2", ""),
                "outerr\n0\n"},
        RunCase{"CatEchoesInput", execArgs("cat", "one\ntwo"), "one\ntwo\n0\n"},
        RunCase{"DigitsWithoutLineFeed", execArgs("printf abc42", ""), "abc42\n0\n"},
        RunCase{"NegativeLooking", execArgs("printf 'x\\n-7'; exit 2", ""), "x\n-7\n2\n"},
        RunCase{"EmptyInputStillEndsCat", execArgs("cat; echo after", ""), "after\n\n0\n"},
        RunCase{"ExitEndsOnlyTheSubshell", execArgs("exit 3; echo never", ""), "\n3\n"},
        RunCase{"Utf8AndHighBytes", execArgs("printf '\\303\\251\\377'", ""), "\xc3\xa9\xff\n0\n"},
        RunCase{"ErrorsBeforeOutputEndDoNotStall",
                execArgs("head -c 1048576 /dev/zero | tr '\\0' e >&2; echo done", ""),
                "done\n" + std::string(1048576, 'e') + "\n0\n"},
        RunCase{"InputNeverReadDoesNotHang", execArgs("echo quick", std::string(100000, 'x')),
                "quick\n\n0\n"},
        RunCase{"HostIsSuitable", {"--check-host"}, "suitable\n"},
        RunCase{"NotRoot", {"--check-on-root"}, "not root\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Exec, ACommentSwallowsTheTrailer) {
    const RunResult run = fieldkeep(testUser(), {"--exec", "--cmd=echo hi # comment"});
    EXPECT_EQ(run.out.substr(run.out.size() - 4), "\n-1\n") << run.out;
}

TEST(Exec, TwentyMegabytesOfOutputArriveIntact) {
    const RunResult run = fieldkeep(
        testUser(), {"--exec", "--cmd=seq 1 3000000 | head -c 20000000; echo; echo tail >&2"});
    const RunResult local = sh("seq 1 3000000 | head -c 20000000");
    ASSERT_EQ(run.out.size(), 20000000u + 1 + 5 + 3);
    EXPECT_TRUE(run.out.compare(0, 20000000, local.out) == 0);
    EXPECT_EQ(run.out.substr(20000000), "\ntail\n\n0\n");
}

TEST(HostChecks, RootIsTold) { EXPECT_EQ(fieldkeep(rootUser(), {"--check-on-root"}).out, "root\n"); }

const std::string kNoPassword =
    ". The server does not support password authentication method. You should ask your game "
    "hosting account provider to enable password authentication method.\n";

// Every address form, login method and key logs in, or says why not; nothing
// runs on the host when it does not.
TEST(Reach, EveryAddressMethodAndKeyLogsInOrSaysWhyNot) {
    struct Row { std::string address, login, identity, password, expected; };
    const std::string pass = testUser().password, in = "in\n\n0\n", keys = "/run/keys/";
    const std::string quoteUser = envOf("FK_QUOTE_USER"), quotePass = envOf("FK_QUOTE_PASSWORD");
    const std::string denied = "Authentication failed\n";
    for (const Row& row : std::vector<Row>{
             {"testhost:2222", "fkuser", "", pass, in},
             {"[::1]:22", "fkuser", "", pass, in},
             {"twoaddr:2222", "fkuser", "", pass, in},  // ::1 comes first and refuses
             {"kbdonly", "fkuser", "", pass, in},
             {"keyonly", "fkuser", keys + "id_ed25519", kUnset, in},
             {"keyonly", "fkuser", keys + "id_rsa", kUnset, in},
             {"keyonly", "fkuser", keys + "id_ecdsa", "key phrase", in},
             {"keyonly", "fkuser", keys + "id_ecdsa", "x", denied},
             {"testhost", "fkuser", keys + "id_ecdsa", pass, in},  // not decrypted: password
             {"kbdonly", "fkuser", "/etc/ssh/ssh_host_ed25519_key", pass, in},  // refused: answers
             {"keyonly", "fkuser", "agent", kUnset, in},
             {"keyonly", "fkuser", "/none", pass, "Cannot read identity file /none\n"},
             {"testhost", quoteUser, "", quotePass, in},  // the password passes byte for byte
             {"testhost", quoteUser, "", quotePass.substr(0, quotePass.size() - 1), denied},
             {"no-such-host.invalid", "fkuser", "", "x", "Failed to get network host entry\n"},
             {"127.0.0.3", "fkuser", "", "x", "Failed to connect\n"},
             {"notssh", "fkuser", "", "x", "Failure establishing SSH session\n"},
             {"testhost", "fkuser", "", "wrong", denied},
             {"testhost", "nobody-here", "", "x", denied},
             {"keyonly", "fkuser", "", "x", "Unable to connect to keyonly" + kNoPassword},
             {"127.0.0.2", "fkuser", "", "x", "Unable to connect to 127.0.0.2" + kNoPassword},
             {"kbdonly", "fkuser", "", "wrong", denied}}) {
        const RunResult run = fieldkeepRaw(
            {"--address=" + row.address, "--login=" + row.login, "--exec",
             "--cmd=echo in; touch /srv/reached"},
            {{"BF1942_PASSWD", row.password},
             {"BF1942_IDENTITY", row.identity.empty() ? kUnset : row.identity}});
        EXPECT_EQ(run.out + run.err, row.expected) << row.address << " " << row.identity;
        EXPECT_EQ(run.status, row.expected == in ? 0 : 1);
        EXPECT_EQ(exists("/srv/reached"), row.expected == in) << row.address;
        sh("rm -f /srv/reached");
    }
}

TEST(Reach, AHundredRunsAtOnceAllGetIntoABusyServer) {  // sshd's stock MaxStartups 10:30:100
    // A generous set-up time: a hundred runs at once share two cores.
    const RunResult runs = sh("for i in $(seq 100); do BF1942_PASSWD=\"$FK_USER_PASSWORD\" "
                              "BF1942_CONNECT_TIMEOUT=100 " FIELDKEEP_BINARY " --address=busy "
                              "--login=fkuser --exec --cmd='echo inside' & done 2>&1 | "
                              "grep -o inside | wc -l");  // outputs may interleave
    EXPECT_EQ(runs.out, "100\n");
}

// A link through a proxy on ADDRESS:22 to the test host's sshd, which a row
// freezes (STOP) or cuts (KILL) at a given second of the run, or leaves alone (0).
struct LinkCase {
    const char* name;
    const char* address;
    std::string link;  // the proxy's delay, then optionally its rate and buffer
    const char* signal;
    double atSecond;
    std::map<std::string, std::string> env;
    std::vector<std::string> args;
    std::string expected;
    int status;
};

class BrokenLink : public ::testing::TestWithParam<LinkCase> {};

TEST_P(BrokenLink, EndsInBoundedTimeWithTheTruth) {
    const LinkCase& c = GetParam();
    const std::string pid = sh(std::string(LINK_PROXY) + " " + c.address + " 22 127.0.0.1 22 " +
                               c.link + " >/dev/null 2>&1 & echo $!").out;
    ASSERT_TRUE(waitForListener(c.address, 22));
    sh("(sleep " + std::to_string(c.atSecond) + "; kill -" + c.signal + " " + pid +
       ") >/dev/null 2>&1 &");
    const RunResult run = fieldkeep({c.address, "fkuser", testUser().password}, c.args, c.env);
    sh("kill -9 " + pid);
    EXPECT_EQ(run.out, c.expected);
    EXPECT_EQ(run.status, c.status);
}

const std::string kInput = numbered(120000);

INSTANTIATE_TEST_SUITE_P(
    Links, BrokenLink,
    ::testing::Values(
        LinkCase{"SilentListener", "127.0.0.10", "0", "STOP", 0,
                 {{"BF1942_CONNECT_TIMEOUT", "2"}}, execArgs("true", ""), "Connection timed out\n", 1},
        LinkCase{"CutMidCommand", "127.0.0.11", "0", "KILL", 1.5, {},
                 execArgs("echo count: 0; sleep 20", ""), "count: 0\nConnection lost\n", 1},
        LinkCase{"FrozenMidCommand", "127.0.0.12", "0", "STOP", 1.5,
                 {{"BF1942_ALIVE_INTERVAL", "1"}}, execArgs("printf 'count: 0'; sleep 30", ""),
                 "count: 0\nConnection lost\n", 1},
        LinkCase{"QuietCommandKeptAlive", "127.0.0.13", "0", "0", 0,
                 {{"BF1942_ALIVE_INTERVAL", "2"}}, execArgs("sleep 10; echo done", ""),
                 "done\n\n0\n", 0},
        LinkCase{"ThrottledInputAndOutput", "127.0.0.14", "0 4096 16384", "0", 0, {},
                 execArgs("head -c 4000000 /dev/zero | tr '\\0' x; cat", kInput),
                 std::string(4000000, 'x') + kInput + "\n0\n", 0}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fieldkeep::e2e

// The real binary against the sandbox's sshd: remote execution, host checks and
// every way a connection can fail.
#include <gtest/gtest.h>

#include <cstring>
#include <map>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

std::string repeated(char c, std::size_t n) { return std::string(n, c); }

std::string numbered(std::size_t size) {
    std::string text;
    for (int i = 0; text.size() < size; ++i) {
        text += std::to_string(i) + (i % 17 == 0 ? "\n" : " ");
    }
    return text;
}

struct ExecCase {
    const char* name;
    std::string cmd;
    std::string input;
    std::string expected;  // the whole standard output
};

class Exec : public ::testing::TestWithParam<ExecCase> {};

TEST_P(Exec, PrintsOutputErrorsAndStatus) {
    const ExecCase& c = GetParam();
    std::vector<std::string> args{"--exec", "--cmd=" + c.cmd};
    if (!c.input.empty()) {
        args.push_back("--input=" + c.input);
    }
    for (const Account& account : {testUser(), testBashUser()}) {
        const RunResult run = fieldkeep(account, args);
        EXPECT_EQ(run.out, c.expected) << account.login;
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, Exec,
    ::testing::Values(
        ExecCase{"True", "true", "", "\n0\n"},
        ExecCase{"ExitFive", "exit 5", "", "\n5\n"},
        ExecCase{"BothStreams", "echo out; echo err >&2; exit 3", "", "out\nerr\n\n3\n"},
        ExecCase{"ErrorsContinueAnUnfinishedLine", "printf out; printf err >&2", "", "outerr\n0\n"},
        ExecCase{"CatEchoesInput", "cat", "one\ntwo", "one\ntwo\n0\n"},
        ExecCase{"DigitsWithoutLineFeed", "printf abc42", "", "abc42\n0\n"},
        ExecCase{"NegativeLooking", "printf 'x\\n-7'; exit 2", "", "x\n-7\n2\n"},
        ExecCase{"EmptyInputStillEndsCat", "cat; echo after", "", "after\n\n0\n"},
        ExecCase{"ExitEndsOnlyTheSubshell", "exit 3; echo never", "", "\n3\n"},
        ExecCase{"Utf8AndHighBytes", "printf '\\303\\251\\377'", "", "\xc3\xa9\xff\n0\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExecSyntax, AShellSyntaxErrorHasNoStatus) {
    const RunResult run = fieldkeep(testUser(), {"--exec", "--cmd=echo 'unbalanced"});
    ASSERT_EQ(run.status, 0);
    EXPECT_EQ(run.err, "");
    // No trailer: empty output, the shell's complaint, then -1.
    EXPECT_NE(run.out.find("\n-1\n"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.rfind("\n-1\n"), run.out.size() - 4);
    EXPECT_NE(run.out.find("quote"), std::string::npos) << run.out;
}

TEST(ExecSyntax, ACommentSwallowsTheTrailer) {
    const RunResult run = fieldkeep(testUser(), {"--exec", "--cmd=echo hi # comment"});
    EXPECT_EQ(run.out.substr(run.out.size() - 4), "\n-1\n") << run.out;
}

TEST(ExecVolume, ErrorsBeforeOutputEndDoNotStall) {
    const RunResult run = fieldkeep(
        testUser(), {"--exec", "--cmd=head -c 1048576 /dev/zero | tr '\\0' e >&2; echo done"});
    EXPECT_EQ(run.out, "done\n" + repeated('e', 1048576) + "\n0\n");
}

TEST(ExecVolume, ALargeInputIsEchoedBackIntact) {
    const std::string input = numbered(120000);
    const RunResult run = fieldkeep(testUser(), {"--exec", "--cmd=cat", "--input=" + input});
    EXPECT_EQ(run.out, input + "\n0\n");
}

TEST(ExecVolume, TwentyMegabytesOfOutputArriveIntact) {
    const RunResult run = fieldkeep(
        testUser(), {"--exec", "--cmd=seq 1 3000000 | head -c 20000000; echo; echo tail >&2"});
    ASSERT_EQ(run.status, 0);
    const RunResult local = sh("seq 1 3000000 | head -c 20000000");
    EXPECT_EQ(run.out.size(), 20000000u + 1 + 5 + 3);
    EXPECT_TRUE(run.out.compare(0, 20000000, local.out) == 0);
    EXPECT_EQ(run.out.substr(20000000), "\ntail\n\n0\n");
}

TEST(ExecVolume, InputTheCommandNeverReadsDoesNotHang) {
    const RunResult run = fieldkeep(testUser(), {"--exec", "--cmd=echo quick", "--input=" + repeated('x', 100000)});
    EXPECT_EQ(run.out, "quick\n\n0\n");
}

TEST(ExecOptions, MissingOrEmptyCommandIsRefusedBeforeConnecting) {
    Account nowhere{"127.0.0.3", "fkuser", "x"};
    EXPECT_EQ(fieldkeep(nowhere, {"--exec"}).out, "Requires long option '--cmd'\n");
    EXPECT_EQ(fieldkeep(nowhere, {"--exec", "--cmd="}).out, "Incorrect long option '--cmd'\n");
    EXPECT_EQ(fieldkeep(nowhere, {"--exec", "--cmd=true", "--input="}).out,
              "Unknown option '--input'\n");
    EXPECT_EQ(fieldkeep(nowhere, {"--exec", "--cmd=true", "--zap"}).out,
              "Unknown option '--zap'\n");
    EXPECT_EQ(fieldkeep(nowhere, {"--exec", "--cmd=true", "--zap"}).status, 1);
}

TEST(HostChecks, ThisHostIsSuitable) {
    const RunResult run = fieldkeep(testUser(), {"--check-host"});
    EXPECT_EQ(run.out, "suitable\n");
    EXPECT_EQ(run.status, 0);
}

TEST(HostChecks, RootIsTold) {
    EXPECT_EQ(fieldkeep(rootUser(), {"--check-on-root"}).out, "root\n");
    EXPECT_EQ(fieldkeep(testUser(), {"--check-on-root"}).out, "not root\n");
    EXPECT_EQ(fieldkeep(testBashUser(), {"--check-on-root"}).out, "not root\n");
}

TEST(HostChecks, UnknownOptionIsRefusedBeforeConnecting) {
    Account nowhere{"127.0.0.3", "fkuser", "x"};
    EXPECT_EQ(fieldkeep(nowhere, {"--check-host", "--cmd=x"}).out, "Unknown option '--cmd'\n");
    EXPECT_EQ(fieldkeep(nowhere, {"--check-on-root", "-v"}).out, "Unknown option '-v'\n");
}

struct ConnectCase {
    const char* name;
    Account account;
    std::string expected;
};

class ConnectFailure : public ::testing::TestWithParam<ConnectCase> {};

TEST_P(ConnectFailure, IsReportedInItsOwnWords) {
    const RunResult run = fieldkeep(GetParam().account, {"--exec", "--cmd=touch /srv/should-not-exist"});
    EXPECT_EQ(run.out, GetParam().expected + "\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFile("/srv/should-not-exist"), "");
}

const char kNoPassword[] =
    ". The server does not support password authentication method. You should ask your game "
    "hosting account provider to enable password authentication method.";

INSTANTIATE_TEST_SUITE_P(
    Hosts, ConnectFailure,
    ::testing::Values(
        ConnectCase{"Unresolvable", {"no-such-host.invalid", "fkuser", "x"},
                    "Failed to get network host entry"},
        ConnectCase{"Refused", {"127.0.0.3", "fkuser", "x"}, "Failed to connect"},
        ConnectCase{"NoSshServer", {"notssh", "fkuser", "x"}, "Failure establishing SSH session"},
        ConnectCase{"WrongPassword", {"testhost", "fkuser", "wrong"}, "Authentication failed"},
        ConnectCase{"UnknownUser", {"testhost", "nobody-here", "x"}, "Authentication failed"},
        ConnectCase{"KeyOnlyByName", {"keyonly", "fkuser", "x"},
                    std::string("Unable to connect to keyonly") + kNoPassword},
        ConnectCase{"KeyOnlyByAddress", {"127.0.0.2", "fkuser", "x"},
                    std::string("Unable to connect to 127.0.0.2") + kNoPassword},
        ConnectCase{"WrongAnswer", {"kbdonly", "fkuser", "wrong"}, "Authentication failed"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Reach, EveryAddressFormMethodAndKeyLogsInOrSaysWhyNot) {
    struct Row { std::string address, identity, password, expected; };
    const std::string pass = testUser().password, in = "in\n\n0\n", keys = "/run/keys/";
    for (const Row& row : std::vector<Row>{
             {"testhost:2222", "", pass, in},
             {"[::1]:22", "", pass, in},
             {"twoaddr:2222", "", pass, in},  // ::1 comes first and refuses
             {"kbdonly", "", pass, in},
             {"keyonly", keys + "id_ed25519", kUnset, in},
             {"keyonly", keys + "id_rsa", kUnset, in},
             {"keyonly", keys + "id_ecdsa", "key phrase", in},
             {"keyonly", keys + "id_ecdsa", "x", "Authentication failed\n"},
             {"testhost", keys + "id_ecdsa", pass, in},  // not decrypted: password
             {"kbdonly", "/etc/ssh/ssh_host_ed25519_key", pass, in},  // refused: answers
             {"keyonly", "agent", kUnset, in},
             {"keyonly", "/none", pass, "Cannot read identity file /none\n"}}) {
        const RunResult run = fieldkeepRaw(
            {"--address=" + row.address, "--login=fkuser", "--exec", "--cmd=echo in"},
            {{"BF1942_PASSWD", row.password},
             {"BF1942_IDENTITY", row.identity.empty() ? kUnset : row.identity}});
        EXPECT_EQ(run.out + run.err, row.expected) << row.address << " " << row.identity;
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
    std::string cmd;
    std::string input;
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
    std::vector<std::string> args{"--exec", "--cmd=" + c.cmd};
    if (!c.input.empty()) {
        args.push_back("--input=" + c.input);
    }
    const RunResult run = fieldkeep({c.address, "fkuser", testUser().password}, args, c.env);
    sh("kill -9 " + pid);
    EXPECT_EQ(run.out, c.expected);
    EXPECT_EQ(run.status, c.status);
}

const std::string kInput = numbered(120000);

INSTANTIATE_TEST_SUITE_P(
    Links, BrokenLink,
    ::testing::Values(
        LinkCase{"SilentListener", "127.0.0.10", "0", "STOP", 0,
                 {{"BF1942_CONNECT_TIMEOUT", "2"}}, "true", "", "Connection timed out\n", 1},
        LinkCase{"CutMidCommand", "127.0.0.11", "0", "KILL", 1.5, {}, "echo count: 0; sleep 20",
                 "", "count: 0\nConnection lost\n", 1},
        LinkCase{"FrozenMidCommand", "127.0.0.12", "0", "STOP", 1.5,
                 {{"BF1942_ALIVE_INTERVAL", "1"}}, "printf 'count: 0'; sleep 30", "",
                 "count: 0\nConnection lost\n", 1},
        LinkCase{"QuietCommandKeptAlive", "127.0.0.13", "0", "0", 0,
                 {{"BF1942_ALIVE_INTERVAL", "2"}}, "sleep 10; echo done", "", "done\n\n0\n", 0},
        LinkCase{"ThrottledInputAndOutput", "127.0.0.14", "0 4096 16384", "0", 0, {},
                 "head -c 4000000 /dev/zero | tr '\\0' x; cat", kInput,
                 std::string(4000000, 'x') + kInput + "\n0\n", 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Password, PassesByteForByte) {
    const char* login = std::getenv("FK_QUOTE_USER");
    const char* password = std::getenv("FK_QUOTE_PASSWORD");
    ASSERT_NE(password, nullptr);
    const RunResult run = fieldkeep({"testhost", login, password}, {"--exec", "--cmd=id -un"});
    EXPECT_EQ(run.out, std::string(login) + "\n\n0\n");
    // One byte less is a different password.
    const std::string shorter(password, std::strlen(password) - 1);
    EXPECT_EQ(fieldkeep({"testhost", login, shorter}, {"--check-host"}).out,
              "Authentication failed\n");
}

TEST(Password, MissingVariableStopsEvenHelp) {
    const RunResult run = fieldkeepRaw({"--address=testhost", "--login=fkuser", "--help"},
                                 {{"BF1942_PASSWD", kUnset}});
    EXPECT_EQ(run.out, "Password is not set\n");
    EXPECT_EQ(run.status, 1);
}

TEST(Help, PrintsNothingAndNeverConnects) {
    Account nowhere{"no-such-host.invalid", "fkuser", "x"};
    for (const char* help : {"--help", "-h"}) {
        const RunResult run = fieldkeep(nowhere, {help});
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.status, 0);
        EXPECT_EQ(run.err, "");
    }
}

}  // namespace
}  // namespace fieldkeep::e2e

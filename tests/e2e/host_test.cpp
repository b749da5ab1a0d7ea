// The real binary against the sandbox's sshd: commands, logins, host keys, uploads,
// accounts and every way a link can fail.
#include "harness.h"

namespace fieldkeep::e2e {
namespace {

TEST_P(Run, PrintsTheTruthAndLeavesTheHostRight) { runCase(GetParam()); }

std::vector<std::string> ex(const std::string& cmd) { return {"--exec", "--cmd=" + cmd}; }

// clang-format off
const std::string kLines = [] {  // numbers, some lines of them
    std::string text;
    for (int i = 0; text.size() < 120000; ++i) {
        text += std::to_string(i) + (i % 17 == 0 ? "\n" : " ");
    }
    return text;
}();
const std::string kMiB(1048576, 'e');
INSTANTIATE_TEST_SUITE_P(Exec, Run, ::testing::Values(
    Case{"BothStreams", ex("echo out; echo err >&2; exit 3"), "out\nerr\n\n3\n", 0},
    Case{"ErrorsContinueAnUnfinishedLine", ex("printf out; printf err >&2"), "outerr\n0\n", 0},
    Case{"DigitsWithoutLineFeed", ex("printf abc42"), "abc42\n0\n", 0},
    Case{"NegativeLooking", ex("printf 'x\\n-7'; exit 2"), "x\n-7\n2\n", 0},
    Case{"EmptyInputStillEndsCat", ex("cat; echo after"), "after\n\n0\n", 0},
    Case{"ExitEndsOnlyTheSubshell", ex("exit 3; echo never"), "\n3\n", 0},
    Case{"ExitEndsOnlyTheSubshellBash", ex("exit 3; echo never"), "\n3\n", 0, "", "", bashUser()},
    Case{"ACommentSwallowsTheTrailer", ex("echo hi # comment"),
         "sh: 2: Syntax error: Unterminated quoted string\n\n-1\n", 0},
    Case{"Utf8AndHighBytes", ex("printf '\\303\\251\\377'"), "\xc3\xa9\xff\n0\n", 0},
    Case{"ErrorsBeforeOutputDoNotStall", ex("head -c 1048576 /dev/zero | tr '\\0' e >&2; echo ok"),
         "ok\n" + kMiB + "\n0\n", 0},
    Case{"InputNeverReadDoesNotHang", {"--exec", "--cmd=echo quick", "--input=" + kLines},
         "quick\n\n0\n", 0},
    Case{"TwentyMegabytesArriveIntact", ex("seq 3000000 | head -c 20000000; echo; echo tail >&2"),
         "1\n2\n...", 0,
         "{ seq 3000000 | head -c 20000000; printf '\\ntail\\n\\n0\\n'; } | cmp - /srv/out"},
    Case{"HostIsSuitable", {"--check-host"}, "suitable\n", 0},
    Case{"NotRoot", {"--check-on-root"}, "not root\n", 0},
    Case{"Root", {"--check-on-root"}, "root\n", 0, "", "", root()}), caseName);

// A server that floods the answer to "uname", fails "id" with a terminal escape and drips one
// byte every two seconds for anything else; and a command that floods its error stream.
const Account hostile{"127.0.0.8", "fkuser", user().password};
INSTANTIATE_TEST_SUITE_P(Hostile, Run, ::testing::Values(
    Case{"OwnLineFlooded", {"--check-host"}, "Too much output from the host\n", 1, "", "", hostile},
    Case{"EscapeShownAsText", {"--check-on-root"}, "Execute 'id' failed: \\x1B[2J\n\n", 1, "", "",
         hostile},
    Case{"DripEndsWithTheRun", ex("true"), "....", 1,
         "tail -n 1 /srv/out | grep -qx 'Run timed out'", "", hostile,
         {{"BF1942_RUN_TIMEOUT", "3"}}},
    Case{"HeldBackErrorsBounded", ex("echo out; yes >&2"), "out\nToo much output from the host\n",
         1}), caseName);

// Every address form, login method and key logs in, or says why not and runs nothing.
TEST(Reach, EveryAddressMethodAndKeyLogsInOrSaysWhyNot) {
    struct Row {
        std::string address, login;
        Setting identity, password;
        std::string expected;
        Setting passphrase = std::nullopt;
    };
    const std::string pass = user().password, in = "in\n\n0\n", keys = "/run/keys/";
    const std::string denied = "Authentication failed\n";
    constexpr auto none = std::nullopt;
    for (const Row& row : std::vector<Row>{
             {"testhost:2222", "fkuser", none, pass, in},
             {"[::1]:22", "fkuser", none, pass, in},
             {"twoaddr:2222", "fkuser", none, pass, in},  // ::1 comes first and refuses
             {"kbdonly", "fkuser", none, pass, in},
             {"keyonly", "fkuser", keys + "id_ed25519", none, in},
             {"keyonly", "fkuser", keys + "id_rsa", none, in},
             {"keyonly", "fkuser", keys + "id_ecdsa", none, in, "key phrase"},
             {"keyonly", "fkuser", keys + "id_ecdsa", "key phrase", denied},  // not a passphrase
             {"keyonly", "fkuser", keys + "id_ecdsa", none, "Cannot decrypt identity file " + keys +
              "id_ecdsa\n", "x"},
             {"testhost", "fkuser", keys + "id_rsa", none, "Authentication failed: the server "
              "refuses RSA keys signed with SHA-1; use an ed25519 or ECDSA key\n"},
             {"testhost", "fkuser", keys + "id_ecdsa", pass, in},  // not decrypted: password
             {"kbdonly", "fkuser", "/etc/ssh/ssh_host_ed25519_key", pass, in},  // refused: answers
             {"keyonly", "fkuser", "agent", none, in},
             {"keyonly", "fkuser", "/none", pass, "Cannot read identity file /none\n"},
             // The password passes byte for byte.
             {"testhost", envOf("FK_QUOTE_USER"), none, envOf("FK_QUOTE_PASSWORD"), in},
             {"no-such-host.invalid", "fkuser", none, "x", "Failed to get network host entry\n"},
             {"127.0.0.3", "fkuser", none, "x", "Failed to connect\n"},
             {"testhost:8000", "fkuser", none, "x", "Failure establishing SSH session\n"},  // HTTP
             {"testhost", "fkuser", none, "wrong", denied},
             {"testhost", "nobody-here", none, "x", denied},
             {"keyonly", "fkuser", none, "x", "Unable to connect to keyonly. The server does not "
              "support password authentication method. You should ask your game hosting account "
              "provider to enable password authentication method.\n"},
             {"kbdonly", "fkuser", none, "wrong", denied}}) {
        freshDir();
        const RunResult run =
            fieldkeep({row.address, row.login, ""}, ex("echo in; touch /srv/t/reached"),
                      {{"BF1942_IDENTITY", row.identity}, {"BF1942_PASSWD", row.password},
                       {"BF1942_KEY_PASSPHRASE", row.passphrase}});
        EXPECT_EQ(run.out, row.expected) << row.address << " " << row.identity.value_or("-");
        EXPECT_EQ(run.status, row.expected == in ? 0 : 1);
        EXPECT_EQ(sh("test -e /srv/t/reached").status == 0, row.expected == in) << row.address;
    }
}

TEST(Reach, AHundredRunsAtOnceAllGetIn) {  // testhost keeps sshd's MaxStartups 10:30:100
    // A generous set-up time: a hundred runs at once share two cores.
    EXPECT_EQ(sh("for i in $(seq 100); do BF1942_CONNECT_TIMEOUT=100 fk --exec "
                 "--cmd='echo inside' & done | grep -o inside | wc -l").out, "100\n");
}

// Through a proxy that a row freezes (STOP) or cuts (KILL) at some second, or throttles.
Case broken(const char* name, const char* address, const std::string& link, Env env,
            std::vector<std::string> args, const std::string& out, int status) {
    return {name, args, out, status, "", "link " + std::string(address) + " " + link,
            {address, "fkuser", user().password}, env};
}

INSTANTIATE_TEST_SUITE_P(Links, Run, ::testing::Values(
    broken("SilentListener", "127.0.0.10", "0 STOP 0", {{"BF1942_CONNECT_TIMEOUT", "2"}},
           ex("true"), "Connection timed out\n", 1),
    broken("CutMidCommand", "127.0.0.11", "0 KILL 1.5", {}, ex("echo count: 0; sleep 20"),
           "count: 0\nConnection lost\n", 1),
    broken("FrozenMidCommand", "127.0.0.12", "0 STOP 1.5", {{"BF1942_ALIVE_INTERVAL", "1"}},
           ex("printf 'count: 0'; sleep 30"), "count: 0\nConnection lost\n", 1),
    broken("FrozenUpload", "127.0.0.15",
           "0 STOP 1.5; to_copy 9 f && mkfifo -m 666 r/fifo", {{"BF1942_ALIVE_INTERVAL", "1"}},
           {"--copy-file", "--from=/srv/t/l/f", "--to=/srv/t/r/fifo"},
           "Failed to write into the file /srv/t/r/fifo on 127.0.0.15\n", 1),
    broken("QuietCommandKeptAlive", "127.0.0.13", "0 -", {{"BF1942_ALIVE_INTERVAL", "2"}},
           ex("sleep 10; echo done"), "done\n\n0\n", 0),
    broken("ThrottledInputAndOutput", "127.0.0.14", "'0 4096 16384' -", {},
           {"--exec", "--cmd=head -c 4000000 /dev/zero | tr '\\0' x; cat", "--input=" + kLines},
           std::string(4000000, 'x') + kLines + "\n0\n", 0)), caseName);

// Host-key pinning: a file of entries (made by a bash line) for the address and port.
Case pinned(const char* name, const std::string& entries, const char* address, const char* out,
            const std::string& password = user().password) {
    return {name, ex("echo in"), *out ? std::string(out) + "\n" : "in\n\n0\n", *out ? 1 : 0,
            "", "(" + entries + ") >known_hosts", {address, "fkuser", password},
            {{"BF1942_KNOWN_HOSTS", "/srv/t/known_hosts"}}};
}
// clang-format on

const char kFailed[] = "Host key verification failed";
const std::string kScan = "ssh-keyscan testhost 2>/dev/null | grep .";
const std::string kScan2222 = "ssh-keyscan -p 2222 testhost 2>/dev/null | grep .";
const std::string kOther = kScan + " | sed s/^testhost/otherhost/";

// clang-format off
INSTANTIATE_TEST_SUITE_P(HostKey, Run, ::testing::Values(
    pinned("Plain", kScan, "testhost", ""),
    pinned("AnotherKeyForTheHost", "for t in ed25519 ecdsa rsa; do ssh-keygen -q -t $t -N '' "
           "-f k$t && echo testhost $(cut -d' ' -f1,2 k$t.pub); done", "testhost", kFailed),
    pinned("OnlyAnotherHost", kOther, "testhost", kFailed),
    pinned("RevokedThoughListed", kScan + "; " + kScan + " | sed 's/^/@revoked /'", "testhost",
           kFailed),
    pinned("DosLineEnds", kScan + " | sed 's/$/\\r/'", "testhost", ""),
    pinned("RevokedOnADosLine", kScan + "; " + kScan + " | sed 's/^/@revoked /; s/$/\\r/'",
           "testhost", kFailed),
    pinned("RevokedByPattern", kScan + "; " + kScan + " | sed 's/^testhost/@revoked nohost,t*t/'",
           "testhost", kFailed),
    // The check comes before the password: a wrong one would say "Authentication failed".
    pinned("CheckedBeforeThePassword", kOther, "testhost", kFailed, "wrong"),
    pinned("NamedNotByTheAddressGiven", kScan, "127.0.0.1", kFailed),
    pinned("ForThatPort", kScan2222, "testhost:2222", ""),
    pinned("ForPort22Only", kScan, "testhost:2222", kFailed),
    pinned("ForPort2222Only", kScan2222, "testhost", kFailed),
    pinned("UnreadableFileNamed", "rm -f known_hosts", "testhost",
           "Cannot read known hosts file /srv/t/known_hosts"),
    Case{"EmptyNameMeansUnset", ex("echo in"), "in\n\n0\n", 0, "", "", user(),
         {{"BF1942_KNOWN_HOSTS", ""}}}), caseName);

// An upload from l/FROM to r/TO (or an absolute TO); r has a directory "it's a dir"
// and a file "old". A new file arrives byte for byte, mode 640, owned by the login.
Case copy(const char* name, std::size_t size, const std::string& from, const std::string& to,
          const std::string& out) {
    const std::string target = to[0] == '/' ? to : "/srv/t/r/" + to;
    return {name, {"--copy-file", "--from=/srv/t/l/" + from, "--to=" + target}, out,
            out.empty() ? 0 : 1,
            out.empty() ? "arrived " + shellWord(from) + " " + shellWord(target) : "",
            "to_copy " + std::to_string(size) + " " + shellWord(from)};
}

INSTANTIATE_TEST_SUITE_P(CopyFile, Run, ::testing::Values(
    copy("SeveralMegabytes", 5 * 1024 * 1024 + 123, "server.zip", "server.zip", ""),
    copy("EmptyOverOld", 0, "empty", "old", ""),
    copy("QuotesAndBlanksStayOneWord", 7, "it's mine", "it's a dir/x $y", ""),
    copy("MissingRemoteDirectory", 1, "f", "no/such/dir/f", "Unable to open the scp channel\n"),
    copy("FullRemoteDisk", 3 * 1024 * 1024, "big", "/srv/small/big",
         "Failed to copy content: scp: /srv/small/big: No space left on device\n")), caseName);

// --create-user: an account that logs in with the password printed, or no account, group or
// home of the names it makes (after the line undo).
Case creates(const char* name, const std::string& setup, const Account& as,
             const std::string& out, const std::string& undo = "true") {
    const bool made = out.rfind("login: ", 0) == 0;
    return {name, {"--create-user"}, out, made ? 0 : 1,
            made ? "logs_in"
                 : undo + "; ! grep -E '^(bf(1942(_.*)?)?|battlefield(1942)?):' /etc/passwd "
                          "/etc/group && ! ls /home | grep ^b && ! grep -q password /srv/out",
            "no_accounts; " + setup, as};
}

INSTANTIATE_TEST_SUITE_P(CreateUser, Run, ::testing::Values(
    creates("FirstName", "true", root(), "login: \"bf1942\"\n..."),
    on("dropbear", "OnDropbear", creates("", "true", root(), "login: \"bf1942\"\n...")),
    on("onesession", "OnOneSession", creates("", "true", root(), "login: \"bf1942\"\n...")),
    creates("TakenUserSkipped", "useradd bf1942", root(), "login: \"bf\"\n..."),
    creates("GroupWithoutUserSkipped", "groupadd bf1942", root(), "login: \"bf\"\n..."),
    creates("AllFixedNamesTakenGivesARandomName",
            "for n in bf1942 bf battlefield battlefield1942; do useradd $n; done", root(),
            "login: \"bf1942_..."),
    creates("ALoginWithoutTheRight", "true", user(),
            "Create system user 'bf1942' failed: useradd: ..."),
    creates("AFailedPasswordStepUndoesTheAccount", "printf '#!/bin/sh\\necho no >&2; exit 1' >f "
            "&& chmod +x f && mount --bind f /usr/sbin/chpasswd", root(),
            "Create system user 'bf1942' failed: no\n\n", "umount /usr/sbin/chpasswd")), caseName);
// clang-format on

}  // namespace
}  // namespace fieldkeep::e2e

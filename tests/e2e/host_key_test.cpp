// Host-key pinning with BF1942_KNOWN_HOSTS against the sandbox's sshd.
#include <gtest/gtest.h>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

struct PinCase {
    const char* name;
    const char* entries;  // a shell line that prints the file; "-": no file; "": no name given
    const char* address;
    const char* password;  // "": fkuser's
    const char* out;       // "": the command ran
};

class HostKey : public ::testing::TestWithParam<PinCase> {};

TEST_P(HostKey, LetsInOnlyAMatchingEntryForTheAddressAndPort) {
    const PinCase& c = GetParam();
    const std::string dir = freshDir("known-hosts"), file = dir + "/known_hosts";
    if (*c.entries && std::string(c.entries) != "-") {
        ASSERT_EQ(sh("cd " + dir + " && (" + c.entries + ") >known_hosts").status, 0);
    }
    const std::string password = *c.password ? c.password : testUser().password;
    const RunResult run = fieldkeep({c.address, "fkuser", password}, {"--exec", "--cmd=echo in"},
                                    {{"BF1942_KNOWN_HOSTS", *c.entries ? file : ""}});
    const std::string expected = *c.out ? std::string(c.out) + "\n" : "in\n\n0\n";
    EXPECT_EQ(run.out, expected == "missing\n" ? "Cannot read known hosts file " + file + "\n" : expected);
    EXPECT_EQ(run.status, *c.out ? 1 : 0);
    EXPECT_EQ(run.err, "");
}

const char kFailed[] = "Host key verification failed";
#define SCAN "ssh-keyscan testhost 2>/dev/null | grep ."
#define WRONG_KEYS                                                                            \
    "for t in ed25519 ecdsa rsa; do ssh-keygen -q -t $t -N '' -f k$t && "                   \
    "echo testhost $(cut -d' ' -f1,2 k$t.pub); done"

INSTANTIATE_TEST_SUITE_P(
    Entries, HostKey,
    ::testing::Values(
        PinCase{"Plain", SCAN, "testhost", "", ""},
        PinCase{"Hashed", "ssh-keyscan -H testhost 2>/dev/null | grep .", "testhost", "", ""},
        PinCase{"AnotherKeyForTheHost", WRONG_KEYS, "testhost", "", kFailed},
        PinCase{"OnlyAnotherHost", SCAN " | sed s/^testhost/otherhost/", "testhost", "", kFailed},
        // The check comes before the password: a wrong one would say "Authentication failed".
        PinCase{"CheckedBeforeThePassword", SCAN " | sed s/^testhost/otherhost/", "testhost",
                "wrong", kFailed},
        PinCase{"NamedNotByTheAddressGiven", SCAN, "127.0.0.1", "", kFailed},
        PinCase{"EmptyFile", "true", "testhost", "", kFailed},
        PinCase{"ForThatPort", "ssh-keyscan -p 2222 testhost 2>/dev/null | grep .", "testhost:2222", "", ""},
        PinCase{"ForPort22Only", SCAN, "testhost:2222", "", kFailed},
        PinCase{"ForPort2222Only", "ssh-keyscan -p 2222 testhost 2>/dev/null | grep .", "testhost", "",
                kFailed},
        PinCase{"UnreadableFileNamed", "-", "testhost", "", "missing"},
        PinCase{"EmptyNameMeansUnset", "", "testhost", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fieldkeep::e2e

// Host-key pinning with BF1942_KNOWN_HOSTS against the sandbox's sshd.
#include <gtest/gtest.h>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

// The entries of a scan of testhost, written for otherhost instead.
std::string forOtherHost(std::string entries) {
    for (std::size_t at = entries.find("testhost"); at != std::string::npos;
         at = entries.find("testhost", at)) {
        entries.replace(at, 8, "otherhost");
    }
    return entries;
}

class HostKey : public ::testing::Test {
protected:
    void SetUp() override { dir_ = freshDir("known-hosts"); }

    std::string file(const std::string& name, const std::string& content) {
        writeFile(dir_ + "/" + name, content);
        return dir_ + "/" + name;
    }
    std::string scan(const std::string& options) {
        const RunResult scanned = sh("ssh-keyscan " + options + " testhost 2>/dev/null");
        EXPECT_NE(scanned.out, "");
        return scanned.out;
    }
    RunResult exec(const std::string& knownHosts, const Account& account = testUser()) {
        return fieldkeep(account, {"--exec", "--cmd=echo in"}, {{"BF1942_KNOWN_HOSTS", knownHosts}});
    }

    std::string dir_;
};

TEST_F(HostKey, AMatchingEntryLetsTheRunIn) {
    EXPECT_EQ(exec(file("plain", scan(""))).out, "in\n\n0\n");
    EXPECT_EQ(exec(file("hashed", scan("-H"))).out, "in\n\n0\n");
}

TEST_F(HostKey, AnotherKeyForTheHostIsRefused) {
    std::string wrong;
    for (const char* type : {"ed25519", "ecdsa", "rsa"}) {
        const std::string key = dir_ + "/key-" + type;
        sh("ssh-keygen -q -t " + std::string(type) + " -N '' -f " + key);
        wrong += "testhost " + sh("cut -d' ' -f1,2 " + key + ".pub").out;
    }
    const RunResult run = exec(file("wrong", wrong));
    EXPECT_EQ(run.out, "Host key verification failed\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "");
}

TEST_F(HostKey, NoEntryForTheAddressAsGivenIsRefused) {
    EXPECT_EQ(exec(file("other", forOtherHost(scan("")))).out, "Host key verification failed\n");
    // The entry names testhost; the same server under its address has none.
    const std::string named = file("named", scan(""));
    EXPECT_EQ(exec(named, {"127.0.0.1", "fkuser", testUser().password}).out,
              "Host key verification failed\n");
    EXPECT_EQ(exec(file("empty", "")).out, "Host key verification failed\n");
}

TEST_F(HostKey, TheCheckComesBeforeThePassword) {
    // A wrong password would say "Authentication failed" had it been sent.
    const std::string other = file("other", forOtherHost(scan("")));
    EXPECT_EQ(exec(other, {"testhost", "fkuser", "wrong"}).out, "Host key verification failed\n");
}

TEST_F(HostKey, EntriesAreForOnePort) {
    const Account port2222{"testhost:2222", "fkuser", testUser().password};
    const std::string entries22 = file("22", scan("")), entries2222 = file("2222", scan("-p 2222"));
    EXPECT_EQ(exec(entries2222, port2222).out, "in\n\n0\n");
    EXPECT_EQ(exec(entries22, port2222).out, "Host key verification failed\n");
    EXPECT_EQ(exec(entries2222).out, "Host key verification failed\n");
}

TEST_F(HostKey, AnUnreadableFileIsNamed) {
    const RunResult run = exec(dir_ + "/missing");
    EXPECT_EQ(run.out, "Cannot read known hosts file " + dir_ + "/missing\n");
    EXPECT_EQ(run.status, 1);
}

TEST_F(HostKey, AnEmptyNameMeansUnset) {
    EXPECT_EQ(exec("").out, "in\n\n0\n");
}

}  // namespace
}  // namespace fieldkeep::e2e

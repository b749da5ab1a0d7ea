// --create-user on the sandbox host: real accounts in its private /etc.
#include <gtest/gtest.h>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

const char* const kFixedNames[] = {"bf1942", "bf", "battlefield", "battlefield1942"};

struct Created {
    RunResult run;
    std::string login;
    std::string password;
};

// Splits the two output lines: login: "NAME" and password: "PASSWORD".
Created createUser(const Account& as) {
    Created created{fieldkeep(as, {"--create-user"}), "", ""};
    const std::string& out = created.run.out;
    const std::size_t split = out.find("\npassword: \"");
    if (out.rfind("login: \"", 0) != 0 || split == std::string::npos || out.size() < 3 ||
        out.substr(out.size() - 2) != "\"\n") {
        return created;
    }
    created.login = out.substr(8, split - 9);
    created.password = out.substr(split + 12, out.size() - split - 14);
    return created;
}

void removeAccounts() {
    std::string names;
    for (const char* name : kFixedNames) {
        names += std::string(" ") + name;
    }
    sh("for n in" + names + " $(getent passwd | cut -d: -f1 | grep '^bf1942_'); do "
       "userdel -r \"$n\" >/dev/null 2>&1; groupdel \"$n\" >/dev/null 2>&1; done; "
       "rm -f /home/toor/pw.log; echo Linux > /home/toor/system");
}

class CreateUser : public ::testing::Test {
protected:
    void SetUp() override { removeAccounts(); }
    void TearDown() override { removeAccounts(); }
};

TEST_F(CreateUser, CreatesBf1942WhoseLoginWorks) {
    const Created created = createUser(rootUser());
    ASSERT_EQ(created.login, "bf1942") << created.run.out;
    EXPECT_EQ(created.run.status, 0);
    EXPECT_EQ(created.run.err, "");
    EXPECT_EQ(created.password.size(), 10u);
    EXPECT_EQ(created.password.find_first_not_of(
                  "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
              std::string::npos);
    const std::string entry = sh("getent passwd bf1942").out;
    EXPECT_NE(entry.find(":Talvor's BF1942 module:/home/bf1942:"), std::string::npos) << entry;
    EXPECT_TRUE(exists("/home/bf1942"));
    EXPECT_EQ(sh("getent shadow bf1942 | cut -d: -f2 | cut -c1-3").out, "$6$\n");

    // The real proof that the hash is right: the new account logs in.
    const RunResult login =
        fieldkeep({"testhost", created.login, created.password}, {"--exec", "--cmd=id -un"});
    EXPECT_EQ(login.out, "bf1942\n\n0\n");
    EXPECT_EQ(fieldkeep({"testhost", "bf1942", created.password + "x"}, {"--check-host"}).out,
              "Authentication failed\n");
}

TEST_F(CreateUser, TakenNamesAreSkippedAndPasswordsDiffer) {
    const Created first = createUser(rootUser());
    const Created second = createUser(rootUser());
    EXPECT_EQ(first.login, "bf1942");
    EXPECT_EQ(second.login, "bf");
    EXPECT_NE(first.password, second.password);
    EXPECT_EQ(fieldkeep({"testhost", "bf", second.password}, {"--exec", "--cmd=id -un"}).out,
              "bf\n\n0\n");
}

TEST_F(CreateUser, AGroupWithoutAUserTakesTheNameToo) {
    sh("groupadd bf1942");
    EXPECT_EQ(createUser(rootUser()).login, "bf");
}

TEST_F(CreateUser, AllFixedNamesTakenGivesARandomName) {
    for (const char* name : kFixedNames) {
        sh(std::string("useradd ") + name);
    }
    const Created created = createUser(rootUser());
    ASSERT_EQ(created.login.size(), 11u) << created.run.out;
    EXPECT_EQ(created.login.substr(0, 7), "bf1942_");
    const int number = std::stoi(created.login.substr(7));
    EXPECT_GE(number, 1000);
    EXPECT_LE(number, 9999);
    EXPECT_EQ(sh("id -un " + created.login).out, created.login + "\n");
}

TEST_F(CreateUser, OtherSystemsAreRefusedWithNothingCreated) {
    sh("echo SunOS > /home/toor/system");
    const RunResult run = fieldkeep(fakeSystemRoot(), {"--create-user"});
    EXPECT_EQ(run.out, "Unknown system: SunOS\n\n");
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(sh("id bf1942").status, 0);
}

TEST_F(CreateUser, FreeBsdAsksPwWithTheQuotedName) {
    sh("echo FreeBSD > /home/toor/system && groupadd bf1942");
    const Created created = createUser(fakeSystemRoot());
    EXPECT_EQ(created.login, "bf") << created.run.out;
    EXPECT_EQ(readFile("/home/toor/pw.log"), "groupshow bf1942\ngroupshow bf\n");
}

TEST_F(CreateUser, ALoginWithoutTheRightFailsWithUseraddsText) {
    const RunResult run = fieldkeep(testUser(), {"--create-user"});
    const std::string head = "Create system user 'bf1942' failed: useradd: ";
    EXPECT_EQ(run.out.substr(0, head.size()), head) << run.out;
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out.find("password"), std::string::npos);
    EXPECT_NE(sh("id bf1942").status, 0);
}

TEST_F(CreateUser, TakesNoOptions) {
    Account nowhere{"127.0.0.3", "root", "x"};
    EXPECT_EQ(fieldkeep(nowhere, {"--create-user", "--name=x"}).out, "Unknown option '--name'\n");
}

}  // namespace
}  // namespace fieldkeep::e2e

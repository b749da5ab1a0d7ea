// --create-user on the sandbox host: real accounts in its private /etc.
#include <gtest/gtest.h>

#include "harness.h"

namespace fieldkeep::e2e {
namespace {

const std::string kFixedNames = "bf1942 bf battlefield battlefield1942";

void removeAccounts() {
    sh("for n in " + kFixedNames + " $(getent passwd | cut -d: -f1 | grep '^bf1942_'); do "
       "userdel -r \"$n\" >/dev/null 2>&1; groupdel \"$n\" >/dev/null 2>&1; done; "
       "rm -f /home/toor/pw.log; echo Linux > /home/toor/system");
}

struct CreateCase {
    const char* name;
    const char* setup;
    Account as;
    std::string out;  // how the output begins; login: "NAME" comes with a password line
    const char* pwLog;
};

class CreateUser : public ::testing::TestWithParam<CreateCase> {
protected:
    void SetUp() override { removeAccounts(); }
    void TearDown() override { removeAccounts(); }
};

// The login and password of an output of the form login: "NAME"\npassword: "PASSWORD"\n.
std::pair<std::string, std::string> created(const std::string& out) {
    const std::size_t split = out.find("\"\npassword: \"");
    if (out.rfind("login: \"", 0) != 0 || split == std::string::npos || out.size() < split + 15 ||
        out.substr(out.size() - 2) != "\"\n") {
        return {};
    }
    return {out.substr(8, split - 8), out.substr(split + 13, out.size() - split - 15)};
}

TEST_P(CreateUser, MakesAnAccountThatLogsInOrChangesNothing) {
    const CreateCase& c = GetParam();
    sh(c.setup);
    const RunResult run = fieldkeep(c.as, {"--create-user"});
    EXPECT_EQ(run.out.substr(0, c.out.size()), c.out) << run.out;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(readFile("/home/toor/pw.log"), c.pwLog);
    const auto [login, password] = created(run.out);
    EXPECT_EQ(run.status, login.empty() ? 1 : 0);
    if (login.empty()) {
        EXPECT_EQ(run.out.find("password"), std::string::npos);
        EXPECT_NE(sh("id bf1942").status, 0);
        return;
    }
    EXPECT_EQ(password.size(), 10u);
    EXPECT_EQ(password.find_first_not_of(
                  "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"),
              std::string::npos);
    const std::string entry = sh("getent passwd " + login).out;
    EXPECT_NE(entry.find(":Talvor's BF1942 module:/home/" + login + ":"), std::string::npos) << entry;
    EXPECT_TRUE(exists("/home/" + login));
    EXPECT_EQ(sh("getent shadow " + login + " | cut -d: -f2 | cut -c1-3").out, "$6$\n");
    // The real proof that the hash is right: the new account logs in.
    EXPECT_EQ(fieldkeep({"testhost", login, password}, {"--exec", "--cmd=id -un"}).out,
              login + "\n\n0\n");
    EXPECT_EQ(fieldkeep({"testhost", login, password + "x"}, {"--check-host"}).out,
              "Authentication failed\n");
}

INSTANTIATE_TEST_SUITE_P(
    Hosts, CreateUser,
    ::testing::Values(
        CreateCase{"FirstName", "true", rootUser(), "login: \"bf1942\"\n", ""},
        CreateCase{"TakenUserSkipped", "useradd bf1942", rootUser(), "login: \"bf\"\n", ""},
        CreateCase{"GroupWithoutUserSkipped", "groupadd bf1942", rootUser(), "login: \"bf\"\n", ""},
        CreateCase{"AllFixedNamesTakenGivesARandomName",
                   "for n in bf1942 bf battlefield battlefield1942; do useradd $n; done",
                   rootUser(), "login: \"bf1942_", ""},
        CreateCase{"FreeBsdAsksPwWithTheQuotedName",
                   "echo FreeBSD > /home/toor/system && groupadd bf1942", fakeSystemRoot(),
                   "login: \"bf\"\n", "groupshow bf1942\ngroupshow bf\n"},
        CreateCase{"OtherSystemsRefused", "echo SunOS > /home/toor/system", fakeSystemRoot(),
                   "Unknown system: SunOS\n\n", ""},
        CreateCase{"ALoginWithoutTheRight", "true", testUser(),
                   "Create system user 'bf1942' failed: useradd: ", ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace fieldkeep::e2e

#include <gtest/gtest.h>

#include <crypt.h>

#include <algorithm>
#include <set>

#include "commands/account_random.h"
#include "commands/create_user.h"
#include "errors/uerror.h"

namespace {

using namespace fieldkeep;

TEST(AccountRandom, AlphabetsAreLettersAndDigits) {
    std::string password = kPasswordAlphabet;
    EXPECT_EQ(std::string(kSaltAlphabet), "./" + password);
    std::sort(password.begin(), password.end());
    EXPECT_EQ(password, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
}

// Many draws: each stays in its alphabet or range and every value turns up.
TEST(AccountRandom, DrawsCoverTheWholeAlphabetOrRange) {
    std::set<char> passwordChars, saltChars;
    std::set<std::string> passwords;
    std::set<std::uint32_t> numbers;
    for (int i = 0; i < 2000; ++i) {
        const std::string p = makePassword(), setting = makeSaltSetting();
        ASSERT_EQ(p.size(), kPasswordLength);
        ASSERT_EQ(p.find_first_not_of(kPasswordAlphabet), std::string::npos) << p;
        ASSERT_EQ(setting.size(), 3 + kSaltLength);
        ASSERT_EQ(setting.substr(0, 3), "$6$");  // SHA-512 crypt
        ASSERT_EQ(setting.find_first_not_of(kSaltAlphabet, 3), std::string::npos) << setting;
        passwordChars.insert(p.begin(), p.end());
        saltChars.insert(setting.begin() + 3, setting.end());
        passwords.insert(p);
        numbers.insert(randomBelow(7));
        ASSERT_EQ(randomBelow(1), 0u);
    }
    EXPECT_EQ(passwordChars.size(), 62u);  // first and last characters are drawn too
    EXPECT_EQ(saltChars.size(), 64u);
    EXPECT_EQ(passwords.size(), 2000u);  // no repeats
    EXPECT_EQ(numbers, (std::set<std::uint32_t>{0, 1, 2, 3, 4, 5, 6}));
}

TEST(EncryptPassword, VerifiesWithCryptAndSaltsEachTime) {
    const std::string first = encryptPassword("Abc123xyz9");
    const std::string second = encryptPassword("Abc123xyz9");
    EXPECT_EQ(first.substr(0, 3), "$6$");
    EXPECT_NE(first, second);
    EXPECT_STREQ(crypt("Abc123xyz9", first.c_str()), first.c_str());
    EXPECT_STRNE(crypt("Abc123xyz8", first.c_str()), first.c_str());
}

// A remote host as far as the account commands can see it.
struct FakeHost : RemoteRunner {
    std::string system = "Linux\n";
    std::set<std::string> users;
    std::set<std::string> groups;
    int userAddStatus = 0;
    std::vector<std::string> commands;

    RemoteResult exec(const std::string& command, const std::string&, bool) override {
        commands.push_back(command);
        const auto named = [&](const char* prefix) {
            const std::string p = prefix;
            if (command.compare(0, p.size(), p) != 0) {
                return std::string("\x01");
            }
            return command.substr(p.size() + 1, command.size() - p.size() - 2);  // unquote
        };
        if (command == "uname -s") {
            return {0, system, ""};
        }
        if (std::string n = named("id "); n != "\x01") {
            return {users.count(n) ? 0 : 1, "", ""};
        }
        for (const char* tool : {"groupmod ", "pw groupshow "}) {
            if (std::string n = named(tool); n != "\x01") {
                return {groups.count(n) ? 0 : 6, "", ""};
            }
        }
        if (command.rfind("useradd ", 0) == 0) {
            return {userAddStatus, "", userAddStatus ? "useradd: Permission denied.\n" : ""};
        }
        return {127, "", "unknown command"};
    }
};

struct ChooseCase {
    const char* name;
    std::set<std::string> users;
    std::set<std::string> groups;
    std::string system;
    int userAddStatus;
    std::string result;    // the login chosen (bf1942_NNNN: a random one) or the message raised
    std::string commands;  // how the commands sent begin
    std::size_t count;     // how many were sent (0: not checked)
};

class ChooseUserAccount : public ::testing::TestWithParam<ChooseCase> {};

TEST_P(ChooseUserAccount, TakesTheFirstFreeName) {
    const ChooseCase& c = GetParam();
    FakeHost host;
    host.users = c.users;
    host.groups = c.groups;
    host.system = c.system;
    host.userAddStatus = c.userAddStatus;
    std::string result;
    try {
        const UserAccount chosen = chooseUserAccount(host);
        result = chosen.login;
        if (result.size() == 11 && result.rfind("bf1942_", 0) == 0 &&
            std::stoi(result.substr(7)) >= 1000) {
            result = "bf1942_NNNN";
        }
        EXPECT_EQ(chosen.password.size(), kPasswordLength);
        EXPECT_EQ(host.commands.back().rfind("useradd -c \"Talvor's BF1942 module\" -m '" +
                                                 chosen.login + "' -p '$6$", 0), 0u);
    } catch (const TUError& e) {
        result = e.message;
    }
    EXPECT_EQ(result, c.result);
    std::string sent;
    for (const std::string& command : host.commands) {
        sent += command + "\n";
    }
    EXPECT_EQ(sent.substr(0, c.commands.size()), c.commands);
    if (c.count != 0) {
        EXPECT_EQ(host.commands.size(), c.count);
    }
}

std::set<std::string> allNames() {
    std::set<std::string> names{"bf1942", "bf", "battlefield", "battlefield1942"};
    for (int n = 1000; n <= 9999; ++n) {
        names.insert("bf1942_" + std::to_string(n));
    }
    return names;
}

const std::string kUseradd = "useradd -c \"Talvor's BF1942 module\" -m 'bf1942' -p '$6$";

INSTANTIATE_TEST_SUITE_P(
    Hosts, ChooseUserAccount,
    ::testing::Values(
        ChooseCase{"AllFree", {}, {}, "Linux\n", 0, "bf1942",
                   "id 'bf1942'\nuname -s\ngroupmod 'bf1942'\n" + kUseradd, 4},
        ChooseCase{"TakenUsersAndGroupsSkipped", {"bf1942"}, {"bf"}, "Linux\n", 0, "battlefield",
                   "id 'bf1942'\nid 'bf'\nuname -s\ngroupmod 'bf'\nid 'battlefield'\nuname -s\n"
                   "groupmod 'battlefield'\n", 0},
        ChooseCase{"FixedNamesTaken", {"bf1942", "bf", "battlefield", "battlefield1942"}, {},
                   "Linux\n", 0, "bf1942_NNNN", "id 'bf1942'\nid 'bf'\nid 'battlefield'\n", 0},
        ChooseCase{"GivesUpAfterABoundedNumberOfRandomNames", allNames(), {}, "Linux\n", 0,
                   "No free user name found", "id 'bf1942'\n", 4 + kRandomNameAttempts},
        ChooseCase{"FreeBsdAsksPw", {}, {"bf1942"}, "FreeBSD\n", 0, "bf",
                   "id 'bf1942'\nuname -s\npw groupshow 'bf1942'\n", 0},
        ChooseCase{"OtherSystemsRefused", {}, {}, "SunOS\n", 0, "Unknown system: SunOS\n",
                   "id 'bf1942'\nuname -s\n", 2},
        ChooseCase{"FailedCreationReported", {}, {}, "Linux\n", 1,
                   "Create system user 'bf1942' failed: useradd: Permission denied.\n",
                   "id 'bf1942'\nuname -s\ngroupmod 'bf1942'\n" + kUseradd, 4}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

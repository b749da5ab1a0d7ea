#include <gtest/gtest.h>

#include <crypt.h>

#include <set>

#include "commands/account_random.h"
#include "commands/create_user.h"
#include "errors/uerror.h"

namespace {

using namespace fieldkeep;

TEST(AccountRandom, AlphabetsAreTheAllowedCharacters) {
    const std::string password = kPasswordAlphabet;
    const std::string salt = kSaltAlphabet;
    EXPECT_EQ(password.size(), 62u);
    EXPECT_EQ(salt.size(), 64u);
    for (char c : password) {
        EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c))) << c;
    }
    EXPECT_EQ(salt, "./" + password);
    EXPECT_EQ(std::set<char>(password.begin(), password.end()).size(), 62u);
}

TEST(AccountRandom, PasswordsUseTheWholeAlphabetAndDiffer) {
    std::set<char> seen;
    std::set<std::string> passwords;
    for (int i = 0; i < 2000; ++i) {
        const std::string p = makePassword();
        ASSERT_EQ(p.size(), kPasswordLength);
        for (char c : p) {
            ASSERT_NE(std::string(kPasswordAlphabet).find(c), std::string::npos) << c;
        }
        seen.insert(p.begin(), p.end());
        passwords.insert(p);
    }
    EXPECT_EQ(seen.size(), 62u);        // first and last characters are drawn too
    EXPECT_EQ(passwords.size(), 2000u);  // no repeats
}

TEST(AccountRandom, SaltSettingSelectsSha512Crypt) {
    std::set<char> seen;
    for (int i = 0; i < 500; ++i) {
        const std::string setting = makeSaltSetting();
        ASSERT_EQ(setting.size(), 3 + kSaltLength);
        ASSERT_EQ(setting.substr(0, 3), "$6$");
        seen.insert(setting.begin() + 3, setting.end());
    }
    EXPECT_EQ(seen.size(), 64u);
}

TEST(AccountRandom, NumbersStayBelowTheBound) {
    std::set<std::uint32_t> seen;
    for (int i = 0; i < 5000; ++i) {
        const std::uint32_t n = randomBelow(7);
        ASSERT_LT(n, 7u);
        seen.insert(n);
        ASSERT_EQ(randomBelow(1), 0u);
    }
    EXPECT_EQ(seen.size(), 7u);
}

TEST(EncryptPassword, VerifiesWithCryptAndSaltsEachTime) {
    const std::string first = encryptPassword("Abc123xyz9");
    const std::string second = encryptPassword("Abc123xyz9");
    EXPECT_EQ(first.substr(0, 3), "$6$");
    EXPECT_NE(first, second);
    EXPECT_STREQ(crypt("Abc123xyz9", first.c_str()), first.c_str());
    EXPECT_STRNE(crypt("Abc123xyz8", first.c_str()), first.c_str());
}

TEST(UserAdd, ComposesTheCommandLine) {
    EXPECT_EQ(makeUserAddCommand("bf1942", "$6$salt$hash/."),
              "useradd -c \"Talvor's BF1942 module\" -m 'bf1942' -p '$6$salt$hash/.'");
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

std::string choose(FakeHost& host, UserAccount* account = nullptr) {
    try {
        UserAccount chosen = chooseUserAccount(host);
        if (account != nullptr) {
            *account = chosen;
        }
        return "";
    } catch (const TUError& e) {
        return e.message;
    }
}

std::string joined(const std::vector<std::string>& commands, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < count && i < commands.size(); ++i) {
        text += commands[i] + "\n";
    }
    return text;
}

TEST(ChooseUserAccount, TakesTheFirstFreeName) {
    FakeHost host;
    UserAccount account;
    ASSERT_EQ(choose(host, &account), "");
    EXPECT_EQ(account.login, "bf1942");
    EXPECT_EQ(account.password.size(), 10u);
    ASSERT_EQ(host.commands.size(), 4u);
    EXPECT_EQ(joined(host.commands, 3), "id 'bf1942'\nuname -s\ngroupmod 'bf1942'\n");
    EXPECT_EQ(host.commands[3].rfind("useradd -c \"Talvor's BF1942 module\" -m 'bf1942' -p '$6$", 0),
              0u);
}

TEST(ChooseUserAccount, SkipsTakenUsersAndGroups) {
    FakeHost host;
    host.users = {"bf1942"};
    host.groups = {"bf"};
    UserAccount account;
    ASSERT_EQ(choose(host, &account), "");
    EXPECT_EQ(account.login, "battlefield");
    EXPECT_EQ(joined(host.commands, 7),
              "id 'bf1942'\nid 'bf'\nuname -s\ngroupmod 'bf'\nid 'battlefield'\nuname -s\n"
              "groupmod 'battlefield'\n");
}

TEST(ChooseUserAccount, DrawsRandomNamesWhenTheFixedOnesAreTaken) {
    FakeHost host;
    host.users = {"bf1942", "bf", "battlefield", "battlefield1942"};
    UserAccount account;
    ASSERT_EQ(choose(host, &account), "");
    ASSERT_EQ(account.login.size(), 11u);
    EXPECT_EQ(account.login.substr(0, 7), "bf1942_");
    const int number = std::stoi(account.login.substr(7));
    EXPECT_GE(number, 1000);
    EXPECT_LE(number, 9999);
}

TEST(ChooseUserAccount, GivesUpAfterABoundedNumberOfRandomNames) {
    FakeHost host;
    host.users = {"bf1942", "bf", "battlefield", "battlefield1942"};
    for (int n = 1000; n <= 9999; ++n) {
        host.users.insert("bf1942_" + std::to_string(n));
    }
    EXPECT_EQ(choose(host), "No free user name found");
    EXPECT_EQ(host.commands.size(), 4u + kRandomNameAttempts);
}

TEST(ChooseUserAccount, AsksFreeBsdsPwAboutGroups) {
    FakeHost host;
    host.system = "FreeBSD\n";
    host.groups = {"bf1942"};
    UserAccount account;
    ASSERT_EQ(choose(host, &account), "");
    EXPECT_EQ(account.login, "bf");
    EXPECT_EQ(joined(host.commands, 3), "id 'bf1942'\nuname -s\npw groupshow 'bf1942'\n");
}

TEST(ChooseUserAccount, RefusesOtherSystemsBeforeCreatingAnything) {
    FakeHost host;
    host.system = "SunOS\n";
    EXPECT_EQ(choose(host), "Unknown system: SunOS\n");
    EXPECT_EQ(joined(host.commands, 9), "id 'bf1942'\nuname -s\n");
}

TEST(ChooseUserAccount, ReportsAFailedCreation) {
    FakeHost host;
    host.userAddStatus = 1;
    EXPECT_EQ(choose(host), "Create system user 'bf1942' failed: useradd: Permission denied.\n");
    EXPECT_EQ(host.commands.size(), 4u);  // no further candidate is tried
}

}  // namespace

#include <crypt.h>

#include <algorithm>
#include <regex>
#include <set>

#include "commands/account_random.h"
#include "commands/create_user.h"
#include "support.h"

using namespace fieldkeep;
using namespace fieldkeep::testing;

// The alphabets hold each letter and digit once; many draws use exactly the alphabet or range, the
// salt setting is SHA-512 crypt's, and no password repeats.
TEST(AccountRandom, DrawsCoverTheWholeAlphabetOrRange) {
    std::string sorted = kPasswordAlphabet;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    EXPECT_EQ(std::string(kSaltAlphabet), "./" + std::string(kPasswordAlphabet));
    std::set<char> passwordChars, saltChars;
    std::set<std::string> passwords;
    std::set<std::uint32_t> numbers;
    for (int i = 0; i < 2000; ++i) {
        const std::string p = makePassword(), setting = makeSaltSetting();
        ASSERT_EQ(p.size(), kPasswordLength);
        ASSERT_EQ(setting.substr(0, 3) + std::to_string(setting.size()), "$6$" + std::to_string(3 + kSaltLength));
        passwordChars.insert(p.begin(), p.end());
        saltChars.insert(setting.begin() + 3, setting.end());
        passwords.insert(p);
        numbers.insert(randomBelow(7) + 10 * randomBelow(1));  // randomBelow(1) must be 0
    }
    EXPECT_EQ(passwordChars, std::set<char>(kPasswordAlphabet, kPasswordAlphabet + 62));
    EXPECT_EQ(saltChars, std::set<char>(kSaltAlphabet, kSaltAlphabet + 64));
    EXPECT_EQ(passwords.size(), 2000u);
    EXPECT_EQ(numbers, (std::set<std::uint32_t>{0, 1, 2, 3, 4, 5, 6}));
}

TEST(EncryptPassword, VerifiesWithCryptAndSaltsEachTime) {
    const std::string first = encryptPassword("Abc123xyz9"), second = encryptPassword("Abc123xyz9");
    EXPECT_EQ(first.substr(0, 3), "$6$");
    EXPECT_NE(first, second);
    EXPECT_STREQ(crypt("Abc123xyz9", first.c_str()), first.c_str());
    EXPECT_STRNE(crypt("Abc123xyz8", first.c_str()), first.c_str());
}

// A remote host as far as the account commands can see it: its users and groups as cells ("*": every
// name), its system and how useradd ends. It logs the lines sent.
struct AccountHost : RemoteRunner {
    std::string users, groups, system, sent;
    int addStatus = 0;
    static bool has(const std::string& cell, const std::string& name) {
        return cell == "*" || ("|" + cell + "|").find("|" + name + "|") != std::string::npos;
    }
    RemoteResult exec(const std::string& line, const std::string&, bool) override {
        sent += line + "\n";
        const std::size_t quote = line.find('\'');
        const std::string tool = line.substr(0, quote), name = line.substr(quote + 1, line.size() - quote - 2);
        if (line == "uname -s") { return {0, system, ""}; }
        if (tool == "id ") { return {has(users, name) ? 0 : 1, "", ""}; }
        if (tool == "groupmod " || tool == "pw groupshow ") { return {has(groups, name) ? 0 : 6, "", ""}; }
        if (tool.rfind("useradd ", 0) == 0) { return {addStatus, "", addStatus ? "useradd: Permission denied.\n" : ""}; }
        return {127, "", "unknown command"};
    }
};

// The host's users, groups, system and useradd status; the login chosen (bf1942_NNNN: a random one) or
// the message raised; how the lines sent begin and how many they are.
TEST(ChooseUserAccount, TakesTheFirstFreeName) {
    const std::string fixed = "bf1942|bf|battlefield|battlefield1942";
    const std::tuple<std::string, const char*, const char*, int, const char*, std::string, long> rows[] = {
        {"", "", "Linux\n", 0, "bf1942", "id 'bf1942'\nuname -s\ngroupmod 'bf1942'\nuseradd ", 4},
        {"bf1942", "bf", "Linux\n", 0, "battlefield",
         "id 'bf1942'\nid 'bf'\nuname -s\ngroupmod 'bf'\nid 'battlefield'\nuname -s\ngroupmod 'battlefield'\n", 8},
        {fixed, "", "Linux\n", 0, "bf1942_NNNN", "id 'bf1942'\nid 'bf'\nid 'battlefield'\nid 'battlefield1942'\n", 8},
        {"*", "", "Linux\n", 0, "No free user name found", "id 'bf1942'\n", 4 + kRandomNameAttempts},
        {"", "bf1942", "FreeBSD\n", 0, "bf", "id 'bf1942'\nuname -s\npw groupshow 'bf1942'\nid 'bf'\nuname -s\npw ", 7},
        {"", "", "SunOS\n", 0, "Unknown system: SunOS\n", "id 'bf1942'\nuname -s\n", 2},
        {"", "", "Linux\n", 1, "Create system user 'bf1942' failed: useradd: Permission denied.\n", "", 4}};
    for (const auto& [users, groups, system, addStatus, result, sent, count] : rows) {
        AccountHost host;
        std::tie(host.users, host.groups, host.system, host.addStatus) = std::tie(users, groups, system, addStatus);
        std::string chosen;
        const std::string raised = raisedMessage([&] {
            const UserAccount account = chooseUserAccount(host);
            chosen = std::regex_match(account.login, std::regex("bf1942_[1-9][0-9]{3}")) ? "bf1942_NNNN" : account.login;
            // The last line creates the login with the crypt hash of the password.
            const std::string start = "useradd -c \"Talvor's BF1942 module\" -m '" + account.login + "' -p '";
            const std::string line = host.sent.substr(host.sent.rfind("useradd "));
            ASSERT_EQ(line.substr(0, start.size()) + line.substr(line.size() - 2), start + "'\n");
            const std::string hash = line.substr(start.size(), line.size() - start.size() - 2);
            EXPECT_EQ(account.password.size(), kPasswordLength);
            EXPECT_STREQ(crypt(account.password.c_str(), hash.c_str()), hash.c_str());
        });
        EXPECT_EQ(chosen + raised, result) << users << " " << groups;
        EXPECT_EQ(host.sent.substr(0, sent.size()), sent) << users << " " << groups;
        EXPECT_EQ(std::count(host.sent.begin(), host.sent.end(), '\n'), count) << users << " " << groups;
    }
}

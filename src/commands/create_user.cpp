// --create-user: creates a system user with a free name and a random password
// on a Linux or FreeBSD host, and prints both.
#include "commands/create_user.h"

#include <crypt.h>

#include "commands/account_random.h"
#include "commands/commands.h"
#include "errors/output.h"
#include "errors/uerror.h"
#include "remote/connection.h"
#include "shell/quoting.h"

namespace fieldkeep {
namespace {

const char* const kFixedNames[] = {"bf1942", "bf", "battlefield", "battlefield1942"};

bool nameIsFree(const std::string& name, const RemoteRunner& run) {
    return !userExists(name, run) && !groupExists(name, run);
}

}  // namespace

RemoteResult runRemoteLine(const std::string& command) { return execRemote(command, "", false); }

std::string intToString(int number) { return std::to_string(number); }

bool userExists(const std::string& name, const RemoteRunner& run) {
    return run("id " + shellQuote(name)).status == 0;
}

// The system is asked afresh each time: the answer decides which tool knows groups.
bool groupExists(const std::string& name, const RemoteRunner& run) {
    const std::string system = run("uname -s").output;
    if (system == "FreeBSD\n") {
        return run("pw groupshow " + shellQuote(name)).status == 0;
    }
    if (system == "Linux\n") {
        return run("groupmod " + shellQuote(name)).status == 0;
    }
    throw TUError{"Unknown system: " + system};
}

std::string makeUserAddCommand(const std::string& login, const std::string& hash) {
    return "useradd -c \"Talvor's BF1942 module\" -m " + shellQuote(login) + " -p " +
           shellQuote(hash);
}

std::string encryptPassword(const std::string& password) {
    crypt_data data{};
    const char* hash = crypt_r(password.c_str(), makeSaltSetting().c_str(), &data);
    // libcrypt reports failure with a null result or a text starting with '*'.
    if (hash == nullptr || hash[0] == '*' || hash[0] == '\0') {
        throw TUError{"Failed to encrypted password"};
    }
    return hash;
}

UserAccount createSystemUser(const std::string& login, const std::string& password,
                             const RemoteRunner& run) {
    const RemoteResult created = run(makeUserAddCommand(login, encryptPassword(password)));
    if (created.status != 0) {
        throw TUError{"Create system user '" + login + "' failed: " + created.errors};
    }
    return {login, password};
}

UserAccount chooseUserAccount(const RemoteRunner& run) {
    const std::string password = makePassword();
    for (const char* name : kFixedNames) {
        if (nameIsFree(name, run)) {
            return createSystemUser(name, password, run);
        }
    }
    for (int attempt = 0; attempt < kRandomNameAttempts; ++attempt) {
        const std::string name = "bf1942_" + intToString(1000 + static_cast<int>(randomBelow(9000)));
        if (nameIsFree(name, run)) {
            return createSystemUser(name, password, run);
        }
    }
    throw TUError{"No free user name found"};
}

bool createUser(talvor::opt::TOParsing options) {
    options.check();
    connectRemote();
    const UserAccount account = chooseUserAccount();
    writeLine("login: \"" + account.login + "\"");
    writeLine("password: \"" + account.password + "\"");
    return true;
}

}  // namespace fieldkeep

// --create-user: creates a system user with a free name and a random password
// on a Linux or FreeBSD host, and prints both.
#include "commands/create_user.h"

#include <crypt.h>

#include "commands/account_random.h"
#include "commands/commands.h"
#include "commands/options.h"
#include "errors/output.h"
#include "errors/uerror.h"
#include "remote/runner.h"
#include "shell/quoting.h"

namespace fieldkeep {
namespace {

bool nameIsFree(RemoteRunner& host, const std::string& name) {
    return !userExists(host, name) && !groupExists(host, name);
}

}  // namespace

bool userExists(RemoteRunner& host, const std::string& name) {
    return host.run("id " + shellQuote(name)).status == 0;
}

// The system is asked afresh each time: the answer decides which tool knows groups.
bool groupExists(RemoteRunner& host, const std::string& name) {
    const std::string system = host.run("uname -s").output;
    if (system == "FreeBSD\n") {
        return host.run("pw groupshow " + shellQuote(name)).status == 0;
    }
    if (system == "Linux\n") {
        return host.run("groupmod " + shellQuote(name)).status == 0;
    }
    throw TUError{"Unknown system: " + system};
}

// The account is made without a password and its home closed to others; then
// the hash is set from standard input, never from an argument list. When a step
// after useradd fails, the account goes again with its group and home, quietly,
// so that the failed step's error text is the one reported; an account that
// useradd did not make is never removed.
const char kUserAdd[] = R"(useradd -c "Talvor's BF1942 module" -m @LOGIN@ && {
	chmod 700 "`getent passwd @LOGIN@ | cut -d: -f6`" &&
	if [ "`uname -s`" = FreeBSD ]; then
		pw usermod @LOGIN@ -H 0
	else
		{ printf '%s:' @LOGIN@; cat; } | chpasswd -e
	fi || {
		if [ "`uname -s`" = FreeBSD ]; then
			pw userdel @LOGIN@ -r; pw groupdel @LOGIN@
		else
			userdel -r @LOGIN@; groupdel @LOGIN@
		fi >/dev/null 2>&1
		false
	}
})";

std::string makeUserAddCommand(const std::string& login) {
    return fillShellTemplate(kUserAdd, {{"LOGIN", login}});
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

UserAccount createSystemUser(RemoteRunner& host, const std::string& login,
                             const std::string& password) {
    const RemoteResult result =
        host.exec(makeUserAddCommand(login), encryptPassword(password) + "\n", false);
    if (result.status != 0) {
        throw TUError{"Create system user '" + login + "' failed: " + result.errors};
    }
    return {login, password};
}

UserAccount chooseUserAccount(RemoteRunner& host, const GameDefinition& game) {
    const std::string password = makePassword();
    for (const std::string& name : game.accounts) {
        if (nameIsFree(host, name)) {
            return createSystemUser(host, name, password);
        }
    }
    for (int attempt = 0; attempt < kRandomNameAttempts; ++attempt) {
        const std::string name =
            game.randomAccountPrefix + std::to_string(1000 + randomBelow(9000));
        if (nameIsFree(host, name)) {
            return createSystemUser(host, name, password);
        }
    }
    throw TUError{"No free user name found"};
}

bool createUser(talvor::opt::TOParsing options, RemoteRunner& host) {
    const GameDefinition game = chosenGame(options);
    options.check();
    host.connect();
    const UserAccount account = chooseUserAccount(host, game);
    writeLine("login: \"" + account.login + "\"");
    writeLine("password: \"" + account.password + "\"");
    return true;
}

}  // namespace fieldkeep

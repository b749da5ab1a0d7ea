// The account logic of --create-user, with the remote runner passed in so the
// order of the remote tests can be checked without a host.
#pragma once

#include <functional>
#include <string>

#include "remote/exec.h"

namespace fieldkeep {

struct UserAccount {
    std::string login;
    std::string password;
};

// Runs one remote line with empty input and no terminal.
using RemoteRunner = std::function<RemoteResult(const std::string& command)>;
RemoteResult runRemoteLine(const std::string& command);

std::string intToString(int number);

bool userExists(const std::string& name, const RemoteRunner& run = runRemoteLine);
bool groupExists(const std::string& name, const RemoteRunner& run = runRemoteLine);

// The useradd line for a login and its crypt hash.
std::string makeUserAddCommand(const std::string& login, const std::string& hash);
// The SHA-512 crypt hash of password with a fresh random salt; throws TUError
// when crypt gives no usable result.
std::string encryptPassword(const std::string& password);

UserAccount createSystemUser(const std::string& login, const std::string& password,
                             const RemoteRunner& run = runRemoteLine);

// Picks the first free fixed name, then random ones (bounded), and creates it.
UserAccount chooseUserAccount(const RemoteRunner& run = runRemoteLine);

// How many random names are tried before giving up.
constexpr int kRandomNameAttempts = 1000;

}  // namespace fieldkeep

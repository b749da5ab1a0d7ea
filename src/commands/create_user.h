// The account logic of --create-user, with the remote runner passed in so the
// order of the remote tests can be checked without a host.
#pragma once

#include <string>

#include "game/game_definition.h"
#include "remote/runner.h"

namespace fieldkeep {

struct UserAccount {
    std::string login;
    std::string password;
};

bool userExists(RemoteRunner& host, const std::string& name);
bool groupExists(RemoteRunner& host, const std::string& name);

// The line that creates the login with a home only it may enter and sets the
// crypt hash that it reads as one line from its standard input; when a step
// after the account's creation fails, it removes the account again.
std::string makeUserAddCommand(const std::string& login);
// The SHA-512 crypt hash of password with a fresh random salt; throws TUError
// when crypt gives no usable result.
std::string encryptPassword(const std::string& password);

UserAccount createSystemUser(RemoteRunner& host, const std::string& login,
                             const std::string& password);

// Picks the first free one of the game's account names, then random ones (its prefix and a
// number; bounded), and creates it.
UserAccount chooseUserAccount(RemoteRunner& host, const GameDefinition& game);

// How many random names are tried before giving up.
constexpr int kRandomNameAttempts = 1000;

}  // namespace fieldkeep

// Runs the real fieldkeep binary and local shell commands inside the sandbox
// test host, where the "remote" host is this machine behind sshd on loopback.
#pragma once

#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace fieldkeep::e2e {

struct RunResult {
    std::string out;  // standard output
    std::string err;  // standard error: fieldkeep must never write there
    int status;       // exit status, or 128 + signal
};

struct Account {
    std::string address;
    std::string login;
    std::string password;
};
inline std::string envOf(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}
inline Account testUser() { return {"testhost", "fkuser", envOf("FK_USER_PASSWORD")}; }  // /bin/sh
inline Account testBashUser() { return {"testhost", "fkbash", envOf("FK_USER_PASSWORD")}; }
inline Account rootUser() { return {"testhost", "root", envOf("FK_ROOT_PASSWORD")}; }
// A second superuser whose uname and pw are fakes (see the sandbox host).
inline Account fakeSystemRoot() { return {"testhost", "toor", envOf("FK_TOOR_PASSWORD")}; }

extern const char kUnset[];  // as a value in env: the variable is removed

// Runs fieldkeep with exactly args and the environment changed by env.
RunResult fieldkeepRaw(const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& env);
// The same with the account's --address, --login and BF1942_PASSWD first.
RunResult fieldkeep(const Account& account, const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env = {});
RunResult sh(const std::string& command);  // a local /bin/sh command line

std::string readFile(const std::string& path);  // "" when missing
void writeFile(const std::string& path, const std::string& content);
bool exists(const std::string& path);
std::string fileMode(const std::string& path);  // octal permission bits ("640"), "" when missing
std::string freshDir(const std::string& name);  // an empty directory /srv/NAME, writable by all
std::string gameArchive(const std::string& name);  // /srv/www/NAME, the fixtures made on first use

// Whether done() turns true within timeoutSeconds (polled; only a guard).
bool eventually(const std::function<bool()>& done, int timeoutSeconds = 10);
// A file's content once it ends with a line feed; "" when it never did.
std::string readWhenWritten(const std::string& path);
bool waitForListener(const std::string& address, int port);
bool processRunning(const std::string& pid);  // a zombie does not count

}  // namespace fieldkeep::e2e

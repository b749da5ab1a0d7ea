// Runs the real fieldkeep binary and local shell commands inside the sandbox
// test host, where the "remote" host is this machine behind sshd on loopback.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace fieldkeep::e2e {

struct RunResult {
    std::string out;  // standard output
    std::string err;  // standard error: fieldkeep must never write there
    int status;       // exit status, or 128 + signal
};

// Connection options and password of the sandbox's test accounts.
struct Account {
    std::string address;
    std::string login;
    std::string password;
};
Account testUser();      // login shell /bin/sh
Account testBashUser();  // login shell /bin/bash
Account rootUser();
// A second superuser whose uname and pw are fakes (see the sandbox host).
Account fakeSystemRoot();

// Runs fieldkeep with the account's --address and --login first, then args;
// BF1942_PASSWD holds the account's password.
RunResult fieldkeep(const Account& account, const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env = {});
// Runs fieldkeep with exactly args and the given environment additions; a
// variable mapped to nullopt-like "\x01unset" is removed.
RunResult fieldkeepRaw(const std::vector<std::string>& args,
                 const std::map<std::string, std::string>& env);

// Runs a local shell command; its standard output and status.
RunResult sh(const std::string& command);
// Reads a whole local file ("" when missing).
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

// A fresh empty directory under the sandbox's private /srv.
std::string freshDir(const std::string& name);

extern const char kUnset[];

}  // namespace fieldkeep::e2e

namespace fieldkeep::e2e {

// Waits (at most timeoutSeconds) until one of the named files exists in dir;
// returns its name, or "" when none appeared in time.
std::string waitForFile(const std::string& dir, const std::vector<std::string>& names,
                        int timeoutSeconds);

// The content of a file once it exists and ends with a line feed (waiting at
// most timeoutSeconds); "" when it never did.
std::string readWhenWritten(const std::string& path, int timeoutSeconds);

// The permission bits of a local file in octal ("640"), or "" when missing.
std::string fileMode(const std::string& path);

bool exists(const std::string& path);

// The local path of a fake game archive, made on first use (/srv/www/NAME).
std::string gameArchive(const std::string& name);

// Waits (at most five seconds) until something accepts TCP connections there.
bool waitForListener(const std::string& address, int port);

// Whether a process of that number runs (a zombie does not).
bool processRunning(const std::string& pid);

}  // namespace fieldkeep::e2e

// The one SSH-2 connection of a run as the entry point sets it up: where it
// goes, who logs in and with what, and how long it may wait.
#pragma once

#include <string>

#include "remote/run_deadline.h"

namespace fieldkeep {

constexpr int kSshPort = 22;
constexpr int kDefaultConnectTimeout = 20;
constexpr int kDefaultAliveInterval = 15;
// The identity that stands for the keys of the SSH agent at SSH_AUTH_SOCK.
constexpr char kAgentIdentity[] = "agent";

struct Session {
    std::string address;  // the value of --address, as given
    std::string host;     // its host: a name, an IPv4 or IPv6 address
    int port = kSshPort;
    std::string login;  // remote user name
    // The password, only ever offered as a password; null when not set. The
    // environment's own text, not copied.
    const char* password = nullptr;
    // The passphrase of an encrypted key file; null when not set.
    const char* keyPassphrase = nullptr;
    // The private key file to log in with first, kAgentIdentity for the agent's
    // keys, or null for password logins only.
    const char* identity = nullptr;
    // A known_hosts file the host key must match, or null to accept any host key.
    const char* knownHosts = nullptr;
    // The whole set-up, from the TCP connect through authentication, ends within
    // this many seconds.
    int connectTimeout = kDefaultConnectTimeout;
    // After login, this many seconds of silence from the server send a
    // keepalive; three unanswered in a row end the run. 0 turns the probe off.
    int aliveInterval = kDefaultAliveInterval;
    // The run's time limit, running from when the settings were read.
    remote::RunClock runClock;
};

}  // namespace fieldkeep

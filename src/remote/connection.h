// The one SSH-2 connection of a run: its parameters and its setup and teardown.
#pragma once

#include <string>

namespace fieldkeep {

// Set once per run by the entry point, read by the session setup.
extern std::string connAddress;  // the value of --address, as given
extern std::string connHost;     // its host: a name, an IPv4 or IPv6 address
extern int connPort;             // its port
extern std::string connLogin;    // remote user name
// The password, only ever offered as a password; null when not set. The
// environment's own text, not copied.
extern const char* connPassword;
// The passphrase of an encrypted key file; null when not set.
extern const char* connKeyPassphrase;
// The private key file to log in with first, "agent" for the keys of the SSH
// agent at SSH_AUTH_SOCK, or null for password logins only.
extern const char* connIdentity;
constexpr char kAgentIdentity[] = "agent";
// A known_hosts file the host key must match, or null to accept any host key.
extern const char* connKnownHosts;
// The whole set-up, from the TCP connect through authentication, ends within
// this many seconds.
extern int connConnectTimeout;
// After login, this many seconds of silence from the server send a keepalive;
// three unanswered in a row end the run. 0 turns the probe off.
extern int connAliveInterval;

constexpr int kSshPort = 22;
constexpr int kDefaultConnectTimeout = 20;
constexpr int kDefaultAliveInterval = 15;

// Connects to connPort of connHost and logs in.
// Throws TUError with the reason; what was created stays for the teardown.
void connectRemote();

// Releases whatever of the session exists. Safe in any state; never throws.
void disconnectRemote() noexcept;

}  // namespace fieldkeep

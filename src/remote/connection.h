// The one SSH-2 connection of a run: its parameters and its setup and teardown.
#pragma once

#include <string>

namespace fieldkeep {

// Set once per run by the entry point, read by the session setup.
extern std::string connAddress;        // host name or dotted IPv4 address
extern std::string connLogin;          // remote user name
extern const char* connPassword;       // the environment's own text, not copied
// A known_hosts file the host key must match, or null to accept any host key.
extern const char* connKnownHosts;
// The whole set-up, from the TCP connect through authentication, ends within
// this many seconds.
extern int connConnectTimeout;
// After login, this many seconds of silence from the server send a keepalive;
// three unanswered in a row end the run. 0 turns the probe off.
extern int connAliveInterval;

constexpr int kDefaultConnectTimeout = 20;
constexpr int kDefaultAliveInterval = 15;

// Connects to port 22 of connAddress and logs in with the password.
// Throws TUError with the reason; what was created stays for the teardown.
void connectRemote();

// Releases whatever of the session exists. Safe in any state; never throws.
void disconnectRemote() noexcept;

}  // namespace fieldkeep

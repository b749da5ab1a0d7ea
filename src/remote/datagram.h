// A question by UDP to the host that the session is connected to, as game
// browsers ask a game server: the answer comes from where the game runs, not
// through the SSH connection.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

namespace fieldkeep::remote {
// The state of the run's connection (remote/session_state.h).
struct SessionState;
}  // namespace fieldkeep::remote

namespace fieldkeep {

struct DatagramQuestion {
    int port;
    std::string request;
    int requests;  // sent at most this often,
    std::chrono::milliseconds
        interval;  // this far apart; answers are awaited as long after the last
};

// Sends the request to the port of the address the session's connection goes
// to and passes each datagram that comes back from that address and port to
// take, until take returns true (the answer is whole). Returns whether it did.
// The network's troubles (an unreachable host, a closed port) are no answer.
bool askByDatagram(const remote::SessionState& st, const DatagramQuestion& question,
                   const std::function<bool(std::string_view)>& take);

// The address the session's connection reached the host at, as the host's
// /proc/net tables write a local address: the bytes of each 32-bit word in
// reverse (a little-endian host), upper-case hexadecimal; "" when unknown.
std::string reachedAddressAsKernelWrites(const remote::SessionState& st);

}  // namespace fieldkeep
